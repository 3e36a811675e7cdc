// opengl32: WGL rendering contexts over the host's GL contexts.
//
// One thread, so "current" is a single slot. Left out: shared display lists
// (wglShareLists), layer planes, and contexts of other threads.
#include "layer.h"

using namespace compat;

HGLRC WINAPI wglCreateContext(HDC hdc)
{
    HDC__ *dc = live_dc(hdc);
    if (!dc)
        return nullptr;
    HWND__ *w = dc->window;
    if (!w->pixel_format) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return nullptr;
    }
    // NOTE: the new context is not made current; the host's own creation may
    // bind it, so the host puts back whatever was current before.
    HostContext *host = host_context_create(w->host);
    if (!host) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return nullptr;
    }
    auto c = std::make_unique<HGLRC__>();
    c->host = host;
    c->pixel_format = w->pixel_format;
    c->alive = true;
    layer().contexts.push_back(std::move(c));
    return layer().contexts.back().get();
}

BOOL WINAPI wglMakeCurrent(HDC hdc, HGLRC hglrc)
{
    Layer &l = layer();
    if (!hglrc) {
        // Makes the current context not current; the DC is not looked at.
        if (!l.current && !hdc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (l.current)
            release_current();
        return TRUE;
    }
    HGLRC__ *c = live_context(hglrc);
    HDC__ *dc = live_dc(hdc);
    if (!c || !dc || dc->window->pixel_format != c->pixel_format) {
        if (c && dc)
            SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        if (l.current)   // after a failure the thread has no current context
            release_current();
        return FALSE;
    }
    if (!host_context_make_current(dc->window->host, c->host)) {
        release_current();
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    l.current = c;
    l.current_dc = dc;
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC hglrc)
{
    HGLRC__ *c = live_context(hglrc);
    if (!c)
        return FALSE;
    if (layer().current == c)
        release_current();
    host_context_destroy(c->host);
    c->host = nullptr;
    c->alive = false;
    return TRUE;
}

HGLRC WINAPI wglGetCurrentContext(void) { return layer().current; }

HDC WINAPI wglGetCurrentDC(void) { return layer().current_dc; }
