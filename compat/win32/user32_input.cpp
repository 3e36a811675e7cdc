// user32's side of the host seam: what the host reports through the input_*
// calls of host.h becomes messages here, and nowhere else.
//
// Keys are queued: they wait in the focus window's keyboard input, which a
// fetch looks at after the posted messages. Everything else reaches the
// window procedure at once, sent while the host is being polled: a new size,
// minimising, maximising and restoring as WM_SIZE, a close request as
// WM_SYSCOMMAND(SC_CLOSE), a change of focus as the activation messages. An
// exposure only invalidates the window, so WM_PAINT follows once the queue
// is empty. Left out: the mouse, and WM_WINDOWPOSCHANGED around a new size.
#include "layer.h"

#include <stdio.h>
#include <stdlib.h>

namespace compat {

// Keyboard messages go to the focus window; with none, nothing is queued.
void input_key(HWND hWnd, int usb, bool down, bool repeat, bool numlock)
{
    UINT message;
    WPARAM vk;
    LPARAM lParam;
    if (!translate_key(usb, down, repeat, numlock, &message, &vk, &lParam))
        return;
    Layer &l = layer();
    if (l.focus && l.focus == hWnd)
        l.input.push_back(MSG{hWnd, message, vk, lParam, tick_count(), {0, 0}});
}

void input_size(HWND hWnd, int width, int height)
{
    HWND__ *w = live_window(hWnd);
    if (!w || w->minimized || (width == w->client_w && height == w->client_h))
        return;
    bool grew = width > w->client_w || height > w->client_h;
    w->client_w = width;
    w->client_h = height;
    w->rect.right = far_edge(w->rect.left, width);
    w->rect.bottom = far_edge(w->rect.top, height);
    if (grew || (w->cls->wc.style & (CS_HREDRAW | CS_VREDRAW)))
        InvalidateRect(w, nullptr, TRUE);
    send_size(w, SIZE_RESTORED, false);
}

void input_minimized(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    if (!w || w->minimized)
        return;
    w->minimized = true;
    send_size(w, SIZE_MINIMIZED, false);
}

void input_maximized(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return;
    w->minimized = false;
    host_window_client_size(w->host, &w->client_w, &w->client_h);
    InvalidateRect(w, nullptr, TRUE);
    send_size(w, SIZE_MAXIMIZED, false);
}

void input_restored(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    if (!w || !w->minimized)
        return;
    w->minimized = false;
    host_window_client_size(w->host, &w->client_w, &w->client_h);
    InvalidateRect(w, nullptr, TRUE);
    send_size(w, SIZE_RESTORED, false);
}

void input_expose(HWND hWnd) { InvalidateRect(hWnd, nullptr, TRUE); }

// The close button and the window manager's close request both come here.
void input_close(HWND hWnd)
{
    if (live_window(hWnd))
        SendMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void input_focus(HWND hWnd, bool gained)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return;
    if (gained)
        activate(w);
    else if (layer().active == w)
        deactivate(w);
}

[[noreturn]] void input_lost_host(const char *why)
{
    fprintf(stderr, "sineband: lost the display: %s\n", why);
    fflush(stderr);
    _Exit(0);
}

}  // namespace compat
