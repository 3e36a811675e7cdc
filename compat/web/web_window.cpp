// The web backend: the page as the window system. Windows, their frames and
// the page's events (keys, size, close, focus, exposure), the message box,
// and the display mode a page does not have. Events become input_* calls here;
// nothing calls a window procedure.
#include "web_host.h"

#include <algorithm>
#include <vector>

namespace compat {

static std::vector<HostWindow *> windows;

bool host_connect(const char *, std::string &why)
{
    if (web_open())
        return true;
    why = "no page to show windows in";
    return false;
}

void host_disconnect() { web_close_all(); }

HostWindow *host_window_create(HWND owner, const char *title, const char *, int x, int y, int width, int height,
                               bool frameless, std::string &why)
{
    int id = web_window_create(title, x, y, width, height, frameless);
    if (!id) {
        why = "the page could not make the window";
        return nullptr;
    }
    windows.push_back(new HostWindow{id, owner, frameless, -1});
    return windows.back();
}

void host_window_destroy(HostWindow *w)
{
    if (!w)
        return;
    windows.erase(std::remove(windows.begin(), windows.end(), w), windows.end());
    web_window_destroy(w->id);
    delete w;
}

// NOTE: a page has nowhere to minimise a window to and no room to maximise
// one into: those show it as it is.
void host_window_show(HostWindow *w, int how) { web_window_show(w->id, how != SW_HIDE); }

void host_window_client_size(HostWindow *w, int *width, int *height) { web_window_client_size(w->id, width, height); }

void host_window_frame(HostWindow *w, int *left, int *top, int *right, int *bottom)
{
    web_window_frame(w->id, left, top, right, bottom);
}

void host_window_place(HostWindow *w, int x, int y, int width, int height)
{
    web_window_place(w->id, x, y, width, height);
}

static HWND owner_of(int id)
{
    for (HostWindow *w : windows)
        if (w->id == id)
            return w->owner;
    return nullptr;
}

void host_poll(bool wait)
{
    if (wait)
        web_wait_event();
    int id, fields[3];
    char code[32];
    for (int kind; (kind = web_next_event(&id, fields, code, sizeof code)) != WEB_NONE;) {
        HWND hWnd = owner_of(id);
        if (!hWnd)
            continue;
        switch (kind) {
        case WEB_KEY:
            if (int usb = web_key_usage(code))
                input_key(hWnd, usb, fields[0] != 0, fields[1] != 0, fields[2] != 0);
            break;
        case WEB_SIZE: input_size(hWnd, fields[0], fields[1]); break;
        case WEB_CLOSE: input_close(hWnd); break;
        case WEB_FOCUS: input_focus(hWnd, fields[0] != 0); break;
        case WEB_EXPOSE: input_expose(hWnd); break;
        }
    }
}

bool host_message_box(const char *caption, const char *text, UINT style)
{
    const char *icon = "";
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR: icon = "error"; break;
    case MB_ICONWARNING: icon = "warning"; break;
    case MB_ICONINFORMATION: icon = "information"; break;
    case MB_ICONQUESTION: icon = "question"; break;
    }
    web_message_box(caption, text, icon);
    return true;
}

// A page cannot change the display's mode; going back to the mode it has
// always had succeeds.
LONG host_display_mode(HostWindow *, int width, int height)
{
    return width == 0 && height == 0 ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
}

}  // namespace compat
