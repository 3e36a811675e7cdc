// The whole program seen from outside, as a user sees it: the built sineband
// on the test's own X display (no window manager), driven with real XTEST
// input through xdotool and looked at with xwd screenshots.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "run_gtest.h"

namespace outside {
namespace {

const int W = 600, H = 450;

// The program as it is, nothing preloaded into it.
class ProgramRun : public ::testing::Test {
protected:
    Display *dpy = nullptr;
    Program p;
    Window win = 0;

    void SetUp() override
    {
        XSetErrorHandler(ignore_x_errors);
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr) << "no X display (DISPLAY=" << (getenv("DISPLAY") ? getenv("DISPLAY") : "") << ")";
        ASSERT_TRUE(p.start(program("", false))) << "cannot start " << SINEBAND_PROGRAM;
        win = wait_for_window(dpy, "OpenGL", p.pid(), 10000, &p);
        ASSERT_NE(win, 0u) << (p.running() ? std::string("no mapped window named OpenGL within 10 s")
                                           : "the program ended before showing a window, " + p.describe_end() +
                                                 ", stderr: " + p.err());
        pause_ms(700);   // a few hundred frames at the rates seen here
    }

    void TearDown() override
    {
        if (dpy)
            XCloseDisplay(dpy);
    }

    Image shot(const std::string &name) { return screenshot(win, test_file("-" + name + ".png")); }
};

TEST_F(ProgramRun, ShowsOneWindowWithTheBandOnBlack)
{
    EXPECT_EQ(find_windows(dpy, "", p.pid(), false).size(), 1u) << "one top-level window, the hidden first one gone";
    EXPECT_EQ(property(dpy, win, "_NET_WM_NAME"), "OpenGL");
    XClassHint hint;
    ASSERT_TRUE(XGetClassHint(dpy, win, &hint));
    EXPECT_STREQ(hint.res_class, "OpenGL");
    // The desktop entry knows its window by that class.
    std::ifstream entry(SINEBAND_DESKTOP_ENTRY);
    std::string line, startup_class;
    while (std::getline(entry, line))
        if (line.rfind("StartupWMClass=", 0) == 0)
            startup_class = line.substr(line.find('=') + 1);
    EXPECT_EQ(startup_class, hint.res_class) << "StartupWMClass of " SINEBAND_DESKTOP_ENTRY;
    XFree(hint.res_name);
    XFree(hint.res_class);

    // No window manager: no frame, so the window sits exactly where asked.
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(dpy, win, &a));
    EXPECT_EQ(a.x, 50);
    EXPECT_EQ(a.y, 50);
    EXPECT_EQ(a.width, W);
    EXPECT_EQ(a.height, H);

    Image shown = shot("screenshot");
    ASSERT_EQ(shown.width, W);
    ASSERT_EQ(shown.height, H);
    // llvmpipe draws no antialiasing: the band's edge is as hard as the rest.
    int white = 0, other = 0, x0 = W, x1 = -1, y0 = H, y1 = -1;
    long sx = 0, sy = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const unsigned char *px = shown.at(x, y);
            if (px[0] == 255 && px[1] == 255 && px[2] == 255) {
                ++white;
                sx += x, sy += y;
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            } else if (px[0] || px[1] || px[2]) {
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
                    lit_corner += shown.at(x, y)[0] != 0;
    EXPECT_EQ(lit_corner, 0) << "lit pixels in the 20 x 20 corners";
}

TEST_F(ProgramRun, OtherKeysChangeNothing)
{
    Image before = shot("before-keys");
    ASSERT_EQ(before.width, W);
    ASSERT_TRUE(focus(dpy, win)) << "the window never got the input focus";
    // F4 without Alt, F10 and Alt+letter (the menu keys) must not close it.
    for (const char *key : {"a", "space", "Return", "Left", "Right", "Up", "Down", "shift+a", "F1", "F4",
                            "F10", "alt+a", "ctrl+c", "Tab", "BackSpace"})
        EXPECT_EQ(xdotool(std::string("key ") + key), 0) << key;
    // A held key, long enough for the server's auto-repeat.
    EXPECT_TRUE(hold_key("x", 700));
    pause_ms(300);
    ASSERT_TRUE(p.running()) << "ended on an ordinary key, " << p.describe_end();

    EXPECT_EQ(differing_pixels(before, shot("after-keys")), 0) << "pixels changed by the keys";

    // The same way in still works, so the keys above did reach the program.
    auto asked = Clock::now();
    HeldKey escape("Escape");
    EXPECT_TRUE(EndsNormally(p, asked, 2000));
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
    ASSERT_TRUE(p.running());
    Clock::time_point asked;
    std::unique_ptr<HeldKey> key;
    if (GetParam().key) {
        ASSERT_TRUE(focus(dpy, win)) << "the window never got the input focus";
        asked = Clock::now();
        key = std::make_unique<HeldKey>(GetParam().key);
        EXPECT_TRUE(key->pressed()) << GetParam().key;
    } else {
        // A window manager sends it only to windows that list
        // WM_DELETE_WINDOW in WM_PROTOCOLS.
        Atom del = XInternAtom(dpy, "WM_DELETE_WINDOW", False), *list = nullptr;
        int n = 0;
        bool listed = false;
        if (XGetWMProtocols(dpy, win, &list, &n))
            listed = std::find(list, list + n, del) != list + n;
        if (list)
            XFree(list);
        EXPECT_TRUE(listed) << "WM_PROTOCOLS lacks WM_DELETE_WINDOW";
        XEvent e = close_request(dpy, win);
        asked = Clock::now();
        EXPECT_TRUE(XSendEvent(dpy, win, False, NoEventMask, &e));
        XFlush(dpy);
    }
    EXPECT_TRUE(EndsNormally(p, asked, 2000));
}

INSTANTIATE_TEST_SUITE_P(Ways, ProgramEnd,
                         ::testing::Values(Ending{"Escape", "Escape"}, Ending{"AltF4", "alt+F4"},
                                           Ending{"CloseRequest", nullptr}),
                         [](const ::testing::TestParamInfo<Ending> &i) { return std::string(i.param.name); });

}  // namespace
}  // namespace outside
