// EGL, for the GL of windows on Wayland: the pixel formats the compositor's
// display offers (its EGL configs, described as the GLX side describes
// them), desktop GL contexts, each window's own EGL window surface and buffer
// swaps.
//
// NOTE: SDL gives every Wayland window a wl_egl_window and an EGL surface of
// its own, and EGL refuses a second surface on that one, so the layer makes
// its own wl_egl_window on the window's wl_surface. SDL never swaps it.
#include "sdl_host.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <wayland-egl.h>

namespace compat {

static EGLDisplay display = EGL_NO_DISPLAY;
static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<EGLConfig> configs_of;   // EGL's config of each format
static bool formats_read = false;

static EGLint attribute(EGLConfig config, EGLint name)
{
    EGLint value = 0;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

static void read_egl_formats(wl_display *connection)
{
    display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, connection, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        display = EGL_NO_DISPLAY;
        return;   // no EGL for this display: no formats at all
    }
    EGLint count = 0;
    eglGetConfigs(display, nullptr, 0, &count);
    std::vector<EGLConfig> all((size_t)count);
    eglGetConfigs(display, all.data(), count, &count);
    all.resize((size_t)count);

    // RGBA window configs that can draw desktop GL and are conformant.
    std::vector<EGLConfig> usable;
    bool has_8bit = false;
    for (EGLConfig c : all) {
        if (!(attribute(c, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) ||
            !(attribute(c, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) ||
            attribute(c, EGL_COLOR_BUFFER_TYPE) != EGL_RGB_BUFFER ||
            attribute(c, EGL_CONFIG_CAVEAT) == EGL_NON_CONFORMANT_CONFIG)
            continue;
        usable.push_back(c);
        has_8bit |= attribute(c, EGL_RED_SIZE) == 8 && attribute(c, EGL_GREEN_SIZE) == 8 &&
                    attribute(c, EGL_BLUE_SIZE) == 8;
    }
    // NOTE: ChoosePixelFormat takes the smallest colour that meets the
    // request, so a listed 5-6-5 config would win a 16-bit request that gets
    // 8 bits a channel on X11 and Windows; 10-bit ones go too, since,
    // listed first, a 2-10-10-10 config would win a 32-bit request.
    for (EGLConfig c : usable) {
        BYTE r = (BYTE)attribute(c, EGL_RED_SIZE), g = (BYTE)attribute(c, EGL_GREEN_SIZE);
        BYTE b = (BYTE)attribute(c, EGL_BLUE_SIZE);
        if (has_8bit && (r != 8 || g != 8 || b != 8))
            continue;
        // Every EGL window surface has a back buffer.
        formats.push_back(describe_format(r, g, b, (BYTE)attribute(c, EGL_ALPHA_SIZE),
                                          (BYTE)attribute(c, EGL_DEPTH_SIZE), (BYTE)attribute(c, EGL_STENCIL_SIZE)));
        configs_of.push_back(c);
    }
}

const std::vector<PIXELFORMATDESCRIPTOR> &egl_pixel_formats(HostWindow *w)
{
    if (!formats_read) {
        formats_read = true;
        read_egl_formats(static_cast<wl_display *>(w->wl_display));
    }
    return formats;
}

bool egl_window_set_format(HostWindow *w, int index)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    auto *native = wl_egl_window_create(static_cast<wl_surface *>(w->wl_surface), width, height);
    EGLSurface surface = native ? eglCreatePlatformWindowSurface(display, configs_of[(size_t)index], native, nullptr)
                                : EGL_NO_SURFACE;
    if (surface == EGL_NO_SURFACE) {
        if (native)
            wl_egl_window_destroy(native);
        return false;
    }
    w->egl_config = configs_of[(size_t)index];
    w->egl_window = native;
    w->egl_surface = surface;
    w->egl_alpha = formats[(size_t)index].cAlphaBits != 0;
    return true;
}

void egl_window_resize(HostWindow *w)
{
    int width = 0, height = 0;
    SDL_GetWindowSize(w->window, &width, &height);
    if (w->egl_window)
        wl_egl_window_resize(static_cast<wl_egl_window *>(w->egl_window), width, height, 0, 0);
}

void egl_window_release(HostWindow *w)
{
    if (!w->egl_surface)
        return;
    // A context current on it stays current, as on Windows, with no surface.
    eglBindAPI(EGL_OPENGL_API);
    if (eglGetCurrentSurface(EGL_DRAW) == w->egl_surface)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, eglGetCurrentContext());
    eglDestroySurface(display, w->egl_surface);
    wl_egl_window_destroy(static_cast<wl_egl_window *>(w->egl_window));
    w->egl_surface = w->egl_window = nullptr;
}

// NOTE: eglBindAPI is set per thread, and SDL binds its own choice when it
// makes a window's surface; the layer's calls say which API they mean.
void *egl_context_create(HostWindow *w)
{
    if (!w->egl_config || !eglBindAPI(EGL_OPENGL_API))
        return nullptr;
    EGLContext gl = eglCreateContext(display, w->egl_config, EGL_NO_CONTEXT, nullptr);
    return gl == EGL_NO_CONTEXT ? nullptr : gl;
}

bool egl_make_current(HostWindow *w, HostContext *ctx)
{
    eglBindAPI(EGL_OPENGL_API);
    if (!ctx || !w)
        return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (!w->egl_surface || !eglMakeCurrent(display, w->egl_surface, w->egl_surface, ctx->egl))
        return false;
    // NOTE: as SDL does: a swap would otherwise wait for the compositor's
    // frame callback, which a window that is not shown never gets.
    eglSwapInterval(display, 0);
    return true;
}

bool egl_is_current()
{
    if (display == EGL_NO_DISPLAY)
        return false;   // EGL never used: not asked at all
    eglBindAPI(EGL_OPENGL_API);
    return eglGetCurrentContext() != EGL_NO_CONTEXT;
}

void egl_context_destroy(HostContext *ctx)
{
    eglBindAPI(EGL_OPENGL_API);
    if (eglGetCurrentContext() == ctx->egl)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, ctx->egl);
}

// NOTE: a Wayland compositor blends a buffer with alpha over what is behind
// it, and a GL window on Windows is opaque whatever its alpha. Where the
// format has alpha, the back buffer's alpha is set to one just before the
// swap; after a swap the back buffer's contents are undefined on Windows too.
static void make_opaque()
{
    GLboolean mask[4];
    GLfloat clear[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
}

bool egl_swap(HostWindow *w)
{
    eglBindAPI(EGL_OPENGL_API);
    if (!w->egl_surface || eglGetCurrentSurface(EGL_DRAW) != w->egl_surface)
        return false;
    // NOTE: as SDL does, no swap while the window is hidden: the compositor
    // releases no buffer of an unmapped surface, and EGL would wait for one.
    if (SDL_GetWindowFlags(w->window) & SDL_WINDOW_HIDDEN)
        return true;
    wayland_check_connection();
    if (w->egl_alpha)
        make_opaque();
    eglSwapBuffers(display, w->egl_surface);
    return true;
}

}  // namespace compat
