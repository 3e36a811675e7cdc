// The host over SDL2: the connection to the window system, native windows,
// events, the message box and the fullscreen switch. Events become input_*
// calls; nothing here calls a window procedure.
//
// The window system is SDL_VIDEODRIVER's when that is set, else X11 when
// DISPLAY is set, else Wayland. Each window's backend (sdl_host.h) is chosen
// when it gets its native window, from the kind SDL made.
//
// On a scaled screen the program keeps its window's pixels, as Windows has
// a program that declares no DPI awareness do: its sizes and positions are
// the same at every scale, its window covers that many times more of the
// screen's pixels, and the drawing buffer has them all (GL calls that take
// window pixels are scaled in gl_pixels.cpp). On X11 the scale is read once
// at start, as GTK programs read it, and the layer scales what it gives SDL
// and takes from it; on Wayland the compositor scales sizes itself and the
// scale follows the output the window is on (wayland_window.cpp). A
// frameless window, the fullscreen build's, is not scaled: it asks for a
// display mode of its own. SINEBAND_NO_SCALING=1 leaves every scale at 1.
#include "sdl_host.h"

#include <SDL_syswm.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

namespace compat {

static std::vector<HostWindow *> windows;
static float x11_scale = 0;   // the X display's scale; 0 on any other window system

bool sdl_unscaled()
{
    static const bool off = [] {
        const char *value = getenv("SINEBAND_NO_SCALING");
        return value && *value && SDL_strcmp(value, "0") != 0;
    }();
    return off;
}

// Window pixels to SDL's, and back.
static int to_sdl(const HostWindow *w, int v) { return scaled_pixels(v, w->geometry); }

static int from_sdl(const HostWindow *w, int v) { return (int)lrint(v / (double)w->geometry); }

bool host_connect(const char *app_class, std::string &why)
{
    static int state = 0;   // 0 not tried, 1 connected, -1 failed
    static std::string failure;
    if (state == 0) {
        // Only a real window system: SDL would otherwise fall back to its
        // offscreen driver and run with nothing on any screen.
        const char *x11 = getenv("DISPLAY"), *wayland = getenv("WAYLAND_DISPLAY");
        const char *drivers = x11 && *x11 ? "x11" : wayland && *wayland ? "wayland" : nullptr;
        if (getenv("SDL_VIDEODRIVER"))   // the user's choice stands
            drivers = getenv("SDL_VIDEODRIVER");
        // WM_CLASS is read once, when SDL first opens the X display.
        if (app_class)
            setenv("SDL_VIDEO_X11_WMCLASS", app_class, 0);
        // NOTE: on Wayland the app_id names the window's desktop entry
        // (sineband.desktop), as on X11 the class matches its StartupWMClass;
        // without a variable of its own SDL would make it the class, OpenGL.
        setenv("SDL_VIDEO_WAYLAND_WMCLASS", "sineband", 0);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        wayland_take_log();
        if (!drivers) {
            failure = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
            state = -1;
        } else if (SDL_strcmp(drivers, "wayland") == 0 && !wayland_probe(failure)) {
            failure = "the display could not be opened: " + failure;
            state = -1;
        } else if (SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers), SDL_Init(SDL_INIT_VIDEO) != 0) {
            failure = std::string("the display could not be opened (") + SDL_GetError() + ")";
            std::string logged = wayland_logged();
            if (!logged.empty())
                failure += ": " + logged;
            state = -1;
        } else {
            state = 1;
            if (SDL_strcmp(SDL_GetCurrentVideoDriver(), "x11") == 0) {
                x11_handle_lost_server();
                x11_scale = sdl_unscaled() ? 1 : x11_screen_scale();
            }
        }
    }
    why = failure;
    return state == 1;
}

void host_disconnect()
{
    wayland_disconnect();
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_Quit();
}

void sdl_adopt_window(HostWindow *w, SDL_Window *window)
{
    w->window = window;
    w->id = SDL_GetWindowID(window);
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    SDL_SYSWM_TYPE system = SDL_GetWindowWMInfo(window, &info) ? info.subsystem : SDL_SYSWM_UNKNOWN;
    w->backend = &sdl_gl_backend;
    if (system == SDL_SYSWM_X11) {
        w->x11.display = info.info.x11.display;
        w->x11.window = info.info.x11.window;
        w->backend = &glx_backend;
    } else if (system == SDL_SYSWM_WAYLAND) {
        w->wl.display = info.info.wl.display;
        w->wl.surface = info.info.wl.surface;
        wayland_watch(w->wl.display);
        w->backend = &egl_backend;
    }
}

