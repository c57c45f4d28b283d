// THintListBox: the word list. A list widget that paints its items itself
// (alternating colour pairs, the selected item bold black on the window
// colour, text at LeftOffest from the left, fixed item height) and shows a
// hint window with an item's full text when the item is wider than the
// list: after ItemHintPause ms of resting on it, at once while the right
// button is held on it, or at once when moving from one cut-off item to the
// next. The hint goes after ItemHintHidePause ms (0: never by time), on a
// key, a click or a focus change, and when the pointer leaves the list.
// Key releases are swallowed.
//
// Ownership: a Qt child of its parent; owns its hint window and timers.
// Threads: GUI thread. Failures: SetHorizontalExtent throws
// std::invalid_argument for a negative value or one between 1 and the
// client width, leaving the property unchanged.
#pragma once

#include <QColor>
#include <QListWidget>
#include <QPoint>
#include <QTimer>
#include <functional>
#include <memory>

namespace vorlano {

class TCustomHint;

inline const QColor kSelectedItemColor(239, 216, 191);
inline constexpr char kHorizontalExtentError[] =
    "Property HorizontalExtent must be 0 or a value greater than ClientWidth";

class THintListBox : public QListWidget {
    Q_OBJECT
  public:
    // (hint text, show flag): the handler may change both.
    using TShowHintEvent = std::function<void(QString& hint, bool& doShow)>;

    explicit THintListBox(QWidget* parent = nullptr);
    ~THintListBox() override;

    // ---- properties ----
    QColor FontColor1 = Qt::black;
    QColor BgColor1 = QColor(249, 223, 174);
    QColor FontColor2 = Qt::blue;
    QColor BgColor2 = Qt::white;
    bool MultiColor = true;
    quint16 ItemHintPause = 800;
    quint16 ItemHintHidePause = 3000;
    qint16 LeftOffest = 5;
    TShowHintEvent OnShowHint;

    int ItemHeight() const noexcept { return FItemHeight; }
    void SetItemHeight(int height);
    int HorizontalExtent() const noexcept { return FHorizontalExtent; }
    void SetHorizontalExtent(int extent);
    bool ShowItemHint() const noexcept { return FShowItemHint; }
    void SetShowItemHint(bool on);

    // ---- state (read by the tests and the window) ----
    TCustomHint* HintWindow() const noexcept { return FHint.get(); }
    bool HintVisible() const;
    int HotIndex() const noexcept { return FHotIndex; }
    bool HintPending() const noexcept { return FHintPending; }
    bool NeedsHint() const noexcept { return FNeedsHint; }
    int HScrollOffset() const noexcept { return FHScrollOffset; }
    const QTimer& ShowTimer() const noexcept { return FShowTimer; }
    const QTimer& HideTimer() const noexcept { return FHideTimer; }
    int ClientWidth() const;
    // Whether an item text of width `textWidth` fits without a hint.
    bool Fits(int textWidth) const;
    int TextWidth(const QString& text) const;

    // Shows the hint for the hot item now (when the pointer is still on it).
    void ShowItemHintNow();
    // The pointer moved to `pos` (viewport coordinates).
    void PointerMovedTo(const QPoint& pos);

    // Where the pointer is, in global coordinates (tests replace it).
    std::function<QPoint()> CursorPos;

  signals:
    void mouseLeft();

  protected:
    void mouseMoveEvent(QMouseEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;
    bool viewportEvent(QEvent*) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    class TItemDelegate;
    void HideHint();
    void CreateHint();
    void KillShowTimer();

    int FItemHeight = 16;
    int FHorizontalExtent = 0;
    bool FShowItemHint = true;
    bool FHintPending = false;
    int FHotIndex = -1;
    int FHScrollOffset = 0;
    bool FRightButtonHint = false;
    bool FNeedsHint = false;
    std::unique_ptr<TCustomHint> FHint;
    QTimer FShowTimer;  // timer 1: show delay
    QTimer FHideTimer;  // timer 2: hide delay
};

}  // namespace vorlano
