// The host window system as the layer sees it.
//
// The layer's Win32 modules (win32/) are the same everywhere; under them one
// host is linked in: linux/ (SDL2, with GLX on X11 and EGL on Wayland) for
// the real program, web/ for the program in a browser, a scripted one
// (tests/support/fake_host.cpp) for the layer's tests. A host owns native
// windows, pixel formats, GL contexts and events; it reports events by
// calling the input_* functions below (win32/user32_input.cpp), which turn
// them into Win32 messages, and never calls a window procedure itself.
//
// Sizes and positions here are in the window's pixels, the program's, at any
// scale of the screen: a host on a scaled screen makes the window that many
// times larger there, draws it in the screen's pixels and scales the GL
// calls that take window pixels (linux/gl_pixels.cpp; web/web_gl.cpp's
// viewport), so the program sees what it sees at scale 1.
//
// Adding a host (say, macOS): a new folder beside linux/ and web/ with the
// functions below, in namespace compat; a CMake file beside cmake/linux.cmake
// that lists its sources once and makes win32_<host> and the program; and
// the line in CMakeLists.txt that chooses it. win32/, shell/ and scene/ stay.
#ifndef SINEBAND_COMPAT_HOST_H
#define SINEBAND_COMPAT_HOST_H

#include <windows.h>

#include <string>
#include <vector>

namespace compat {

struct HostWindow;
struct HostContext;

// Connects to the window system, once; later calls return the first answer.
// `app_class` names the program's windows to the window system (X11's
// WM_CLASS) and may be null. On failure `why` says what went wrong.
bool host_connect(const char *app_class, std::string &why);
// Lets go of the window system at the end of the process.
void host_disconnect();

// Creates a hidden native window whose client area is width x height at
// (x, y). `owner` is handed back in the input_* calls.
HostWindow *host_window_create(HWND owner, const char *title, const char *class_name, int x, int y, int width,
                               int height, bool frameless, std::string &why);
void host_window_destroy(HostWindow *w);
void host_window_show(HostWindow *w, int how);   // SW_HIDE, SW_SHOW, SW_MINIMIZE, SW_RESTORE, SW_SHOWMAXIMIZED
void host_window_client_size(HostWindow *w, int *width, int *height);
// The frame the window system draws around the client area, once shown.
void host_window_frame(HostWindow *w, int *left, int *top, int *right, int *bottom);
// Moves and sizes the client area (used to fit the outer size to a frame).
void host_window_place(HostWindow *w, int x, int y, int width, int height);

// An RGBA format with these buffers, described as Windows describes one
// (accum: red, green, blue, alpha; null for none). Every host lists its
// formats with it; it is the layer's (win32/gdi32_pixelformat.cpp).
PIXELFORMATDESCRIPTOR describe_format(BYTE r, BYTE g, BYTE b, BYTE a, BYTE depth, BYTE stencil,
                                      bool doublebuffer = true, BYTE aux = 0, const BYTE *accum = nullptr);

// The pixel formats the host offers for this window, 1-based in Win32 terms.
const std::vector<PIXELFORMATDESCRIPTOR> &host_pixel_formats(HostWindow *w);
// Gives the window the format (an index into host_pixel_formats, 0-based).
bool host_window_set_format(HostWindow *w, int index);

HostContext *host_context_create(HostWindow *w);
// Binds ctx to w; (nullptr, nullptr) leaves the thread with no context.
bool host_context_make_current(HostWindow *w, HostContext *ctx);
void host_context_destroy(HostContext *ctx);
bool host_swap(HostWindow *w);

// Turns waiting host events into input_* calls; with `wait`, blocks until
// at least one event has come.
void host_poll(bool wait);

// Shows a modal box with one OK button and the icon an MB_ICON* bit of
// `style` (MessageBoxA's uType) asks for; false when it could not be shown.
bool host_message_box(const char *caption, const char *text, UINT style);

// Puts w fullscreen at width x height, or back in a window for (0, 0).
// Returns a DISP_CHANGE_* code.
LONG host_display_mode(HostWindow *w, int width, int height);

// --- what the host calls ---------------------------------------------------

// A key went down or up. `usb` is the USB HID usage of the physical key (the
// numbering SDL's scancodes use); `numlock` is the lock state at the time.
void input_key(HWND hWnd, int usb, bool down, bool repeat, bool numlock);
void input_size(HWND hWnd, int width, int height);   // client area resized
void input_minimized(HWND hWnd);
void input_maximized(HWND hWnd);
void input_restored(HWND hWnd);
void input_expose(HWND hWnd);                        // contents were lost
void input_close(HWND hWnd);                         // the user asked to close it
void input_focus(HWND hWnd, bool gained);
// The window system went away: the layer says so and the process ends.
[[noreturn]] void input_lost_host(const char *why);

}  // namespace compat

#endif
