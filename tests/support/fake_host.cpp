// The scripted host: see fake_host.h.
#include "fake_host.h"

#include <algorithm>
#include <map>

#include "host.h"

namespace compat {

struct HostWindow {
    HWND owner;
    int width, height;
    int format;
};

struct HostContext {
    int id;
};

}  // namespace compat

namespace fake {

static Config cfg;
static std::vector<std::string> log;
static int swap_count;
static std::vector<compat::HostWindow *> windows;
static std::multimap<int, std::function<void()>> script;

Config &config() { return cfg; }
std::vector<std::string> &trace() { return log; }
int swaps() { return swap_count; }

void at_swap(int after_swaps, std::function<void()> event) { script.emplace(after_swaps, std::move(event)); }

HWND window() { return windows.empty() ? nullptr : windows.back()->owner; }

void resize(HWND hWnd, int width, int height)
{
    for (compat::HostWindow *w : windows)
        if (w->owner == hWnd)
            w->width = width, w->height = height;
    compat::input_size(hWnd, width, height);
}

void key(HWND hWnd, int usage, bool down, bool repeat, bool numlock)
{
    compat::input_key(hWnd, usage, down, repeat, numlock);
}

void reset()
{
    cfg = Config();
    cfg.formats = {compat::describe_format(8, 8, 8, 8, 24, 8)};
    log.clear();
    swap_count = 0;
    script.clear();
}

static const bool defaults = (reset(), true);

}  // namespace fake

using namespace fake;

namespace compat {

bool host_connect(const char *, std::string &why)
{
    if (!cfg.connect)
        why = "no display";
    return cfg.connect;
}

void host_disconnect() {}

HostWindow *host_window_create(HWND owner, const char *, const char *, int, int, int width, int height, bool,
                               std::string &why)
{
    if (!cfg.create_window) {
        why = "refused";
        return nullptr;
    }
    log.push_back("create");
    windows.push_back(new HostWindow{owner, width, height, 0});
    return windows.back();
}

void host_window_destroy(HostWindow *w)
{
    log.push_back("destroy");
    windows.erase(std::find(windows.begin(), windows.end(), w));
    delete w;
}

void host_window_show(HostWindow *, int how) { log.push_back("show " + std::to_string(how)); }

void host_window_client_size(HostWindow *w, int *width, int *height)
{
    *width = w->width;
    *height = w->height;
}

void host_window_frame(HostWindow *, int *left, int *top, int *right, int *bottom)
{
    *left = cfg.frame_left, *top = cfg.frame_top, *right = cfg.frame_right, *bottom = cfg.frame_bottom;
}

void host_window_place(HostWindow *w, int, int, int width, int height)
{
    w->width = width;
    w->height = height;
}

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *) { return cfg.formats; }

bool host_window_set_format(HostWindow *w, int index)
{
    if (!cfg.set_format)
        return false;
    w->format = index + 1;
    log.push_back("format " + std::to_string(index + 1));
    return true;
}

HostContext *host_context_create(HostWindow *)
{
    static int next = 1;
    if (!cfg.create_context)
        return nullptr;
    log.push_back("context");
    return new HostContext{next++};
}

bool host_context_make_current(HostWindow *, HostContext *ctx)
{
    if (ctx && !cfg.make_current)
        return false;
    log.push_back(ctx ? "current" : "uncurrent");
    return true;
}

void host_context_destroy(HostContext *ctx)
{
    log.push_back("delete context");
    delete ctx;
}

bool host_swap(HostWindow *)
{
    ++swap_count;
    log.push_back("swap");
    return true;
}

void host_poll(bool)
{
    // Events due by now run in order; each may schedule more.
    while (!script.empty() && script.begin()->first <= swap_count) {
        auto event = script.begin()->second;
        script.erase(script.begin());
        event();
    }
}

bool host_message_box(const char *caption, const char *text, UINT style)
{
    log.push_back(std::string("box ") + caption + "|" + text + "|" + std::to_string(style));
    return true;
}

LONG host_display_mode(HostWindow *, int width, int height)
{
    log.push_back("mode " + std::to_string(width) + "x" + std::to_string(height));
    return DISP_CHANGE_SUCCESSFUL;
}

}  // namespace compat
