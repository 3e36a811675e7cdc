// What the SDL host's files share. sdl_window.cpp and sdl_context.cpp hold
// host.h's side of the host over SDL2; where a window is on X11, its GL goes
// through GLX (glx_context.cpp), and what SDL does not do for an X11 window
// is done with Xlib (x11_window.cpp). On Wayland the GL goes through EGL
// (egl_context.cpp), and libwayland's side is in wayland_window.cpp.
#ifndef SINEBAND_COMPAT_SDL_HOST_H
#define SINEBAND_COMPAT_SDL_HOST_H

#include <SDL.h>
#include <string>
#include <vector>

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
    bool map_exposure_due = false;   // shown, and its first exposure not seen yet
    void *wl_display = nullptr;   // the Wayland connection and surface: GL goes through EGL there
    void *wl_surface = nullptr;
    void *egl_config = nullptr;   // the EGLConfig of the window's pixel format
    void *egl_window = nullptr;   // the layer's own wl_egl_window and its EGL surface
    void *egl_surface = nullptr;
    bool egl_alpha = false;       // the format has alpha, which the compositor must not see
};

// An SDL context where SDL does the GL (neither X11 nor Wayland), a GLX one
// on X11, an EGL one on Wayland.
struct HostContext {
    SDL_GLContext gl;
    void *glx;
    void *x_display;
    void *egl = nullptr;
};

// --- sdl_window.cpp --------------------------------------------------------

// Creates the SDL window for w's description; null with SDL's error in why.
SDL_Window *sdl_make_window(HostWindow *w, Uint32 extra_flags, std::string &why);
// Makes window w's native window (again).
void sdl_adopt_window(HostWindow *w, SDL_Window *window);

// --- glx_context.cpp: the GL of windows on X11 ----------------------------

// The display's GLX framebuffer configs as pixel formats, read once.
const std::vector<PIXELFORMATDESCRIPTOR> &glx_pixel_formats(HostWindow *w);
// The X visual and the GLXFBConfig of a format (0-based, as read above).
unsigned long glx_format_visual(int index);
void *glx_format_config(int index);
// A GLX context for w's format, not made current; null when GLX refuses.
void *glx_context_create(HostWindow *w);
// Binds ctx to w; with either one null, no GLX context is current after.
bool glx_make_current(HostWindow *w, HostContext *ctx);
// Whether this thread has a GLX context current.
bool glx_is_current();
void glx_context_destroy(HostContext *ctx);
void glx_swap(HostWindow *w);

// --- egl_context.cpp: the GL of windows on Wayland -----------------------

// The EGL configs of w's Wayland display as pixel formats, read once.
const std::vector<PIXELFORMATDESCRIPTOR> &egl_pixel_formats(HostWindow *w);
// Gives w the format (0-based, as read above): its own EGL window surface.
bool egl_window_set_format(HostWindow *w, int index);
// Follows the window's new size; the next frame is drawn at it.
void egl_window_resize(HostWindow *w);
// Lets go of w's EGL surface, before SDL lets go of its wl_surface.
void egl_window_release(HostWindow *w);
// An EGL context (desktop GL) for w's format, not made current; null when refused.
void *egl_context_create(HostWindow *w);
bool egl_make_current(HostWindow *w, HostContext *ctx);
bool egl_is_current();
void egl_context_destroy(HostContext *ctx);
// False when w's surface is not the current one, which EGL cannot swap.
bool egl_swap(HostWindow *w);

// --- wayland_window.cpp: what SDL does not do for a Wayland window --------

// Routes libwayland's log through the layer; called before SDL connects.
void wayland_take_log();
// Whether the compositor can be reached and offers what SDL needs; if not,
// why says what is wrong.
bool wayland_probe(std::string &why);
// Lines libwayland logged and nobody has said yet, joined; emptied.
std::string wayland_logged();
// Called with each window's connection: the first keeps SDL's EGL display
// alive, and from then on a lost compositor is reported.
void wayland_watch(void *display);
// Lets go of what wayland_watch held, before SDL_Quit.
void wayland_disconnect();
// Ends the process through input_lost_host when the connection is gone, and
// passes on what libwayland logged meanwhile. Called after each poll and
// before any call that would wait on the compositor.
void wayland_check_connection();

// --- x11_window.cpp: what SDL does not do for an X11 window ---------------

// From here on a lost X server is reported through input_lost_host, not by
// Xlib's own exit.
void x11_handle_lost_server();
// The frame the window manager put around w (_NET_FRAME_EXTENTS); all zero
// while it has put none.
void x11_frame_extents(HostWindow *w, int *left, int *top, int *right, int *bottom);
// The X visual w's native window was made with; 0 when it cannot be read.
unsigned long x11_window_visual(HostWindow *w);

}  // namespace compat

#endif
