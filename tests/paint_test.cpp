// WM_PAINT on the SDL host over a real X server: a window shown and updated
// is painted once, as on Windows, and is painted again only when the window
// system has really lost its contents since.
#include <windows.h>
#include <gtest/gtest.h>
// After GoogleTest, whose names Xlib's macros (None, Bool) would replace.
#include <X11/Xlib.h>

#include <unistd.h>

#include <chrono>

namespace {

int paints;   // WM_PAINT calls of the window procedure, sent or dispatched

LRESULT CALLBACK CountingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    paints += msg == WM_PAINT;
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The program's loop for a while: every waiting message, then a pause.
void Pump(int ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG msg;
    while (std::chrono::steady_clock::now() < until) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        usleep(5000);
    }
}

}   // namespace

TEST(Paint, OnceAfterShowingThenOnlyWhenContentsAreLost)
{
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = "PaintTest";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hWnd = CreateWindowExA(0, "PaintTest", "paint", WS_OVERLAPPEDWINDOW, 50, 50, 300, 200, NULL, NULL, NULL,
                                NULL);
    ASSERT_NE(hWnd, nullptr);
    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    EXPECT_EQ(paints, 1) << "UpdateWindow sends the shown window's WM_PAINT";
    // X exposes the window it has just mapped: nothing painted is lost.
    Pump(500);
    EXPECT_EQ(paints, 1) << "no WM_PAINT after the one UpdateWindow sent";

    // Another client's window over it, then gone: X has lost what was under it.
    Display *dpy = XOpenDisplay(NULL);
    ASSERT_NE(dpy, nullptr);
    Window cover = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 100, 100, 100, 50, 0, 0, 0);
    XSetWindowAttributes override = {};
    override.override_redirect = True;
    XChangeWindowAttributes(dpy, cover, CWOverrideRedirect, &override);
    XMapRaised(dpy, cover);
    XSync(dpy, False);
    Pump(200);
    XUnmapWindow(dpy, cover);
    XSync(dpy, False);
    Pump(500);
    EXPECT_EQ(paints, 2) << "one WM_PAINT for the uncovered contents";
    XDestroyWindow(dpy, cover);
    XCloseDisplay(dpy);
    DestroyWindow(hWnd);
}
