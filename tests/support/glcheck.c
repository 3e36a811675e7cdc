// Preloaded into a program started from outside (the fault and storm tests,
// the soak, the benchmark), without changing what it does: counts the frames
// it presents (glXSwapBuffers on X11, eglSwapBuffers elsewhere, as on
// Wayland) and times the first and the latest; before each swap checks
// that the GL calls of that frame raised no error and notes the viewport;
// notes the message boxes it asks SDL for and counts the key and close
// events it takes from SDL.
//
//   GLCHECK_OUT=PREFIX   loading creates PREFIX.<pid>, a struct glcheck_record
//                        mapped shared, so the record is whole however the
//                        process ends (_Exit, a signal, a crash) and can be
//                        read while the program runs.
//   GLCHECK_BENCH=1      frames counted and timed, nothing else done per
//                        frame: no GL call, no look at the events.
//   GLCHECK_READ=PATH    before the swap the record's read_at names (set from
//                        outside, while the program runs, and set back to 0
//                        here), or the first after it, reads the frame back
//                        from the back buffer, the whole surface, into the
//                        PPM file PATH (made whole, then renamed to it); not
//                        in benchmark mode.
//   GLCHECK_PROVOKE=1    raises one GL_INVALID_ENUM ahead of the first check,
//                        to show the check sees an error when there is one.
//   GLCHECK_PROFILE=W,N  under callgrind: counting starts after swap W and is
//                        dumped after swap W+N, so the dump holds exactly N
//                        whole passes of the frame loop (W=0: counting is left
//                        as callgrind started it).
//
// Neither SDL nor libGL is linked in, so a program without SDL (the
// benchmark's freeglut peer) gets none; GL functions are looked up in the
// process when first needed.
//
// NOTE: everything the program calls between two swaps is its own frame, so
// an error pending at a swap was raised by that frame (glGetError hands
// errors out one flag at a time; all of them are taken).
// NOTE: Wine looks its GLX functions up through the libGL handle it opened
// (dlsym, then glXGetProcAddressARB), which no preloaded definition can win
// against; so those two hand out this library's glXSwapBuffers as well.
#define _GNU_SOURCE
#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glx.h>
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_ZERO_STATS
#define CALLGRIND_DUMP_STATS_AT(name)
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#include "glcheck.h"

// tools/soak.sh reads these words with od.
_Static_assert(offsetof(struct glcheck_record, swaps) == 8, "swaps");
_Static_assert(offsetof(struct glcheck_record, gl_errors) == 48, "gl_errors");
_Static_assert(offsetof(struct glcheck_record, first_error) == 56, "first_error");
_Static_assert(offsetof(struct glcheck_record, viewport_w) == 72, "viewport_w");
_Static_assert(offsetof(struct glcheck_record, viewport_h) == 80, "viewport_h");

typedef void (*swap_fn)(Display *, GLXDrawable);
typedef EGLBoolean (*egl_swap_fn)(EGLDisplay, EGLSurface);
typedef void *(*dlsym_fn)(void *, const char *);
typedef int (*box_fn)(Uint32, const char *, const char *, SDL_Window *);
typedef int (*event_fn)(SDL_Event *);

static struct glcheck_record *record;
static char path[4096];
static int made, bench, provoke;
static unsigned long profile_from, profile_frames;
static char read_path[4096];

// The GL functions the checks call, found once GL is there.
static struct {
    int looked;
    GLXContext (*current)(void);
    EGLContext (*egl_current)(void);
    GLenum (*get_error)(void);
    void (*get_integerv)(GLenum, GLint *);
    void (*enable)(GLenum);
    const GLubyte *(*get_string)(GLenum);
    void (*pixel_storei)(GLenum, GLint);
    void (*read_pixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *);
    EGLBoolean (*egl_query)(EGLDisplay, EGLSurface, EGLint, EGLint *);
    void (*glx_query)(Display *, GLXDrawable, int, unsigned int *);
} gl;

static int64_t now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

// strcmp() == 0 without libc. NOTE: a sanitizer build's program has its own
// strcmp, which asks dlsym for libc's as the program starts: that strcmp
// cannot be called from inside dlsym then.
static int same(const char *a, const char *b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return *a == *b;
}

