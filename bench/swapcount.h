// The record bench/swapcount.c keeps for a running program, as the runner
// reads it back: one file per process that presented frames.
#ifndef SINEBAND_BENCH_SWAPCOUNT_H
#define SINEBAND_BENCH_SWAPCOUNT_H

#include <stdint.h>

struct swapcount_record {
    uint32_t seq;        // odd while a swap is writing the record
    uint32_t version;    // SWAPCOUNT_VERSION once the record is filled in
    uint64_t frames;     // glXSwapBuffers calls that have returned
    int64_t first_ns;    // CLOCK_MONOTONIC when the first one returned
    int64_t last_ns;     // ... and the latest
    uint64_t drawable;   // the X drawable of the first swap
    int32_t bits[6];     // red, green, blue, alpha, depth, stencil bits of the context
    char renderer[64];   // GL_RENDERER of the context, cut to fit
};

#define SWAPCOUNT_VERSION 1

#endif
