// A scripted host for the layer's and the program's tests: no window system,
// formats and failures set by the test, events run when the test says, and a
// trace of what the layer asked the host to do.
#ifndef SINEBAND_TESTS_FAKE_HOST_H
#define SINEBAND_TESTS_FAKE_HOST_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace fake {

struct Config {
    bool connect = true;            // host_connect succeeds
    bool create_window = true;      // host_window_create succeeds
    bool set_format = true;         // host_window_set_format succeeds
    bool create_context = true;     // host_context_create succeeds
    bool make_current = true;       // host_context_make_current succeeds
    int frame_left = 0, frame_top = 0, frame_right = 0, frame_bottom = 0;
    std::vector<PIXELFORMATDESCRIPTOR> formats;   // what the host offers
};

Config &config();
// The host's log: "create", "show 5", "swap", "box Error|text|16", ...
std::vector<std::string> &trace();
int swaps();
// Runs `event` inside the first host_poll after `after_swaps` swaps.
void at_swap(int after_swaps, std::function<void()> event);
// The window the host created last (the program's own window).
HWND window();
// The user resized the window's client area to width x height.
void resize(HWND hWnd, int width, int height);
// Back to the defaults: one double-buffered format, 8-8-8-8 colour, 24 depth.
// Tests describe theirs with compat::describe_format (host.h).
void reset();

// USB HID usages, as SDL numbers its scancodes: the keys the tests press.
namespace usb {
enum Usb { A = 4, C = 6, X = 27, One = 30, Enter = 40, Esc = 41, Space = 44, F1 = 58, F4 = 61, F10 = 67,
           Right = 79, Left = 80, NumLock = 83, KP1 = 89, KP5 = 93, LCtrl = 224, LShift = 225, LAlt = 226,
           RCtrl = 228, RShift = 229, RAlt = 230, Unknown = 250 };
}

// The host's keyboard: the key `usage` went down or up on hWnd.
void key(HWND hWnd, int usage, bool down, bool repeat = false, bool numlock = false);

}  // namespace fake

#endif
