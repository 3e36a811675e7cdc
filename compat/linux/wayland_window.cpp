// libwayland, for what SDL does not do for a Wayland window: the native
// window EGL draws into, noticing a compositor that has gone away or refused
// a request, and saying so in one line as the layer does when the X server
// goes; libwayland's own log lines go through the layer too.
//
// What Wayland cannot do that Windows does is listed in README.md, "Where
// the layer knowingly differs from Windows", under "On Wayland, besides:"
// (and held to the probe's table, tests/probe/probe_test.cpp).
//
// NOTE: SDL gives every Wayland window a wl_egl_window and an EGL surface of
// its own, and EGL refuses a second surface on that one, so the layer makes
// its own wl_egl_window on the window's wl_surface. SDL never swaps it.
#include "sdl_host.h"

#include <wayland-client.h>
#include <wayland-egl.h>

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace compat {

static wl_display *watched;
static std::string logged;   // libwayland's lines not yet said

static void log_line(const char *format, va_list args)
{
    char line[512];
    vsnprintf(line, sizeof line, format, args);
    size_t end = strlen(line);
    while (end && (line[end - 1] == '\n' || line[end - 1] == ' '))
        line[--end] = 0;
    if (!logged.empty())
        logged += "; ";
    logged += line;
}

void wayland_take_log() { wl_log_set_handler_client(log_line); }

std::string wayland_logged()
{
    std::string lines;
    lines.swap(logged);
    return lines;
}

static void global(void *data, wl_registry *, uint32_t, const char *interface, uint32_t)
{
    static_cast<std::string *>(data)->append(std::string(" ") + interface + " ");
}

static void global_remove(void *, wl_registry *, uint32_t) {}

bool wayland_probe(std::string &why)
{
    // NOTE: SDL 2.26 takes the compositor's globals on trust: a connection
    // closed while it starts, or a compositor without a seat, crashes
    // SDL_Init. So the layer asks first, on a connection of its own.
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        why = std::string("no Wayland compositor answers (") + strerror(errno) + ")";
    } else {
        std::string globals;
        static const wl_registry_listener listener = {global, global_remove};
        wl_registry *registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &listener, &globals);
        if (wl_display_roundtrip(display) < 0) {
            why = std::string("the Wayland compositor closed the connection (") +
                  strerror(wl_display_get_error(display)) + ")";
        } else {
            for (const char *needed : {"wl_compositor", "wl_shm", "wl_seat", "xdg_wm_base"})
                if (globals.find(std::string(" ") + needed + " ") == std::string::npos)
                    why += (why.empty() ? std::string("the Wayland compositor offers no ") : std::string(", no ")) +
                           needed;
        }
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
    }
    std::string said = wayland_logged();
    if (!why.empty() && !said.empty())
        why += ": " + said;
    return why.empty();
}

void wayland_watch(void *display)
{
    if (watched)
        return;
    watched = static_cast<wl_display *>(display);
    // NOTE: SDL and the layer share one EGL display (EGL hands out one per
    // connection), and SDL terminates it when its last window goes unless
    // its GL library is held, which would take the layer's contexts with it.
    SDL_GL_LoadLibrary(nullptr);
}

void wayland_disconnect()
{
    if (watched)
        SDL_GL_UnloadLibrary();
    watched = nullptr;
}

void *wayland_egl_window(HostWindow *w)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    w->wl.egl_window = wl_egl_window_create(static_cast<wl_surface *>(w->wl.surface), width, height);
    return w->wl.egl_window;
}

void wayland_window_resized(HostWindow *w)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    if (w->wl.egl_window)
        wl_egl_window_resize(static_cast<wl_egl_window *>(w->wl.egl_window), width, height, 0, 0);
}

void wayland_window_release(HostWindow *w)
{
    if (w->wl.egl_window)
        wl_egl_window_destroy(static_cast<wl_egl_window *>(w->wl.egl_window));
    w->wl.egl_window = nullptr;
}

void wayland_check_connection()
{
    int error = watched ? wl_display_get_error(watched) : 0;
    std::string said = wayland_logged();
    if (!error) {
        if (!said.empty())
            fprintf(stderr, "sineband: wayland: %s\n", said.c_str());
        return;
    }
    char why[768];
    const wl_interface *interface = nullptr;
    uint32_t id = 0;
    uint32_t code = error == EPROTO ? wl_display_get_protocol_error(watched, &interface, &id) : 0;
    if (error == EPROTO)
        snprintf(why, sizeof why, "the Wayland compositor refused a request (%s error %u)",
                 interface ? interface->name : "unknown interface", code);
    else
        snprintf(why, sizeof why, "the Wayland compositor closed the connection (%s)", strerror(error));
    if (!said.empty())
        snprintf(why + strlen(why), sizeof why - strlen(why), ": %s", said.c_str());
    input_lost_host(why);
}

}  // namespace compat
