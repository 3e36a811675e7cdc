// What the web backend's files share: the window and context records, and
// the page side's functions (web_library.js), which the C++ side calls.
//
// The page holds the windows as HTML (a frame, a caption with a close
// button, a canvas for the client area) and queues the page's events; the
// C++ side reads them in host_poll and makes them input_* calls.
#ifndef SINEBAND_COMPAT_WEB_HOST_H
#define SINEBAND_COMPAT_WEB_HOST_H

#include "host.h"

#include <stddef.h>
#include <stdint.h>

namespace compat {

struct GlState;

struct HostWindow {
    int id;        // the page's number for the window
    HWND owner;
    bool frameless;
    int format;    // index into the host's formats, -1 while none is set
};

struct HostContext {
    HostWindow *window;   // the window whose canvas the context draws on
    int handle;           // the page's number for its WebGL context
    GlState *gl;         // its OpenGL 1.1 state (web_gl.cpp)
};

// --- the OpenGL 1.1 subset (web_gl.cpp) over the context's WebGL ----------

// Vertices the subset keeps for one draw at most.
const size_t web_gl_batch_bound = 65536;

// A new context's state: GL's defaults, a viewport of width x height.
GlState *web_gl_create(int width, int height);
void web_gl_destroy(GlState *gl);
// The gl* calls go to `gl`'s state from now on; null makes them do nothing.
// The WebGL context must be current already.
void web_gl_make_current(GlState *gl);
// Draws what is batched: the frame is about to be shown.
void web_gl_flush_frame();
// Notices a context lost, or restored (and gives it the state back), while
// the program was paused.
void web_gl_follow_context();

// The USB HID usage of a KeyboardEvent.code, 0 for a key with none.
int web_key_usage(const char *code);

// Kinds of event the page queues, with the fields each fills.
enum WebEvent {
    WEB_NONE = 0,
    WEB_KEY = 1,     // down, repeat, numlock; the code string
    WEB_SIZE = 2,    // client width, height
    WEB_CLOSE = 3,   // the close button
    WEB_FOCUS = 4,   // gained
    WEB_EXPOSE = 5,  // the canvas was cleared: a new drawing buffer
};

}  // namespace compat

extern "C" {
// 1 when there is a page to put windows in.
int web_open(void);
// Removes every window from the page: the process is ending.
void web_close_all(void);

// A hidden window whose client area is width x height at (x, y); its id.
int web_window_create(const char *title, int x, int y, int width, int height, int frameless);
void web_window_destroy(int id);
void web_window_show(int id, int shown);
void web_window_client_size(int id, int *width, int *height);
void web_window_frame(int id, int *left, int *top, int *right, int *bottom);
void web_window_place(int id, int x, int y, int width, int height);
// A WebGL 1 context on the window's canvas with these buffers besides
// colour; its handle, 0 when the browser gives none.
int web_context_create(int window, int alpha, int depth, int stencil);
// 0 leaves the page with no current context.
int web_context_make_current(int handle);
void web_context_destroy(int handle);

// The oldest queued event: its kind (WEB_NONE when there is none), window
// and three fields; a key's code goes to `code`.
int web_next_event(int *window, int *fields, char *code, int code_size);

// --- these suspend the program (Asyncify) until the page says so ----------

// Until at least one event is queued.
void web_wait_event(void);
// Until the box's OK is pressed; `icon` is "error", "warning",
// "information", "question" or "" for none.
void web_message_box(const char *caption, const char *text, const char *icon);
// Counts a frame and lets the browser run once, which presents it.
void web_frame_done(void);

// 1 when the browser can give a WebGL context.
int web_webgl_available(void);
// -1 while the current WebGL context is lost, else how many times the page
// has seen a context restored.
int web_gl_generation(void);
// The current context's drawing buffer pixels per window pixel, across and
// down: 1 where a CSS pixel is a device pixel and the page is not fitted.
void web_gl_scale(float *x, float *y);

// WebGL 1 as Emscripten binds it, under names that leave the gl* ones to
// web_gl.cpp: only what the subset calls.
unsigned emscripten_glCreateShader(unsigned type);
void emscripten_glShaderSource(unsigned shader, int count, const char *const *source, const int *length);
void emscripten_glCompileShader(unsigned shader);
unsigned emscripten_glCreateProgram(void);
void emscripten_glAttachShader(unsigned program, unsigned shader);
void emscripten_glBindAttribLocation(unsigned program, unsigned index, const char *name);
void emscripten_glLinkProgram(unsigned program);
void emscripten_glUseProgram(unsigned program);
int emscripten_glGetUniformLocation(unsigned program, const char *name);
void emscripten_glUniform1f(int location, float x);
void emscripten_glUniformMatrix4fv(int location, int count, unsigned char transpose, const float *value);
void emscripten_glGenBuffers(int count, unsigned *buffers);
void emscripten_glBindBuffer(unsigned target, unsigned buffer);
void emscripten_glBufferData(unsigned target, intptr_t size, const void *data, unsigned usage);
void emscripten_glVertexAttribPointer(unsigned index, int size, unsigned type, unsigned char normalized, int stride,
                                      const void *offset);
void emscripten_glEnableVertexAttribArray(unsigned index);
void emscripten_glDrawArrays(unsigned mode, int first, int count);
void emscripten_glClear(unsigned mask);
void emscripten_glClearColor(float red, float green, float blue, float alpha);
void emscripten_glClearDepthf(float depth);
void emscripten_glDepthFunc(unsigned func);
void emscripten_glEnable(unsigned cap);
void emscripten_glDisable(unsigned cap);
void emscripten_glViewport(int x, int y, int width, int height);
void emscripten_glLineWidth(float width);
void emscripten_glFlush(void);
void emscripten_glFinish(void);
}

#endif
