// The X server going away under the running program: it must end soon, say
// why in one line, and not end with status 1, which would read as a user's
// normal end. Each run has an Xvfb of its own, which the test ends.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>

#include "run_gtest.h"

namespace outside {
namespace {

// The first such window on x's display, looked for over a connection of the
// test's own that is closed again before the server is taken away, or Xlib
// would end the test with it.
Window first_window(const Xvfb &x, const std::string &name, long owner, Program &p)
{
    Display *d = XOpenDisplay(x.display().c_str());
    if (!d)
        return 0;
    Window w = wait_for_window(d, name, owner, 20000, &p);
    XCloseDisplay(d);
    return w;
}

// The built program on x's display, and no other.
Launch on(const Xvfb &x)
{
    Launch l = program();
    l.unset = {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    l.set = {"DISPLAY=" + x.display()};
    return l;
}

struct Loss {
    const char *name;
    int signal;   // SIGTERM: the server closes its clients; SIGKILL: it just dies
};

void PrintTo(const Loss &l, std::ostream *os) { *os << l.name; }

class LostServer : public ::testing::TestWithParam<Loss> {};

TEST_P(LostServer, WhileDrawingEndsSoonWithOneLineAndZero)
{
    XSetErrorHandler(ignore_x_errors);
    Xvfb x;
    ASSERT_TRUE(x.start()) << "Xvfb did not start";
    Program p;
    ASSERT_TRUE(p.start(on(x)));
    ASSERT_NE(first_window(x, "OpenGL", p.pid(), p), 0u)
        << "no window (" << p.describe_end() << ", stderr: " << p.err() << ")";
    ASSERT_TRUE(p.draws(50, 10000)) << "not drawing";
    // A write into the closed connection must reach Xlib as an error, not
    // end the process by SIGPIPE (which it did in about one run in twelve).
    std::string status = slurp("/proc/" + std::to_string(p.pid()) + "/status");
    size_t at = status.find("SigIgn:\t");
    ASSERT_NE(at, std::string::npos);
    EXPECT_TRUE(std::stoull(status.substr(at + 8, 16), nullptr, 16) & (1ull << (SIGPIPE - 1))) << "SIGPIPE not ignored";

    auto lost = Clock::now();
    EXPECT_TRUE(x.stop(GetParam().signal)) << "Xvfb outlived its signal";
    ASSERT_TRUE(EndsWithOneLine(p, "X server"));
    RecordProperty("end_ms", ms_since(lost));

    const glcheck_record *r = p.record();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->swaps_no_context, 0u);
    EXPECT_EQ(r->gl_errors, 0u) << "first: 0x" << std::hex << r->first_error << std::dec << " before swap "
                                << r->first_error_swap;
    EXPECT_EQ(r->boxes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Ways, LostServer,
                         ::testing::Values(Loss{"Terminated", SIGTERM}, Loss{"Killed", SIGKILL}),
                         [](const ::testing::TestParamInfo<Loss> &i) { return std::string(i.param.name); });

// The server going while the start-up error box waits for its answer: the
// box's line, then one line for the lost display, and status 0.
TEST(LostServerUnderBox, EndsWithTheBoxLineAndOneMore)
{
    XSetErrorHandler(ignore_x_errors);
    Xvfb x;
    ASSERT_TRUE(x.start("-extension GLX")) << "Xvfb did not start";
    Program p;
    ASSERT_TRUE(p.start(on(x)));
    ASSERT_NE(first_window(x, "Error", -1, p), 0u)
        << "no box (" << p.describe_end() << ", stderr: " << p.err() << ")";

    auto lost = Clock::now();
    EXPECT_TRUE(x.stop(SIGTERM)) << "Xvfb outlived its signal";
    ASSERT_TRUE(p.ends_within(5000)) << "still running 5 s after the server went";
    RecordProperty("end_ms", ms_since(lost));
    ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end() << ", stderr: " << p.err();
    EXPECT_EQ(WEXITSTATUS(p.status()), 0);
    // NOTE: where zenity is installed (GNOME's mutter brings it) SDL's box
    // is zenity's, a child whose complaint about the lost display shares
    // the program's stderr; only the program's own lines are counted.
    std::vector<std::string> said;
    for (const std::string &line : lines(p.err()))
        if (!line.empty() && line.rfind("(zenity:", 0) != 0)
            said.push_back(line);
    ASSERT_EQ(said.size(), 2u) << p.err();
    EXPECT_EQ(said[0], "Error: Can't find suitable PixelFormat");
    EXPECT_NE(said[1].find("X server"), std::string::npos) << said[1];
    ASSERT_NE(p.record(), nullptr);
    EXPECT_EQ(p.record()->boxes, 1u);
    EXPECT_EQ(p.record()->swaps, 0u);
}

}  // namespace
}  // namespace outside
