// The record tests/storms/glcheck.c keeps for a running program. Every field
// is a 64-bit word at a fixed offset, so a script can read one with od:
// frames is `od -An -tu8 -j8 -N8 FILE`.
#ifndef SINEBAND_TESTS_GLCHECK_H
#define SINEBAND_TESTS_GLCHECK_H

#include <stdint.h>

struct glcheck_record {
    uint64_t magic;               // GLCHECK_MAGIC once the record is set up
    uint64_t frames;              // glXSwapBuffers calls that have returned
    uint64_t errors;              // GL errors found ahead of the swaps
    uint64_t first_error;         // the first one's code, 0 while none
    uint64_t first_error_frame;   // frames swapped before it was found
    uint64_t last_error;
    int64_t viewport_w;           // GL_VIEWPORT's size at the latest swap
    int64_t viewport_h;
    uint64_t pid;
};

#define GLCHECK_MAGIC 0x6b63656863676cULL   // "glcheck"

#endif
