#include "app/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vorlano {
namespace {

const QColor kDarkBrown(120, 72, 36);
const QColor kMidBrown(176, 118, 66);
const QColor kPaleEdge(253, 241, 219);

QPixmap NewPixmap(int w, int h, const QColor& fill) {
    QPixmap pixmap(w, h);
    pixmap.fill(fill);
    return pixmap;
}

QFont UiFont(int pixelSize, bool bold) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A rounded button face; `state` 0 normal, 1 hover, 2 pressed.
void DrawButtonFace(QPainter& p, const QRectF& r, int state) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    const QColor top = state == 2   ? kMidBrown
                       : state == 1 ? QColor(250, 232, 206)
                                    : QColor(246, 226, 200);
    const QColor bottom = state == 2   ? QColor(214, 160, 104)
                          : state == 1 ? QColor(236, 190, 140)
                                       : QColor(226, 184, 138);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(state == 1 ? kDarkBrown : kMidBrown, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
}

void DrawMagnifier(QPainter& p, const QRectF& r, const QColor& ink) {
    p.setPen(QPen(ink, 2));
    p.setBrush(QColor(255, 255, 255, 170));
    const QPointF c(r.left() + 11, r.center().y() - 2);
    p.drawEllipse(c, 5.5, 5.5);
    p.setPen(QPen(ink, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c + QPointF(4, 4), c + QPointF(8.5, 8.5));
}

QPixmap SearchPicture(int state) {
    QPixmap pm = NewPixmap(59, 28, kWindowColor);
    QPainter p(&pm);
    const QRectF r(0, 0, 59, 28);
    DrawButtonFace(p, r, state);
    const QColor ink = state == 2 ? Qt::white : kDarkBrown;
    DrawMagnifier(p, r.translated(2, 0), ink);
    p.setPen(ink);
    p.setFont(UiFont(10, true));
    p.drawText(QRectF(22, 0, 35, 28), Qt::AlignCenter, QStringLiteral("Търси"));
    return pm;
}

QPixmap KeyboardPicture(int state) {
    QPixmap pm = NewPixmap(59, 28, kWindowColor);
    QPainter p(&pm);
    DrawButtonFace(p, QRectF(0, 0, 59, 28), state);
    const QColor ink = state == 2 ? Qt::white : kDarkBrown;
    p.setRenderHint(QPainter::Antialiasing, false);
    // A small keyboard: three rows of keys.
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    p.drawRect(6, 7, 22, 14);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 5 - (row == 2 ? 2 : 0); ++col)
            p.fillRect(8 + col * 4 + (row == 2 ? 4 : 0), 9 + row * 4, 3, 2, ink);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(UiFont(12, true));
    p.drawText(QRectF(29, 0, 28, 28), Qt::AlignCenter, QStringLiteral("äß"));
    return pm;
}

QPixmap HelpPicture(int state) {
    QPixmap pm = NewPixmap(21, 32, kWindowColor);
    QPainter p(&pm);
    DrawButtonFace(p, QRectF(0, 0, 21, 32), state);
    p.setPen(state == 2 ? Qt::white : kDarkBrown);
    p.setFont(UiFont(18, true));
    p.drawText(QRectF(0, 0, 21, 28), Qt::AlignCenter, QStringLiteral("?"));
    // The drop-down mark.
    p.setBrush(state == 2 ? Qt::white : kDarkBrown);
    p.setPen(Qt::NoPen);
    const QPointF tri[3] = {{7, 25}, {14, 25}, {10.5, 29}};
    p.drawPolygon(tri, 3);
    return pm;
}

QPixmap SmallChromeButton(bool close) {
    QPixmap pm = NewPixmap(15, 13, kMidBrown);
    QPainter p(&pm);
    p.setPen(kPaleEdge);
    p.drawRect(0, 0, 14, 12);
    p.setPen(QPen(Qt::white, 2));
    if (close) {
        p.setRenderHint(QPainter::Antialiasing);
        p.drawLine(QPointF(4.5, 3.5), QPointF(10.5, 9.5));
        p.drawLine(QPointF(10.5, 3.5), QPointF(4.5, 9.5));
    } else {
        p.drawLine(4, 9, 11, 9);
    }
    return pm;
}

}  // namespace

