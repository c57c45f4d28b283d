// The active keyboard layout as the X server's keyboard extension (XKB)
// names it: the name of the current group, e.g. "Bulgarian" or
// "English (US)", read through the application's own X connection.
//
// Ownership: nothing kept; every call asks the server anew, so a layout
// switched meanwhile (setxkbmap, a group switch key) is seen at once.
// Threads: GUI thread. Failures: none raised; without the X11 platform
// (Wayland, offscreen), without XKB or without a name for the group the
// result is empty and the caller uses its own rule.
#pragma once

#include <QString>
#include <optional>

namespace vorlano {

std::optional<QString> ActiveKeyboardGroupName();

}  // namespace vorlano
