// What the web backend's files share: the window and context records, and
// the page side's functions (web_library.js), which the C++ side calls.
//
// The page holds the windows as HTML (a frame, a caption with a close
// button, a canvas for the client area) and queues the page's events; the
// C++ side reads them in host_poll and makes them input_* calls.
#ifndef SINEBAND_COMPAT_WEB_HOST_H
#define SINEBAND_COMPAT_WEB_HOST_H

#include "host.h"

namespace compat {

struct HostWindow {
    int id;        // the page's number for the window
    HWND owner;
    bool frameless;
    int format;    // index into the host's formats, -1 while none is set
};

struct HostContext {
    HostWindow *window;   // the window whose canvas the context draws on
    void *egl_context;    // EGLContext
    void *egl_surface;    // EGLSurface
};

// The USB HID usage of a KeyboardEvent.code, 0 for a key with none.
int web_key_usage(const char *code);

// Kinds of event the page queues, with the fields each fills.
enum WebEvent {
    WEB_NONE = 0,
    WEB_KEY = 1,     // down, repeat, numlock; the code string
    WEB_SIZE = 2,    // client width, height
    WEB_CLOSE = 3,   // the close button
    WEB_FOCUS = 4,   // gained
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
// Makes the window's canvas the one the browser's GL draws on.
void web_window_select_canvas(int id);

// The oldest queued event: its kind (WEB_NONE when there is none), window
// and three fields; a key's code goes to `code`.
int web_next_event(int *window, int *fields, char *code, int code_size);

// --- these suspend the program (Asyncify) until the page says so ----------

// Until at least one event is queued.
void web_wait_event(void);
// Until the box's OK is pressed.
void web_message_box(const char *caption, const char *text);
// Counts a frame and lets the browser run once, which presents it.
void web_frame_done(void);

// 1 when the browser can give a WebGL context.
int web_webgl_available(void);
}

#endif
