// A library preloaded into each contestant of the benchmark: it counts the
// frames a program presents (its glXSwapBuffers calls) and times the first,
// without changing what the program does.
//
//   SWAPCOUNT_OUT=PREFIX   the first swap creates PREFIX.<pid>, a struct
//                          swapcount_record mapped shared and updated on every
//                          swap. So the record is whole however the process
//                          ends (Escape, SIGTERM, a crash) with no exit hook,
//                          and the runner can read it while the program runs.
//   SWAPCOUNT_PROFILE=W,N  under callgrind: counting starts after swap W and
//                          the counts are dumped after swap W+N, so the dump
//                          holds exactly N whole passes of the frame loop.
//                          With W=0 counting is left as callgrind started it
//                          (from the process's start, --instr-atstart=yes).
//
// NOTE: Wine looks its GLX functions up through the libGL handle it opened
// (dlsym, then glXGetProcAddressARB), which no preloaded definition can win
// against; so those two, too, hand out this library's glXSwapBuffers.
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <valgrind/callgrind.h>

#include "swapcount.h"

typedef void (*swap_fn)(Display *, GLXDrawable);
typedef void *(*dlsym_fn)(void *, const char *);

static swap_fn real_swap;
static struct swapcount_record *record;
static int failed;
static unsigned long profile_from, profile_frames;

static int64_t now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

// glibc's own dlsym, found by version so the lookup does not come back here.
static void *real_dlsym(void *handle, const char *name)
{
    static dlsym_fn next;
    if (!next)
        next = (dlsym_fn)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (!next)
        next = (dlsym_fn)dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    return next(handle, name);
}

static void open_record(GLXDrawable drawable, int64_t first)
{
    const char *prefix = getenv("SWAPCOUNT_OUT");
    if (!prefix || !*prefix) {
        failed = 1;
        return;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s.%ld", prefix, (long)getpid());
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, sizeof *record) != 0) {
        failed = 1;
        if (fd >= 0)
            close(fd);
        return;
    }
    void *p = mmap(NULL, sizeof *record, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED) {
        failed = 1;
        return;
    }
    record = p;
    record->first_ns = first;
    record->drawable = drawable;
    // The buffers the program really got, for the write-up.
    void (*get)(GLenum, GLint *) = (void (*)(GLenum, GLint *))real_dlsym(RTLD_DEFAULT, "glGetIntegerv");
    const GLenum names[6] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS, GL_STENCIL_BITS};
    for (int i = 0; i < 6; ++i) {
        GLint v = -1;
        if (get)
            get(names[i], &v);
        record->bits[i] = v;
    }
    const GLubyte *(*get_string)(GLenum) = (const GLubyte *(*)(GLenum))real_dlsym(RTLD_DEFAULT, "glGetString");
    const GLubyte *renderer = get_string ? get_string(GL_RENDERER) : NULL;
    if (renderer)
        snprintf(record->renderer, sizeof record->renderer, "%s", (const char *)renderer);
    record->version = SWAPCOUNT_VERSION;

    const char *profile = getenv("SWAPCOUNT_PROFILE");
    if (profile && sscanf(profile, "%lu,%lu", &profile_from, &profile_frames) != 2)
        profile_frames = 0;
}

void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    if (!real_swap)
        real_swap = (swap_fn)real_dlsym(RTLD_NEXT, "glXSwapBuffers");
    real_swap(dpy, drawable);
    int64_t t = now_ns();
    if (!record && !failed)
        open_record(drawable, t);
    if (!record)
        return;
    __atomic_add_fetch(&record->seq, 1, __ATOMIC_ACQ_REL);
    record->frames++;
    record->last_ns = t;
    __atomic_add_fetch(&record->seq, 1, __ATOMIC_ACQ_REL);

    if (profile_frames) {
        if (record->frames == profile_from) {
            CALLGRIND_START_INSTRUMENTATION;
            CALLGRIND_ZERO_STATS;
        } else if (record->frames == profile_from + profile_frames) {
            CALLGRIND_DUMP_STATS_AT("frames");
            CALLGRIND_STOP_INSTRUMENTATION;
        }
    }
}

// The loader GLX offers hands out the same.
__GLXextFuncPtr glXGetProcAddressARB(const GLubyte *name)
{
    if (name && strcmp((const char *)name, "glXSwapBuffers") == 0)
        return (__GLXextFuncPtr)glXSwapBuffers;
    __GLXextFuncPtr (*next)(const GLubyte *) =
        (__GLXextFuncPtr(*)(const GLubyte *))real_dlsym(RTLD_NEXT, "glXGetProcAddressARB");
    return next ? next(name) : NULL;
}

__GLXextFuncPtr glXGetProcAddress(const GLubyte *name) { return glXGetProcAddressARB(name); }

// NOTE: Wine takes glXGetProcAddressARB from dlsym and the rest from it.
void *dlsym(void *handle, const char *name)
{
    if (strcmp(name, "glXSwapBuffers") == 0)
        return (void *)glXSwapBuffers;
    if (strcmp(name, "glXGetProcAddressARB") == 0)
        return (void *)glXGetProcAddressARB;
    if (strcmp(name, "glXGetProcAddress") == 0)
        return (void *)glXGetProcAddress;
    return real_dlsym(handle, name);
}
