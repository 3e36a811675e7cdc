// A Wayland compositor killed under the running program (tools/with-wayland.sh's:
// sway, mutter or KWin), or talking nonsense: the program ends at once, one line saying why, status 0.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "run_gtest.h"

namespace outside {
namespace {

TEST(LostCompositor, KilledWhileDrawingEndsSoonWithOneLineAndZero)
{
    const char *compositor = getenv("SINEBAND_COMPOSITOR_PID");
    ASSERT_NE(compositor, nullptr) << "not on tools/with-wayland.sh's compositor";
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    Program p;
    ASSERT_TRUE(p.start(l));
    ASSERT_TRUE(p.draws(50, 20000)) << p.describe_end();
    ASSERT_EQ(kill(atoi(compositor), SIGKILL), 0);
    EXPECT_TRUE(EndsWithOneLine(p, "sineband: lost the display: the Wayland compositor closed the connection"));
}

// A socket where the compositor's would be, answering with an event shorter
// than its header. SDL alone crashed there; libwayland's own complaint about
// it must not make a second line.
TEST(NonsenseCompositor, EndsAtOnceWithOneLineAndZero)
{
    char dir[] = "/tmp/fake-wayland-XXXXXX", request[4096], nonsense[] = {1, 0, 0, 0, 0, 0, 4, 0};
    sockaddr_un at = {AF_UNIX, {}};
    ASSERT_NE(mkdtemp(dir), nullptr);
    snprintf(at.sun_path, sizeof at.sun_path, "%s/wayland-fake", dir);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_TRUE(bind(fd, (sockaddr *)&at, sizeof at) == 0 && listen(fd, 4) == 0);
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    l.set = {"XDG_RUNTIME_DIR=" + std::string(dir), "WAYLAND_DISPLAY=wayland-fake"};
    Program p;
    ASSERT_TRUE(p.start(l));
    int c = accept(fd, nullptr, nullptr);
    EXPECT_TRUE(read(c, request, sizeof request) > 0 && write(c, nonsense, sizeof nonsense) == sizeof nonsense);
    close(c);
    close(fd);
    sh("rm -rf " + std::string(dir));
    EXPECT_TRUE(EndsWithOneLine(p, "sineband: cannot open a window: the display could not be opened: the Wayland"));
}

}  // namespace
}  // namespace outside
