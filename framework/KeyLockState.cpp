#include "KeyLockState.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <dlfcn.h>

// Lock keys: on X11 the keyboard's indicator lights, read through the X keyboard extension of
// the X library the platform plug-in already has loaded. Elsewhere they cannot be told.

CKeyLockState AfxGetKeyLockState() {
    CKeyLockState state;
#if QT_CONFIG(xcb)
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return state;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return state;
    struct Library {
        void* handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
        ~Library() {
            if (handle)
                dlclose(handle);
        }
    } lib;
    if (!lib.handle)
        return state;
    using InternAtom = unsigned long (*)(Display*, const char*, int);
    using GetNamedIndicator = int (*)(Display*, unsigned long, int*, int*, void*, int*);
    auto internAtom = reinterpret_cast<InternAtom>(dlsym(lib.handle, "XInternAtom"));
    auto getIndicator =
        reinterpret_cast<GetNamedIndicator>(dlsym(lib.handle, "XkbGetNamedIndicator"));
    if (!internAtom || !getIndicator)
        return state;
    auto lit = [&](const char* name, bool& on) {
        const unsigned long atom = internAtom(display, name, 1);
        int index = 0, value = 0;
        if (atom && getIndicator(display, atom, &index, &value, nullptr, nullptr)) {
            on = value != 0;
            return true;
        }
        return false;
    };
    const bool caps = lit("Caps Lock", state.bCaps);
    const bool num = lit("Num Lock", state.bNum);
    const bool scroll = lit("Scroll Lock", state.bScroll);
    state.bKnown = caps || num || scroll;
#endif
    return state;
}