// glibc's own dlsym, found by version so that the lookup does not come back here.
static void *real_dlsym(void *handle, const char *name)
{
    static dlsym_fn next;
    if (!next)
        next = (dlsym_fn)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (!next)
        next = (dlsym_fn)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    return next ? next(handle, name) : NULL;
}

static void *next_of(const char *name) { return real_dlsym(RTLD_NEXT, name); }

static void look_up_gl(void)
{
    if (gl.looked)
        return;
    gl.looked = 1;
    gl.current = (GLXContext(*)(void))real_dlsym(RTLD_DEFAULT, "glXGetCurrentContext");
    gl.egl_current = (EGLContext(*)(void))real_dlsym(RTLD_DEFAULT, "eglGetCurrentContext");
    gl.get_error = (GLenum(*)(void))real_dlsym(RTLD_DEFAULT, "glGetError");
    gl.get_integerv = (void (*)(GLenum, GLint *))real_dlsym(RTLD_DEFAULT, "glGetIntegerv");
    gl.enable = (void (*)(GLenum))real_dlsym(RTLD_DEFAULT, "glEnable");
    gl.get_string = (const GLubyte *(*)(GLenum))real_dlsym(RTLD_DEFAULT, "glGetString");
    gl.pixel_storei = (void (*)(GLenum, GLint))real_dlsym(RTLD_DEFAULT, "glPixelStorei");
    gl.read_pixels = (void (*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *))real_dlsym(RTLD_DEFAULT, "glReadPixels");
    gl.egl_query = (EGLBoolean(*)(EGLDisplay, EGLSurface, EGLint, EGLint *))real_dlsym(RTLD_DEFAULT, "eglQuerySurface");
    gl.glx_query = (void (*)(Display *, GLXDrawable, int, unsigned int *))real_dlsym(RTLD_DEFAULT, "glXQueryDrawable");
}

static int env_is(const char *name, const char *value)
{
    const char *v = getenv(name);
    return v && same(v, value);
}

// NOTE: the record is only made at loading; it is mapped when first written
// to. Wine reserves and maps its address space at start-up with MAP_FIXED,
// which would silently take the place of a mapping made this early.
__attribute__((constructor)) static void make_record(void)
{
    const char *prefix = getenv("GLCHECK_OUT");
    if (!prefix || !*prefix)
        return;
    bench = env_is("GLCHECK_BENCH", "1");
    provoke = env_is("GLCHECK_PROVOKE", "1");
    const char *profile = getenv("GLCHECK_PROFILE");
    if (profile && sscanf(profile, "%lu,%lu", &profile_from, &profile_frames) != 2)
        profile_frames = 0;
    const char *read = getenv("GLCHECK_READ");
    if (read)
        snprintf(read_path, sizeof read_path, "%s", read);
    snprintf(path, sizeof path, "%s.%ld", prefix, (long)getpid());
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    struct glcheck_record head = {0};
    head.pid = (int32_t)getpid();
    head.bench = (uint32_t)bench;
    if (ftruncate(fd, sizeof head) == 0 && pwrite(fd, &head, sizeof head, 0) == sizeof head) {
        head.version = GLCHECK_VERSION;   // last, once the rest is there
        if (pwrite(fd, &head.version, sizeof head.version, 0) == sizeof head.version)
            made = 1;
    }
    close(fd);
}

// The record, mapped on the first call; null if there is none.
static struct glcheck_record *rec(void)
{
    if (record || !made)
        return record;
    made = 0;   // one attempt
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return NULL;
    void *p = mmap(NULL, sizeof *record, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p != MAP_FAILED)
        record = p;
    return record;
}

