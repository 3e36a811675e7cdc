// What the SDL backend's files share: the native window and context records.
#ifndef SINEBAND_COMPAT_SDL_HOST_H
#define SINEBAND_COMPAT_SDL_HOST_H

#include <SDL.h>
#include <string>

#include "host.h"

namespace compat {

struct HostWindow {
    SDL_Window *window;
    Uint32 id;
    HWND owner;
    std::string title;
    int x, y, width, height;
    bool frameless;
    void *x_display;            // the X11 connection and window: GL goes through GLX there
    unsigned long x_window;
    void *glx_config = nullptr; // the GLXFBConfig of the window's pixel format
};

// An SDL context where SDL does the GL (not X11), a GLX one on X11.
struct HostContext {
    SDL_GLContext gl;
    void *glx;
    void *x_display;
};

// Creates the SDL window for w's description; null with SDL's error in why.
SDL_Window *sdl_make_window(HostWindow *w, Uint32 extra_flags, std::string &why);

// Makes window w's native window (again).
void sdl_adopt_window(HostWindow *w, SDL_Window *window);

}  // namespace compat

#endif
