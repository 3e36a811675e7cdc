// The built program run from outside, as a user meets it: started with an
// environment of the caller's choosing and, where asked, glcheck.c preloaded
// (its record read while the program runs); its window found by name on the
// X display, looked up again on every call since the layer may make it
// anew; keys pressed and held through XTEST (xdotool); screenshots and pixel
// counts. On a Wayland compositor (sway) the same through swaymsg, wtype and
// grim. The tests (with run_gtest.h) and the benchmark's runner use it.
#ifndef SINEBAND_TESTS_SUPPORT_RUN_H
#define SINEBAND_TESTS_SUPPORT_RUN_H

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "glcheck.h"

namespace outside {

struct Image;
using Clock = std::chrono::steady_clock;

void pause_ms(int ms);
int ms_since(Clock::time_point t);
std::string slurp(const std::string &path);
std::vector<std::string> lines(const std::string &text);
// Asks `done` every `every_ms` until it holds or `ms` have passed; its last answer.
bool wait_for(const std::function<bool()> &done, int ms, int every_ms = 2);

// An X error handler that lets them pass: windows go while tests look. The
// harness's own looks at windows let them pass whatever the handler.
int ignore_x_errors(Display *, XErrorEvent *);

// A shell command under timeout(1); its exit status, -1 if it did not exit.
int sh(const std::string &cmd, int seconds = 20);
int xdotool(const std::string &args, int seconds = 20);

// --- the program ----------------------------------------------------------

struct Launch {
    std::vector<std::string> argv;    // the program and its arguments
    std::vector<std::string> unset;   // variables it must not inherit
    std::vector<std::string> set;     // NAME=VALUE entries added
    std::string preload;              // glcheck's path, or "" for none
    // qemu-user and its arguments; the preload goes to the program (-E).
    std::vector<std::string> emulator;
    // PREFIX: its output goes to PREFIX.stdout and PREFIX.stderr, glcheck's
    // records to PREFIX.glcheck.<pid> (an earlier run's are removed first),
    // the frames it reads back (Program::frame) to PREFIX.frame.ppm.
    std::string files;
};

class Program {
public:
    Program() = default;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    bool start(const Launch &launch);
    ~Program();   // a program still running is killed

    pid_t pid() const { return pid_; }
    Clock::time_point started() const { return started_; }
    bool running();                   // reaps it if it has ended
    bool ends_within(int ms);
    // Sends `signal`, and SIGKILL if it has not ended `ms` later; true if
    // the first signal ended it.
    bool stop(int signal, int ms = 5000);
    int status() const { return status_; }       // as waitpid gives it
    int ended_ms() const { return ended_ms_; }   // from start() to the end seen
    const rusage &usage() const { return usage_; }
    std::string describe_end() const;            // "status 1", "killed by signal 11"
    std::string out() const { return slurp(out_); }
    std::string err() const { return slurp(err_); }
    // "" for the end a user's request gives: exit status 1 and nothing on
    // stdout or stderr; otherwise what was different.
    std::string abnormal_end() const;

