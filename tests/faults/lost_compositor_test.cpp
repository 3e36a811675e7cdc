// The Wayland compositor going away under the running program (on
// tools/with-sway.sh's, which the test kills), or talking nonsense as it
// connects: the program ends at once with one line saying why, status 0.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "run_gtest.h"

namespace outside {
namespace {

// The program has ended with status 0 and one line of its own saying `why`.
void ExpectLostLine(Program &p, const std::string &why)
{
    ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end() << ", stderr: " << p.err();
    EXPECT_EQ(WEXITSTATUS(p.status()), 0);
    std::vector<std::string> said = lines(p.err());
    ASSERT_EQ(said.size(), 1u) << p.err();
    EXPECT_EQ(said[0].rfind("sineband: ", 0), 0u) << said[0];
    EXPECT_NE(said[0].find(why), std::string::npos) << said[0];
    EXPECT_EQ(p.out(), "");
}

TEST(LostCompositor, KilledWhileDrawingEndsSoonWithOneLineAndZero)
{
    const char *compositor = getenv("SINEBAND_SWAY_PID");
    ASSERT_NE(compositor, nullptr) << "not on tools/with-sway.sh's compositor";
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    Program p;
    ASSERT_TRUE(p.start(l));
    // The window is in the compositor's tree once it has drawn a frame.
    ASSERT_TRUE(wait_for([&] { return sh("swaymsg -t get_tree | grep -qF \"\\\"OpenGL\\\"\"") == 0; }, 20000));
    pause_ms(500);
    auto lost = Clock::now();
    ASSERT_EQ(kill(atoi(compositor), SIGKILL), 0);
    ASSERT_TRUE(p.ends_within(5000)) << "still running 5 s after the compositor went";
    RecordProperty("end_ms", ms_since(lost));
    ExpectLostLine(p, "Wayland compositor closed the connection");
}

// NOTE: SDL alone crashed here, and libwayland's own complaint must not make
// a second line.
TEST(NonsenseCompositor, EndsAtOnceWithOneLineAndZero)
{
    char dir[] = "/tmp/fake-wayland-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    sockaddr_un at = {};
    at.sun_family = AF_UNIX;
    snprintf(at.sun_path, sizeof at.sun_path, "%s/wayland-fake", dir);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_TRUE(bind(fd, (sockaddr *)&at, sizeof at) == 0 && listen(fd, 4) == 0);
    // Each connection gets an event for object 1 whose size is less than its header.
    std::thread answers([fd] {
        const unsigned char nonsense[] = {1, 0, 0, 0, 0, 0, 4, 0};
        char request[4096];
        for (int c; (c = accept(fd, nullptr, nullptr)) >= 0; close(c))
            if (read(c, request, sizeof request) <= 0 || write(c, nonsense, sizeof nonsense) < 0)
                continue;
    });
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    l.set = {"XDG_RUNTIME_DIR=" + std::string(dir), "WAYLAND_DISPLAY=wayland-fake"};
    Program p;
    ASSERT_TRUE(p.start(l));
    bool ended = p.ends_within(5000);
    shutdown(fd, SHUT_RDWR);
    answers.join();
    close(fd);
    sh("rm -rf " + std::string(dir));
    ASSERT_TRUE(ended) << "still running after 5 s";
    ExpectLostLine(p, "Wayland compositor closed the connection");
}

}  // namespace
}  // namespace outside
