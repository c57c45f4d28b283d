// The program's pictures, drawn with QPainter at the sizes the window
// layout needs: title strip, background frame, the picture buttons in
// their three states, the minimise and close buttons, the speaker, the
// tray icon and the letter pictures of the special-character menus.
//
// Ownership: returns values. Threads: GUI thread (QPixmap). Failures: none.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace vorlano {

inline const QColor kWindowColor(239, 216, 191);
inline const QColor kRuleFill(239, 191, 139);
inline const QColor kRuleOutline(253, 241, 219);

// Picture numbers of the buttons: 1 to 3 search, 201 to 203 special
// characters, 301 to 303 help (normal, hover, pressed).
QPixmap ButtonPicture(int number);
QPixmap TitleStripPicture();  // 518 x 20
QPixmap BackgroundPicture();  // 518 x 357
QPixmap MinimisePicture();    // 15 x 13
QPixmap ClosePicture();       // 15 x 13
QPixmap SpeakerPicture();     // 32 x 32
QIcon TrayIconPicture();      // 16 x 16
// One letter on a 10 x 22 menu cell.
QPixmap LetterPicture(const QString& letter, bool selected);

}  // namespace vorlano
