// The whole program on a Wayland compositor (tools/with-wayland.sh's), as a
// user meets it there. On sway: keys from wtype's virtual keyboard, the close
// request, a resize and a scale change from swaymsg, pictures from grim. On
// every compositor (mutter and KWin give no pictures): the program's own
// frame read back, and its protocol log. Each picture is held against the
// same build's on this test's X display (Xvfb) at the same size in the
// screen's pixels, where at most 0.01 % of the pixels may differ.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

#include "run_gtest.h"

namespace outside {
namespace {

// The compositor's scale; a length in the window's pixels, in the screen's.
double Scale() { return getenv("SINEBAND_SCALE") ? atof(getenv("SINEBAND_SCALE")) : 1; }
int Device(int length, double scale = Scale()) { return (int)std::lround(length * scale); }

// The program on the X display, its window made w x h; its picture.
Image OnXvfb(int w, int h)
{
    Display *d = XOpenDisplay(nullptr);
    if (!d)
        return Image();
    Program x;
    Launch l = program("xvfb");
    l.unset = {"WAYLAND_DISPLAY"};
    Image shown;
    if (x.start(l) && wait_for_window(d, "OpenGL", x.pid(), 10000, &x) && x.draws(50, 10000)) {
        // Looked up again: the layer may have made the window anew.
        Window win = wait_for_window(d, "OpenGL", x.pid(), 1000);
        xdotool("windowsize " + std::to_string(win) + " " + std::to_string(w) + " " + std::to_string(h));
        wait_for([&] { return x.snapshot().viewport_w == w && x.snapshot().viewport_h == h; }, 5000);
        x.draws(50, 5000);
        shown = screenshot(win, test_file("-xvfb.png"));
    }
    XCloseDisplay(d);
    return shown;
}

// The picture, against Xvfb's at its size: the background must be black,
// not the compositor's grey (63, 63, 63) through a see-through window. A
// window drawn at scale 1 and stretched differs along every edge of the band.
void ExpectAsOnXvfb(const Image &shown)
{
    long differ = differing_pixels(shown, OnXvfb(shown.width, shown.height));
    EXPECT_TRUE(differ >= 0 && differ * 10000 <= (long)shown.width * shown.height)
        << differ << " of " << shown.width << " x " << shown.height << " pixels differ from Xvfb's";
}

// Each run on sway ends one way a user ends it there.
class WaylandRun : public ::testing::Test {
protected:
    Program p;
    SwayWindow win;
    std::vector<std::string> set;   // for the program, besides

    void SetUp() override
    {
        ASSERT_TRUE(getenv("SINEBAND_COMPOSITOR")) << "not on tools/with-wayland.sh's compositor";
        Launch l = program();
        l.unset = {"DISPLAY", "SINEBAND_NO_SCALING"};
        l.set = set;
        ASSERT_TRUE(p.start(l)) << "cannot start " << SINEBAND_PROGRAM;
        if (on_sway()) {
            win = wait_for_sway_window("OpenGL", p.pid(), 10000, &p);
            ASSERT_NE(win.id, 0) << "no window titled OpenGL on sway, " << p.describe_end() << ", stderr: " << p.err();
        }
        ASSERT_TRUE(p.draws(50, 10000)) << "no frames, " << p.describe_end();
    }

