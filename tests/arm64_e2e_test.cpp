// The arm64 build under qemu-user on the test's own X display (qemu runs the
// program and Mesa's llvmpipe as arm64 code), against this build's program.
#include "run_gtest.h"

namespace outside {
namespace {

// Its picture (TAG.png) once its first frame is shown, then a held Escape.
void show_then_escape(Display *dpy, const Launch &launch, const std::string &tag, int ms, Image *picture)
{
    Program p;
    ASSERT_TRUE(p.start(launch)) << tag;
    Window win = wait_for_window(dpy, "OpenGL", p.pid(), ms, &p);
    ASSERT_NE(win, 0u) << tag << ": no window, " << p.describe_end() << ", stderr: " << p.err();
    // NOTE: two frames, so that the message loop has flushed the first.
    EXPECT_TRUE(wait_for([&] { return p.swaps() >= 2 || !p.running(); }, ms) && p.swaps() >= 2) << tag;
    *picture = screenshot(win, test_file("-" + tag + ".png"));
    ASSERT_TRUE(focus(dpy, win)) << tag;
    auto asked = Clock::now();
    HeldKey escape("Escape");
    EXPECT_TRUE(EndsNormally(p, asked, ms)) << tag;
}

TEST(Arm64Program, UnderQemuShowsTheX86ProgramsPictureAndEndsOnEscape)
{
    XSetErrorHandler(ignore_x_errors);
    Display *dpy = XOpenDisplay(nullptr);
    ASSERT_NE(dpy, nullptr);
    Image native, arm64;
    Launch qemu = program("arm64");
    qemu.argv = {SINEBAND_ARM64_PROGRAM}, qemu.preload = SINEBAND_ARM64_GLCHECK;
    qemu.emulator = {SINEBAND_QEMU, "-L", "/"};
    show_then_escape(dpy, program("x86-64"), "x86-64", 10000, &native);
    show_then_escape(dpy, qemu, "arm64", 60000, &arm64);
    XCloseDisplay(dpy);
    long white = white_pixels(arm64), differ = differing_pixels(native, arm64);
    EXPECT_TRUE(native.width == 600 && native.height == 450 && white > 5000 && white < 600 * 450 / 4) << white;
    RecordProperty("differing_pixels", (int)differ);
    EXPECT_TRUE(differ >= 0 && differ * 1000 <= 600 * 450) << differ << " pixels differ (0.1 % may)";
}

}  // namespace
}  // namespace outside
