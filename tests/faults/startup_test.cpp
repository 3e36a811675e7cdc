// Start-up faults seen from outside: a display with no OpenGL at all, and
// no display. Either way the program ends with status 0 (a failed start,
// not a normal end) and says what went wrong.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "run_gtest.h"

namespace outside {
namespace {

// With no GLX the X server offers no pixel formats, so the first step of
// WM_CREATE, ChoosePixelFormat, is the one that fails.
const char *const no_format_text = "Can't find suitable PixelFormat";

TEST(NoGlx, OneErrorBoxAnsweredWithReturnEndsWithZeroAndNoFrame)
{
    XSetErrorHandler(ignore_x_errors);   // the box's window goes while we look
    Display *d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr) << "no X display";
    int opcode, event, error;
    ASSERT_FALSE(XQueryExtension(d, "GLX", &opcode, &event, &error))
        << "this display has GLX; run the test with SINEBAND_XVFB_ARGS=-extension GLX";

    Program p;
    ASSERT_TRUE(p.start(program()));
    std::set<Window> boxes;   // every box seen, from start to end
    auto look = [&] {
        for (Window w : find_windows(d, "Error"))
            boxes.insert(w);
    };
    Window box = 0;
    for (auto until = Clock::now() + std::chrono::seconds(20); !box && p.running() && Clock::now() < until;
         pause_ms(20)) {
        look();
        box = boxes.empty() ? 0 : *boxes.begin();
    }
    ASSERT_NE(box, 0u) << "no box titled Error (" << p.describe_end() << ", stderr: " << p.err() << ")";

    // Modal: nothing goes on until it is answered, and the window it is
    // about is not shown yet (the box comes from inside CreateWindowEx).
    pause_ms(500);
    look();
    ASSERT_TRUE(p.running()) << "ended with the box unanswered, " << p.describe_end();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(find_windows(d, "OpenGL").empty()) << "a window shown behind the box";
    const glcheck_record *r = p.record();
    ASSERT_NE(r, nullptr) << "the checking library was not loaded";
    EXPECT_EQ(r->boxes, 1u);
    EXPECT_STREQ(r->box_title, "Error");
    EXPECT_STREQ(r->box_text, no_format_text);
    EXPECT_EQ(lines(p.err()), std::vector<std::string>{std::string("Error: ") + no_format_text});
    EXPECT_FALSE(screenshot(box, test_file("-box.png")).empty());

    // Answered as a user would: pointer in, focus, Return held until it goes.
    ASSERT_TRUE(focus(d, box)) << "the box never got the input focus";
    auto answered = Clock::now();
    HeldKey answer("Return");
    EXPECT_TRUE(answer.pressed());
    while (p.running() && ms_since(answered) < 5000 && !find_windows(d, "Error").empty())
        pause_ms(10);
    EXPECT_TRUE(answer.release());
    while (p.running() && ms_since(answered) < 5000) {
        look();
        pause_ms(10);
    }
    ASSERT_FALSE(p.running()) << "still running 5 s after the box was answered";
    RecordProperty("end_after_answer_ms", ms_since(answered));
    ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end();
    EXPECT_EQ(WEXITSTATUS(p.status()), 0);
    EXPECT_EQ(boxes.size(), 1u) << "more than one box";
    EXPECT_EQ(r->boxes, 1u);
    EXPECT_EQ(r->box_result, 0) << "SDL's dialog could not be shown";
    EXPECT_EQ(r->swaps, 0u) << "frames presented with no pixel format";
    EXPECT_EQ(lines(p.err()), std::vector<std::string>{std::string("Error: ") + no_format_text});
    EXPECT_EQ(p.out(), "");
    XCloseDisplay(d);
}

// Where there is no display to show a box on, the one line on stderr is
// all the user gets.
struct NoServer {
    const char *name;
    std::vector<std::string> unset, set;
    const char *says;   // what the line must name
};

void PrintTo(const NoServer &c, std::ostream *os) { *os << c.name; }

class NoDisplay : public ::testing::TestWithParam<NoServer> {};

// ":free" stands for a display number no server has taken (no lock file).
std::string free_display()
{
    for (int n = 7391;; ++n)
        if (access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) != 0 &&
            access(("/tmp/.X11-unix/X" + std::to_string(n)).c_str(), F_OK) != 0)
            return ":" + std::to_string(n);
}

TEST_P(NoDisplay, EndsAtOnceWithZeroAndOneLine)
{
    std::vector<std::string> set = GetParam().set;
    for (std::string &s : set)
        if (s == "DISPLAY=:free")
            s = "DISPLAY=" + free_display();
    Launch l = program();
    l.unset = GetParam().unset;
    l.set = set;
    Program p;
    ASSERT_TRUE(p.start(l));
    ASSERT_TRUE(EndsWithOneLine(p, GetParam().says));
    RecordProperty("end_ms", p.ended_ms());
    ASSERT_NE(p.record(), nullptr) << "the checking library was not loaded";
    EXPECT_EQ(p.record()->swaps, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoDisplay,
    ::testing::Values(
        // SDL_VIDEODRIVER too: a driver named there would be tried anyway.
        NoServer{"Unset", {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, {}, "DISPLAY"},
        NoServer{"Empty", {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, {"DISPLAY="}, "DISPLAY"},
        // A display number with no server behind it (no socket of that name).
        NoServer{"NoServerThere", {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}, {"DISPLAY=:free"}, "could not be opened"}),
    [](const ::testing::TestParamInfo<NoServer> &i) { return std::string(i.param.name); });

}  // namespace
}  // namespace outside
