// user32: window classes, windows, showing, activation and focus, and
// device contexts. What the host reports about a window is turned into
// messages in user32_input.cpp.
//
// Left out: child windows, menus, the non-client messages (WM_NCCALCSIZE,
// WM_NCPAINT, WM_GETMINMAXINFO), WM_WINDOWPOSCHANGING/CHANGED (WM_SIZE and
// WM_MOVE are sent directly), z-order, and update regions finer than the
// whole client area.
#include "layer.h"

#include <stdio.h>
#include <strings.h>

namespace compat {

static const WindowClass *find_class(LPCSTR name)
{
    if (!name)
        return nullptr;
    for (auto &c : layer().classes)   // class names are case-insensitive
        if (strcasecmp(c->name.c_str(), name) == 0)
            return c.get();
    return nullptr;
}

void send_size(HWND hWnd, WPARAM kind, bool with_move)
{
    LPARAM size = kind == SIZE_MINIMIZED ? 0 : MAKELPARAM(hWnd->client_w, hWnd->client_h);
    SendMessageA(hWnd, WM_SIZE, kind, size);
    if (with_move) {
        int left = 0, top = 0, right = 0, bottom = 0;
        host_window_frame(hWnd->host, &left, &top, &right, &bottom);
        SendMessageA(hWnd, WM_MOVE, 0,
                     MAKELPARAM(held((long long)hWnd->rect.left + left), held((long long)hWnd->rect.top + top)));
    }
}

void activate(HWND hWnd)
{
    Layer &l = layer();
    if (l.active == hWnd)
        return;
    if (!l.active)
        SendMessageA(hWnd, WM_ACTIVATEAPP, TRUE, 0);
    l.active = hWnd;
    SendMessageA(hWnd, WM_NCACTIVATE, TRUE, 0);
    SendMessageA(hWnd, WM_ACTIVATE, WA_ACTIVE, 0);   // its default handling takes the focus
}

void deactivate(HWND hWnd)
{
    Layer &l = layer();
    if (l.active == hWnd) {
        SendMessageA(hWnd, WM_NCACTIVATE, FALSE, 0);
        SendMessageA(hWnd, WM_ACTIVATE, WA_INACTIVE, 0);
        SendMessageA(hWnd, WM_ACTIVATEAPP, FALSE, 0);
        l.active = nullptr;
    }
    if (l.focus == hWnd)
        SetFocus(nullptr);
}

// Fits the client area to the outer rectangle once the frame is known.
static void fit_to_frame(HWND__ *w)
{
    int left = 0, top = 0, right = 0, bottom = 0;
    host_window_frame(w->host, &left, &top, &right, &bottom);
    if (left || top || right || bottom) {
        LONG width = held((long long)w->rect.right - w->rect.left - left - right);
        LONG height = held((long long)w->rect.bottom - w->rect.top - top - bottom);
        host_window_place(w->host, held((long long)w->rect.left + left), held((long long)w->rect.top + top),
                          width > 1 ? width : 1, height > 1 ? height : 1);
    }
    host_window_client_size(w->host, &w->client_w, &w->client_h);
}

}  // namespace compat

using namespace compat;

