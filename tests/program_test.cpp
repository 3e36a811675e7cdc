// The program itself on the scripted host: each run is a child process with
// the program's state fresh, as it is at start-up, and reports the host's
// trace, its stderr and its exit status.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define SINEBAND_LSAN 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define SINEBAND_LSAN 1
#endif
#ifdef SINEBAND_LSAN
#include <sanitizer/lsan_interface.h>
#endif

#include "fake_host.h"
#include "host.h"
#include "../shell/shell.h"

namespace {

struct Outcome {
    int status = -1;   // exit status, or -1 when the run did not exit
    std::vector<std::string> trace;
    std::string err;

    int count(const std::string &line) const { return (int)std::count(trace.begin(), trace.end(), line); }
    bool has(const std::string &line) const { return count(line) > 0; }
    // Position of the first occurrence, or the trace's size when absent.
    size_t at(const std::string &line) const
    {
        return std::find(trace.begin(), trace.end(), line) - trace.begin();
    }
    int swaps_after(size_t from) const
    {
        return (int)std::count(trace.begin() + std::min(from, trace.size()), trace.end(), std::string("swap"));
    }
};

static std::string read_all(int fd)
{
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, (size_t)n);
    close(fd);
    return out;
}

static Outcome RunProgram(const std::function<void()> &setup)
{
    int trace_pipe[2], err_pipe[2];
    if (pipe(trace_pipe) != 0 || pipe(err_pipe) != 0)
        return {};
    pid_t pid = fork();
    if (pid == 0) {
        alarm(10);   // a program that never ends fails the test instead of hanging it
        close(trace_pipe[0]);
        close(err_pipe[0]);
        dup2(err_pipe[1], 2);
        fake::reset();
        setup();
        static char image;
        int code = WinMain(reinterpret_cast<HINSTANCE>(&image), NULL, (LPSTR) "", SW_SHOWDEFAULT);
        std::string out;
        for (const std::string &line : fake::trace())
            out += line + "\n";
        if (write(trace_pipe[1], out.data(), out.size()) != (ssize_t)out.size())
            _exit(99);
#ifdef SINEBAND_LSAN
        // NOTE: _exit skips the leak check a sanitizer build makes at exit;
        // this one ends the run with the sanitizer's status if anything leaked.
        __lsan_do_leak_check();
#endif
        _exit(code);
    }
    close(trace_pipe[1]);
    close(err_pipe[1]);
    Outcome run;
    std::string text = read_all(trace_pipe[0]);
    run.err = read_all(err_pipe[0]);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        run.trace.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return run;
}

using namespace fake::usb;

// A key pressed or released on the program's window.
void Key(int usage, bool down, bool repeat = false) { fake::key(fake::window(), usage, down, repeat); }

void Note(const std::string &what, int value) { fake::trace().push_back(what + "=" + std::to_string(value)); }

TEST(Program, EscapeDrawsOneMoreFrameThenTearsDownAndEndsWithOne)
{
    Outcome run = RunProgram([] { fake::at_swap(3, [] { Key(Esc, true); }); });
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> start = {"create", "format 1", "context", "current", "show 5", "swap"};
    ASSERT_GE(run.trace.size(), start.size());
    EXPECT_EQ(std::vector<std::string>(run.trace.begin(), run.trace.begin() + 6), start);
    // Key-down handled in the next drain; that pass still draws and swaps.
    EXPECT_EQ(run.count("swap"), 4);
    size_t torn = run.at("uncurrent");
    ASSERT_LT(torn, run.trace.size());
    EXPECT_EQ(run.trace[torn + 1], "delete context");
    EXPECT_EQ(run.swaps_after(torn), 0);   // no frame after the teardown
    EXPECT_FALSE(run.has("destroy"));      // WM_CLOSE does not destroy the window
    EXPECT_EQ(run.err, "");
}

TEST(Program, TheCloseButtonAndAltF4EndItTheSameWay)
{
    Outcome closed = RunProgram([] { fake::at_swap(2, [] { compat::input_close(fake::window()); }); });
    Outcome alt_f4 = RunProgram([] {
        fake::at_swap(2, [] {
            Key(LAlt, true);
            Key(F4, true);
        });
    });
    for (const Outcome *run : {&closed, &alt_f4}) {
        EXPECT_EQ(run->status, 1) << run->err;
        EXPECT_EQ(run->count("delete context"), 1);
        EXPECT_EQ(run->swaps_after(run->at("uncurrent")), 0);
    }
    EXPECT_EQ(closed.count("swap"), 2);
    // Alt+F4 goes round the queue: posted WM_SYSCOMMAND, then WM_CLOSE.
    EXPECT_EQ(alt_f4.count("swap"), 2);
}

TEST(Program, ASecondTeardownIsHarmless)
{
    Outcome run = RunProgram([] {
        fake::at_swap(2, [] {
            SendMessageA(fake::window(), WM_CLOSE, 0, 0);
            SendMessageA(fake::window(), WM_DESTROY, 0, 0);
            SendMessageA(fake::window(), WM_CLOSE, 0, 0);
        });
    });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.count("uncurrent"), 1);
    EXPECT_EQ(run.count("delete context"), 1);
}

