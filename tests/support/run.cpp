// The built program from outside: see run.h.
#include "run.h"

#include <X11/Xutil.h>
#include <ctype.h>
#include <dirent.h>
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
#include <sstream>
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

bool wait_for(const std::function<bool()> &done, int ms, int every_ms)
{
    for (auto until = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < until; pause_ms(every_ms))
        if (done())
            return true;
    return done();
}

int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

int sh(const std::string &cmd, int seconds)
{
    std::string line = "timeout " + std::to_string(seconds) + " sh -c '" + cmd + "'";
    int rc = system(line.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// What a shell command (under timeout(1)) wrote on stdout.
static std::string capture(const std::string &cmd, int seconds = 20)
{
    std::string out;
    if (FILE *f = popen(("timeout " + std::to_string(seconds) + " sh -c '" + cmd + "'").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;)
            out.append(buf, n);
        pclose(f);
    }
    return out;
}

int xdotool(const std::string &args, int seconds) { return sh("xdotool " + args, seconds); }

// --- the program --------------------------------------------------------------

static std::string variable(const std::string &entry) { return entry.substr(0, entry.find('=')); }

bool Program::start(const Launch &launch)
{
    out_ = launch.files.empty() ? "/dev/null" : launch.files + ".stdout";
    err_ = launch.files.empty() ? "/dev/null" : launch.files + ".stderr";
    records_ = launch.files.empty() || launch.preload.empty() ? "" : launch.files + ".glcheck";
    if (!records_.empty()) {
        // One run's records at a time, kept after it for a look.
        std::string dir = records_.substr(0, records_.rfind('/')), stem = records_.substr(dir.size() + 1) + ".";
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d))
                if (strncmp(e->d_name, stem.c_str(), stem.size()) == 0)
                    unlink((dir + "/" + e->d_name).c_str());
            closedir(d);
        }
    }

    std::vector<std::string> env;
    const char *inherited = getenv("LD_PRELOAD");
    for (char **e = environ; *e; ++e) {
        std::string entry = *e, name = variable(entry);
        bool dropped = name.rfind("GLCHECK_", 0) == 0 || (name == "LD_PRELOAD" && !launch.preload.empty()) ||
                       std::find(launch.unset.begin(), launch.unset.end(), name) != launch.unset.end();
        for (const std::string &s : launch.set)
            dropped = dropped || variable(s) == name;
        if (!dropped)
            env.push_back(entry);
    }
    std::vector<std::string> args = launch.emulator;
    if (!launch.preload.empty()) {
        // Ahead of what the caller preloads already (a sanitizer build's).
        std::string preload = "LD_PRELOAD=" + launch.preload;
        if (!launch.emulator.empty())
            args.insert(args.end(), {"-E", preload});
        else
            env.push_back(preload + (inherited && *inherited ? std::string(":") + inherited : ""));
        if (!records_.empty())
            env.insert(env.end(), {"GLCHECK_OUT=" + records_, "GLCHECK_READ=" + (frame_ = launch.files + ".frame.ppm")});
    }
    env.insert(env.end(), launch.set.begin(), launch.set.end());
    std::vector<char *> envp, argv;
    for (std::string &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    args.insert(args.end(), launch.argv.begin(), launch.argv.end());
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (args.empty())
        return false;

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    started_ = Clock::now();
    int rc = posix_spawnp(&pid_, argv[0], &fa, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        pid_ = -1;
    return rc == 0;
}

Program::~Program()
{
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (record_)
        munmap((void *)record_, sizeof *record_);
}

bool Program::running()
{
    if (pid_ > 0 && !ended_ && wait4(pid_, &status_, WNOHANG, &usage_) == pid_) {
        ended_ = true;
        ended_ms_ = ms_since(started_);
    }
    return pid_ > 0 && !ended_;
}

bool Program::ends_within(int ms)
{
    return wait_for([&] { return !running(); }, ms);
}

bool Program::stop(int signal, int ms)
{
    if (!running())
        return true;
    kill(pid_, signal);
    if (ends_within(ms))
        return true;
    kill(pid_, SIGKILL);
    ends_within(5000);
    return false;
}

std::string Program::describe_end() const
{
    if (!ended_)
        return "still running";
    if (WIFSIGNALED(status_))
        return "killed by signal " + std::to_string(WTERMSIG(status_));
    return "status " + std::to_string(WEXITSTATUS(status_));
}

std::string Program::abnormal_end() const
{
    std::string why;
    if (!ended_ || !WIFEXITED(status_) || WEXITSTATUS(status_) != 1)
        why = describe_end() + ", not status 1";
    for (auto [stream, text] : {std::pair<const char *, std::string>{"stdout", out()}, {"stderr", err()}})
        if (!text.empty())
            why += std::string(why.empty() ? "" : "; ") + "on " + stream + ": " + text;
    return why;
}

const glcheck_record *Program::map_record(pid_t pid)
{
    int fd = open((records_ + "." + std::to_string(pid)).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    void *p = MAP_FAILED;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= (off_t)sizeof(glcheck_record))
        p = mmap(nullptr, sizeof(glcheck_record), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<const glcheck_record *>(p);
}

static uint64_t swaps_in(const glcheck_record *r)
{
    return r && __atomic_load_n(&r->version, __ATOMIC_ACQUIRE) == GLCHECK_VERSION
               ? __atomic_load_n(&r->swaps, __ATOMIC_ACQUIRE) : 0;
}

const glcheck_record *Program::record()
{
    if (pid_ <= 0 || records_.empty())
        return nullptr;
    if (!record_)
        record_ = map_record(pid_);
    drawing_ = drawing_ || swaps_in(record_) > 0;
    // Until the started process draws, another of the run's may be the one
    // (Wine's program runs in a process of its own): a look every 50 ms.
    if (!drawing_ && ms_since(scanned_) >= 50) {
        scanned_ = Clock::now();
        std::string dir = records_.substr(0, records_.rfind('/')), stem = records_.substr(dir.size() + 1) + ".";
        if (DIR *d = opendir(dir.c_str())) {
            while (dirent *e = readdir(d)) {
                if (strncmp(e->d_name, stem.c_str(), stem.size()) != 0 || atol(e->d_name + stem.size()) == pid_)
                    continue;
                const glcheck_record *r = map_record((pid_t)atol(e->d_name + stem.size()));
                if (swaps_in(r) > 0 && !drawing_) {
                    if (record_)
                        munmap((void *)record_, sizeof *record_);
                    record_ = r;
                    drawing_ = true;
                } else if (r) {
                    munmap((void *)r, sizeof *r);
                }
            }
            closedir(d);
        }
    }
    if (record_ && __atomic_load_n(&record_->version, __ATOMIC_ACQUIRE) != GLCHECK_VERSION)
        return nullptr;
    return record_;
}

glcheck_record Program::snapshot()
{
    glcheck_record copy = {};
    const glcheck_record *r = record();
    // The swap in progress is waited out; a bounded wait, for a process
    // killed in the middle of one leaves the count odd.
    for (int tries = 0; r && tries < 100000; ++tries) {
        uint32_t before = __atomic_load_n(&r->seq, __ATOMIC_ACQUIRE);
        memcpy(&copy, (const void *)r, sizeof copy);
        __atomic_thread_fence(__ATOMIC_ACQUIRE);
        if (!(before & 1) && before == __atomic_load_n(&r->seq, __ATOMIC_ACQUIRE))
            break;
    }
    return copy;
}

bool Program::draws(uint64_t frames, int ms)
{
    uint64_t from = swaps();
    return wait_for([&] { return swaps() >= from + frames || !running(); }, ms) && swaps() >= from + frames;
}

Image Program::frame(int ms)
{
    glcheck_record *r = const_cast<glcheck_record *>(record());   // mapped writable
    if (!r || frame_.empty())
        return Image();
    unlink(frame_.c_str());
    __atomic_store_n(&r->read_at, swaps() + 1, __ATOMIC_RELEASE);
    return wait_for([&] { return access(frame_.c_str(), R_OK) == 0 || !running(); }, ms) ? read_png(frame_) : Image();
}

// --- a display of the caller's own ----------------------------------------------

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
    bool gone = wait_for([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 10000);
    if (!gone) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    return gone;
}

// --- windows --------------------------------------------------------------------

// X errors let pass while it lives, whatever handler the caller has: the
// windows looked at may go meanwhile, and Xlib's own handler ends the process.
struct QuietX {
    Display *d;
    XErrorHandler before;
    explicit QuietX(Display *d) : d(d), before(XSetErrorHandler(ignore_x_errors)) {}
    ~QuietX()
    {
        XSync(d, False);
        XSetErrorHandler(before);
    }
};

std::string property(Display *d, Window w, const char *name)
{
    QuietX quiet(d);
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

std::vector<long> property_longs(Display *d, Window w, const char *name)
{
    std::string v = property(d, w, name);
    std::vector<long> items(v.size() / sizeof(long));
    if (!items.empty())
        memcpy(items.data(), v.data(), items.size() * sizeof(long));
    return items;
}

// NOTE: SDL gives WM_NAME as UTF8_STRING, which XFetchName does not take, so
// the name is compared byte for byte whatever its type.
static bool named(Display *d, Window w, const std::string &name)
{
    return name.empty() || property(d, w, "WM_NAME") == name || property(d, w, "_NET_WM_NAME") == name;
}

static void find_under(Display *d, Window w, const std::string &name, long owner, bool mapped,
                       std::vector<Window> &found)
{
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return;
    for (unsigned int i = 0; i < n; ++i) {
        XWindowAttributes a;
        std::vector<long> pid = owner >= 0 ? property_longs(d, children[i], "_NET_WM_PID") : std::vector<long>{};
        if (XGetWindowAttributes(d, children[i], &a) && (!mapped || a.map_state == IsViewable) &&
            (owner < 0 || (pid.size() == 1 && pid[0] == owner)) && named(d, children[i], name))
            found.push_back(children[i]);
        else
            find_under(d, children[i], name, owner, mapped, found);
    }
    if (children)
        XFree(children);
}

std::vector<Window> find_windows(Display *d, const std::string &name, long owner, bool mapped)
{
    QuietX quiet(d);
    std::vector<Window> found;
    find_under(d, DefaultRootWindow(d), name, owner, mapped, found);
    return found;
}

Window wait_for_window(Display *d, const std::string &name, long owner, int ms, Program *p)
{
    Window w = 0;
    wait_for([&] {
        std::vector<Window> all = find_windows(d, name, owner);
        w = all.empty() ? 0 : all.front();
        return w || (p && !p->running());
    }, ms);
    return w;
}

XEvent close_request(Display *d, Window w)
{
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    return e;
}

bool focus(Display *d, Window w)
{
    std::string id = std::to_string(w);
    if (!property_longs(d, DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK").empty())
        xdotool("windowactivate --sync " + id);
    XWindowAttributes a;
    int x = 20, y = 20;
    if (XGetWindowAttributes(d, w, &a))
        x = std::min(x, a.width / 2), y = std::min(y, a.height / 2);
    if (xdotool("mousemove --window " + id + " " + std::to_string(x) + " " + std::to_string(y)) != 0 ||
        xdotool("windowfocus " + id) != 0)
        return false;
    bool focused = wait_for([&] {
        Window now = 0;
        int revert;
        XGetInputFocus(d, &now, &revert);
        return now == w;
    }, 10000);
    if (focused)
        pause_ms(200);   // lets the program take in its FocusIn
    return focused;
}

// --- keys -----------------------------------------------------------------------

bool key_down(const std::string &key) { return xdotool("keydown " + key) == 0; }
bool key_up(const std::string &key) { return xdotool("keyup " + key) == 0; }

bool hold_key(const std::string &key, int ms)
{
    if (!key_down(key))
        return false;
    pause_ms(ms);
    return key_up(key);
}

bool HeldKey::release()
{
    bool ok = !ok_ || key_up(key_);
    ok_ = false;
    return ok;
}

// --- pictures -------------------------------------------------------------------

Image read_png(const std::string &png)
{
    Image image;
    std::string ppm = png + ".ppm";
    if (sh("convert " + png + " -depth 8 ppm:" + ppm) != 0)
        return image;
    std::string bytes = slurp(ppm);
    unlink(ppm.c_str());
    // P6, width, height, 255 (with # comments between: xwd's window name),
    // one byte of white space, then the pixels.
    std::vector<long> header;
    size_t at = 2;
    while (bytes.rfind("P6", 0) == 0 && header.size() < 3 && at < bytes.size()) {
        if (bytes[at] == '#')
            at = bytes.find('\n', at);
        else if (isdigit((unsigned char)bytes[at]))
            header.push_back(strtol(bytes.c_str() + at, nullptr, 10)), at = bytes.find_first_not_of("0123456789", at);
        else
            ++at;
    }
    if (header.size() == 3 && header[2] == 255 && at < bytes.size() &&
        bytes.size() - at - 1 == (size_t)(header[0] * header[1] * 3)) {
        image.width = (int)header[0], image.height = (int)header[1];
        image.rgb.assign(bytes.begin() + (long)at + 1, bytes.end());
    }
    return image;
}

Image screenshot(Window w, const std::string &png)
{
    return sh("xwd -silent -id " + std::to_string(w) + " | convert xwd:- " + png) == 0 ? read_png(png) : Image();
}

Image grab(Display *d, Window w)
{
    QuietX quiet(d);
    Image image;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable)
        return image;
    XImage *x = XGetImage(d, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
    if (!x)
        return image;
    image.width = a.width, image.height = a.height;
    image.rgb.reserve((size_t)a.width * a.height * 3);
    for (int y = 0; y < a.height; ++y)
        for (int col = 0; col < a.width; ++col) {
            unsigned long pixel = XGetPixel(x, col, y);
            for (unsigned long mask : {x->red_mask, x->green_mask, x->blue_mask}) {
                unsigned long low = mask & ~(mask - 1);   // the mask's lowest bit
                image.rgb.push_back((unsigned char)((pixel & mask) / low * 255 / (mask / low)));
            }
        }
    XDestroyImage(x);
    return image;
}

long differing_pixels(const Image &a, const Image &b)
{
    if (a.empty() || a.width != b.width || a.height != b.height || a.rgb.size() != b.rgb.size())
        return -1;
    long n = 0;
    for (size_t i = 0; i + 2 < a.rgb.size(); i += 3)
        n += a.rgb[i] != b.rgb[i] || a.rgb[i + 1] != b.rgb[i + 1] || a.rgb[i + 2] != b.rgb[i + 2];
    return n;
}

long white_pixels(const Image &image)
{
    long n = 0;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
        n += image.rgb[i] == 255 && image.rgb[i + 1] == 255 && image.rgb[i + 2] == 255;
    return n;
}

// --- a Wayland compositor ----------------------------------------------------------

bool on_sway() { return getenv("WAYLAND_DISPLAY") && getenv("SWAYSOCK"); }

SwayWindow sway_window(const std::string &title, long owner)
{
    // The first match's con_id, then its content (the window less its
    // decoration) on the output.
    std::istringstream in(capture(
        "swaymsg -r -t get_tree | jq -r --arg t \"" + title + "\" --argjson p " + std::to_string(owner) +
        " \"first(..|objects|select(.pid? and .visible and .name == \\$t and (\\$p < 0 or .pid == \\$p))|[.id,"
        " .rect.x + .window_rect.x, .rect.y + .window_rect.y, .window_rect.width, .window_rect.height, .app_id]|@tsv)\""));
    SwayWindow w;
    if (!(in >> w.id >> w.x >> w.y >> w.width >> w.height))
        return SwayWindow();
    in >> w.app_id;   // none for an Xwayland window
    return w;
}

SwayWindow wait_for_sway_window(const std::string &title, long owner, int ms, Program *p)
{
    SwayWindow w;
    // swaymsg and jq take a few ms each: looked at every 50.
    wait_for([&] { return (w = sway_window(title, owner)).id || (p && !p->running()); }, ms, 50);
    return w;
}

bool swaymsg(const SwayWindow &w, const std::string &command)
{
    return w.id && sh("swaymsg [con_id=" + std::to_string(w.id) + "] " + command + " >/dev/null") == 0;
}

bool wtype(const std::string &args) { return sh("wtype -s 700 " + args, 60) == 0; }

std::string wtype_hold(const std::string &key, int ms)
{
    return " -P " + key + " -s " + std::to_string(ms) + " -p " + key + " -s 100";
}

Image screenshot(const SwayWindow &w, const std::string &png)
{
    std::string where = std::to_string(w.x) + "," + std::to_string(w.y) + " " + std::to_string(w.width) + "x" +
                        std::to_string(w.height);
    return w.id && sh("grim -g \"" + where + "\" " + png) == 0 ? read_png(png) : Image();
}

}  // namespace outside