ATOM WINAPI RegisterClassA(const WNDCLASSA *lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpszClassName || !*lpWndClass->lpszClassName || !lpWndClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (find_class(lpWndClass->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = lpWndClass->lpszClassName;
    c->wc = *lpWndClass;
    c->wc.lpszClassName = c->name.c_str();
    c->atom = layer().next_atom++;
    layer().classes.push_back(std::move(c));
    return layer().classes.back()->atom;
}

// The system cursors are shared objects; only the arrow is ever asked for.
HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    static HICON__ *arrow = reinterpret_cast<HICON__ *>(&arrow);
    if (!hInstance && lpCursorName == IDC_ARROW)
        return arrow;
    SetLastError(1813);   // ERROR_RESOURCE_TYPE_NOT_FOUND
    return nullptr;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam)
{
    const WindowClass *cls = find_class(lpClassName);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    std::string why;
    if (!host_connect(lpClassName, why)) {
        fprintf(stderr, "sineband: cannot open a window: %s\n", why.c_str());
        return nullptr;
    }

    auto owned = std::make_unique<HWND__>();
    HWND w = owned.get();
    w->cls = cls;
    w->style = dwStyle & ~WS_VISIBLE;
    w->rect = {X, Y, far_edge(X, nWidth), far_edge(Y, nHeight)};
    w->alive = true;
    w->needs_size = !(dwStyle & (WS_POPUP | WS_CHILD));
    w->dc.window = w;
    // NOTE: the outer size is what was asked for; the client area is what a
    // frame leaves of it, and before the window is shown no frame is known.
    w->host = host_window_create(w, lpWindowName ? lpWindowName : "", cls->name.c_str(), X, Y, nWidth, nHeight,
                                 (dwStyle & WS_POPUP) != 0, why);
    if (!w->host) {
        fprintf(stderr, "sineband: cannot open a window: %s\n", why.c_str());
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    host_window_client_size(w->host, &w->client_w, &w->client_h);
    layer().windows.push_back(std::move(owned));

    CREATESTRUCTA cs = {lpParam,      hInstance,   hMenu,     hWndParent, nHeight,     nWidth,
                        Y,            X,           (LONG)dwStyle, lpWindowName, cls->name.c_str(), dwExStyle};
    WNDPROC proc = cls->wc.lpfnWndProc;
    if (!proc(w, WM_NCCREATE, 0, (LPARAM)&cs) || proc(w, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        DestroyWindow(w);
        return nullptr;
    }
    if (!w->alive)   // destroyed by its own WM_CREATE
        return nullptr;
    if (!w->needs_size)   // pop-ups learn their size right away
        send_size(w, SIZE_RESTORED, true);
    if (dwStyle & WS_VISIBLE)
        ShowWindow(w, SW_SHOW);
    return w;
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return FALSE;
    Layer &l = layer();
    if (w->visible) {
        w->visible = false;
        host_window_show(w->host, SW_HIDE);
    }
    deactivate(w);
    SendMessageA(w, WM_DESTROY, 0, 0);
    SendMessageA(w, WM_NCDESTROY, 0, 0);
    w->alive = false;
    if (l.current_dc == &w->dc)
        release_current();
    host_window_destroy(w->host);
    w->host = nullptr;
    // Messages still queued for a dead window are dropped.
    for (auto *q : {&l.posted, &l.input})
        for (auto it = q->begin(); it != q->end();)
            it = it->hwnd == w ? q->erase(it) : it + 1;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return FALSE;
    BOOL was_visible = w->visible;
    switch (nCmdShow) {
    case SW_HIDE:
        if (w->visible) {
            SendMessageA(w, WM_SHOWWINDOW, FALSE, 0);
            w->visible = false;
            host_window_show(w->host, SW_HIDE);
        }
        return was_visible;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (!w->visible) {
            SendMessageA(w, WM_SHOWWINDOW, TRUE, 0);
            w->visible = true;
        }
        host_window_show(w->host, SW_MINIMIZE);
        if (!w->minimized) {
            w->minimized = true;
            send_size(w, SIZE_MINIMIZED, false);
        }
        return was_visible;
    default:
        break;
    }

    if (!w->visible) {
        SendMessageA(w, WM_SHOWWINDOW, TRUE, 0);
        w->visible = true;
        w->invalid = true;   // a newly shown window is wholly invalid
        host_window_show(w->host, nCmdShow == SW_SHOWMAXIMIZED ? SW_SHOWMAXIMIZED : SW_SHOW);
        fit_to_frame(w);
    } else if (nCmdShow == SW_RESTORE || nCmdShow == SW_SHOWMAXIMIZED) {
        host_window_show(w->host, nCmdShow);
        host_window_client_size(w->host, &w->client_w, &w->client_h);
    }
    activate(w);
    bool was_minimized = w->minimized;
    w->minimized = false;
    bool first = w->needs_size;
    w->needs_size = false;
    if (first || was_minimized || nCmdShow == SW_SHOWMAXIMIZED)
        send_size(w, nCmdShow == SW_SHOWMAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED, first);
    return was_visible;
}

BOOL WINAPI UpdateWindow(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return FALSE;
    if (w->visible && w->invalid)
        SendMessageA(w, WM_PAINT, 0, 0);
    return TRUE;
}

HWND WINAPI SetFocus(HWND hWnd)
{
    Layer &l = layer();
    HWND previous = l.focus;
    if (!hWnd) {
        l.focus = nullptr;
        if (previous)
            SendMessageA(previous, WM_KILLFOCUS, 0, 0);
        return previous;
    }
    if (!live_window(hWnd))
        return nullptr;
    if (hWnd == previous)
        return previous;
    if (previous)
        SendMessageA(previous, WM_KILLFOCUS, (WPARAM)hWnd, 0);
    l.focus = hWnd;
    SendMessageA(hWnd, WM_SETFOCUS, (WPARAM)previous, 0);
    return previous;
}

HWND WINAPI GetFocus(void) { return layer().focus; }

BOOL WINAPI IsWindow(HWND hWnd) { return live_window(hWnd) != nullptr; }

BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    return w && w->visible;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    HWND__ *w = live_window(hWnd);
    if (!w || !lpRect)
        return FALSE;
    *lpRect = {0, 0, w->minimized ? 0 : w->client_w, w->minimized ? 0 : w->client_h};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    HWND__ *w = live_window(hWnd);
    if (!w || !lpRect)
        return FALSE;
    *lpRect = w->rect;
    return TRUE;
}

// The update region is all or nothing: any invalidation covers the client.
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT *lpRect, BOOL bErase)
{
    (void)lpRect;
    (void)bErase;
    HWND__ *w = live_window(hWnd);
    if (!w)
        return FALSE;
    if (w->visible)
        w->invalid = true;
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT *lpRect)
{
    (void)lpRect;
    HWND__ *w = live_window(hWnd);
    if (!w)
        return FALSE;
    w->invalid = false;
    return TRUE;
}

// Every window keeps one device context of its own, as CS_OWNDC gives.
HDC WINAPI GetDC(HWND hWnd)
{
    HWND__ *w = live_window(hWnd);
    return w ? &w->dc : nullptr;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    HWND__ *w = live_window(hWnd);
    return w && hDC == &w->dc ? 1 : 0;
}