SDL_Window *sdl_make_window(HostWindow *w, Uint32 extra_flags, std::string &why)
{
    Uint32 flags = SDL_WINDOW_HIDDEN | extra_flags;
    if (w->frameless)
        flags |= SDL_WINDOW_BORDERLESS;
    else
        flags |= SDL_WINDOW_RESIZABLE;
    SDL_Window *window = SDL_CreateWindow(w->title.c_str(), to_sdl(w, w->x), to_sdl(w, w->y), to_sdl(w, w->width),
                                          to_sdl(w, w->height), flags);
    if (!window) {
        why = SDL_GetError();
        return nullptr;
    }
    sdl_adopt_window(w, window);
    return window;
}

bool sdl_remake_window(HostWindow *w, Uint32 extra_flags, unsigned long x_visual)
{
    char visual[32] = "";
    if (x_visual)
        snprintf(visual, sizeof visual, "0x%lx", x_visual);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visual);
    SDL_Window *old = w->window;
    bool shown = (SDL_GetWindowFlags(old) & SDL_WINDOW_SHOWN) != 0;
    std::string why;
    bool made = sdl_make_window(w, extra_flags, why) != nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
    if (!made || (x_visual && x11_window_visual(w) != x_visual)) {
        if (made)
            SDL_DestroyWindow(w->window);
        sdl_adopt_window(w, old);
        return false;
    }
    SDL_DestroyWindow(old);
    // Windows lets a shown window be given its format; the new one is made hidden.
    if (shown)
        SDL_ShowWindow(w->window);
    return true;
}

HostWindow *host_window_create(HWND owner, const char *title, const char *, int x, int y, int width, int height,
                               bool frameless, std::string &why)
{
    auto *w = new HostWindow;
    w->owner = owner, w->title = title, w->frameless = frameless;
    w->x = x, w->y = y, w->width = width, w->height = height;
    if (x11_scale && !frameless)
        w->geometry = x11_scale;
    if (!sdl_make_window(w, 0, why)) {
        delete w;
        return nullptr;
    }
    windows.push_back(w);
    return w;
}

void host_window_destroy(HostWindow *w)
{
    if (!w)
        return;
    windows.erase(std::remove(windows.begin(), windows.end(), w), windows.end());
    if (w->backend->release)
        w->backend->release(w);
    SDL_DestroyWindow(w->window);
    delete w;
}

void host_window_show(HostWindow *w, int how)
{
    // NOTE: SDL's show waits for the compositor, for ever once it is gone.
    wayland_check_connection();
    switch (how) {
    case SW_HIDE: SDL_HideWindow(w->window); break;
    case SW_MINIMIZE: SDL_MinimizeWindow(w->window); break;
    case SW_RESTORE: SDL_RestoreWindow(w->window); break;
    case SW_SHOWMAXIMIZED:
        SDL_ShowWindow(w->window);
        SDL_MaximizeWindow(w->window);
        break;
    default: SDL_ShowWindow(w->window); break;
    }
}

void host_window_client_size(HostWindow *w, int *width, int *height)
{
    SDL_GetWindowSize(w->window, width, height);
    *width = from_sdl(w, *width), *height = from_sdl(w, *height);
}

void sdl_window_pixels(HostWindow *w, int *width, int *height)
{
    if (w->wl.egl_window)
        *width = w->wl.buffer_w, *height = w->wl.buffer_h;
    else
        SDL_GetWindowSizeInPixels(w->window, width, height);
}

void host_window_frame(HostWindow *w, int *left, int *top, int *right, int *bottom)
{
    w->backend->frame(w, left, top, right, bottom);
    *left = from_sdl(w, *left), *top = from_sdl(w, *top);
    *right = from_sdl(w, *right), *bottom = from_sdl(w, *bottom);
}

void sdl_window_frame(HostWindow *w, int *left, int *top, int *right, int *bottom)
{
    if (SDL_GetWindowBordersSize(w->window, top, left, bottom, right) != 0)
        *left = *top = *right = *bottom = 0;
}

