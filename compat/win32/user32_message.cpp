// user32: the thread's message queue and the calls that fill and drain it.
//
// A fetch looks, in this order, at: messages sent by the host while it is
// polled (dispatched at once, never returned), posted messages in FIFO order,
// the quit flag, keyboard input, and windows with a pending WM_PAINT. Taking
// F1's key-down posts WM_KEYF1, the help request.
// Left out: timers, hooks, other threads' queues, and QS_* wake masks.
#include "layer.h"

namespace compat {

static bool in_range(UINT message, UINT min, UINT max)
{
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

static bool matches(const MSG &m, HWND hWnd, UINT min, UINT max)
{
    return (!hWnd || m.hwnd == hWnd) && in_range(m.message, min, max);
}

static bool take(std::deque<MSG> &queue, LPMSG msg, HWND hWnd, UINT min, UINT max, bool remove)
{
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (matches(*it, hWnd, min, max)) {
            *msg = *it;
            if (remove)
                queue.erase(it);
            return true;
        }
    }
    return false;
}

static void post(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    layer().posted.push_back(MSG{hWnd, msg, wParam, lParam, tick_count(), {0, 0}});
}

static bool fetch(LPMSG msg, HWND hWnd, UINT min, UINT max, bool remove)
{
    Layer &l = layer();
    if (take(l.posted, msg, hWnd, min, max, remove))
        return true;
    // NOTE: WM_QUIT is made up once no posted message is left, ahead of input
    // and paint, and no filter keeps it back.
    if (l.quit) {
        *msg = MSG{nullptr, WM_QUIT, (WPARAM)l.quit_code, 0, tick_count(), {0, 0}};
        if (remove)
            l.quit = false;
        return true;
    }
    if (take(l.input, msg, hWnd, min, max, remove)) {
        if (remove) {
            // The thread's keys change as their messages are taken.
            WORD flags = HIWORD(msg->lParam);
            press_key(l.key_state, (UINT)msg->wParam, flags & 0x1FF, !(flags & KF_UP));
            if (msg->message == WM_KEYDOWN && msg->wParam == VK_F1)
                post(msg->hwnd, WM_KEYF1, 0, 0);
        }
        return true;
    }
    if (in_range(WM_PAINT, min, max)) {
        for (auto &w : l.windows) {
            if (w->alive && w->visible && w->invalid && (!hWnd || hWnd == w.get())) {
                // WM_PAINT stays until the window is validated.
                *msg = MSG{w.get(), WM_PAINT, 0, 0, tick_count(), {0, 0}};
                return true;
            }
        }
    }
    return false;
}

static bool bad_filter(HWND hWnd)
{
    return hWnd && hWnd != (HWND)-1 && !live_window(hWnd);
}

}  // namespace compat

using namespace compat;

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (!lpMsg || bad_filter(hWnd))
        return FALSE;
    host_poll(false);
    return fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (!lpMsg || bad_filter(hWnd))
        return -1;
    host_poll(false);
    while (!fetch(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true))
        host_poll(true);
    return lpMsg->message != WM_QUIT;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd && !live_window(hWnd))
        return FALSE;
    post(hWnd, Msg, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode)
{
    layer().quit = true;
    layer().quit_code = nExitCode;
}

// NOTE: the character message is posted, so it follows whatever was posted
// before it, and comes ahead of the next key message.
BOOL WINAPI TranslateMessage(const MSG *lpMsg)
{
    if (!lpMsg)
        return FALSE;
    UINT m = lpMsg->message;
    if (m != WM_KEYDOWN && m != WM_KEYUP && m != WM_SYSKEYDOWN && m != WM_SYSKEYUP)
        return FALSE;
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) {
        int c = key_char((UINT)lpMsg->wParam, lpMsg->lParam);
        if (c)
            post(lpMsg->hwnd, m == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR, (WPARAM)c, lpMsg->lParam);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg)
{
    if (!lpMsg || !lpMsg->hwnd)
        return 0;
    HWND__ *w = live_window(lpMsg->hwnd);
    if (!w)
        return 0;
    return w->cls->wc.lpfnWndProc(w, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return 0;
    return w->cls->wc.lpfnWndProc(w, Msg, wParam, lParam);
}
