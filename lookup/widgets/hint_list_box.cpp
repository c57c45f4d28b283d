#include "lookup/widgets/hint_list_box.h"

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <stdexcept>

#include "lookup/widgets/custom_hint.h"

namespace vorlano {

class THintListBox::TItemDelegate : public QStyledItemDelegate {
  public:
    explicit TItemDelegate(THintListBox* list) : QStyledItemDelegate(list), FList(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int width = FList->FHorizontalExtent > 0
                              ? FList->FHorizontalExtent
                              : QStyledItemDelegate::sizeHint(option, index).width();
        return {width, FList->FItemHeight};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect r = option.rect;
        p->save();
        QFont font = FList->font();
        if (FList->MultiColor) {
            QColor background, ink;
            if (option.state & QStyle::State_Selected) {
                background = kSelectedItemColor;
                ink = Qt::black;
                font.setBold(true);
            } else if (index.row() % 2 == 0) {
                background = FList->BgColor1;
                ink = FList->FontColor1;
            } else {
                background = FList->BgColor2;
                ink = FList->FontColor2;
            }
            p->fillRect(r, background);
            p->setFont(font);
            p->setPen(ink);
            p->drawText(r.adjusted(FList->LeftOffest, 0, 0, 0),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        } else {
            const bool selected = option.state & QStyle::State_Selected;
            p->fillRect(r, option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
            p->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
            p->drawText(r.adjusted(2, 0, 0, 0),
                        Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        }
        if (option.state & QStyle::State_HasFocus) {
            p->setPen(QPen(Qt::black, 1, Qt::DotLine));
            p->setBrush(Qt::NoBrush);
            p->drawRect(r.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

  private:
    THintListBox* FList;
};

THintListBox::THintListBox(QWidget* parent) : QListWidget(parent) {
    CursorPos = [] { return QCursor::pos(); };
    setItemDelegate(new TItemDelegate(this));
    setUniformItemSizes(true);
    setMouseTracking(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    FShowTimer.setSingleShot(true);
    FHideTimer.setSingleShot(true);
    connect(&FShowTimer, &QTimer::timeout, this, [this] {
        ShowItemHintNow();
        FHintPending = false;
    });
    connect(&FHideTimer, &QTimer::timeout, this, [this] { HideHint(); });
    CreateHint();
}

THintListBox::~THintListBox() {
    // The hint is a child widget: deleting it sends this list events, which
    // must find FHint empty rather than pointing at a half-destroyed widget
    // (reset empties the pointer before deleting; the member's destructor
    // does not).
    FHint.reset();
}

void THintListBox::SetItemHeight(int height) {
    FItemHeight = height;
    doItemsLayout();
}

int THintListBox::ClientWidth() const { return viewport()->width(); }

void THintListBox::SetHorizontalExtent(int extent) {
    if (extent == FHorizontalExtent) return;
    if (extent < 0 || (extent > 0 && extent <= ClientWidth()))
        throw std::invalid_argument(kHorizontalExtentError);
    FHorizontalExtent = extent;
    doItemsLayout();
}

void THintListBox::SetShowItemHint(bool on) {
    if (on == FShowItemHint) return;
    FShowItemHint = on;
    if (on) {
        CreateHint();
    } else {
        KillShowTimer();
        FHideTimer.stop();
        FHint.reset();
    }
}

void THintListBox::CreateHint() {
    if (!FShowItemHint) return;
    FHint = std::make_unique<TCustomHint>(this);
    FHint->setFont(font());
}

bool THintListBox::HintVisible() const { return FHint && FHint->isVisible(); }

int THintListBox::TextWidth(const QString& text) const {
    return QFontMetrics(FHint ? FHint->font() : font()).horizontalAdvance(text);
}

bool THintListBox::Fits(int textWidth) const {
    return FHScrollOffset == 0 ? textWidth <= ClientWidth() : textWidth < FHScrollOffset;
}

void THintListBox::KillShowTimer() {
    if (!FHintPending) return;
    FShowTimer.stop();
    FHintPending = false;
}

void THintListBox::HideHint() {
    if (FHint && FHint->isVisible()) FHint->hide();
    FHideTimer.stop();
}

void THintListBox::PointerMovedTo(const QPoint& pos) {
    if (!FHint) return;
    const QModelIndex index = indexAt(pos);
    const int i = index.isValid() ? index.row() : -1;
    if (i == FHotIndex) return;
    FHotIndex = i;
    KillShowTimer();
    if (i < 0 || i >= count()) return;
    if (Fits(TextWidth(item(i)->text()))) {
        HideHint();
        FNeedsHint = false;
        return;
    }
    FNeedsHint = true;
    if (HintVisible()) {
        HideHint();
        ShowItemHintNow();
    } else if (ItemHintPause != 0) {
        FShowTimer.start(ItemHintPause);
        FHintPending = true;
    } else {
        ShowItemHintNow();
    }
}

void THintListBox::ShowItemHintNow() {
    if (!FHint || FHotIndex < 0 || FHotIndex >= count()) return;
    QString text = item(FHotIndex)->text();
    if (OnShowHint) {
        bool doShow = true;
        OnShowHint(text, doShow);
        if (!doShow) return;
    }
    const QModelIndex under = indexAt(viewport()->mapFromGlobal(CursorPos()));
    if (!under.isValid() || under.row() != FHotIndex) return;
    QRect rect = visualItemRect(item(FHotIndex));
    rect.setWidth(TextWidth(text));
    rect.moveTopLeft(viewport()->mapToGlobal(rect.topLeft()));
    rect.translate(LeftOffest - FHScrollOffset - 1, -1);
    FHint->ActivateHint(rect, text);
    if (ItemHintHidePause != 0) FHideTimer.start(ItemHintHidePause);
}

void THintListBox::mouseMoveEvent(QMouseEvent* e) {
    QListWidget::mouseMoveEvent(e);
    PointerMovedTo(e->position().toPoint());
}

void THintListBox::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

void THintListBox::enterEvent(QEnterEvent* e) {
    FHotIndex = -1;
    QListWidget::enterEvent(e);
}

void THintListBox::leaveEvent(QEvent* e) {
    QListWidget::leaveEvent(e);
    if (FShowItemHint) {
        FHotIndex = -1;
        KillShowTimer();
        HideHint();
    }
    emit mouseLeft();
}

void THintListBox::changeEvent(QEvent* e) {
    QListWidget::changeEvent(e);
    if (e->type() == QEvent::FontChange && FHint) FHint->setFont(font());
}

// A visible hint not called up by the right button ends on any key press,
// mouse button or wheel, and on a focus change.
static bool EndsHint(const QEvent* e) {
    switch (e->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::FocusOut:
        case QEvent::FocusIn:
            return true;
        case QEvent::MouseButtonRelease:
        default:
            return false;
    }
}

bool THintListBox::event(QEvent* e) {
    if (HintVisible() && !FRightButtonHint && EndsHint(e)) HideHint();
    return QListWidget::event(e);
}

bool THintListBox::viewportEvent(QEvent* e) {
    if (FHint) {
        const bool mouse =
            e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonRelease;
        const bool right = mouse && static_cast<QMouseEvent*>(e)->button() == Qt::RightButton;
        if (HintVisible() && !FRightButtonHint) {
            if (EndsHint(e)) HideHint();
        } else if (right && e->type() == QEvent::MouseButtonPress && FNeedsHint) {
            ShowItemHintNow();
            FRightButtonHint = true;
        } else if (right && e->type() == QEvent::MouseButtonRelease && FRightButtonHint) {
            HideHint();
            FRightButtonHint = false;
        }
    }
    return QListWidget::viewportEvent(e);
}

void THintListBox::scrollContentsBy(int dx, int dy) {
    if (dx != 0 && FShowItemHint)
        FHScrollOffset = count() == 0 ? 0 : visualItemRect(item(0)).right() + 1 - ClientWidth();
    QListWidget::scrollContentsBy(dx, dy);
}

}  // namespace vorlano
