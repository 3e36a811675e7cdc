// The whole program seen from outside, as a user sees it: the built sineband
// on the test's own X display (no window manager), driven with real XTEST
// input through xdotool and looked at with xwd screenshots.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const int W = 600, H = 450;

void pause_ms(int ms) { std::this_thread::sleep_for(milliseconds(ms)); }
int ms_since(Clock::time_point t)
{
    return (int)std::chrono::duration_cast<milliseconds>(Clock::now() - t).count();
}

// Windows come and go while we look at them (the program re-creates its
// window before mapping it), so a BadWindow here is expected, not fatal.
int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a shell command under timeout(1), so a stuck tool cannot hang the suite.
int sh(const std::string &cmd, int seconds = 10)
{
    std::string line = "timeout " + std::to_string(seconds) + " sh -c '" + cmd + "'";
    int rc = system(line.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int xdotool(const std::string &args) { return sh("xdotool " + args); }

// A window property's raw bytes (32-bit items come as longs), empty if unset.
std::string property(Display *d, Window w, const char *name, Atom type)
{
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string value;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 256, False, type, &actual, &format, &count,
                           &after, &data) == Success && data)
        value.assign((const char *)data, count * (format == 32 ? sizeof(long) : format / 8));
    if (data)
        XFree(data);
    return value;
}

long window_pid(Display *d, Window w)
{
    std::string v = property(d, w, "_NET_WM_PID", XA_CARDINAL);
    return v.size() == sizeof(long) ? *(const long *)v.data() : -1;
}

class ProgramRun : public ::testing::Test {
protected:
    Display *dpy = nullptr;
    pid_t pid = -1;
    Window win = 0;
    bool ended = false;
    int status = 0;
    std::string out, err, held;

    void SetUp() override
    {
        XSetErrorHandler(ignore_x_errors);
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr) << "no X display (DISPLAY=" << (getenv("DISPLAY") ? getenv("DISPLAY") : "") << ")";

        // The program's output goes to files named after the test.
        std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(test.begin(), test.end(), '/', '-');
        std::string base = std::string(SINEBAND_OUTPUT_DIR) + "/e2e-" + test;
        out = base + ".stdout";
        err = base + ".stderr";
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char *argv[] = {(char *)SINEBAND_PROGRAM, nullptr};
        int rc = posix_spawn(&pid, SINEBAND_PROGRAM, &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        ASSERT_EQ(rc, 0) << "cannot start " << SINEBAND_PROGRAM;

        win = wait_for_window(10000);
        ASSERT_NE(win, 0u) << (ended ? "the program ended before showing a window, status " +
                                           std::to_string(status) + ", stderr: " + slurp(err)
                                     : std::string("no mapped window named OpenGL within 10 s"));
        pause_ms(700);   // a few hundred frames at the rates seen here
    }

    void TearDown() override
    {
        if (!held.empty())
            xdotool("keyup " + held);   // or the next run starts with it down
        if (pid > 0 && !ended) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (dpy)
            XCloseDisplay(dpy);
    }

    // Reaps the program if it has ended, without waiting for it.
    bool running()
    {
        if (!ended && waitpid(pid, &status, WNOHANG) == pid)
            ended = true;
        return !ended;
    }

    bool ends_within(int ms)
    {
        auto until = Clock::now() + milliseconds(ms);
        while (running() && Clock::now() < until)
            pause_ms(10);
        return !running();
    }

