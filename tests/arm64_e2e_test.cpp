// The arm64 build under qemu-user on the test's own X display: qemu runs the
// program, Mesa's llvmpipe inside it too, as arm64 code; only the X11
// protocol reaches the server. Its picture against this build's program's.
#include <gtest/gtest.h>

#include "run_gtest.h"

namespace outside {
namespace {

// Runs `launch` until its first frame is on the display, keeps its picture
// (TAG.png beside the test) and ends it with a held Escape.
void show_then_escape(Display *dpy, const Launch &launch, const std::string &tag, int ms, Image *picture)
{
    Program p;
    ASSERT_TRUE(p.start(launch)) << tag << ": cannot start " << launch.argv[0];
    Window win = wait_for_window(dpy, "OpenGL", p.pid(), ms, &p);
    ASSERT_NE(win, 0u) << tag << ": no window, " << p.describe_end() << ", stderr: " << p.err();
    // NOTE: two frames, so that the message loop has flushed the first.
    EXPECT_TRUE(wait_for([&] { return p.swaps() >= 2 || !p.running(); }, ms) && p.swaps() >= 2) << tag;
    *picture = screenshot(win, test_file("-" + tag + ".png"));
    ASSERT_TRUE(focus(dpy, win)) << tag << ": the window never got the input focus";
    auto asked = Clock::now();
    HeldKey escape("Escape");
    EXPECT_TRUE(EndsNormally(p, asked, ms)) << tag;
}

TEST(Arm64Program, UnderQemuShowsTheX86ProgramsPictureAndEndsOnEscape)
{
    XSetErrorHandler(ignore_x_errors);
    Display *dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr) << "no X display";
    Image native, arm64;
    show_then_escape(dpy, program("x86-64"), "x86-64", 10000, &native);
    Launch qemu = program("arm64");
    qemu.argv = {SINEBAND_ARM64_PROGRAM};
    qemu.preload = SINEBAND_ARM64_GLCHECK;
    qemu.emulator = {SINEBAND_QEMU, "-L", "/"};
    show_then_escape(dpy, qemu, "arm64", 60000, &arm64);
    XCloseDisplay(dpy);

    ASSERT_EQ(native.width * native.height, 600 * 450);
    long white = white_pixels(arm64), differ = differing_pixels(native, arm64);
    EXPECT_TRUE(white > 5000 && white < 600 * 450 / 4) << white << " white pixels: no band";
    RecordProperty("differing_pixels", (int)differ);
    EXPECT_TRUE(differ >= 0 && differ * 1000 <= 600 * 450) << differ << " pixels differ (0.1 % may)";
}

}  // namespace
}  // namespace outside
