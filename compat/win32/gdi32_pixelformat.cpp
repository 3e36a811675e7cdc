// gdi32: pixel formats and SwapBuffers.
//
// The formats are the host's own (for X11, its GLX framebuffer configs),
// described as Windows describes them by describe_format, which every host
// uses. ChoosePixelFormat picks among them the way Windows' OpenGL32 does.
// Left out: bitmap, GDI and overlay formats.
#include "layer.h"

#include <string.h>

namespace compat {

PIXELFORMATDESCRIPTOR describe_format(BYTE r, BYTE g, BYTE b, BYTE a, BYTE depth, BYTE stencil, bool doublebuffer,
                                      BYTE aux, const BYTE *accum)
{
    static const BYTE none[4] = {0, 0, 0, 0};
    if (!accum)
        accum = none;
    PIXELFORMATDESCRIPTOR f = {};
    f.nSize = sizeof(f);
    f.nVersion = 1;
    f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (doublebuffer ? PFD_DOUBLEBUFFER : 0);
    f.iPixelType = PFD_TYPE_RGBA;
    // NOTE: the documentation counts colour without alpha, but drivers (and
    // Wine) report the whole pixel, so an RGBA8 format is 32 bits and a
    // 16-bit request prefers the format without alpha, as it does there.
    f.cColorBits = (BYTE)(r + g + b + a);
    f.cRedBits = r, f.cGreenBits = g, f.cBlueBits = b, f.cAlphaBits = a;
    f.cBlueShift = 0, f.cGreenShift = b, f.cRedShift = (BYTE)(b + g), f.cAlphaShift = a ? (BYTE)(r + g + b) : 0;
    f.cAccumRedBits = accum[0], f.cAccumGreenBits = accum[1], f.cAccumBlueBits = accum[2];
    f.cAccumAlphaBits = accum[3];
    f.cAccumBits = (BYTE)(accum[0] + accum[1] + accum[2] + accum[3]);
    f.cDepthBits = depth;
    f.cStencilBits = stencil;
    f.cAuxBuffers = aux;
    f.iLayerType = PFD_MAIN_PLANE;
    return f;
}

static const std::vector<PIXELFORMATDESCRIPTOR> &formats_of(HDC__ *dc)
{
    return host_pixel_formats(dc->window->host);
}

// Keeps a running best, as Windows does: a format that matches the double
// buffer (and stereo) request beats one that does not; then, for each size
// asked for, the smallest that is large enough, or failing that the largest;
// ties keep the lower index.
static int choose(const std::vector<PIXELFORMATDESCRIPTOR> &formats, const PIXELFORMATDESCRIPTOR &want)
{
    const DWORD required = PFD_DRAW_TO_WINDOW | PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL;
    int best = 0;
    const PIXELFORMATDESCRIPTOR *b = nullptr;

    for (size_t i = 0; i < formats.size(); ++i) {
        const PIXELFORMATDESCRIPTOR &f = formats[i];
        if (f.iPixelType != want.iPixelType || (want.dwFlags & required & ~f.dwFlags))
            continue;
        if (!b) {
            best = (int)i + 1, b = &f;
            continue;
        }
        bool found = false;
        bool skip = false;
        const DWORD flag_bits[2] = {PFD_DOUBLEBUFFER, PFD_STEREO};
        const DWORD dontcare[2] = {PFD_DOUBLEBUFFER_DONTCARE, PFD_STEREO_DONTCARE};
        for (int k = 0; k < 2 && !found && !skip; ++k) {
            if (want.dwFlags & dontcare[k])
                continue;
            bool f_match = (f.dwFlags & flag_bits[k]) == (want.dwFlags & flag_bits[k]);
            bool b_match = (b->dwFlags & flag_bits[k]) == (want.dwFlags & flag_bits[k]);
            if (f_match && !b_match)
                found = true;
            else if (!f_match && b_match)
                skip = true;
        }
        if (skip)
            continue;

        const BYTE asked[6] = {want.cColorBits, want.cAlphaBits, want.cStencilBits,
                               want.cDepthBits, want.cAuxBuffers, want.cAccumBits};
        const BYTE have[6] = {f.cColorBits, f.cAlphaBits, f.cStencilBits, f.cDepthBits, f.cAuxBuffers, f.cAccumBits};
        const BYTE held[6] = {b->cColorBits,   b->cAlphaBits,  b->cStencilBits,
                              b->cDepthBits,   b->cAuxBuffers, b->cAccumBits};
        for (int k = 0; k < 6 && !found && !skip; ++k) {
            if (!asked[k])
                continue;
            if ((held[k] < asked[k] && have[k] > held[k]) || (have[k] >= asked[k] && have[k] < held[k]))
                found = true;
            else if (have[k] != held[k])
                skip = true;
        }
        // With no depth asked for, more depth is still better.
        if (!found && !skip && !want.cDepthBits && !(want.dwFlags & PFD_DEPTH_DONTCARE) && f.cDepthBits > b->cDepthBits)
            found = true;
        if (found)
            best = (int)i + 1, b = &f;
    }
    return best;
}

}  // namespace compat

using namespace compat;

int WINAPI ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR *ppfd)
{
    HDC__ *dc = live_dc(hdc);
    if (!dc)
        return 0;
    if (!ppfd) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int index = choose(formats_of(dc), *ppfd);
    if (!index)
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
    return index;
}

// NOTE: a window's format is fixed once set; only the same one is accepted
// again. The record passed in is not looked at.
BOOL WINAPI SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR *ppfd)
{
    (void)ppfd;
    HDC__ *dc = live_dc(hdc);
    if (!dc)
        return FALSE;
    HWND__ *w = dc->window;
    if (format < 1 || format > (int)formats_of(dc).size()) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    if (w->pixel_format)
        return w->pixel_format == format;
    if (!host_window_set_format(w->host, format - 1)) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    w->pixel_format = format;
    return TRUE;
}

int WINAPI GetPixelFormat(HDC hdc)
{
    HDC__ *dc = live_dc(hdc);
    return dc ? dc->window->pixel_format : 0;
}

int WINAPI DescribePixelFormat(HDC hdc, int iPixelFormat, UINT nBytes, LPPIXELFORMATDESCRIPTOR ppfd)
{
    HDC__ *dc = live_dc(hdc);
    if (!dc)
        return 0;
    const auto &formats = formats_of(dc);
    if (ppfd && nBytes) {
        if (iPixelFormat < 1 || iPixelFormat > (int)formats.size()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        memcpy(ppfd, &formats[iPixelFormat - 1], nBytes < sizeof(*ppfd) ? nBytes : sizeof(*ppfd));
    }
    return (int)formats.size();
}

BOOL WINAPI SwapBuffers(HDC hdc)
{
    HDC__ *dc = live_dc(hdc);
    if (!dc)
        return FALSE;
    HWND__ *w = dc->window;
    if (!w->pixel_format) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    if (!(formats_of(dc)[w->pixel_format - 1].dwFlags & PFD_DOUBLEBUFFER))
        return TRUE;   // single-buffered: nothing to swap
    return host_swap(w->host);
}
