// Preloaded into the program under a storm or the soak: before each
// glXSwapBuffers it asks glGetError whether anything the program called since
// the last swap (one frame: its messages, Resize, Draw) raised an error, and
// it counts the frames. Nothing the program does is changed.
//
//   GLCHECK_OUT=PATH      the first swap creates PATH, a struct glcheck_record
//                         mapped shared and updated on every swap, so it is
//                         whole however the process ends and can be read
//                         while the program runs.
//   GLCHECK_PROVOKE=1     raises one GL_INVALID_ENUM ahead of the first check,
//                         to show the check sees an error when there is one.
#define _GNU_SOURCE
#include <GL/gl.h>
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include "glcheck.h"

typedef void (*swap_fn)(Display *, GLXDrawable);

static swap_fn real_swap;
static struct glcheck_record *record;
static int failed;

static void open_record(void)
{
    const char *path = getenv("GLCHECK_OUT");
    if (!path || !*path) {
        failed = 1;
        return;
    }
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
    record->pid = (uint64_t)getpid();
    __atomic_store_n(&record->magic, GLCHECK_MAGIC, __ATOMIC_RELEASE);

    const char *provoke = getenv("GLCHECK_PROVOKE");
    if (provoke && *provoke == '1')
        glEnable(0xFFFF);   // no such capability
}

void glXSwapBuffers(Display *dpy, GLXDrawable drawable)
{
    if (!real_swap)
        real_swap = (swap_fn)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (!record && !failed)
        open_record();
    if (record) {
        // NOTE: a context keeps one flag per kind of error, so a frame can
        // leave several; each call returns and clears one of them.
        for (int i = 0; i < 8; ++i) {
            GLenum e = glGetError();
            if (e == GL_NO_ERROR)
                break;
            if (!record->errors) {
                record->first_error = e;
                record->first_error_frame = record->frames;
            }
            record->last_error = e;
            __atomic_add_fetch(&record->errors, 1, __ATOMIC_RELEASE);
        }
        GLint v[4] = {-1, -1, -1, -1};
        glGetIntegerv(GL_VIEWPORT, v);
        // The viewport is what the latest WM_SIZE made of the client size.
        __atomic_store_n(&record->viewport_w, (int64_t)v[2], __ATOMIC_RELAXED);
        __atomic_store_n(&record->viewport_h, (int64_t)v[3], __ATOMIC_RELAXED);
    }
    real_swap(dpy, drawable);
    if (record)
        __atomic_add_fetch(&record->frames, 1, __ATOMIC_RELEASE);
}
