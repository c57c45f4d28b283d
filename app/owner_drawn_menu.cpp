#include "app/owner_drawn_menu.h"

#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

#include "app/artwork.h"

namespace vorlano {
namespace {

const char* const kKindProperty = "vorlanoItemKind";
const char* const kWidthProperty = "vorlanoItemWidth";
const char* const kLetterProperty = "vorlanoLetter";
const char* const kTickProperty = "vorlanoTicked";

// Measures items as the program requests: a fixed width for an item that
// asks for one, 10 x 22 for a picture item, the style's size otherwise.
class TMenuMeasureStyle : public QProxyStyle {
  public:
    explicit TMenuMeasureStyle(QMenu* menu) : FMenu(menu) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type != CT_MenuItem) return result;
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (!item) return result;
        for (const QAction* action : FMenu->actions()) {
            if (action->text() != item->text) continue;
            if (TOwnerDrawnMenu::KindOf(action) == TMenuItemKind::Picture) return {10, 22};
            const int width = action->property(kWidthProperty).toInt();
            if (width > 0) result.setWidth(width);
            break;
        }
        return result;
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_MenuPanelWidth || metric == PM_MenuHMargin || metric == PM_MenuVMargin)
            return 1;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

  private:
    QMenu* FMenu;
};

}  // namespace

QString ClipboardItemCaption(bool ticked) {
    return ticked ? kClipboardOnCaption : kClipboardOffCaption;
}

void DrawTextMenuItem(QPainter& painter, const QRect& rect, const QString& caption, bool selected,
                      bool outline) {
    painter.save();
    painter.setClipRect(rect);
    const QColor background = selected ? kWindowColor : QColor(Qt::white);
    painter.fillRect(rect, background);
    if (outline) {
        painter.setPen(Qt::white);
        painter.setBrush(background);
        painter.drawRect(rect.adjusted(0, 0, -1, -1));
    }
    painter.setPen(Qt::black);
    const QFontMetrics metrics(painter.font());
    painter.drawText(QPoint(rect.left() + 7, rect.top() + 2 + metrics.ascent()), caption);
    painter.restore();
}

TOwnerDrawnMenu::TOwnerDrawnMenu(QWidget* parent) : QMenu(parent) {
    auto* style = new TMenuMeasureStyle(this);
    style->setParent(this);
    setStyle(style);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

QAction* TOwnerDrawnMenu::AddTextItem(const QString& objectName, const QString& caption,
                                      int width) {
    QAction* action = addAction(caption);
    action->setObjectName(objectName);
    action->setProperty(kKindProperty, int(TMenuItemKind::Text));
    if (width > 0) action->setProperty(kWidthProperty, width);
    return action;
}

QAction* TOwnerDrawnMenu::AddClipboardItem(const QString& objectName) {
    // The action's own text is the longer caption, so the item is measured
    // wide enough for both.
    QAction* action = addAction(kClipboardOnCaption);
    action->setObjectName(objectName);
    action->setProperty(kTickProperty, false);
    action->setProperty(kKindProperty, int(TMenuItemKind::Clipboard));
    return action;
}

QAction* TOwnerDrawnMenu::AddPictureItem(const QString& objectName, const QString& letter) {
    QAction* action = addAction(letter);
    action->setObjectName(objectName);
    action->setProperty(kKindProperty, int(TMenuItemKind::Picture));
    action->setProperty(kLetterProperty, letter);
    return action;
}

TMenuItemKind TOwnerDrawnMenu::KindOf(const QAction* action) {
    return TMenuItemKind(action->property(kKindProperty).toInt());
}

bool TOwnerDrawnMenu::Ticked(const QAction* action) {
    return action->property(kTickProperty).toBool();
}

void TOwnerDrawnMenu::SetTicked(QAction* action, bool ticked) {
    action->setProperty(kTickProperty, ticked);
}

QString TOwnerDrawnMenu::DrawnCaption(const QAction* action) {
    return KindOf(action) == TMenuItemKind::Clipboard ? ClipboardItemCaption(Ticked(action))
                                                      : action->text();
}

void TOwnerDrawnMenu::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.fillRect(e->rect(), Qt::white);
    for (QAction* action : actions()) {
        const QRect rect = actionGeometry(action);
        if (!rect.intersects(e->rect()) || !action->isVisible()) continue;
        const bool selected = activeAction() == action;
        switch (KindOf(action)) {
            case TMenuItemKind::Picture:
                p.drawPixmap(rect.topLeft(),
                             LetterPicture(action->property(kLetterProperty).toString(), selected));
                break;
            case TMenuItemKind::Clipboard:
                DrawTextMenuItem(p, rect, DrawnCaption(action), selected, true);
                break;
            case TMenuItemKind::Text:
                DrawTextMenuItem(p, rect, action->text(), selected, false);
                break;
        }
    }
    p.setPen(QColor(176, 118, 66));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace vorlano
