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
//
// The scale is the layer's too (sdl_window.cpp says why the program never
// sees it). SDL 2.26 takes an output's scale in only while it starts and
// does not follow a change of it, so the layer binds the outputs itself, on
// SDL's connection but on an event queue of its own, and takes the scale of
// the one SDL says the window is on: a whole one as the surface's buffer
// scale. Where the compositor offers wp_fractional_scale_v1 and
// wp_viewporter, it tells the layer the surface's scale, fractions too, and
// the buffer is drawn at that and shown through a viewport at the window's
// size.
#include "sdl_host.h"

#include <wayland-client.h>
#include <wayland-egl.h>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace compat {

static wl_display *watched;
static std::string logged;   // libwayland's lines not yet said

// --- outputs and their scales ----------------------------------------------

struct Output {
    wl_output *output;
    uint32_t name;
    int x = 0, y = 0;
    int scale = 1, pending_scale = 1;   // wl_output.scale, taken at done
};

static struct {
    wl_event_queue *queue = nullptr;
    wl_registry *registry = nullptr;
    std::vector<Output *> outputs;
    wp_viewporter *viewporter = nullptr;
    wp_fractional_scale_manager_v1 *fractional = nullptr;
} scales;

static void output_geometry(void *data, wl_output *, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char *,
                            const char *, int32_t)
{
    static_cast<Output *>(data)->x = x, static_cast<Output *>(data)->y = y;
}

static void output_mode(void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {}

static void output_done(void *data, wl_output *)
{
    static_cast<Output *>(data)->scale = static_cast<Output *>(data)->pending_scale;
}

static void output_scale(void *data, wl_output *, int32_t factor)
{
    static_cast<Output *>(data)->pending_scale = factor > 0 ? factor : 1;
}

// Bound at version 2: newer events (a name, a description) never come.
static const wl_output_listener output_listener = [] {
    wl_output_listener l = {};
    l.geometry = output_geometry, l.mode = output_mode, l.done = output_done, l.scale = output_scale;
    return l;
}();

static void scale_global(void *, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    if (strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        auto *o = new Output{static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 2)), name};
        wl_output_add_listener(o->output, &output_listener, o);
        scales.outputs.push_back(o);
    } else if (strcmp(interface, wp_viewporter_interface.name) == 0) {
        scales.viewporter = static_cast<wp_viewporter *>(wl_registry_bind(registry, name, &wp_viewporter_interface, 1));
    } else if (strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        scales.fractional = static_cast<wp_fractional_scale_manager_v1 *>(
            wl_registry_bind(registry, name, &wp_fractional_scale_manager_v1_interface, 1));
    }
}

static void scale_global_remove(void *, wl_registry *, uint32_t name)
{
    for (auto it = scales.outputs.begin(); it != scales.outputs.end(); ++it)
        if ((*it)->name == name) {
            wl_output_destroy((*it)->output);
            delete *it;
            scales.outputs.erase(it);
            return;
        }
}

static void watch_scales(wl_display *display)
{
    scales.queue = wl_display_create_queue(display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), scales.queue);
    scales.registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    static const wl_registry_listener listener = {scale_global, scale_global_remove};
    wl_registry_add_listener(scales.registry, &listener, nullptr);
    // The globals, then what each output says of itself.
    wl_display_roundtrip_queue(display, scales.queue);
    wl_display_roundtrip_queue(display, scales.queue);
}

static void unwatch_scales()
{
    for (Output *o : scales.outputs) {
        wl_output_destroy(o->output);
        delete o;
    }
    scales.outputs.clear();
    if (scales.fractional)
        wp_fractional_scale_manager_v1_destroy(scales.fractional);
    if (scales.viewporter)
        wp_viewporter_destroy(scales.viewporter);
    if (scales.registry)
        wl_registry_destroy(scales.registry);
    if (scales.queue)
        wl_event_queue_destroy(scales.queue);
    scales = {};
}

static void preferred_scale(void *data, wp_fractional_scale_v1 *, uint32_t scale)
{
    static_cast<HostWindow *>(data)->wl.preferred = (int)scale;
}