void host_window_place(HostWindow *w, int x, int y, int width, int height)
{
    SDL_SetWindowPosition(w->window, to_sdl(w, x), to_sdl(w, y));
    SDL_SetWindowSize(w->window, to_sdl(w, width), to_sdl(w, height));
}

static HostWindow *window_of(Uint32 id)
{
    for (HostWindow *w : windows)
        if (w->id == id)
            return w;
    return nullptr;
}

static HWND owner_of(Uint32 id)
{
    HostWindow *w = window_of(id);
    return w ? w->owner : nullptr;
}

// NOTE: X exposes every window it maps, but the show has already made the
// whole window invalid, and UpdateWindow has painted it by the time the
// exposure is read. Only exposures after that one are contents lost.
static void exposed(HostWindow *w)
{
    if (w->map_exposure_due)
        w->map_exposure_due = false;
    else
        input_expose(w->owner);
}

static void dispatch(const SDL_Event &e)
{
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        if (HWND hWnd = owner_of(e.key.windowID))
            input_key(hWnd, e.key.keysym.scancode, e.type == SDL_KEYDOWN, e.key.repeat != 0,
                      (e.key.keysym.mod & KMOD_NUM) != 0);
        break;
    case SDL_WINDOWEVENT: {
        HostWindow *w = window_of(e.window.windowID);
        if (!w || !w->owner)
            break;
        HWND hWnd = w->owner;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (w->backend->resized)
                w->backend->resized(w);
            input_size(hWnd, from_sdl(w, e.window.data1), from_sdl(w, e.window.data2));
            break;
        case SDL_WINDOWEVENT_MINIMIZED: input_minimized(hWnd); break;
        case SDL_WINDOWEVENT_MAXIMIZED: input_maximized(hWnd); break;
        case SDL_WINDOWEVENT_RESTORED: input_restored(hWnd); break;
        case SDL_WINDOWEVENT_SHOWN: w->map_exposure_due = true; break;
        case SDL_WINDOWEVENT_EXPOSED: exposed(w); break;
        case SDL_WINDOWEVENT_CLOSE: input_close(hWnd); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: input_focus(hWnd, true); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: input_focus(hWnd, false); break;
        }
        break;
    }
    default:
        // SDL_QUIT among them: closing is the window procedure's business.
        break;
    }
}

void host_poll(bool wait)
{
    SDL_Event e;
    bool got = wait ? SDL_WaitEvent(&e) : SDL_PollEvent(&e);
    while (got) {
        dispatch(e);
        got = SDL_PollEvent(&e);
    }
    wayland_check_connection();
    // NOTE: a new scale keeps the client area's size, so no WM_SIZE; what
    // was shown at the old one is lost, as when a window is exposed. A window
    // learns its output's scale as it is first shown, before any frame.
    for (HostWindow *w : windows)
        if (w->owner && w->backend->rescaled && w->backend->rescaled(w)) {
            gl_pixels_follow(w);
            if (w->presented)
                input_expose(w->owner);
        }
}

bool host_message_box(const char *caption, const char *text, UINT style)
{
    // SDL has no question mark; its information icon is the nearest.
    Uint32 icon = 0;
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR: icon = SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONWARNING: icon = SDL_MESSAGEBOX_WARNING; break;
    case MB_ICONINFORMATION:
    case MB_ICONQUESTION: icon = SDL_MESSAGEBOX_INFORMATION; break;
    }
    return SDL_ShowSimpleMessageBox(icon, caption, text, nullptr) == 0;
}

LONG host_display_mode(HostWindow *w, int width, int height)
{
    wayland_check_connection();
    if (width == 0 && height == 0)
        return SDL_SetWindowFullscreen(w->window, 0) == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
    int display = SDL_GetWindowDisplayIndex(w->window);
    SDL_DisplayMode want = {0, width, height, 0, nullptr}, mode;
    if (display < 0 || !SDL_GetClosestDisplayMode(display, &want, &mode) || mode.w != width || mode.h != height)
        return DISP_CHANGE_BADMODE;
    if (SDL_SetWindowDisplayMode(w->window, &mode) != 0 ||
        SDL_SetWindowFullscreen(w->window, SDL_WINDOW_FULLSCREEN) != 0)
        return DISP_CHANGE_FAILED;
    return DISP_CHANGE_SUCCESSFUL;
}

}  // namespace compat