    // The program's top-level windows; `mapped` keeps only viewable ones.
    std::vector<Window> own_windows(bool mapped)
    {
        std::vector<Window> found;
        Window root_ret, parent, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root_ret, &parent, &children, &n))
            return found;
        for (unsigned int i = 0; i < n; ++i) {
            XWindowAttributes a;
            if (window_pid(dpy, children[i]) != pid)
                continue;
            if (mapped && (!XGetWindowAttributes(dpy, children[i], &a) || a.map_state != IsViewable))
                continue;
            found.push_back(children[i]);
        }
        if (children)
            XFree(children);
        return found;
    }

    Window wait_for_window(int ms)
    {
        auto until = Clock::now() + milliseconds(ms);
        while (running() && Clock::now() < until) {
            for (Window w : own_windows(true)) {
                char *name = nullptr;
                bool match = XFetchName(dpy, w, &name) && name && std::string(name) == "OpenGL";
                if (name)
                    XFree(name);
                if (match)
                    return w;
            }
            pause_ms(20);
        }
        return 0;
    }

    // Pointer in, focus on the window, as a user clicking into it; then
    // waits until the server has given it the focus.
    void focus()
    {
        EXPECT_EQ(xdotool("mousemove --window " + std::to_string(win) + " 20 20"), 0);
        EXPECT_EQ(xdotool("windowfocus " + std::to_string(win)), 0);
        Window focused = 0;
        int revert;
        for (auto until = Clock::now() + milliseconds(2000); Clock::now() < until; pause_ms(20)) {
            XGetInputFocus(dpy, &focused, &revert);
            if (focused == win)
                break;
        }
        ASSERT_EQ(focused, win) << "the window never got the input focus";
        pause_ms(200);   // lets the program take in its FocusIn
    }

    // A screenshot kept as PNG next to the test, read back from that file
    // as packed RGB so the checks see exactly what the PNG shows.
    std::vector<unsigned char> screenshot(const std::string &name)
    {
        std::string png = std::string(SINEBAND_OUTPUT_DIR) + "/" + name, raw = png + ".rgb";
        EXPECT_EQ(sh("xwd -silent -id " + std::to_string(win) + " | convert xwd:- " + png), 0);
        EXPECT_EQ(sh("convert " + png + " -depth 8 rgb:" + raw), 0);
        std::string bytes = slurp(raw);
        unlink(raw.c_str());
        return std::vector<unsigned char>(bytes.begin(), bytes.end());
    }

    // Presses a key (or chord) and keeps it down, as a user's finger does
    // for far longer than a frame.
    // NOTE: Escape is looked up in the key table once a frame. xdotool's tap
    // is a few ms, and on a busy machine its press and release can both be
    // taken in one pass over the queue, so the key is never seen down.
    void press(const std::string &key)
    {
        EXPECT_EQ(xdotool("keydown " + key), 0) << key;
        held = key;
    }

    // The end a user asked for at `asked`: status 1, soon, and not a word.
    void expect_quiet_normal_end(Clock::time_point asked, int within_ms)
    {
        ASSERT_TRUE(ends_within(std::max(within_ms - ms_since(asked), 0)))
            << "still running " << within_ms << " ms later";
        RecordProperty("end_ms", ms_since(asked));
        ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(slurp(out), "") << "on stdout";
        EXPECT_EQ(slurp(err), "") << "on stderr";
    }
};

TEST_F(ProgramRun, ShowsOneWindowWithTheBandOnBlack)
{
    EXPECT_EQ(own_windows(false).size(), 1u) << "one top-level window, the hidden first one gone";
    EXPECT_EQ(property(dpy, win, "_NET_WM_NAME", XInternAtom(dpy, "UTF8_STRING", False)), "OpenGL");
    XClassHint hint;
    ASSERT_TRUE(XGetClassHint(dpy, win, &hint));
    EXPECT_STREQ(hint.res_class, "OpenGL");
    XFree(hint.res_name);
    XFree(hint.res_class);

    // No window manager: no frame, so the window sits exactly where asked.
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, win, &a));
    EXPECT_EQ(a.x, 50);
    EXPECT_EQ(a.y, 50);
    EXPECT_EQ(a.width, W);
    EXPECT_EQ(a.height, H);

    std::vector<unsigned char> rgb = screenshot("e2e-screenshot.png");
    ASSERT_EQ(rgb.size(), size_t(W * H * 3));
    // llvmpipe draws no antialiasing: the band's edge is as hard as the rest.
    int white = 0, other = 0, x0 = W, x1 = -1, y0 = H, y1 = -1;
    long sx = 0, sy = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const unsigned char *p = &rgb[(y * W + x) * 3];
            if (p[0] == 255 && p[1] == 255 && p[2] == 255) {
                ++white;
                sx += x, sy += y;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            } else if (p[0] || p[1] || p[2]) {
                ++other;
            }
        }
    EXPECT_EQ(other, 0) << "pixels neither black nor white";
    ASSERT_GT(white, 5000) << "no band to speak of";
    EXPECT_LT(white, W * H / 4) << "too much white for a band";
    // The band lies in the lower middle of the window, black all round it.
    EXPECT_TRUE(sy / white > H / 2 && sx / white > W / 3 && sx / white < 2 * W / 3)
        << "band centre at " << sx / white << "," << sy / white;
    EXPECT_TRUE(x0 > 0 && x1 < W - 1 && y0 > H / 3 && y1 < H - 1)
        << "band spans " << x0 << ".." << x1 << " x " << y0 << ".." << y1;
    // The scene is shifted left, so the left margin is the narrower one (a
    // mirrored picture would swap them).
    EXPECT_LT(x0, W - 1 - x1) << "band spans columns " << x0 << ".." << x1;
    int lit_corner = 0;
    for (int cy : {0, H - 20})
        for (int cx : {0, W - 20})
            for (int y = cy; y < cy + 20; ++y)
                for (int x = cx; x < cx + 20; ++x)
                    lit_corner += rgb[(y * W + x) * 3] != 0;
    EXPECT_EQ(lit_corner, 0) << "lit pixels in the 20 x 20 corners";
}

