// GLX, the backend of windows on X11: the pixel formats the X server offers
// (its GLX framebuffer configs, described as Windows describes formats),
// contexts and buffer swaps; the frame is Xlib's (x11_window.cpp).
//
// NOTE: X fixes a window's visual when the window is made, so giving a
// window a format whose visual is not the window's makes the native window
// again with that visual.
#include "sdl_host.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace compat {

static Display *display;   // SDL's connection, whose configs the formats are
static std::vector<PIXELFORMATDESCRIPTOR> formats;
static std::vector<VisualID> visuals;         // the X visual of each format
static std::vector<GLXFBConfig> configs_of;   // GLX's config of each format
static bool formats_read = false;

using ConfigSet = std::unordered_set<GLXFBConfig>;

// The RGBA window configs with a visual and a single view that also have
// attribute at value (glXChooseFBConfig's matching: at least that size, or
// exactly that setting); with attribute None, all of them.
static ConfigSet usable_configs(Display *dpy, int attribute = None, int value = 0)
{
    // NOTE: a later setting of an attribute overrides an earlier one, so the
    // caveat can be narrowed; GLX's default for stereo leaves out stereo
    // configs.
    const int attributes[] = {GLX_RENDER_TYPE, GLX_RGBA_BIT, GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
                              GLX_X_RENDERABLE, True, GLX_LEVEL, 0, GLX_CONFIG_CAVEAT, (int)GLX_DONT_CARE,
                              GLX_STEREO, False, attribute, value, None};
    int count = 0;
    GLXFBConfig *chosen = glXChooseFBConfig(dpy, DefaultScreen(dpy), attributes, &count);
    ConfigSet set(chosen, chosen + count);
    if (chosen)
        XFree(chosen);
    return set;
}

static BYTE mask_bits(unsigned long mask)
{
    return (BYTE)__builtin_popcountl(mask);
}

static void read_glx_formats(Display *dpy)
{
    int error_base, event_base;
    if (!glXQueryExtension(dpy, &error_base, &event_base))
        return;   // no GLX on this display: no formats at all
    // NOTE: glXGetFBConfigAttrib answers for one config and one attribute,
    // a few microseconds a call, and a server has hundreds of configs. So
    // whole sets are asked for at once: glXChooseFBConfig tells which
    // configs are double-buffered, which are non-conformant and which have
    // any alpha, depth, stencil, auxiliary or accumulation buffer at all; the
    // colour sizes are the visual's masks. Only the sizes of buffers that are
    // there are asked one by one. The formats keep the server's order, which
    // decides ties in choosing.
    const ConfigSet usable = usable_configs(dpy);
    const ConfigSet non_conformant = usable_configs(dpy, GLX_CONFIG_CAVEAT, GLX_NON_CONFORMANT_CONFIG);
    const ConfigSet doublebuffered = usable_configs(dpy, GLX_DOUBLEBUFFER, True);
    const int optional[] = {GLX_ALPHA_SIZE, GLX_DEPTH_SIZE, GLX_STENCIL_SIZE, GLX_AUX_BUFFERS,
                            GLX_ACCUM_RED_SIZE, GLX_ACCUM_GREEN_SIZE, GLX_ACCUM_BLUE_SIZE, GLX_ACCUM_ALPHA_SIZE};
    std::unordered_map<int, ConfigSet> having;
    for (int attribute : optional)
        having[attribute] = usable_configs(dpy, attribute, 1);

    XVisualInfo pattern = {};
    pattern.screen = DefaultScreen(dpy);
    int visual_count = 0;
    XVisualInfo *visual_info = XGetVisualInfo(dpy, VisualScreenMask, &pattern, &visual_count);
    std::unordered_map<VisualID, const XVisualInfo *> visual_of;
    for (int i = 0; i < visual_count; ++i)
        visual_of[visual_info[i].visualid] = &visual_info[i];

    int all_count = 0;
    GLXFBConfig *all = glXGetFBConfigs(dpy, DefaultScreen(dpy), &all_count);
    for (int i = 0; i < all_count; ++i) {
        GLXFBConfig config = all[i];
        if (!usable.count(config) || non_conformant.count(config))
            continue;
        auto size = [&](int attribute) {
            int value = 0;
            if (having[attribute].count(config))
                glXGetFBConfigAttrib(dpy, config, attribute, &value);
            return (BYTE)value;
        };
        int visual_id = 0;
        glXGetFBConfigAttrib(dpy, config, GLX_VISUAL_ID, &visual_id);
        auto visual = visual_of.find((VisualID)visual_id);
        if (!visual_id || visual == visual_of.end())
            continue;
        const XVisualInfo &v = *visual->second;
        const BYTE accum[4] = {size(GLX_ACCUM_RED_SIZE), size(GLX_ACCUM_GREEN_SIZE), size(GLX_ACCUM_BLUE_SIZE),
                               size(GLX_ACCUM_ALPHA_SIZE)};
        formats.push_back(describe_format(mask_bits(v.red_mask), mask_bits(v.green_mask), mask_bits(v.blue_mask),
                                          size(GLX_ALPHA_SIZE), size(GLX_DEPTH_SIZE), size(GLX_STENCIL_SIZE),
                                          doublebuffered.count(config) != 0, size(GLX_AUX_BUFFERS), accum));
        visuals.push_back((VisualID)visual_id);
        configs_of.push_back(config);
    }
    if (all)
        XFree(all);
    if (visual_info)
        XFree(visual_info);
}

static const std::vector<PIXELFORMATDESCRIPTOR> &glx_formats(HostWindow *w)
{
    if (!formats_read) {
        formats_read = true;
        display = static_cast<Display *>(w->x11.display);
        read_glx_formats(display);
    }
    return formats;
}

static bool glx_set_format(HostWindow *w, int index)
{
    w->glx.config = configs_of[(size_t)index];
    if (x11_window_visual(w) == visuals[(size_t)index] || sdl_remake_window(w, 0, visuals[(size_t)index]))
        return true;
    w->glx.config = nullptr;
    return false;
}

static void *glx_context_create(HostWindow *w)
{
    // Unlike SDL's, a new GLX context is not made current, as with WGL.
    if (!w->glx.config)
        return nullptr;
    return glXCreateNewContext(display, static_cast<GLXFBConfig>(w->glx.config), GLX_RGBA_TYPE, nullptr, True);
}

static bool glx_make_current(HostWindow *w, void *gl)
{
    if (!w || !gl)
        return !glXGetCurrentContext() || glXMakeCurrent(glXGetCurrentDisplay(), None, nullptr);
    return glXMakeCurrent(static_cast<Display *>(w->x11.display), w->x11.window, static_cast<GLXContext>(gl));
}

static void glx_context_destroy(void *gl)
{
    if (glXGetCurrentContext() == gl)
        glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, static_cast<GLXContext>(gl));
}

static bool glx_swap(HostWindow *w)
{
    // NOTE: GLX, like WGL, swaps any window with a back buffer (though
    // Mesa's software driver does nothing while the thread has no context).
    glXSwapBuffers(static_cast<Display *>(w->x11.display), w->x11.window);
    return true;
}

const Backend glx_backend = {glx_formats, glx_set_format, glx_context_create, glx_make_current,
                             glx_context_destroy, glx_swap, x11_frame_extents, nullptr, nullptr, nullptr};

}  // namespace compat
