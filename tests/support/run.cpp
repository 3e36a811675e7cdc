// The fault and storm tests' shared pieces: see run.h.
#include <gtest/gtest.h>

#include "run.h"


#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

extern char **environ;

namespace outside {

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int ms_since(Clock::time_point t)
{
    return (int)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> found;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        found.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return found;
}

int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

int sh(const std::string &cmd, int seconds)
{
    std::string line = "timeout " + std::to_string(seconds) + " sh -c '" + cmd + "'";
    int rc = system(line.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

int xdotool(const std::string &args, int seconds) { return sh("xdotool " + args, seconds); }

std::string output_path(const std::string &suffix)
{
    const ::testing::TestInfo *t = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(t->test_suite_name()) + "-" + t->name();
    std::replace(name.begin(), name.end(), '/', '-');
    return std::string(SINEBAND_OUTPUT_DIR) + "/" + name + suffix;
}

// --- the program --------------------------------------------------------------

bool Program::start(const std::vector<std::string> &unset, const std::vector<std::string> &set,
                    const std::string &tag)
{
    out_ = output_path(tag + ".stdout");
    err_ = output_path(tag + ".stderr");
    std::string prefix = output_path(tag + ".glcheck");

    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string entry = *e, name = entry.substr(0, entry.find('='));
        bool dropped = name == "LD_PRELOAD" || name.rfind("GLCHECK_", 0) == 0 ||
                       std::find(unset.begin(), unset.end(), name) != unset.end();
        for (const std::string &s : set)
            dropped = dropped || s.substr(0, s.find('=')) == name;
        if (!dropped)
            env.push_back(entry);
    }
    const char *preload = getenv("LD_PRELOAD");
    env.push_back(std::string("LD_PRELOAD=") + SINEBAND_GLCHECK + (preload && *preload ? std::string(":") + preload : ""));
    env.push_back("GLCHECK_OUT=" + prefix);
    env.insert(env.end(), set.begin(), set.end());
    std::vector<char *> envp;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char *argv[] = {(char *)SINEBAND_PROGRAM, nullptr};
    started_ = Clock::now();
    int rc = posix_spawn(&pid_, SINEBAND_PROGRAM, &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    record_path_ = prefix + "." + std::to_string(pid_);
    return true;
}

Program::~Program()
{
    if (pid_ > 0 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (record_)
        munmap((void *)record_, sizeof *record_);
    // Kept only where it may explain a failure; otherwise one per run piles up.
    if (pid_ > 0 && !::testing::Test::HasFailure())
        unlink(record_path_.c_str());
}

bool Program::running()
{
    if (pid_ > 0 && !ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) {
        ended_ = true;
        ended_ms_ = ms_since(started_);
    }
    return pid_ > 0 && !ended_;
}

bool Program::ends_within(int ms)
{
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (running() && Clock::now() < until)
        pause_ms(5);
    return !running();
}

std::string Program::describe_end() const
{
    if (!ended_)
        return "still running";
    if (WIFSIGNALED(status_))
        return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "status " + std::to_string(WEXITSTATUS(status_));
}

const glcheck_record *Program::record()
{
    if (!record_ && pid_ > 0) {
        int fd = open(record_path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat st;
        if (fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof *record_) {
            void *p = mmap(nullptr, sizeof *record_, PROT_READ, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED)
                record_ = static_cast<const glcheck_record *>(p);
        }
        close(fd);
    }
    if (record_ && __atomic_load_n(&record_->version, __ATOMIC_ACQUIRE) != GLCHECK_VERSION)
        return nullptr;
    return record_;
}

bool Program::draws(uint64_t frames, int ms)
{
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    uint64_t from = swaps();
    while (swaps() < from + frames && running() && Clock::now() < until)
        pause_ms(5);
    return swaps() >= from + frames;
}

// --- a display of the test's own ----------------------------------------------

bool Xvfb::start(const std::string &extra_args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    pid_ = fork();
    if (pid_ == 0) {
        // The display number comes back on fd 3; the rest of its talk is noise.
        dup2(fds[1], 3);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::string cmd = "exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset " + extra_args;
        execl("/bin/sh", "sh", "-c", cmd.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
        close(fds[0]);
        return false;
    }
    std::string number;
    auto until = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < until && number.find('\n') == std::string::npos) {
        pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char buf[16];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, (size_t)n);
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        stop(SIGKILL);
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
}

bool Xvfb::stop(int signal)
{
    if (pid_ <= 0)
        return true;
    kill(pid_, signal);
    auto until = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < until) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        pause_ms(5);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
}

// --- windows and input --------------------------------------------------------

// A property's bytes whatever its type (32-bit items come as longs).
static std::string property(Display *d, Window w, const char *name)
{
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string value;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1024, False, AnyPropertyType, &actual, &format,
                           &count, &after, &data) == Success && data)
        value.assign((const char *)data, count * (format == 32 ? sizeof(long) : format / 8));
    if (data)
        XFree(data);
    return value;
}

static long window_pid(Display *d, Window w)
{
    std::string v = property(d, w, "_NET_WM_PID");
    return v.size() == sizeof(long) ? *(const long *)v.data() : -1;
}

std::vector<Window> mapped_windows(Display *d, const std::string &name, long owner)
{
    std::vector<Window> found;
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &n))
        return found;
    for (unsigned int i = 0; i < n; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable)
            continue;
        if (owner >= 0 && window_pid(d, children[i]) != owner)
            continue;
        // NOTE: SDL's message box gives WM_NAME as UTF8_STRING, which
        // XFetchName does not take.
        if (property(d, children[i], "WM_NAME") == name)
            found.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

Window wait_for_window(Display *d, const std::string &name, long owner, Program &p, int ms)
{
    auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (p.running() && Clock::now() < until) {
        std::vector<Window> w = mapped_windows(d, name, owner);
        if (!w.empty())
            return w.front();
        pause_ms(20);
    }
    return 0;
}

bool focus(Display *d, Window w)
{
    std::string id = std::to_string(w);
    if (xdotool("mousemove --window " + id + " 20 20") != 0 || xdotool("windowfocus " + id) != 0)
        return false;
    auto until = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < until) {
        Window focused = 0;
        int revert;
        XGetInputFocus(d, &focused, &revert);
        if (focused == w)
            return true;
        pause_ms(20);
    }
    return false;
}

std::vector<unsigned char> screenshot(Window w, const std::string &name)
{
    std::string png = output_path("-" + name + ".png"), raw = png + ".rgb";
    if (sh("xwd -silent -id " + std::to_string(w) + " | convert xwd:- " + png) != 0 ||
        sh("convert " + png + " -depth 8 rgb:" + raw) != 0)
        return {};
    std::string bytes = slurp(raw);
    unlink(raw.c_str());
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

}  // namespace outside
