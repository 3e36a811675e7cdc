// The record tests/support/glcheck.c keeps for a program it is preloaded
// into, as the fault and storm tests and the soak read it back: one file per
// process. swaps is the 64-bit word at offset 8, for scripts reading it with od.
#ifndef SINEBAND_TESTS_GLCHECK_H
#define SINEBAND_TESTS_GLCHECK_H

#include <stdint.h>

struct glcheck_record {
    uint32_t version;           // GLCHECK_VERSION once the library is loaded
    int32_t pid;                // the process it was loaded into
    uint64_t swaps;             // glXSwapBuffers calls
    uint64_t swaps_no_context;  // ... made with no GL context current
    uint64_t gl_errors;         // errors glGetError had pending before a swap
    uint32_t first_error;       // the first of them (GL_INVALID_ENUM ...)
    uint32_t padding;
    uint64_t first_error_swap;  // the swap (1-based) that frame ended with
    uint32_t boxes;             // SDL_ShowSimpleMessageBox calls
    int32_t box_result;         // what the last one returned (0 = shown, answered)
    char box_title[64];         // what the last one was given, cut to fit
    char box_text[256];
    // What the program took from SDL's queue (SDL_PollEvent, SDL_WaitEvent).
    uint64_t key_downs;         // SDL_KEYDOWN, auto-repeats included
    uint64_t key_repeats;       // ... of them auto-repeats
    uint64_t key_ups;           // SDL_KEYUP
    uint64_t close_requests;    // SDL_WINDOWEVENT_CLOSE
    // GL_VIEWPORT's size at the latest swap: what the latest WM_SIZE made
    // of the client size.
    int64_t viewport_w;
    int64_t viewport_h;
};

#define GLCHECK_VERSION 3

#endif
