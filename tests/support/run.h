// What the fault and storm tests share: the built program started from
// outside with an environment of the test's choosing and glcheck.c preloaded,
// virtual displays of their own, windows found by name, XTEST input through
// xdotool.
#ifndef SINEBAND_TESTS_SUPPORT_RUN_H
#define SINEBAND_TESTS_SUPPORT_RUN_H

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "glcheck.h"

namespace outside {

using Clock = std::chrono::steady_clock;

void pause_ms(int ms);
int ms_since(Clock::time_point t);
std::string slurp(const std::string &path);
std::vector<std::string> lines(const std::string &text);

// An X error handler that lets them pass: windows go while tests look.
int ignore_x_errors(Display *, XErrorEvent *);

// A shell command under timeout(1); its exit status, -1 if it did not exit.
int sh(const std::string &cmd, int seconds = 20);
int xdotool(const std::string &args, int seconds = 20);

// The built program, run with its output in files named after the test.
class Program {
public:
    // `unset` names variables the program must not inherit; `set` adds
    // NAME=VALUE entries. DISPLAY is the test's unless set or unset here.
    // Its files are named after the test, and `tag` where one test runs
    // the program more than once.
    bool start(const std::vector<std::string> &unset = {}, const std::vector<std::string> &set = {},
               const std::string &tag = "");
    ~Program();

    pid_t pid() const { return pid_; }
    bool running();                 // reaps it if it has ended
    bool ends_within(int ms);
    int status() const { return status_; }
    int ended_ms() const { return ended_ms_; }   // from start() to the end seen
    std::string describe_end() const;            // "status 1", "signal 11"
    std::string out() const { return slurp(out_); }
    std::string err() const { return slurp(err_); }

    // The preloaded library's record; null until the program has loaded it.
    const glcheck_record *record();
    uint64_t swaps() { return record() ? __atomic_load_n(&record()->swaps, __ATOMIC_ACQUIRE) : 0; }
    // Waits until `frames` more frames than now have been presented.
    bool draws(uint64_t frames, int ms);

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = 0, ended_ms_ = -1;
    Clock::time_point started_;
    std::string out_, err_, record_path_;
    const glcheck_record *record_ = nullptr;
};

// An Xvfb of the test's own, for faults that take the server away.
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

// Top-level windows of the display with this WM_NAME that are mapped;
// owner -1 takes any client's, else only the windows of that process.
std::vector<Window> mapped_windows(Display *d, const std::string &name, long owner = -1);
// Waits for the first such window.
Window wait_for_window(Display *d, const std::string &name, long owner, Program &p, int ms);

// Pointer into w, focus on it, as a user clicking into it; waits until the
// server has given w the focus.
bool focus(Display *d, Window w);

// xwd + convert: the window as packed RGB, also kept as a PNG next to the test.
std::vector<unsigned char> screenshot(Window w, const std::string &name);

// A file next to the test's binary, named after the running test.
std::string output_path(const std::string &suffix);

}  // namespace outside

#endif