QPixmap ButtonPicture(int number) {
    switch (number) {
        case 1:
        case 2:
        case 3:
            return SearchPicture(number - 1);
        case 201:
        case 202:
        case 203:
            return KeyboardPicture(number - 201);
        case 301:
        case 302:
        case 303:
            return HelpPicture(number - 301);
        default:
            return {};
    }
}

QPixmap TitleStripPicture() {
    QPixmap pm(518, 20);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 0, 20);
    g.setColorAt(0, QColor(200, 140, 84));
    g.setColorAt(1, QColor(150, 92, 46));
    p.fillRect(pm.rect(), g);
    p.setPen(QColor(236, 190, 140));
    p.drawLine(0, 0, 517, 0);
    p.setRenderHint(QPainter::Antialiasing);
    // The program's mark: an open book.
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(QColor(255, 255, 255, 60));
    QPainterPath book;
    book.moveTo(8, 5);
    book.quadTo(12, 4, 15, 6);
    book.lineTo(15, 16);
    book.quadTo(12, 14, 8, 15);
    book.closeSubpath();
    book.moveTo(22, 5);
    book.quadTo(18, 4, 15, 6);
    book.lineTo(15, 16);
    book.quadTo(18, 14, 22, 15);
    book.closeSubpath();
    p.drawPath(book);
    p.setPen(Qt::white);
    p.setFont(UiFont(12, true));
    p.drawText(QRectF(30, 0, 300, 20), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Речник Ворлано"));
    return pm;
}

QPixmap BackgroundPicture() {
    QPixmap pm = NewPixmap(518, 357, kWindowColor);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Top band behind the entry box, buttons and selector.
    QLinearGradient band(0, 2, 0, 52);
    band.setColorAt(0, QColor(246, 230, 208));
    band.setColorAt(1, QColor(230, 198, 162));
    p.setPen(QPen(kMidBrown, 1));
    p.setBrush(band);
    p.drawRoundedRect(QRectF(8.5, 8.5, 501, 44), 7, 7);
    // Frames: entry box, word list, article with headword.
    const auto frame = [&p](const QRectF& r) {
        p.setPen(QPen(kMidBrown, 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(r, 4, 4);
    };
    frame(QRectF(22.5, 19.5, 139, 24));   // Edit1 at (27, 24) 130 x 15
    frame(QRectF(240.5, 18.5, 172, 24));  // ComboBox1 at (244, 21)
    // Content panel behind list and article.
    p.setPen(QPen(kMidBrown, 1));
    QLinearGradient panel(0, 56, 0, 350);
    panel.setColorAt(0, QColor(236, 206, 172));
    panel.setColorAt(1, QColor(226, 188, 146));
    p.setBrush(panel);
    p.drawRoundedRect(QRectF(8.5, 56.5, 501, 292), 7, 7);
    frame(QRectF(14.5, 58.5, 147, 284));   // lbWords at (18, 62) 140 x 277
    frame(QRectF(188.5, 60.5, 311, 282));  // lWord, rule and article
    return pm;
}

QPixmap MinimisePicture() { return SmallChromeButton(false); }
QPixmap ClosePicture() { return SmallChromeButton(true); }

QPixmap SpeakerPicture() {
    QPixmap pm = NewPixmap(32, 32, Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkBrown);
    const QPointF body[6] = {{5, 12}, {11, 12}, {18, 5}, {18, 27}, {11, 20}, {5, 20}};
    p.drawPolygon(body, 6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kMidBrown, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(14, 10, 10, 12), -50 * 16, 100 * 16);
    p.drawArc(QRectF(12, 6, 16, 20), -50 * 16, 100 * 16);
    return pm;
}

QIcon TrayIconPicture() {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kDarkBrown, 1));
    p.setBrush(QColor(200, 140, 84));
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    p.setPen(Qt::white);
    p.setFont(UiFont(11, true));
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("Р"));
    return QIcon(pm);
}

QPixmap LetterPicture(const QString& letter, bool selected) {
    QPixmap pm = NewPixmap(10, 22, selected ? kWindowColor : QColor(Qt::white));
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setFont(UiFont(12, false));
    p.drawText(QRectF(0, 0, 10, 22), Qt::AlignCenter, letter);
    return pm;
}

}  // namespace vorlano
