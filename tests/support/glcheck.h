// The record tests/support/glcheck.c keeps for each process it is preloaded
// into, as the tests, the soak and the benchmark read it back. tools/soak.sh
// reads swaps, gl_errors, first_error and the viewport with od, at the
// offsets glcheck.c asserts. The one field written from outside is read_at.
#ifndef SINEBAND_TESTS_GLCHECK_H
#define SINEBAND_TESTS_GLCHECK_H

#include <stdint.h>

struct glcheck_record {
    uint32_t version;           // GLCHECK_VERSION once the library is loaded
    int32_t pid;                // the process it was loaded into
    uint64_t swaps;             // glXSwapBuffers, eglSwapBuffers calls returned
    uint32_t seq;               // odd while a swap writes swaps and the times
    uint32_t bench;             // 1: loaded with GLCHECK_BENCH=1, nothing checked
    int64_t first_ns;           // CLOCK_MONOTONIC when the first swap returned
    int64_t last_ns;            // ... and the latest
    // The checks, before each swap (not in benchmark mode).
    uint64_t swaps_no_context;  // swaps made with no GL context current
    uint64_t gl_errors;         // errors glGetError had pending before a swap
    uint32_t first_error;       // the first of them (GL_INVALID_ENUM ...)
    uint32_t padding;
    uint64_t first_error_swap;  // the swap (1-based) that frame ended with
    // GL_VIEWPORT's size at the latest swap: what the latest WM_SIZE made
    // of the client size.
    int64_t viewport_w;
    int64_t viewport_h;
    // The context the first swap was made with: red, green, blue, alpha,
    // depth and stencil bits, and GL_RENDERER cut to fit.
    int32_t bits[6];
    char renderer[64];
    uint32_t boxes;             // SDL_ShowSimpleMessageBox calls
    int32_t box_result;         // what the last one returned (0 = shown, answered)
    char box_title[64];         // what the last one was given, cut to fit
    char box_text[256];
    // What the program took from SDL's queue (SDL_PollEvent, SDL_WaitEvent);
    // not in benchmark mode.
    uint64_t key_downs;         // SDL_KEYDOWN, auto-repeats included
    uint64_t key_repeats;       // ... of them auto-repeats
    uint64_t key_ups;           // SDL_KEYUP
    uint64_t close_requests;    // SDL_WINDOWEVENT_CLOSE
    uint64_t viewport_since;    // the swap whose frame first had that viewport
    // Written from outside: the swap from which on the next frame is read
    // back (GLCHECK_READ), 0 once it is; not in benchmark mode.
    uint64_t read_at;
};

#define GLCHECK_VERSION 5

#endif
