// Popup menus whose items the program draws itself in the window's
// colours: a text item fills its rectangle (window colour when selected,
// white otherwise) and draws its caption in black at (left + 7, top + 2);
// the clipboard item first draws a white outline and takes its caption from
// its tick ("Ctrl + C  деактивирай" ticked, "Ctrl + C  активирай" not),
// drawing no tick mark; a picture item shows its picture (the letter
// pictures of the special-character menus). An item may request its own
// width or size; others keep what the style measures for the caption.
//
// Ownership: actions are children of the menu. Threads: GUI thread.
// Failures: none.
#pragma once

#include <QMenu>
#include <QPixmap>
#include <QString>

namespace vorlano {

enum class TMenuItemKind { Text, Clipboard, Picture };

inline const QString kClipboardOnCaption = QStringLiteral("Ctrl + C  деактивирай");
inline const QString kClipboardOffCaption = QStringLiteral("Ctrl + C  активирай");

// The caption the clipboard item draws for its tick.
QString ClipboardItemCaption(bool ticked);
// Draws one text item (the clipboard item with `outline`).
void DrawTextMenuItem(QPainter& painter, const QRect& rect, const QString& caption, bool selected,
                      bool outline);

class TOwnerDrawnMenu : public QMenu {
    Q_OBJECT
  public:
    explicit TOwnerDrawnMenu(QWidget* parent = nullptr);

    QAction* AddTextItem(const QString& objectName, const QString& caption, int width = 0);
    QAction* AddClipboardItem(const QString& objectName);
    QAction* AddPictureItem(const QString& objectName, const QString& letter);

    static TMenuItemKind KindOf(const QAction* action);
    // The clipboard item's tick (kept apart from Qt's checkable state, so a
    // click does not toggle it behind the handler's back).
    static bool Ticked(const QAction* action);
    static void SetTicked(QAction* action, bool ticked);
    // The caption an item draws (the clipboard item's from its tick).
    static QString DrawnCaption(const QAction* action);

  protected:
    void paintEvent(QPaintEvent*) override;
};

}  // namespace vorlano
