#include "app/picture_button.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/artwork.h"

namespace vorlano {

TPictureButton::TPictureButton(int normal, int hover, int pressed, QWidget* parent)
    : QAbstractButton(parent), FNormal(normal), FHover(hover), FPressed(pressed) {
    Show(normal);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

TPictureButton::TPictureButton(const QPixmap& picture, QWidget* parent)
    : QAbstractButton(parent), FPicture(picture) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TPictureButton::Show(int number) {
    if (number == 0) return;
    FShown = number;
    FPicture = ButtonPicture(number);
    update();
}

void TPictureButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, FPicture);
}

void TPictureButton::enterEvent(QEnterEvent* e) {
    Show(FHover);
    QAbstractButton::enterEvent(e);
}

void TPictureButton::leaveEvent(QEvent* e) {
    Show(FNormal);
    QAbstractButton::leaveEvent(e);
}

void TPictureButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        Show(FPressed);
        emit pressedDown();
    }
    QAbstractButton::mousePressEvent(e);
}

void TPictureButton::mouseReleaseEvent(QMouseEvent* e) {
    // The release runs the pointer-enters swap.
    if (e->button() == Qt::LeftButton) Show(FHover);
    QAbstractButton::mouseReleaseEvent(e);
}

}  // namespace vorlano
