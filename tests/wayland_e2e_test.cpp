// The whole program on a Wayland compositor (headless sway), as a user meets
// it there: keys from wtype's virtual keyboard, the close request and a
// resize from swaymsg, pictures from grim. Each picture is held against the
// same build's on this test's X display (Xvfb) at the same client size.
#include <gtest/gtest.h>

#include <string>

#include "run_gtest.h"

namespace outside {
namespace {

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

// Each run ends one way a user ends it there.
class WaylandRun : public ::testing::Test {
protected:
    Program p;
    SwayWindow win;

    void SetUp() override
    {
        ASSERT_TRUE(on_sway()) << "not on tools/with-sway.sh's compositor";
        Launch l = program();
        l.unset = {"DISPLAY"};
        ASSERT_TRUE(p.start(l)) << "cannot start " << SINEBAND_PROGRAM;
        win = wait_for_sway_window("OpenGL", p.pid(), 10000, &p);
        ASSERT_NE(win.id, 0) << "no window titled OpenGL on sway, " << p.describe_end() << ", stderr: " << p.err();
        ASSERT_TRUE(p.draws(50, 10000)) << "no frames, " << p.describe_end();
    }

    Image shot(const std::string &name) { return screenshot(win = sway_window("OpenGL", p.pid()), test_file("-" + name + ".png")); }

    // The picture, against Xvfb's at its size: the background must be black,
    // not the compositor's grey (63, 63, 63) through a see-through window.
    Image XvfbsPicture(const std::string &name)
    {
        Image shown = shot(name);
        long differ = differing_pixels(shown, OnXvfb(shown.width, shown.height));
        EXPECT_TRUE(differ >= 0 && differ * 1000 <= (long)shown.width * shown.height)
            << differ << " of " << shown.width << " x " << shown.height << " pixels differ from Xvfb's";
        return shown;
    }
};

TEST_F(WaylandRun, OtherKeysChangeNothingEscapeEndsIt)
{
    EXPECT_TRUE(win.width == 600 && win.height == 450) << win.width << " x " << win.height;
    // Its app_id names its desktop entry, by which a compositor shows it.
    std::string entry = SINEBAND_DESKTOP_ENTRY;
    EXPECT_EQ(win.app_id + ".desktop", entry.substr(entry.rfind('/') + 1));
    Image before = XvfbsPicture("picture");
    uint64_t downs = p.snapshot().key_downs;
    // F4 without Alt, F10 and Alt+letter (the menu keys) must not close it;
    // x is held past the auto-repeat delay.
    EXPECT_TRUE(wtype("-k a -k space -k Return -k Left -k Right -k Up -k Down -M shift -k a -m shift -k F1 -k F4"
                      " -k F10 -M alt -k a -m alt -M ctrl -k c -m ctrl -k Tab -k BackSpace" + wtype_hold("x", 700)));
    pause_ms(300);
    ASSERT_TRUE(p.running()) << "ended on an ordinary key, " << p.describe_end();
    // Sixteen keys and three modifiers: all came.
    EXPECT_GE(p.snapshot().key_downs - downs, 19u);
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
    ASSERT_TRUE(wait_for([&] {
        SwayWindow now = sway_window("OpenGL", p.pid());
        return now.width != 600 && p.snapshot().viewport_w == now.width && p.snapshot().viewport_h == now.height;
    }, 5000)) << "viewport " << p.snapshot().viewport_w << " x " << p.snapshot().viewport_h;
    ASSERT_TRUE(p.draws(50, 5000));
    XvfbsPicture("resized");
    auto asked = Clock::now();
    EXPECT_TRUE(swaymsg(win, "kill"));
    EXPECT_TRUE(EndsNormally(p, asked, 2000));
    EXPECT_EQ(p.snapshot().close_requests, 1u);
}

}  // namespace
}  // namespace outside
