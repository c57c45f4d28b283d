// A button that shows one picture as is (no frame, no pressed offset) and,
// when given three picture numbers, swaps them: normal when the pointer
// leaves, hover when it enters and after a release, pressed on a press.
// Pictures come from ButtonPicture (artwork.h) by number.
//
// Ownership: a Qt child of its parent. Threads: GUI thread. Failures: none.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace vorlano {

class TPictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    // Swapping button with pictures normal, hover, pressed.
    TPictureButton(int normal, int hover, int pressed, QWidget* parent);
    // Fixed picture.
    TPictureButton(const QPixmap& picture, QWidget* parent);

    // The number of the picture shown; 0 for a fixed picture.
    int PictureNumber() const noexcept { return FShown; }

  signals:
    // Raised on a left press, after the picture swap (the special-characters
    // button chooses its menu here).
    void pressedDown();

  protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    QSize sizeHint() const override { return FPicture.size(); }

  private:
    void Show(int number);

    int FNormal = 0, FHover = 0, FPressed = 0, FShown = 0;
    QPixmap FPicture;
};

}  // namespace vorlano