// Before the swap that ends frame n (through EGL or GLX): the frame's errors
// and its viewport.
static void check_frame(uint64_t n, int egl)
{
    look_up_gl();
    if (egl ? !gl.egl_current : !gl.current)
        return;
    if (egl ? gl.egl_current() == EGL_NO_CONTEXT : !gl.current()) {
        __atomic_add_fetch(&record->swaps_no_context, 1, __ATOMIC_ACQ_REL);
        return;
    }
    if (provoke && gl.enable) {
        provoke = 0;
        gl.enable(0xFFFF);   // no such capability
    }
    // A bounded loop: a lost context keeps answering GL_CONTEXT_LOST.
    for (int i = 0; gl.get_error && i < 16; ++i) {
        GLenum e = gl.get_error();
        if (e == GL_NO_ERROR)
            break;
        if (__atomic_add_fetch(&record->gl_errors, 1, __ATOMIC_ACQ_REL) == 1) {
            record->first_error = e;
            record->first_error_swap = n;
        }
    }
    if (gl.get_integerv) {
        GLint v[4] = {-1, -1, -1, -1};
        gl.get_integerv(GL_VIEWPORT, v);
        if (v[2] != record->viewport_w || v[3] != record->viewport_h)
            __atomic_store_n(&record->viewport_since, n, __ATOMIC_RELAXED);
        __atomic_store_n(&record->viewport_w, (int64_t)v[2], __ATOMIC_RELAXED);
        __atomic_store_n(&record->viewport_h, (int64_t)v[3], __ATOMIC_RELAXED);
    }
}

// The frame about to be presented on `surface` (an EGLSurface or a
// GLXDrawable), as big as the surface is, into read_path.
static void read_frame(int egl, void *dpy, uintptr_t surface)
{
    EGLint w = 0, h = 0;
    unsigned int gw = 0, gh = 0;
    if (egl && gl.egl_query) {
        gl.egl_query(dpy, (EGLSurface)surface, EGL_WIDTH, &w);
        gl.egl_query(dpy, (EGLSurface)surface, EGL_HEIGHT, &h);
    } else if (!egl && gl.glx_query) {
        gl.glx_query(dpy, (GLXDrawable)surface, GLX_WIDTH, &gw);
        gl.glx_query(dpy, (GLXDrawable)surface, GLX_HEIGHT, &gh);
        w = (EGLint)gw, h = (EGLint)gh;
    }
    unsigned char *rgb = w > 0 && h > 0 && gl.read_pixels && gl.pixel_storei ? malloc((size_t)w * h * 3) : NULL;
    char part[sizeof read_path + 8];
    snprintf(part, sizeof part, "%s.part", read_path);
    FILE *f = rgb ? fopen(part, "wb") : NULL;
    if (f) {
        GLint pack = 4;
        gl.get_integerv(GL_PACK_ALIGNMENT, &pack);
        gl.pixel_storei(GL_PACK_ALIGNMENT, 1);
        gl.read_pixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        gl.pixel_storei(GL_PACK_ALIGNMENT, pack);
        fprintf(f, "P6\n%d %d\n255\n", w, h);
        for (int y = h - 1; y >= 0; --y)   // GL's rows go up
            fwrite(rgb + (size_t)y * w * 3, 3, (size_t)w, f);
        if (fclose(f) == 0)
            rename(part, read_path);
    }
    free(rgb);
}

// The buffers and the renderer the program really got, once.
static void note_context(void)
{
    look_up_gl();
    const GLenum names[6] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS, GL_STENCIL_BITS};
    for (int i = 0; i < 6; ++i) {
        GLint v = -1;
        if (gl.get_integerv)
            gl.get_integerv(names[i], &v);
        record->bits[i] = v;
    }
    const GLubyte *renderer = gl.get_string ? gl.get_string(GL_RENDERER) : NULL;
    if (renderer)
        snprintf(record->renderer, sizeof record->renderer, "%s", (const char *)renderer);
}

// Around each swap, whichever API it goes through: the checks before, the
// count and the time after. One thread swaps (the program's), so it alone
// writes the counts.
static uint64_t before_swap(int egl, void *dpy, uintptr_t surface)
{
    rec();
    uint64_t n = record ? record->swaps + 1 : 0;
    if (record && !bench) {
        check_frame(n, egl);
        uint64_t at = read_path[0] ? __atomic_load_n(&record->read_at, __ATOMIC_ACQUIRE) : 0;
        if (at && n >= at) {
            __atomic_store_n(&record->read_at, 0, __ATOMIC_RELEASE);
            read_frame(egl, dpy, surface);
        }
    }
    if (record && n == 1)
        note_context();
    return n;
}