    // glcheck's record of this run's process that has presented frames (the
    // program's own, or under Wine the process that draws), or of the
    // started process until one has; null until the library is loaded.
    const glcheck_record *record();
    glcheck_record snapshot();        // a consistent copy; zeroes if none
    uint64_t swaps() { return record() ? __atomic_load_n(&record()->swaps, __ATOMIC_ACQUIRE) : 0; }
    // Waits until `frames` more frames than now have been presented.
    bool draws(uint64_t frames, int ms);
    // The next frame it presents, as glcheck reads it back (the whole
    // surface, in the screen's pixels); empty if none came within `ms`.
    Image frame(int ms = 5000);

private:
    const glcheck_record *map_record(pid_t pid);

    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0, ended_ms_ = -1;
    rusage usage_ = {};
    Clock::time_point started_, scanned_;
    std::string out_, err_, records_, frame_;
    const glcheck_record *record_ = nullptr;
    bool drawing_ = false;            // record_ is of the process that draws
};

// An Xvfb of the caller's own, for faults that take the server away.
class Xvfb {
public:
    bool start(const std::string &extra_args = "");
    ~Xvfb() { stop(SIGKILL); }
    const std::string &display() const { return display_; }
    // Ends the server with `signal`; false if it did not go within 10 s.
    bool stop(int signal);

private:
    pid_t pid_ = -1;
    std::string display_;
};

// --- windows --------------------------------------------------------------

// A property's bytes whatever its type (32-bit items come as longs).
std::string property(Display *d, Window w, const char *name);
std::vector<long> property_longs(Display *d, Window w, const char *name);

// Windows named `name` (WM_NAME or _NET_WM_NAME; "" takes any) anywhere in
// the tree, for a window manager puts a client's window in a frame of its
// own. owner >= 0 keeps only that process's (_NET_WM_PID); `mapped` only
// those that are viewable.
std::vector<Window> find_windows(Display *d, const std::string &name, long owner = -1, bool mapped = true);
// Waits up to `ms` for the first such mapped window; 0 if none came, or if
// `p` ended meanwhile.
Window wait_for_window(Display *d, const std::string &name, long owner, int ms, Program *p = nullptr);

// What a window manager sends for its close button or close menu item:
// WM_DELETE_WINDOW in a WM_PROTOCOLS client message, for XSendEvent to w.
XEvent close_request(Display *d, Window w);

// Pointer into w and the input focus on it, as a user clicking into it (with
// a window manager, activated through it first); true once the server has
// given w the focus and the program has had a moment to take it in.
bool focus(Display *d, Window w);

// --- keys (XTEST) ---------------------------------------------------------

bool key_down(const std::string &key);
bool key_up(const std::string &key);
// Down, then up `ms` later, as a finger presses a key.
// NOTE: the program reads Escape from its key table once a frame; a tap
// whose press and release reach it in the same pass leaves no trace there.
bool hold_key(const std::string &key, int ms = 200);

// A key (or chord) pressed now and let go when this goes at the latest, so
// that a failed check leaves no key down for the next run.
class HeldKey {
public:
    explicit HeldKey(const std::string &key) : key_(key), ok_(key_down(key)) {}
    ~HeldKey() { release(); }
    bool pressed() const { return ok_; }
    bool release();   // false if letting go failed

private:
    std::string key_;
    bool ok_;
};

// --- pictures -------------------------------------------------------------

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;   // packed, row by row
    bool empty() const { return rgb.empty(); }
    const unsigned char *at(int x, int y) const { return &rgb[((size_t)y * width + x) * 3]; }
};

// xwd + convert: the window as the server shows it, kept as the PNG `png`
// and read back from that file, so the checks see what the PNG shows.
Image screenshot(Window w, const std::string &png);
// The window's pixels straight from the server, for quick comparisons.
Image grab(Display *d, Window w);
// A PNG file's pixels (convert); empty if it cannot be read.
Image read_png(const std::string &png);
// Pixels that differ between a and b; -1 if their sizes differ or one is empty.
long differing_pixels(const Image &a, const Image &b);
long white_pixels(const Image &image);

// --- a Wayland compositor (sway) --------------------------------------------

// True when WAYLAND_DISPLAY and SWAYSOCK are set (tools/with-wayland.sh).
bool on_sway();

struct SwayWindow {
    long id = 0;                       // sway's con_id; 0: none found
    int x = 0, y = 0, width = 0, height = 0;   // the content, on the output
    std::string app_id;
};

// The visible window titled `title` (of process `owner` if >= 0), from
// swaymsg's tree; its content is the window less the border and title bar.
SwayWindow sway_window(const std::string &title, long owner = -1);
// Waits up to `ms` for one; id 0 if none came, or if `p` ended meanwhile.
SwayWindow wait_for_sway_window(const std::string &title, long owner, int ms, Program *p = nullptr);
// A sway command on that window: "kill" (the close request), "resize set W H".
bool swaymsg(const SwayWindow &w, const std::string &command);

// wtype's arguments (-k KEY, -P/-p KEY, -M/-m MOD, -s MS) to the focused
// window. NOTE: the seat has no keyboard until wtype makes its virtual one, a
// client needs a moment to bind it, and it goes with wtype; SDL 2.26 loses,
// or crashes on, a key typed the moment it is made (docs/reliability.md).
bool wtype(const std::string &args);
// Down, held `ms`, up, as a finger presses it (in one wtype run).
std::string wtype_hold(const std::string &key, int ms = 200);
// grim's picture of the window's content as the compositor composes it,
// kept as the PNG `png` and read back from that file.
Image screenshot(const SwayWindow &w, const std::string &png);

}  // namespace outside

#endif
