// EGL, the backend of windows on Wayland: the pixel formats the
// compositor's display offers (its EGL configs, described as the GLX side
// describes them), desktop GL contexts, each window's own EGL window surface
// on the native window wayland_window.cpp makes, and buffer swaps.
#include "sdl_host.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

namespace compat {

static EGLDisplay display = EGL_NO_DISPLAY;
static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<EGLConfig> configs_of;   // EGL's config of each format
static bool formats_read = false;

// NOTE: the API is a per-thread setting, and SDL binds its own choice
// whenever it makes a window's surface, so every call that depends on it
// (contexts made, bound, asked for, swapped) binds desktop GL first.
static bool bind_gl() { return eglBindAPI(EGL_OPENGL_API); }

static EGLint attribute(EGLConfig config, EGLint name)
{
    EGLint value = 0;
    eglGetConfigAttrib(display, config, name, &value);
    return value;
}

static void read_egl_formats(void *connection)
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

static const std::vector<PIXELFORMATDESCRIPTOR> &egl_formats(HostWindow *w)
{
    if (!formats_read) {
        formats_read = true;
        read_egl_formats(w->wl.display);
    }
    return formats;
}

static bool egl_set_format(HostWindow *w, int index)
{
    void *native = wayland_egl_window(w);
    EGLSurface surface = native ? eglCreatePlatformWindowSurface(display, configs_of[(size_t)index], native, nullptr)
                                : EGL_NO_SURFACE;
    if (surface == EGL_NO_SURFACE) {
        wayland_window_release(w);
        return false;
    }
    w->egl.config = configs_of[(size_t)index];
    w->egl.surface = surface;
    w->egl.alpha = formats[(size_t)index].cAlphaBits != 0;
    return true;
}

static void egl_window_release(HostWindow *w)
{
    if (w->egl.surface) {
        // A context current on it stays current, as on Windows, with no surface.
        bind_gl();
        if (eglGetCurrentSurface(EGL_DRAW) == w->egl.surface)
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, eglGetCurrentContext());
        eglDestroySurface(display, w->egl.surface);
        w->egl.surface = nullptr;
    }
    wayland_window_release(w);
}

static void *egl_context_create(HostWindow *w)
{
    if (!w->egl.config || !bind_gl())
        return nullptr;
    EGLContext gl = eglCreateContext(display, w->egl.config, EGL_NO_CONTEXT, nullptr);
    return gl == EGL_NO_CONTEXT ? nullptr : gl;
}

static bool egl_make_current(HostWindow *w, void *gl)
{
    bind_gl();
    if (!w || !gl)
        return eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (!w->egl.surface || !eglMakeCurrent(display, w->egl.surface, w->egl.surface, gl))
        return false;
    // NOTE: as SDL does: a swap would otherwise wait for the compositor's
    // frame callback, which a window that is not shown never gets.
    eglSwapInterval(display, 0);
    return true;
}

static void egl_context_destroy(void *gl)
{
    bind_gl();
    if (eglGetCurrentContext() == gl)
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, gl);
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

static bool egl_swap(HostWindow *w)
{
    bind_gl();
    if (!w->egl.surface || eglGetCurrentSurface(EGL_DRAW) != w->egl.surface)
        return false;
    // NOTE: as SDL does, no swap while the window is hidden: the compositor
    // releases no buffer of an unmapped surface, and EGL would wait for one.
    if (SDL_GetWindowFlags(w->window) & SDL_WINDOW_HIDDEN)
        return true;
    wayland_check_connection();
    if (w->egl.alpha)
        make_opaque();
    eglSwapBuffers(display, w->egl.surface);
    return true;
}

const Backend egl_backend = {egl_formats, egl_set_format, egl_context_create, egl_make_current,
                             egl_context_destroy, egl_swap, sdl_window_frame, wayland_window_resized,
                             wayland_window_rescaled, egl_window_release};

}  // namespace compat
