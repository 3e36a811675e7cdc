// Preloaded into the program by the fault and storm tests and the soak,
// without changing what it does: counts the frames it presents, checks before
// each one that the GL calls of that frame raised no error and notes the
// viewport, notes the message boxes it asks the host for, and counts the key
// and close events it takes from SDL.
//
//   GLCHECK_OUT=PREFIX   loading creates PREFIX.<pid>, a struct glcheck_record
//                        mapped shared, so the record is whole however the
//                        process ends (_Exit, a signal, a crash) and the test
//                        can read it while the program runs.
//   GLCHECK_PROVOKE=1    raises one GL_INVALID_ENUM ahead of the first check,
//                        to show the check sees an error when there is one.
//
// NOTE: everything the program calls between two swaps is its own frame, so
// an error pending at a swap was raised by that frame (glGetError hands
// errors out one flag at a time; all of them are taken).
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h>
#include <SDL.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "glcheck.h"

#include <stddef.h>

// tools/soak.sh reads these words with od.
_Static_assert(offsetof(struct glcheck_record, swaps) == 8, "swaps");
_Static_assert(offsetof(struct glcheck_record, gl_errors) == 24, "gl_errors");
_Static_assert(offsetof(struct glcheck_record, first_error) == 32, "first_error");
_Static_assert(offsetof(struct glcheck_record, viewport_w) == 408, "viewport_w");
_Static_assert(offsetof(struct glcheck_record, viewport_h) == 416, "viewport_h");

typedef void (*swap_fn)(Display *, GLXDrawable);
typedef int (*box_fn)(Uint32, const char *, const char *, SDL_Window *);
typedef int (*event_fn)(SDL_Event *);

static struct glcheck_record *record;
static int provoke;

__attribute__((constructor)) static void open_record(void)
{
    const char *prefix = getenv("GLCHECK_OUT");
    if (!prefix || !*prefix)
        return;
    char path[4096];
    snprintf(path, sizeof path, "%s.%ld", prefix, (long)getpid());
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (ftruncate(fd, sizeof *record) == 0) {
        void *p = mmap(NULL, sizeof *record, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (p != MAP_FAILED)
            record = p;
    }
    close(fd);
    const char *p = getenv("GLCHECK_PROVOKE");
    provoke = p && *p == '1';
    if (record) {
        record->pid = (int32_t)getpid();
        __atomic_store_n(&record->version, GLCHECK_VERSION, __ATOMIC_RELEASE);
    }
}

void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    static swap_fn real_swap;
    if (!real_swap)
        real_swap = (swap_fn)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (record) {
        uint64_t n = __atomic_add_fetch(&record->swaps, 1, __ATOMIC_ACQ_REL);
        if (!glXGetCurrentContext()) {
            __atomic_add_fetch(&record->swaps_no_context, 1, __ATOMIC_ACQ_REL);
        } else {
            if (provoke) {
                provoke = 0;
                glEnable(0xFFFF);   // no such capability
            }
            // A bounded loop: a lost context keeps answering GL_CONTEXT_LOST.
            for (int i = 0; i < 16; ++i) {
                GLenum e = glGetError();
                if (e == GL_NO_ERROR)
                    break;
                if (__atomic_add_fetch(&record->gl_errors, 1, __ATOMIC_ACQ_REL) == 1) {
                    record->first_error = e;
                    record->first_error_swap = n;
                }
            }
            GLint v[4] = {-1, -1, -1, -1};
            glGetIntegerv(GL_VIEWPORT, v);
            __atomic_store_n(&record->viewport_w, (int64_t)v[2], __ATOMIC_RELAXED);
            __atomic_store_n(&record->viewport_h, (int64_t)v[3], __ATOMIC_RELAXED);
        }
    }
    real_swap(dpy, drawable);
}

int SDL_ShowSimpleMessageBox(Uint32 flags, const char *title, const char *message, SDL_Window *window)
{
    static box_fn real_box;
    if (!real_box)
        real_box = (box_fn)dlsym(RTLD_NEXT, "SDL_ShowSimpleMessageBox");
    if (record) {
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
    if (!record)
        return;
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
        real_poll = (event_fn)dlsym(RTLD_NEXT, "SDL_PollEvent");
    int got = real_poll(event);
    if (got && event)
        count(event);
    return got;
}

int SDL_WaitEvent(SDL_Event *event)
{
    static event_fn real_wait;
    if (!real_wait)
        real_wait = (event_fn)dlsym(RTLD_NEXT, "SDL_WaitEvent");
    int got = real_wait(event);
    if (got && event)
        count(event);
    return got;
}