TEST_F(ProgramRun, OtherKeysChangeNothing)
{
    std::vector<unsigned char> before = screenshot("e2e-before-keys.png");
    ASSERT_EQ(before.size(), size_t(W * H * 3));
    focus();
    if (HasFatalFailure())
        return;
    // F4 without Alt, F10 and Alt+letter (the menu keys) must not close it.
    for (const char *key : {"a", "space", "Return", "Left", "Right", "Up", "Down", "shift+a", "F1", "F4",
                            "F10", "alt+a", "ctrl+c", "Tab", "BackSpace"})
        EXPECT_EQ(xdotool(std::string("key ") + key), 0) << key;
    // A held key, long enough for the server's auto-repeat.
    EXPECT_EQ(xdotool("keydown x"), 0);
    pause_ms(700);
    EXPECT_EQ(xdotool("keyup x"), 0);
    pause_ms(300);
    ASSERT_TRUE(running()) << "ended on an ordinary key, status " << status;

    std::vector<unsigned char> after = screenshot("e2e-after-keys.png");
    ASSERT_EQ(after.size(), before.size());
    int differ = 0;
    for (size_t i = 0; i < after.size(); i += 3)
        differ += after[i] != before[i] || after[i + 1] != before[i + 1] || after[i + 2] != before[i + 2];
    EXPECT_EQ(differ, 0) << "pixels changed by the keys";

    // The same way in still works, so the keys above did reach the program.
    auto asked = Clock::now();
    press("Escape");
    expect_quiet_normal_end(asked, 2000);
}

// Each way a user ends the program, in a run of its own.
struct Ending {
    const char *name;
    const char *key;   // null: the window manager's close request
};

void PrintTo(const Ending &e, std::ostream *os) { *os << e.name; }

class ProgramEnd : public ProgramRun, public ::testing::WithParamInterface<Ending> {};

TEST_P(ProgramEnd, EndsWithStatusOneAndNoOutput)
{
    ASSERT_TRUE(running());
    Clock::time_point asked;
    if (GetParam().key) {
        focus();
        if (HasFatalFailure())
            return;
        asked = Clock::now();
        press(GetParam().key);
    } else {
        // What a window manager sends for its close button or close menu
        // item, and only to windows that list WM_DELETE_WINDOW.
        Atom del = XInternAtom(dpy, "WM_DELETE_WINDOW", False), *list = nullptr;
        int n = 0;
        bool listed = false;
        if (XGetWMProtocols(dpy, win, &list, &n))
            listed = std::find(list, list + n, del) != list + n;
        if (list)
            XFree(list);
        EXPECT_TRUE(listed) << "WM_PROTOCOLS lacks WM_DELETE_WINDOW";
        XEvent e = {};
        e.xclient.type = ClientMessage;
        e.xclient.window = win;
        e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = (long)del;
        e.xclient.data.l[1] = CurrentTime;
        asked = Clock::now();
        EXPECT_TRUE(XSendEvent(dpy, win, False, NoEventMask, &e));
        XFlush(dpy);
    }
    expect_quiet_normal_end(asked, 2000);
}

INSTANTIATE_TEST_SUITE_P(Ways, ProgramEnd,
                         ::testing::Values(Ending{"Escape", "Escape"}, Ending{"AltF4", "alt+F4"},
                                           Ending{"CloseRequest", nullptr}),
                         [](const ::testing::TestParamInfo<Ending> &i) { return std::string(i.param.name); });

}  // namespace
