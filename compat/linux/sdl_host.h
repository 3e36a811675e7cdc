// What the SDL host's files share. sdl_window.cpp and sdl_context.cpp hold
// host.h's side of the host over SDL2. Each window has a backend, chosen
// once when it gets its native window: on X11 its GL goes through GLX
// (glx_context.cpp) and what SDL does not do for it is done with Xlib
// (x11_window.cpp); on Wayland the GL goes through EGL (egl_context.cpp) and
// libwayland's side is in wayland_window.cpp; any other driver gets SDL's
// own GL (sdl_context.cpp).
#ifndef SINEBAND_COMPAT_SDL_HOST_H
#define SINEBAND_COMPAT_SDL_HOST_H

#include <SDL.h>
#include <limits.h>
#include <math.h>
#include <string>
#include <vector>

#include "host.h"

namespace compat {

// What differs between window systems, as a table of functions; the host.h
// functions call through it and never ask which window system they are on.
struct Backend {
    const std::vector<PIXELFORMATDESCRIPTOR> &(*formats)(HostWindow *w);
    // Gives w the format (0-based, an index into formats(w)).
    bool (*set_format)(HostWindow *w, int index);
    // A context for w's format, not made current (as with WGL); null when refused.
    void *(*context_create)(HostWindow *w);
    // Binds gl to w; with both null, leaves the thread with none of the backend's contexts.
    bool (*make_current)(HostWindow *w, void *gl);
    void (*context_destroy)(void *gl);
    bool (*swap)(HostWindow *w);
    void (*frame)(HostWindow *w, int *left, int *top, int *right, int *bottom);
    void (*resized)(HostWindow *w);   // may be null
    // Follows a change of the screen's scale under w: true when its drawing
    // buffer was made again at the new one. May be null.
    bool (*rescaled)(HostWindow *w);
    // Lets go of what it made on w's native window, before SDL lets go of it; may be null.
    void (*release)(HostWindow *w);
};

extern const Backend glx_backend, egl_backend, sdl_gl_backend;

struct HostWindow {
    SDL_Window *window = nullptr;
    Uint32 id = 0;
    HWND owner = nullptr;
    std::string title;
    int x = 0, y = 0, width = 0, height = 0;
    bool frameless = false;
    // SDL's pixels a window pixel in the window's sizes and positions: on
    // X11 the screen's scale; 1 on Wayland, whose sizes are the compositor's
    // logical ones, which it scales itself.
    float geometry = 1;
    bool map_exposure_due = false;   // shown, and its first exposure not seen yet
    bool presented = false;          // a frame of it has been shown
    const Backend *backend = nullptr;
    struct {
        void *display = nullptr;   // Display *
        unsigned long window = 0;
    } x11;
    struct {
        void *config = nullptr;    // the GLXFBConfig of the window's format
    } glx;
    struct {
        void *display = nullptr;   // wl_display *
        void *surface = nullptr;   // SDL's wl_surface
        void *egl_window = nullptr;   // the layer's own wl_egl_window on it
        float scale = 1;              // the screen's pixels a window pixel
        int buffer_w = 0, buffer_h = 0;   // its size, in the screen's pixels
        void *viewport = nullptr;     // with a fractional scale: the wp_viewport
        void *fractional = nullptr;   // ... and the wp_fractional_scale_v1
        int preferred = 0;            // the compositor's scale for it, in 120ths; 0 unknown
    } wl;
    struct {
        void *config = nullptr;    // the EGLConfig of the window's format
        void *surface = nullptr;
        bool alpha = false;        // the format has alpha, which the compositor must not see
    } egl;
};

// What the program last gave the GL calls that take window pixels, in
// window pixels; gl_pixels.cpp passes it on in the drawing buffer's.
struct GlPixels {
    bool known = false;            // set when the context is first bound
    int viewport[4] = {0, 0, 0, 0};
    int scissor[4] = {0, 0, 0, 0};
    float point = 1, line = 1;
    float sent[2] = {1, 1};        // the scale, across and down, they were passed on at (GL's own: 1)
};

struct HostContext {
    const Backend *backend;
    void *gl;   // a GLXContext, an EGLContext or an SDL_GLContext
    GlPixels pixels;
};

// v window pixels at k screen pixels a window pixel, rounded, within an int.
inline int scaled_pixels(int v, double k)
{
    double scaled = rint(v * k);
    return scaled > INT_MAX ? INT_MAX : scaled < INT_MIN ? INT_MIN : (int)scaled;
}

// --- sdl_window.cpp --------------------------------------------------------

// Creates the SDL window for w's description; null with SDL's error in why.
SDL_Window *sdl_make_window(HostWindow *w, Uint32 extra_flags, std::string &why);
// Makes w's native window anew, shown if the old one was, with SDL's extra
// flags and, unless 0, that X visual; false, keeping the old, when it cannot.
bool sdl_remake_window(HostWindow *w, Uint32 extra_flags, unsigned long x_visual);
// Gives window w its native window, and with it its backend.
void sdl_adopt_window(HostWindow *w, SDL_Window *window);
// The frame as SDL knows it.
void sdl_window_frame(HostWindow *w, int *left, int *top, int *right, int *bottom);
// The drawing buffer's size, in the screen's pixels.
void sdl_window_pixels(HostWindow *w, int *width, int *height);
// Whether the screen's scale is to be left alone (SINEBAND_NO_SCALING).
bool sdl_unscaled();

// --- gl_pixels.cpp: the GL calls that take window pixels -----------------

// ctx is now current on w (both null: none is).
void gl_pixels_bind(HostWindow *w, HostContext *ctx);
// w's drawing buffer has a new size for the same client area: what the
// program gave in window pixels is passed on again at the new scale.
void gl_pixels_follow(HostWindow *w);
// ctx is going; it is no longer current.
void gl_pixels_forget(HostContext *ctx);

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
// The native window EGL draws w into: a wl_egl_window of the layer's own on
// w's surface, at its size; null when refused.
void *wayland_egl_window(HostWindow *w);
// Follows the window's new size; the next frame is drawn at it.
void wayland_window_resized(HostWindow *w);
// Lets go of w's wl_egl_window, once EGL has let go of its surface on it.
void wayland_window_release(HostWindow *w);
// Follows the scale of the output w is on; true when it changed.
bool wayland_window_rescaled(HostWindow *w);

// --- x11_window.cpp: what SDL does not do for an X11 window ---------------

// From here on a lost X server is reported through input_lost_host, not by
// Xlib's own exit.
void x11_handle_lost_server();
// The frame the window manager put around w (_NET_FRAME_EXTENTS); all zero
// while it has put none.
void x11_frame_extents(HostWindow *w, int *left, int *top, int *right, int *bottom);
// The X visual w's native window was made with; 0 when it cannot be read.
unsigned long x11_window_visual(HostWindow *w);
// The screen's scale on this display, as GTK programs take it: GDK_SCALE
// when set, else Xft.dpi / 96 from the root window's resources, else 1.
float x11_screen_scale();

}  // namespace compat

#endif
