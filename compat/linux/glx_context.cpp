// GLX, for the GL of windows on X11: the pixel formats the X server offers
// (its GLX framebuffer configs, described as Windows describes formats),
// contexts and buffer swaps.
#include "sdl_host.h"

#include <GL/glx.h>
#include <X11/Xutil.h>

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace compat {

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

const std::vector<PIXELFORMATDESCRIPTOR> &glx_pixel_formats(HostWindow *w)
{
    if (!formats_read) {
        formats_read = true;
        read_glx_formats(static_cast<Display *>(w->x_display));
    }
    return formats;
}

unsigned long glx_format_visual(int index) { return visuals[(size_t)index]; }

void *glx_format_config(int index) { return configs_of[(size_t)index]; }

void *glx_context_create(HostWindow *w)
{
    // Unlike SDL's, a new GLX context is not made current, as with WGL.
    if (!w->glx_config)
        return nullptr;
    return glXCreateNewContext(static_cast<Display *>(w->x_display), static_cast<GLXFBConfig>(w->glx_config),
                               GLX_RGBA_TYPE, nullptr, True);
}

bool glx_make_current(HostWindow *w, HostContext *ctx)
{
    Display *dpy = ctx ? static_cast<Display *>(ctx->x_display) : glXGetCurrentDisplay();
    if (!ctx || !w)
        return glXMakeCurrent(dpy, None, nullptr);
    return glXMakeCurrent(dpy, w->x_window, static_cast<GLXContext>(ctx->glx));
}

bool glx_is_current() { return glXGetCurrentContext() != nullptr; }

void glx_context_destroy(HostContext *ctx)
{
    Display *dpy = static_cast<Display *>(ctx->x_display);
    if (glXGetCurrentContext() == ctx->glx)
        glXMakeCurrent(dpy, None, nullptr);
    glXDestroyContext(dpy, static_cast<GLXContext>(ctx->glx));
}

void glx_swap(HostWindow *w)
{
    // NOTE: GLX, like WGL, swaps any window with a back buffer (though
    // Mesa's software driver does nothing while the thread has no context).
    glXSwapBuffers(static_cast<Display *>(w->x_display), w->x_window);
}

}  // namespace compat
