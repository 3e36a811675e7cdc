// user32: DefWindowProcA, the default handling of every message a window
// procedure passes on.
//
// Left out: the menu loop (SC_KEYMENU opens no menu: there is none to open),
// the non-client area, and WM_CONTEXTMENU's popup.
#include "layer.h"

using namespace compat;

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    HWND__ *w = live_window(hWnd);
    if (!w)
        return 0;
    Layer &l = layer();

    switch (Msg) {
    case WM_NCCREATE:
        if (lParam && ((const CREATESTRUCTA *)lParam)->lpszName)
            w->title = ((const CREATESTRUCTA *)lParam)->lpszName;
        return TRUE;

    case WM_CLOSE:
        DestroyWindow(w);
        return 0;

    case WM_PAINT:
    case WM_NCACTIVATE:
        if (Msg == WM_PAINT)
            w->invalid = false;   // BeginPaint + EndPaint validate the window
        return TRUE;

    case WM_ERASEBKGND:
        return 0;   // no class brush here: nothing painted

    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !w->minimized)
            SetFocus(w);
        return 0;

    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE:
            SendMessageA(w, WM_CLOSE, 0, 0);
            return 0;
        case SC_MINIMIZE:
            ShowWindow(w, SW_MINIMIZE);
            return 0;
        case SC_MAXIMIZE:
            ShowWindow(w, SW_SHOWMAXIMIZED);
            return 0;
        case SC_RESTORE:
            ShowWindow(w, SW_RESTORE);
            return 0;
        }
        return 0;

    case WM_SYSKEYDOWN:
        if (wParam == VK_F4 && (HIWORD(lParam) & KF_ALTDOWN)) {
            if (!(w->cls->wc.style & CS_NOCLOSE))
                PostMessageA(top_level(w), WM_SYSCOMMAND, SC_CLOSE, 0);
            l.menu_key = 0;
            return 0;
        }
        // Alt alone, or F10 without Alt, arms the menu for its own release;
        // Shift+F10 asks for the context menu instead.
        if (wParam == VK_F10 && (l.key_state[VK_SHIFT] & 0x80))
            SendMessageA(w, WM_CONTEXTMENU, (WPARAM)w, -1);
        else if (wParam == VK_MENU || wParam == VK_F10)
            l.menu_key = (UINT)wParam;
        else
            l.menu_key = 0;
        return 0;

    case WM_KEYDOWN:
        l.menu_key = 0;
        return 0;

    case WM_KEYF1: {
        // NOTE: the layer knows no pointer position, so MousePos stays 0, 0.
        HELPINFO help = {sizeof(HELPINFO), HELPINFO_WINDOW, 0, w, 0, {0, 0}};
        SendMessageA(w, WM_HELP, 0, (LPARAM)&help);
        return 0;
    }

    case WM_SYSKEYUP:
    case WM_KEYUP:
        if (l.menu_key && wParam == l.menu_key) {
            l.menu_key = 0;
            SendMessageA(w, WM_SYSCOMMAND, SC_KEYMENU, 0);
        }
        return 0;

    case WM_SYSCHAR:
        if (wParam != VK_TAB && wParam != VK_ESCAPE && (HIWORD(lParam) & KF_ALTDOWN))
            SendMessageA(w, WM_SYSCOMMAND, SC_KEYMENU, wParam);
        return 0;
    }
    return 0;
}
