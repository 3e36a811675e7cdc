// The window procedure: rendering-context set-up on WM_CREATE, teardown on
// WM_CLOSE and WM_DESTROY, the key table, and size changes to the scene.
#include <windows.h>

#include "shell.h"
#include "../scene/scene.h"

int keys[256];
HDC hDC;
BOOL Ready;
static HGLRC hRC;
static BOOL TornDown;

// Gives up what WM_CREATE acquired, in reverse order, and ends the loop.
// NOTE: WM_CLOSE and WM_DESTROY can both arrive before WM_QUIT is taken; the
// second time round there is nothing left to give up.
static void Teardown(HWND hWnd)
{
    if (!TornDown) {
        TornDown = TRUE;
        ChangeDisplaySettingsA(NULL, 0);
        wglMakeCurrent(hDC, NULL);
        wglDeleteContext(hRC);
        ReleaseDC(hWnd, hDC);
    }
    PostQuitMessage(0);
}

static LRESULT SetupFailed(LPCSTR text)
{
    MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONERROR);
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static PIXELFORMATDESCRIPTOR pfd = {
        sizeof(PIXELFORMATDESCRIPTOR),
        1,
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
        PFD_TYPE_RGBA,
        16,                 // colour bits
        0, 0, 0, 0, 0, 0,   // red, green, blue bits and shifts
        0, 0,               // no alpha buffer
        0, 0, 0, 0, 0,      // no accumulation buffer
        16,                 // depth bits
        0,                  // no stencil buffer
        0,                  // no auxiliary buffers
        PFD_MAIN_PLANE,
        0,
        0, 0, 0,
    };
    UINT PixelFormat;
    RECT rect;

    switch (msg) {
    case WM_CREATE:
        hDC = GetDC(hWnd);
        PixelFormat = ChoosePixelFormat(hDC, &pfd);
        if (!PixelFormat)
            return SetupFailed("Can't find suitable PixelFormat");
        if (!SetPixelFormat(hDC, PixelFormat, &pfd))
            return SetupFailed("Can't set The PixelFormat");
        hRC = wglCreateContext(hDC);
        if (!hRC)
            return SetupFailed("Can't Create Render Device Context");
        if (!wglMakeCurrent(hDC, hRC))
            return SetupFailed("Can't set current Render Device Context");
        GetClientRect(hWnd, &rect);
        Initial(rect.right, rect.bottom);
        Ready = TRUE;
        return 0;

    case WM_DESTROY:
    case WM_CLOSE:
        Teardown(hWnd);
        return 0;

    case WM_SIZE:
        Resize(LOWORD(lParam), HIWORD(lParam));
        return 0;

    case WM_KEYDOWN:
        // NOTE: no keyboard sends codes of 256 or more, but a posted message can.
        if (wParam < 256)
            keys[wParam] = 1;
        return 0;

    case WM_KEYUP:
        if (wParam < 256)
            keys[wParam] = 0;
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}
