#include "acquisition/shell/lock_keys.h"

#include <QGuiApplication>

#if defined(VOSTREL_HAVE_X11)
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {
bool NamedIndicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return false;
    int index = 0;
    int on = 0;
    if (!XkbGetNamedIndicator(display, atom, &index, &on, nullptr, nullptr)) return false;
    return on != 0;
}
}  // namespace

LockKeys ReadLockKeys() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) return {};
    return {NamedIndicatorOn(x11->display(), "Caps Lock"), NamedIndicatorOn(x11->display(), "Scroll Lock")};
}
#else
LockKeys ReadLockKeys() { return {}; }
#endif
