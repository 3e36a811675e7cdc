// The host's GL side, as host.h asks for it: the pixel formats, giving a
// window one of them, contexts and buffer swaps. Where the window is on X11
// the GL goes through GLX (glx_context.cpp), on Wayland through EGL
// (egl_context.cpp); other window systems go through SDL's own GL.
//
// NOTE: on X11, SDL's GL windows would cost a throwaway context at every
// window made, so the windows are plain SDL windows and GLX draws into them.
// X fixes a window's visual when the window is made, so giving a window a
// format whose visual is not the window's re-creates the native window with
// that visual (and shows the new one if the old one was shown).
#include "sdl_host.h"

#include <stdio.h>

namespace compat {

// Other window systems cannot list their formats through SDL; this is the
// one every desktop GL driver has.
static const std::vector<PIXELFORMATDESCRIPTOR> &sdl_formats()
{
    static const std::vector<PIXELFORMATDESCRIPTOR> formats = {describe_format(8, 8, 8, 8, 24, 8)};
    return formats;
}

const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *w)
{
    if (w->x_display)
        return glx_pixel_formats(w);
    return w->wl_display ? egl_pixel_formats(w) : sdl_formats();
}

bool host_window_set_format(HostWindow *w, int index)
{
    if (w->wl_display)
        return egl_window_set_format(w, index);
    unsigned long visual_id = 0;   // SDL's choice
    Uint32 gl_flag = 0;
    if (w->x_display) {
        visual_id = glx_format_visual(index);
        w->glx_config = glx_format_config(index);
        if (x11_window_visual(w) == visual_id)
            return true;   // the window already has the format's visual
    } else {
        const PIXELFORMATDESCRIPTOR &f = sdl_formats()[(size_t)index];
        gl_flag = SDL_WINDOW_OPENGL;
        SDL_GL_ResetAttributes();
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, f.cRedBits);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, f.cGreenBits);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, f.cBlueBits);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, f.cAlphaBits);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, f.cDepthBits);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, f.cStencilBits);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, f.cAccumRedBits);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, f.cAccumGreenBits);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, f.cAccumBlueBits);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, f.cAccumAlphaBits);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (f.dwFlags & PFD_DOUBLEBUFFER) ? 1 : 0);
        SDL_GL_SetAttribute(SDL_GL_STEREO, (f.dwFlags & PFD_STEREO) ? 1 : 0);
    }

    char visual[32] = "";
    if (visual_id)
        snprintf(visual, sizeof visual, "0x%lx", visual_id);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, visual);

    SDL_Window *old = w->window;
    bool shown = (SDL_GetWindowFlags(old) & SDL_WINDOW_SHOWN) != 0;
    std::string why;
    bool made = sdl_make_window(w, gl_flag, why) != nullptr;
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
    if (!made || (w->x_display && x11_window_visual(w) != visual_id)) {
        if (made)
            SDL_DestroyWindow(w->window);
        sdl_adopt_window(w, old);
        w->glx_config = nullptr;
        return false;
    }
    SDL_DestroyWindow(old);
    // Windows lets a shown window be given its format; the new one is made hidden.
    if (shown)
        SDL_ShowWindow(w->window);
    return true;
}

HostContext *host_context_create(HostWindow *w)
{
    if (w->x_display) {
        void *glx = glx_context_create(w);
        return glx ? new HostContext{nullptr, glx, w->x_display} : nullptr;
    }
    if (w->wl_display) {
        void *egl = egl_context_create(w);
        return egl ? new HostContext{nullptr, nullptr, nullptr, egl} : nullptr;
    }
    SDL_Window *prev_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext prev = SDL_GL_GetCurrentContext();
    SDL_GLContext gl = SDL_GL_CreateContext(w->window);
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(prev ? prev_window : nullptr, prev);
    return gl ? new HostContext{gl, nullptr, nullptr} : nullptr;
}

bool host_context_make_current(HostWindow *w, HostContext *ctx)
{
    if (ctx ? ctx->glx != nullptr : glx_is_current())
        return glx_make_current(w, ctx);
    if (ctx ? ctx->egl != nullptr : egl_is_current())
        return egl_make_current(w, ctx);
    return SDL_GL_MakeCurrent(w ? w->window : nullptr, ctx ? ctx->gl : nullptr) == 0;
}

void host_context_destroy(HostContext *ctx)
{
    if (!ctx)
        return;
    if (ctx->glx)
        glx_context_destroy(ctx);
    else if (ctx->egl)
        egl_context_destroy(ctx);
    else
        SDL_GL_DeleteContext(ctx->gl);
    delete ctx;
}

bool host_swap(HostWindow *w)
{
    if (w->x_display) {
        glx_swap(w);
        return true;
    }
    if (w->wl_display)
        return egl_swap(w);
    if (SDL_GL_GetCurrentWindow() != w->window)
        return false;   // SDL swaps only the current window
    SDL_GL_SwapWindow(w->window);
    return true;
}

}  // namespace compat
