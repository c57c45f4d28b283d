// TCustomHint: the borderless, top-most hint window of the word list. It
// never takes the focus. Activation grows the given screen rectangle by 4
// pixels to the right and 3 downwards and shifts it to stay on the screen;
// painting fills it with the tool-tip colour, outlines it and draws the text
// inset by 2 pixels on the left and 1 on the other sides.
//
// Ownership: a child object of its list (a separate top-level window).
// Threads: GUI thread. Failures: none.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

namespace vorlano {

class TCustomHint : public QWidget {
    Q_OBJECT
  public:
    explicit TCustomHint(QWidget* owner);

    // Shows `text` over the screen rectangle `rect` (grown and shifted).
    void ActivateHint(QRect rect, const QString& text);
    const QString& Text() const noexcept { return FText; }

    // The placement rule alone: `rect` grown by (4, 3) and kept inside `screen`.
    static QRect PlaceOnScreen(QRect rect, const QRect& screen);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString FText;
};

}  // namespace vorlano
