// The Wayland compositor going away under the running program, which must
// end as it does when the X server goes: soon, one line saying why, status
// 0. Run by tools/with-sway.sh, whose compositor the test kills. And a
// compositor that hangs up as the program connects, or answers nonsense.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "run_gtest.h"

namespace outside {
namespace {

// Whether the compositor has a window titled `name` in its tree.
bool compositor_has(const std::string &name)
{
    return sh("swaymsg -t get_tree | grep -qF \"\\\"name\\\": \\\"" + name + "\\\"\"") == 0;
}

TEST(LostCompositor, KilledWhileDrawingEndsSoonWithOneLineAndZero)
{
    const char *compositor = getenv("SINEBAND_SWAY_PID");
    ASSERT_NE(compositor, nullptr) << "not on tools/with-sway.sh's compositor";
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    Program p;
    ASSERT_TRUE(p.start(l));
    ASSERT_TRUE(wait_for([&] { return compositor_has("OpenGL") || !p.running(); }, 20000) && p.running())
        << "no window (" << p.describe_end() << ", stderr: " << p.err() << ")";
    pause_ms(500);   // drawing by now

    auto lost = Clock::now();
    ASSERT_EQ(kill(atoi(compositor), SIGKILL), 0);
    ASSERT_TRUE(p.ends_within(5000)) << "still running 5 s after the compositor went";
    RecordProperty("end_ms", ms_since(lost));
    ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end() << ", stderr: " << p.err();
    EXPECT_EQ(WEXITSTATUS(p.status()), 0);
    std::vector<std::string> said = lines(p.err());
    ASSERT_EQ(said.size(), 1u) << p.err();
    EXPECT_EQ(said[0].rfind("sineband: ", 0), 0u) << said[0];
    EXPECT_NE(said[0].find("Wayland compositor"), std::string::npos) << "does not say why: " << said[0];
    EXPECT_EQ(p.out(), "");
}

// A socket where a compositor's would be, in a folder of its own, answering
// each connection by closing it, after nonsense if `garbage`.
class FakeCompositor {
public:
    explicit FakeCompositor(bool garbage)
    {
        char dir[] = "/tmp/fake-wayland-XXXXXX";
        dir_ = mkdtemp(dir) ? dir : "";
        sockaddr_un at = {};
        at.sun_family = AF_UNIX;
        snprintf(at.sun_path, sizeof at.sun_path, "%s/wayland-fake", dir_.c_str());
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        if (dir_.empty() || bind(fd_, (sockaddr *)&at, sizeof at) != 0 || listen(fd_, 4) != 0)
            return;
        listening_ = true;
        answers_ = std::thread([this, garbage] {
            for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0; close(c)) {
                // An event header for object 1 that claims 4 bytes, less than a header.
                const unsigned char nonsense[] = {1, 0, 0, 0, 0, 0, 4, 0};
                char request[4096];
                if (garbage && read(c, request, sizeof request) > 0 && write(c, nonsense, sizeof nonsense) < 0)
                    break;
            }
        });
    }
    ~FakeCompositor()
    {
        shutdown(fd_, SHUT_RDWR);
        if (answers_.joinable())
            answers_.join();
        close(fd_);
        sh("rm -rf " + dir_);
    }
    bool listening() const { return listening_; }
    std::vector<std::string> environment() const { return {"XDG_RUNTIME_DIR=" + dir_, "WAYLAND_DISPLAY=wayland-fake"}; }

private:
    std::string dir_;
    int fd_ = -1;
    bool listening_ = false;
    std::thread answers_;
};

class RefusingCompositor : public ::testing::TestWithParam<bool> {};

// NOTE: SDL alone crashed here; libwayland's own complaint must not make a
// second line.
TEST_P(RefusingCompositor, EndsAtOnceWithOneLineAndZero)
{
    FakeCompositor compositor(GetParam());
    ASSERT_TRUE(compositor.listening());
    Launch l = program();
    l.unset = {"DISPLAY", "SDL_VIDEODRIVER"};
    l.set = compositor.environment();
    Program p;
    ASSERT_TRUE(p.start(l));
    ASSERT_TRUE(p.ends_within(5000)) << "still running after 5 s";
    ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end() << ", stderr: " << p.err();
    EXPECT_EQ(WEXITSTATUS(p.status()), 0);
    std::vector<std::string> said = lines(p.err());
    ASSERT_EQ(said.size(), 1u) << p.err();
    EXPECT_NE(said[0].find("the Wayland compositor closed the connection"), std::string::npos) << said[0];
    EXPECT_EQ(p.out(), "");
}

INSTANTIATE_TEST_SUITE_P(Ways, RefusingCompositor, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "Nonsense" : "HangsUp"; });

}  // namespace
}  // namespace outside
