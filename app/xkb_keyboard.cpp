#include "app/xkb_keyboard.h"

#include <QtGui/qguiapplication_platform.h>

#include <QGuiApplication>

#if QT_CONFIG(xcb) && defined(VORLANO_HAVE_XKB)
// Last: the X11 headers define macros (None, Bool, Status) that Qt's
// headers must not see.
#include <X11/XKBlib.h>
#endif

namespace vorlano {

#if QT_CONFIG(xcb) && defined(VORLANO_HAVE_XKB)

std::optional<QString> ActiveKeyboardGroupName() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr) return std::nullopt;
    int opcode = 0, event = 0, error = 0;
    int major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) return std::nullopt;
    XkbStateRec state{};
    if (XkbGetState(display, XkbUseCoreKbd, &state) != Success) return std::nullopt;
    XkbDescPtr keyboard = XkbAllocKeyboard();
    if (keyboard == nullptr) return std::nullopt;
    std::optional<QString> name;
    if (XkbGetNames(display, XkbGroupNamesMask, keyboard) == Success && keyboard->names &&
        state.group < XkbNumKbdGroups) {
        const Atom atom = keyboard->names->groups[state.group];
        if (char* text = atom != None ? XGetAtomName(display, atom) : nullptr) {
            name = QString::fromUtf8(text);
            XFree(text);
        }
    }
    XkbFreeKeyboard(keyboard, 0, True);
    if (name && name->isEmpty()) name.reset();
    return name;
}

#else

std::optional<QString> ActiveKeyboardGroupName() { return std::nullopt; }

#endif

}  // namespace vorlano
