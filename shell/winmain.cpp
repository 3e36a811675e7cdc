// Entry point and frame loop: register the class, create and show the
// window, then pump messages and draw a frame whenever the queue is empty.
#include <windows.h>
#include <string.h>

#include "shell.h"
#include "../scene/scene.h"

// Build-time switch: a borderless 800 x 600 window with a display-mode change.
#ifndef SINEBAND_FULLSCREEN
#define SINEBAND_FULLSCREEN 0
#endif
static const BOOL fullscreen = SINEBAND_FULLSCREEN;

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrevInst, LPSTR lpCmd, int nShowCmd)
{
    (void)hPrevInst;
    (void)lpCmd;
    (void)nShowCmd;

    MSG msg;
    WNDCLASSA wc;
    DEVMODEA dmScreenSettings;
    HWND hWnd;

    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = WndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = hInst;
    wc.hIcon = NULL;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = NULL;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = "OpenGL";

    if (!RegisterClassA(&wc)) {
        MessageBoxA(NULL, "Error Create window class", "Error", MB_OK | MB_ICONERROR);
        return 0;
    }

    if (fullscreen)
        hWnd = CreateWindowExA(0, "OpenGL", "OpenGL", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                               0, 0, 800, 600, NULL, NULL, hInst, NULL);
    else
        hWnd = CreateWindowExA(0, "OpenGL", "OpenGL", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                               50, 50, 600, 450, NULL, NULL, hInst, NULL);
    if (!hWnd)
        return 0;

    if (fullscreen) {
        memset(&dmScreenSettings, 0, sizeof(DEVMODEA));
        dmScreenSettings.dmSize = sizeof(DEVMODEA);
        dmScreenSettings.dmPelsWidth = 800;
        dmScreenSettings.dmPelsHeight = 600;
        dmScreenSettings.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
        ChangeDisplaySettingsA(&dmScreenSettings, CDS_FULLSCREEN);
    }

    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    SetFocus(hWnd);

    for (;;) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, NULL, 0, 0))
                // NOTE: a context that never came up ends the run with 0,
                // so a start-up failure is not mistaken for a normal end.
                return Ready ? 1 : 0;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }

        Draw();
        SwapBuffers(hDC);

        if (keys[VK_ESCAPE])
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
    }
}
