// The pixel format the program asks for, given to a window as the program
// gives it, for the tests that draw through the layer on a real display.
#ifndef SINEBAND_TESTS_GL_WINDOW_H
#define SINEBAND_TESTS_GL_WINDOW_H

#include <windows.h>

// Double-buffered RGBA, 16-bit colour and depth.
inline PIXELFORMATDESCRIPTOR ProgramRequest()
{
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(pfd);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = pfd.cDepthBits = 16;
    return pfd;
}

// The window's DC with the format ChoosePixelFormat finds for that request,
// or NULL when none is found or it cannot be set.
inline HDC FormattedDC(HWND w)
{
    HDC dc = GetDC(w);
    PIXELFORMATDESCRIPTOR want = ProgramRequest();
    int format = ChoosePixelFormat(dc, &want);
    return format && SetPixelFormat(dc, format, &want) ? dc : NULL;
}

#endif
