// The layer's own state: one struct holding the class table, the windows,
// the thread's message queue and the current GL context. An HWND points to a
// window record here, an HDC to the record's own device context and an HGLRC
// to a context record. Records are kept until the process ends, so a stale
// handle is recognised as dead rather than reused.
//
// What the layer keeps to itself is in namespace compat; the Win32 API and
// its handle types stay global, where <windows.h> declares them.
#ifndef SINEBAND_COMPAT_LAYER_H
#define SINEBAND_COMPAT_LAYER_H

#include <windows.h>

#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "host.h"

namespace compat {

struct WindowClass {
    std::string name;
    WNDCLASSA wc;
    ATOM atom;
};

}  // namespace compat

// The private device context of a window; every window has exactly one.
struct HDC__ {
    HWND__ *window;
};

struct HWND__ {
    const compat::WindowClass *cls;
    std::string title;
    DWORD style;
    RECT rect;                // outer rectangle, screen coordinates
    int client_w, client_h;   // the client size last reported by WM_SIZE
    bool alive;
    bool visible;
    bool minimized;
    bool needs_size;          // WM_SIZE/WM_MOVE still owed to the first show
    bool invalid;             // non-empty update region: WM_PAINT is due
    int pixel_format;         // 1-based, 0 while none is set
    HDC__ dc;
    compat::HostWindow *host;
};

struct HGLRC__ {
    compat::HostContext *host;
    int pixel_format;
    bool alive;
};

namespace compat {

struct Layer {
    std::vector<std::unique_ptr<WindowClass>> classes;
    ATOM next_atom = 0xC000;   // where Windows starts numbering class atoms
    std::vector<std::unique_ptr<HWND__>> windows;
    std::vector<std::unique_ptr<HGLRC__>> contexts;

    std::deque<MSG> posted;    // PostMessage, TranslateMessage
    std::deque<MSG> input;     // keyboard messages from the host
    bool quit = false;         // PostQuitMessage was called
    int quit_code = 0;

    HWND active = nullptr;
    HWND focus = nullptr;
    HGLRC current = nullptr;
    HDC current_dc = nullptr;

    BYTE key_down[256] = {};   // 0x80 while a virtual key is down
    // NOTE: as on Windows, TranslateMessage and DefWindowProc see the keys as
    // they were at the last key message taken, not as the host has them now.
    BYTE key_state[256] = {};
    bool alt_alone = false;    // Alt went down and no other key since
    UINT menu_key = 0;         // VK_MENU or VK_F10 waiting to open the menu

    bool display_changed = false;
    DWORD last_error = 0;
};

// --- layer.cpp: the state and the handle checks -----------------------------

Layer &layer();

// Handle checks: the record when the handle names a live object, else null
// (and the last error set as Windows sets it).
HWND__ *live_window(HWND hWnd);
HDC__ *live_dc(HDC hdc);
HGLRC__ *live_context(HGLRC hglrc);

// Milliseconds since the layer started, for MSG.time.
DWORD tick_count();

// Leaves the thread with no current context: wglMakeCurrent(NULL, NULL)
// without its checks, for the layer's own use (a dying window's context).
void release_current();

// Back to a freshly started process: for tests that run the layer repeatedly.
void layer_reset();

// --- user32_window.cpp: what the input side shares with it ------------------

// Posted when F1's key-down is taken from the queue; its default handling
// sends WM_HELP. Not in the SDK's headers.
#define WM_KEYF1 0x004D

// The top-level window a child belongs to; the layer has no child windows.
inline HWND top_level(HWND hWnd) { return hWnd; }

// A coordinate held within a LONG: callers and hosts may give any int as a
// position or a size, and their sums must not wrap.
inline LONG held(long long value)
{
    const long long most = std::numeric_limits<LONG>::max(), least = std::numeric_limits<LONG>::min();
    return (LONG)(value > most ? most : value < least ? least : value);
}

// The far edge of a side `length` long from `origin`.
inline LONG far_edge(LONG origin, int length) { return held((long long)origin + length); }

// Sends WM_SIZE for the window's client size, and WM_MOVE with it if asked.
void send_size(HWND hWnd, WPARAM kind, bool with_move);
// Makes the window active and focused, with the messages Windows sends.
void activate(HWND hWnd);
// The reverse: the window loses the activation and the focus if it has them.
void deactivate(HWND hWnd);

// --- user32_keyboard.cpp ----------------------------------------------------

// Translates a key event into the message Windows would post, updating the
// keys as the host has them; false when the key has no virtual-key code.
bool translate_key(int usb, bool down, bool repeat, bool numlock, UINT *message, WPARAM *vk, LPARAM *lParam);
// Applies a key's press or release to a key state, and says whether the key
// was down before. `scan` has 0x100 for an extended key: with the scan code
// it tells a modifier's side.
bool press_key(BYTE *state, UINT vk, UINT scan, bool down);
// The character TranslateMessage makes of a virtual key, 0 for none.
int key_char(UINT vk, LPARAM lParam);

}  // namespace compat

#endif
