// A window like sineband's whose window procedure writes down every message
// it receives, so that the layer and Windows (Wine) can be given the same
// input and their answers compared line for line.
//
//   probe [LOGFILE]
//
// With no file named (in the page, which has no files and no command line)
// the log is the standard output, which the page's console shows.
//
// Each line: "dispatched" when the call came from the probe's own
// DispatchMessageA, "sent" for any other call, then the message, wParam and
// lParam in hex, with the window's own handle written as "self". The loop
// is the program's: every waiting message first, then a frame. GetMessageA
// returning 0 adds a line "quit CODE".
#include <windows.h>
#include <GL/gl.h>
#include <stdio.h>

static FILE *out;
static const MSG *dispatching;   // what DispatchMessageA is handing over
static HDC hDC;

static void Value(HWND hWnd, unsigned long long v)
{
    if (v && v == (unsigned long long)(WPARAM)hWnd)
        fprintf(out, " self");
    else
        fprintf(out, " %llx", v);
}

// The program's pixel format and context, set up where it sets them up.
static void SetUpContext(HWND hWnd)
{
    static PIXELFORMATDESCRIPTOR pfd = {sizeof(PIXELFORMATDESCRIPTOR), 1,
        PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA, 16, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0, 0, 0, 16, 0, 0, PFD_MAIN_PLANE, 0, 0, 0, 0};
    hDC = GetDC(hWnd);
    int format = ChoosePixelFormat(hDC, &pfd);
    HGLRC rc = format && SetPixelFormat(hDC, format, &pfd) ? wglCreateContext(hDC) : NULL;
    if (!rc || !wglMakeCurrent(hDC, rc))
        fprintf(out, "no GL context\n");
}

static LRESULT CALLBACK ProbeProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const MSG *d = dispatching;
    bool dispatched = d && d->hwnd == hWnd && d->message == msg && d->wParam == wParam && d->lParam == lParam;
    dispatching = NULL;   // whatever comes while this one is handled is sent
    fprintf(out, "%s %04x", dispatched ? "dispatched" : "sent", msg);
    Value(hWnd, (unsigned long long)wParam);
    // NOTE: as the pointer-wide unsigned number it is, so that a 32-bit
    // build's (the page's) key-up lParam is not sign-extended.
    Value(hWnd, (unsigned long long)(UINT_PTR)lParam);
    fprintf(out, "\n");
    fflush(out);

    if (msg == WM_CREATE)
        SetUpContext(hWnd);
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInst, HINSTANCE hPrevInst, LPSTR lpCmd, int nShowCmd)
{
    (void)hPrevInst;
    (void)nShowCmd;
    if (!(out = *lpCmd ? fopen(lpCmd, "w") : stdout))
        return 2;

    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = hInst;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "OpenGL";
    if (!RegisterClassA(&wc))
        return 3;
    HWND hWnd = CreateWindowExA(0, "OpenGL", "OpenGL", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                50, 50, 600, 450, NULL, NULL, hInst, NULL);
    if (!hWnd)
        return 4;
    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    SetFocus(hWnd);

    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, NULL, 0, 0)) {
                fprintf(out, "quit %llx\n", (unsigned long long)msg.wParam);
                fclose(out);
                return 1;
            }
            TranslateMessage(&msg);
            dispatching = &msg;
            DispatchMessageA(&msg);
            dispatching = NULL;
        }
        glClear(GL_COLOR_BUFFER_BIT);
        SwapBuffers(hDC);
    }
}