TEST(Program, TheKeyTableFollowsKeyDownAndKeyUpOnly)
{
    Outcome run = RunProgram([] {
        fake::at_swap(1, [] {
            Key(A, true);
            Key(A, true, true);   // auto-repeat: already down
            Key(F10, true);       // system keys leave the table alone
            Key(LAlt, true);
            Key(X, true);
        });
        fake::at_swap(2, [] {
            Note("A", keys[(int)'A']);
            Note("F10", keys[VK_F10]);
            Note("Alt", keys[VK_MENU]);
            Note("X", keys[(int)'X']);
            Key(X, false);
            Key(LAlt, false);
            Key(A, false);
        });
        fake::at_swap(3, [] {
            Note("A", keys[(int)'A']);
            Note("X", keys[(int)'X']);
            Key(Esc, true);
        });
    });
    EXPECT_EQ(run.status, 1) << run.err;
    const std::vector<std::string> noted = {"A=1", "F10=0", "Alt=0", "X=0", "A=0", "X=0"};
    std::vector<std::string> got;
    for (const std::string &line : run.trace)
        if (line.find('=') != std::string::npos)
            got.push_back(line);
    EXPECT_EQ(got, noted);
}

TEST(Program, KeyCodesOutsideTheTableAreIgnored)
{
    Outcome run = RunProgram([] {
        fake::at_swap(1, [] {
            // Codes no keyboard sends, but anyone can post.
            for (WPARAM code : {(WPARAM)255, (WPARAM)256, (WPARAM)300, (WPARAM)0x10000, ~(WPARAM)0}) {
                PostMessageA(fake::window(), WM_KEYDOWN, code, 0);
                PostMessageA(fake::window(), WM_KEYUP, code, 0);
            }
            PostMessageA(fake::window(), WM_KEYDOWN, 255, 0);
        });
        fake::at_swap(2, [] {
            Note("255", keys[255]);
            Note("Ready", Ready);
            Key(Esc, true);
        });
    });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.has("255=1"));
    EXPECT_TRUE(run.has("Ready=1"));
}

TEST(Program, PaintingIsLeftToTheDefaultSoFramesGoOn)
{
    // An unvalidated WM_PAINT would come back on every peek and starve the loop.
    Outcome run = RunProgram([] {
        fake::at_swap(2, [] { compat::input_expose(fake::window()); });
        fake::at_swap(5, [] { Key(Esc, true); });
    });
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.count("swap"), 6);
}

struct Failure {
    const char *text;
    std::function<void()> inject;
};

TEST(Program, EachContextSetUpFailureShowsItsTextAndEndsWithZero)
{
    const Failure failures[] = {
        {"Can't find suitable PixelFormat", [] { fake::config().formats.clear(); }},
        {"Can't set The PixelFormat", [] { fake::config().set_format = false; }},
        {"Can't Create Render Device Context", [] { fake::config().create_context = false; }},
        {"Can't set current Render Device Context", [] { fake::config().make_current = false; }},
    };
    for (const Failure &f : failures) {
        Outcome run = RunProgram(f.inject);
        std::string box = std::string("box Error|") + f.text + "|16";
        EXPECT_EQ(run.status, 0) << f.text << run.err;
        EXPECT_EQ(run.count(box), 1) << f.text;
        int boxes = 0;
        for (const std::string &line : run.trace)
            boxes += line.rfind("box ", 0) == 0;
        EXPECT_EQ(boxes, 1) << f.text;
        EXPECT_TRUE(run.has("show 5")) << f.text;   // shown briefly all the same
        EXPECT_EQ(run.count("swap"), 0) << f.text;
        EXPECT_EQ(run.err, std::string("Error: ") + f.text + "\n");
    }
}

TEST(Program, AClassThatCannotBeRegisteredIsReportedAndEndsWithZero)
{
    Outcome run = RunProgram([] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "OpenGL";   // taken before the program asks
        RegisterClassA(&wc);
    });
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.trace, (std::vector<std::string>{"box Error|Error Create window class|16"}));
}

TEST(Program, AWindowThatCannotBeCreatedEndsWithZeroAndNoBox)
{
    Outcome refused = RunProgram([] { fake::config().create_window = false; });
    EXPECT_EQ(refused.status, 0) << refused.err;
    EXPECT_TRUE(refused.trace.empty());

    Outcome no_display = RunProgram([] { fake::config().connect = false; });
    EXPECT_EQ(no_display.status, 0) << no_display.err;
    EXPECT_TRUE(no_display.trace.empty());
    EXPECT_EQ(std::count(no_display.err.begin(), no_display.err.end(), '\n'), 1) << no_display.err;
    EXPECT_NE(no_display.err.find("no display"), std::string::npos) << no_display.err;
}

}  // namespace