// The scale w should be drawn at now.
static float scale_for(HostWindow *w)
{
    if (w->frameless || sdl_unscaled())
        return 1;
    if (w->wl.fractional && w->wl.preferred > 0)
        return (float)w->wl.preferred / 120;
    // The output SDL has the window on, found by where it is; before the
    // window is on any, or where SDL cannot say, the largest scale of all,
    // as SDL takes it for a new window.
    int largest = 1, display = -1;
    SDL_Rect at;
    bool placed = scales.outputs.size() > 1 && (display = SDL_GetWindowDisplayIndex(w->window)) >= 0 &&
                  SDL_GetDisplayBounds(display, &at) == 0;
    for (const Output *o : scales.outputs) {
        if (placed && o->x == at.x && o->y == at.y)
            return (float)o->scale;
        largest = o->scale > largest ? o->scale : largest;
    }
    return (float)largest;
}

// Sizes w's buffer for its scale and tells the compositor how to show it.
// NOTE: SDL sets the surface's buffer scale back to 1 whenever the window's
// size changes, so this runs after each change too, before the next swap.
static void apply_scale(HostWindow *w)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    auto *surface = static_cast<wl_surface *>(w->wl.surface);
    if (w->wl.viewport) {
        w->wl.buffer_w = scaled_pixels(width, w->wl.scale);
        w->wl.buffer_h = scaled_pixels(height, w->wl.scale);
        wl_surface_set_buffer_scale(surface, 1);
        wp_viewport_set_destination(static_cast<wp_viewport *>(w->wl.viewport), width, height);
    } else {
        int whole = (int)ceilf(w->wl.scale);
        w->wl.buffer_w = width * whole, w->wl.buffer_h = height * whole;
        wl_surface_set_buffer_scale(surface, whole);
    }
    if (w->wl.buffer_w < 1)
        w->wl.buffer_w = 1;
    if (w->wl.buffer_h < 1)
        w->wl.buffer_h = 1;
    if (w->wl.egl_window)
        wl_egl_window_resize(static_cast<wl_egl_window *>(w->wl.egl_window), w->wl.buffer_w, w->wl.buffer_h, 0, 0);
}

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
    watch_scales(watched);
    // NOTE: SDL and the layer share one EGL display (EGL hands out one per
    // connection), and SDL terminates it when its last window goes unless
    // its GL library is held, which would take the layer's contexts with it.
    SDL_GL_LoadLibrary(nullptr);
}

void wayland_disconnect()
{
    if (watched) {
        unwatch_scales();
        SDL_GL_UnloadLibrary();
    }
    watched = nullptr;
}

void *wayland_egl_window(HostWindow *w)
{
    auto *surface = static_cast<wl_surface *>(w->wl.surface);
    // NOTE: a surface has at most one viewport, and SDL makes one for the
    // display modes it emulates, which only a frameless window asks for.
    if (scales.fractional && scales.viewporter && !w->frameless && !w->wl.fractional) {
        auto *wrapper = static_cast<wl_surface *>(wl_proxy_create_wrapper(surface));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), scales.queue);
        auto *fractional = wp_fractional_scale_manager_v1_get_fractional_scale(scales.fractional, wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        static const wp_fractional_scale_v1_listener listener = {preferred_scale};
        wp_fractional_scale_v1_add_listener(fractional, &listener, w);
        w->wl.fractional = fractional;
        w->wl.viewport = wp_viewporter_get_viewport(scales.viewporter, surface);
        wl_display_roundtrip_queue(watched, scales.queue);
    }
    w->wl.scale = scale_for(w);
    apply_scale(w);
    w->wl.egl_window = wl_egl_window_create(surface, w->wl.buffer_w, w->wl.buffer_h);
    return w->wl.egl_window;
}

void wayland_window_resized(HostWindow *w)
{
    if (w->wl.egl_window)
        apply_scale(w);
}

bool wayland_window_rescaled(HostWindow *w)
{
    if (!scales.queue || !w->wl.egl_window)
        return false;
    wl_display_dispatch_queue_pending(watched, scales.queue);
    float scale = scale_for(w);
    if (scale == w->wl.scale)
        return false;
    w->wl.scale = scale;
    apply_scale(w);
    return true;
}

void wayland_window_release(HostWindow *w)
{
    if (w->wl.egl_window)
        wl_egl_window_destroy(static_cast<wl_egl_window *>(w->wl.egl_window));
    w->wl.egl_window = nullptr;
    if (w->wl.viewport)
        wp_viewport_destroy(static_cast<wp_viewport *>(w->wl.viewport));
    if (w->wl.fractional)
        wp_fractional_scale_v1_destroy(static_cast<wp_fractional_scale_v1 *>(w->wl.fractional));
    w->wl.viewport = w->wl.fractional = nullptr;
    w->wl.preferred = 0;
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