static void after_swap(uint64_t n)
{
    if (!record)
        return;
    int64_t t = now_ns();
    __atomic_add_fetch(&record->seq, 1, __ATOMIC_ACQ_REL);
    if (n == 1)
        __atomic_store_n(&record->first_ns, t, __ATOMIC_RELAXED);
    __atomic_store_n(&record->last_ns, t, __ATOMIC_RELAXED);
    __atomic_store_n(&record->swaps, n, __ATOMIC_RELAXED);
    __atomic_add_fetch(&record->seq, 1, __ATOMIC_ACQ_REL);

    if (profile_frames && n == profile_from) {
        CALLGRIND_START_INSTRUMENTATION;
        CALLGRIND_ZERO_STATS;
    } else if (profile_frames && n == profile_from + profile_frames) {
        CALLGRIND_DUMP_STATS_AT("frames");
        CALLGRIND_STOP_INSTRUMENTATION;
    }
}

void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    static swap_fn real_swap;
    if (!real_swap)
        real_swap = (swap_fn)next_of("glXSwapBuffers");
    uint64_t n = before_swap(0, dpy, drawable);
    if (real_swap)
        real_swap(dpy, drawable);
    after_swap(n);
}

// NOTE: only a swap that worked is a frame; a failed one (a lost surface)
// presents nothing.
EGLBoolean eglSwapBuffers(EGLDisplay dpy, EGLSurface surface)
{
    static egl_swap_fn real_swap;
    if (!real_swap)
        real_swap = (egl_swap_fn)next_of("eglSwapBuffers");
    uint64_t n = before_swap(1, dpy, (uintptr_t)surface);
    EGLBoolean ok = real_swap ? real_swap(dpy, surface) : EGL_FALSE;
    if (ok)
        after_swap(n);
    return ok;
}

__GLXextFuncPtr glXGetProcAddressARB(const GLubyte *name)
{
    if (name && same((const char *)name, "glXSwapBuffers"))
        return (__GLXextFuncPtr)glXSwapBuffers;
    __GLXextFuncPtr (*next)(const GLubyte *) = (__GLXextFuncPtr(*)(const GLubyte *))next_of("glXGetProcAddressARB");
    return next ? next(name) : NULL;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte *name) { return glXGetProcAddressARB(name); }

void *dlsym(void *handle, const char *name)
{
    if (same(name, "glXSwapBuffers"))
        return (void *)glXSwapBuffers;
    if (same(name, "glXGetProcAddressARB"))
        return (void *)glXGetProcAddressARB;
    if (same(name, "glXGetProcAddress"))
        return (void *)glXGetProcAddress;
    return real_dlsym(handle, name);
}

int SDL_ShowSimpleMessageBox(Uint32 flags, const char *title, const char *message, SDL_Window *window)
{
    static box_fn real_box;
    if (!real_box)
        real_box = (box_fn)next_of("SDL_ShowSimpleMessageBox");
    if (rec()) {
        snprintf(record->box_title, sizeof record->box_title, "%s", title ? title : "(null)");
        snprintf(record->box_text, sizeof record->box_text, "%s", message ? message : "(null)");
        __atomic_add_fetch(&record->boxes, 1, __ATOMIC_ACQ_REL);
    }
    int result = real_box ? real_box(flags, title, message, window) : -1;
    if (record)
        record->box_result = result;
    return result;
}

static void count(const SDL_Event *e)
{
    if (e->type == SDL_KEYDOWN) {
        __atomic_add_fetch(&record->key_downs, 1, __ATOMIC_ACQ_REL);
        if (e->key.repeat)
            __atomic_add_fetch(&record->key_repeats, 1, __ATOMIC_ACQ_REL);
    } else if (e->type == SDL_KEYUP) {
        __atomic_add_fetch(&record->key_ups, 1, __ATOMIC_ACQ_REL);
    } else if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_CLOSE) {
        __atomic_add_fetch(&record->close_requests, 1, __ATOMIC_ACQ_REL);
    }
}

int SDL_PollEvent(SDL_Event *event)
{
    static event_fn real_poll;
    if (!real_poll)
        real_poll = (event_fn)next_of("SDL_PollEvent");
    int got = real_poll(event);
    if (got && event && !bench && rec())
        count(event);
    return got;
}

int SDL_WaitEvent(SDL_Event *event)
{
    static event_fn real_wait;
    if (!real_wait)
        real_wait = (event_fn)next_of("SDL_WaitEvent");
    int got = real_wait(event);
    if (got && event && !bench && rec())
        count(event);
    return got;
}
