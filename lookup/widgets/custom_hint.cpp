#include "lookup/widgets/custom_hint.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

namespace vorlano {

TCustomHint::TCustomHint(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setPalette(QToolTip::palette());
}

QRect TCustomHint::PlaceOnScreen(QRect rect, const QRect& screen) {
    rect.setWidth(rect.width() + 4);
    rect.setHeight(rect.height() + 3);
    if (rect.bottom() > screen.bottom())
        rect.moveTop(screen.top() + screen.height() - rect.height());
    if (rect.right() > screen.right()) rect.moveLeft(screen.left() + screen.width() - rect.width());
    if (rect.left() < screen.left()) rect.moveLeft(screen.left());
    if (rect.top() < screen.top()) rect.moveTop(screen.top());
    return rect;
}

void TCustomHint::ActivateHint(QRect rect, const QString& text) {
    FText = text;
    const QScreen* screen = QGuiApplication::screenAt(rect.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect placed =
        screen ? PlaceOnScreen(rect, screen->geometry()) : rect.adjusted(0, 0, 4, 3);
    setGeometry(placed);
    show();
    raise();
    update();
}

void TCustomHint::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::ToolTipBase));
    p.setPen(palette().color(QPalette::ToolTipText));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setFont(font());
    p.drawText(r.adjusted(2, 1, -1, -1), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, FText);
}

}  // namespace vorlano