    Image shot(const std::string &name) { return screenshot(win = sway_window("OpenGL", p.pid()), test_file("-" + name + ".png")); }
    Image XvfbsPicture(const std::string &name)
    {
        Image shown = shot(name);
        ExpectAsOnXvfb(shown);
        return shown;
    }
    // Waits until it draws w x h in the window's pixels, in the screen's.
    bool DrawsAt(int w, int h, double scale = Scale())
    {
        return wait_for([&] {
            glcheck_record r = p.snapshot();   // GL_VIEWPORT, in the screen's pixels
            return r.viewport_w == Device(w, scale) && r.viewport_h == Device(h, scale);
        }, 5000) && p.draws(5, 5000);
    }
};

// On every compositor: its frames read back, and its protocol log
// (WAYLAND_DEBUG) of what it told the compositor; the end is not looked at.
class WaylandFrames : public WaylandRun {
protected:
    WaylandFrames() { set = {"WAYLAND_DEBUG=client"}; }
    bool Said(const std::string &pattern) { return std::regex_search(p.err(), std::regex(pattern)); }
    // The window's own wl_surface ("wl_surface@7"), not a decoration's.
    std::string Surface()
    {
        std::smatch m;
        const std::string log = p.err();
        return std::regex_search(log, m, std::regex("get_xdg_surface\\(new id xdg_surface@\\d+, (wl_surface@\\d+)"))
                   ? m[1].str() : "(none)";
    }
};

TEST_F(WaylandRun, OtherKeysChangeNothingEscapeEndsIt)
{
    EXPECT_TRUE(win.width == 600 && win.height == 450) << win.width << " x " << win.height;
    // Its app_id names its desktop entry, by which a compositor shows it.
    std::string entry = SINEBAND_DESKTOP_ENTRY;
    EXPECT_EQ(win.app_id + ".desktop", entry.substr(entry.rfind('/') + 1));
    Image before = XvfbsPicture("picture");
    glcheck_record was = p.snapshot();
    // F4 without Alt, F10 and Alt+letter (the menu keys) must not close it;
    // x is held past the auto-repeat delay (SDL's repeats: as many as the
    // timing gives, none when the compositor is slow to pass the press on).
    EXPECT_TRUE(wtype("-k a -k space -k Return -k Left -k Right -k Up -k Down -M shift -k a -m shift -k F1 -k F4"
                      " -k F10 -M alt -k a -m alt -M ctrl -k c -m ctrl -k Tab -k BackSpace" + wtype_hold("x", 700)));
    pause_ms(300);
    ASSERT_TRUE(p.running()) << "ended on an ordinary key, " << p.describe_end();
    // Sixteen keys: all came (the modifiers come as a state, not as keys).
    glcheck_record now = p.snapshot();
    EXPECT_EQ(now.key_downs - now.key_repeats - (was.key_downs - was.key_repeats), 16u);
    EXPECT_EQ(differing_pixels(before, shot("after-keys")), 0) << "pixels changed by the keys";
    auto asked = Clock::now();
    EXPECT_TRUE(wtype(wtype_hold("Escape")));
    EXPECT_TRUE(EndsNormally(p, asked, 3000));
}

// A resize from the compositor reaches the viewport (WM_SIZE) and the
// picture; then the close request.
TEST_F(WaylandRun, ResizeThenCloseRequestEndsIt)
{
    ASSERT_TRUE(swaymsg(win, "resize set 400 300"));
    SwayWindow now;
    ASSERT_TRUE(wait_for([&] { return (now = sway_window("OpenGL", p.pid())).width != 600; }, 5000));
    ASSERT_TRUE(DrawsAt(now.width, now.height)) << "viewport " << p.snapshot().viewport_w << " x "
                                                << p.snapshot().viewport_h << " for " << now.width << " x " << now.height;
    ASSERT_TRUE(p.draws(50, 5000));
    XvfbsPicture("resized");
    auto asked = Clock::now();
    EXPECT_TRUE(swaymsg(win, "kill"));
    EXPECT_TRUE(EndsNormally(p, asked, 2000));
    EXPECT_EQ(p.snapshot().close_requests, 1u);
}

// 600 x 450 on the screen, drawn in the screen's pixels: what it presents is
// that times the scale, and the picture the program draws on X11 at that size.
// The compositor is told so by the buffer's scale or, for a fractional one
// (KWin: 1.5, a 900 x 675 buffer), by a viewport.
// The window has a title bar and a close button: the compositor's (the
// server-side mode of xdg-decoration) or libdecor's in subsurfaces (mutter).
TEST_F(WaylandFrames, DrawnInTheScreensPixelsAsOnX11)
{
    EXPECT_TRUE(DrawsAt(600, 450)) << "viewport " << p.snapshot().viewport_w << " x " << p.snapshot().viewport_h;
    Image frame = p.frame();
    EXPECT_TRUE(frame.width == Device(600) && frame.height == Device(450)) << frame.width << " x " << frame.height;
    ExpectAsOnXvfb(frame);
    const std::string buffer_scale = Surface() + "\\.set_buffer_scale\\(" + std::to_string((int)Scale()) + "\\)";
    EXPECT_TRUE(Said("set_destination\\(600, 450\\)") || (Scale() == std::floor(Scale()) && Said(buffer_scale)))
        << "the compositor is not told the buffer's scale";
    EXPECT_TRUE(Said("zxdg_toplevel_decoration_v1@\\d+\\.configure\\(2\\)|get_subsurface\\(")) << "no decorations";
}

// A scale changed while it runs (sway's output, to 2 or back to 1): drawn
// sharp at the new one at the latest in the second frame presented after the
// compositor's news (the first may have been drawn before it came).
TEST_F(WaylandFrames, ScaleChangeDrawnSharpWithinAFrame)
{
    ASSERT_TRUE(on_sway()) << "the scale is changed through swaymsg";
    const int to = Scale() == 1 ? 2 : 1;
    ASSERT_EQ(sh("swaymsg output HEADLESS-1 scale " + std::to_string(to) + " >/dev/null"), 0);
    ASSERT_TRUE(DrawsAt(600, 450, to)) << "viewport " << p.snapshot().viewport_w << " x " << p.snapshot().viewport_h;
    EXPECT_TRUE(swaymsg(win, "move position center"));   // sway leaves it where it was, partly off the screen
    XvfbsPicture("rescaled");
    // In the protocol log: the frames presented (a buffer attached for each)
    // before the news, and the first buffer of the new size made after it.
    const std::string log = p.err(), scale = std::to_string(to), attach = Surface() + ".attach(";
    std::smatch news;
    ASSERT_TRUE(std::regex_search(log, news, std::regex("wl_output@\\d+\\.scale\\(" + scale + "\\)")));
    size_t from = news.position(0), sized = log.find(", 0, " + std::to_string(Device(600, to)) + ", " +
                                                     std::to_string(Device(450, to)) + ", ", from);   // create_buffer
    ASSERT_NE(sized, std::string::npos) << "no buffer of the new size after the news";
    auto frames = [&](size_t end) {
        int n = 0;
        for (size_t at = log.find(attach); at < end; at = log.find(attach, at + 1))
            ++n;
        return n;
    };
    EXPECT_LE(frames(sized), frames(from) + 1) << "frames presented in old buffers after the news";
    EXPECT_LE(p.snapshot().viewport_since, (uint64_t)frames(from) + 2) << "frames drawn at the old viewport after it";
    size_t shown = log.find(".commit()", sized);
    EXPECT_NE(log.substr(from, shown - from).find(Surface() + ".set_buffer_scale(" + scale + ")"), std::string::npos);
}

}  // namespace
}  // namespace outside
