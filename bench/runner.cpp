// The benchmark's runner. On the display it is given, it starts each
// contestant in turn, round after round (A B C A B C ...), so that a drift in
// the machine's speed falls on all of them alike, and writes down per run:
// frames per second over a steady stretch, CPU time per frame over the same
// stretch (/proc/PID/stat: all threads), peak resident memory (ru_maxrss from
// wait4) and the time from the fork to the first presented frame.
//
//   runner --shim LIB --out DIR [--rounds N] [--seconds S] [--warmup S]
//          [--pair A,B]... -- NAME END PROGRAM ARGS... [-- NAME END PROGRAM ...]
//
// END is how a run ends: "escape" presses Escape with xdotool as a user would
// (pointer in, focus, key), "term" sends SIGTERM. A program still there 5 s
// after its Escape gets SIGTERM, and the run says so. Each --pair A,B gives
// the ratio of A's frame rate to B's, round by round; the first pair also
// gets the bars (A's start-up and memory against B's).
//
// Frames are counted by the preloaded LIB (bench/swapcount.c), nothing else.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "swapcount.h"

struct Contestant {
    std::string name, end;
    std::vector<std::string> argv;
};

struct Run {
    int round = 0;
    std::string name;
    bool ok = false;
    std::string note;          // why a run failed, or how it ended
    double fps = 0, cpu_ms_per_frame = 0, first_ms = 0, rss_mb = 0;
    double cpu_total_s = 0;     // the whole run, start-up and ending too (rusage)
    unsigned long long frames = 0;
    int bits[6] = {0, 0, 0, 0, 0, 0};
    std::string renderer;
};

static int64_t now_ns()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec;
}

static void sleep_s(double s)
{
    struct timespec t = {(time_t)s, (long)((s - (time_t)s) * 1e9)};
    nanosleep(&t, nullptr);
}

// A mapped record of one process; the newest of a run's is the one watched.
struct Record {
    const swapcount_record *r = nullptr;
    long pid = 0;
};

// A consistent copy: the swap in progress, if any, is waited out.
static swapcount_record snapshot(const swapcount_record *r)
{
    swapcount_record copy;
    for (;;) {
        uint32_t before = __atomic_load_n(&r->seq, __ATOMIC_ACQUIRE);
        memcpy(&copy, (const void *)r, sizeof copy);
        __atomic_thread_fence(__ATOMIC_ACQUIRE);
        uint32_t after = __atomic_load_n(&r->seq, __ATOMIC_ACQUIRE);
        if (before == after && !(before & 1))
            return copy;
    }
}

// The record of the run's process that has presented the most frames.
static Record find_record(const std::string &dir, const std::string &stem)
{
    Record best;
    unsigned long long most = 0;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return best;
    while (struct dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name.compare(0, stem.size() + 1, stem + ".") != 0)
            continue;
        std::string path = dir + "/" + name;
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        void *p = mmap(nullptr, sizeof(swapcount_record), PROT_READ, MAP_SHARED, fd, 0);
        close(fd);
        if (p == MAP_FAILED)
            continue;
        auto *r = static_cast<const swapcount_record *>(p);
        swapcount_record s = snapshot(r);
        if (s.version == SWAPCOUNT_VERSION && s.frames >= most && s.frames > 0) {
            if (best.r)
                munmap((void *)best.r, sizeof(swapcount_record));
            most = s.frames;
            best.r = r;
            best.pid = atol(name.c_str() + stem.size() + 1);
        } else {
            munmap(p, sizeof(swapcount_record));
        }
    }
    closedir(d);
    return best;
}

// utime + stime of every thread of the process, in seconds; < 0 once it is gone.
static double cpu_seconds(long pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    FILE *f = fopen(path, "r");
    if (!f)
        return -1;
    char buf[4096];
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = 0;
    const char *p = strrchr(buf, ')');   // the command name may hold spaces
    if (!p)
        return -1;
    unsigned long long utime = 0, stime = 0;
    // After ")": state, then fields 4..13, then utime (14) and stime (15).
    if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

static std::string command_output(const std::string &cmd)
{
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// The process's visible top-level window, as xdotool finds it by _NET_WM_PID.
static std::string window_of(long pid)
{
    std::string out = command_output("timeout 5 xdotool search --onlyvisible --pid " + std::to_string(pid) +
                                     " 2>/dev/null | head -n 1");
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// Escape as a user presses it. NOTE: the key is held for a tenth of a second:
// the program reads Escape from its key table between frames, and a press and
// release that reach it in the same pass leave no trace there.
static void press_escape(const std::string &window)
{
    std::string w = window;
    std::string cmd = "timeout 5 xdotool mousemove --window " + w + " 20 20 && timeout 5 xdotool windowfocus " + w +
                      " && timeout 5 xdotool keydown Escape && sleep 0.1 && timeout 5 xdotool keyup Escape";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "runner: xdotool could not press Escape in window %s\n", w.c_str());
}

// Waits up to `seconds` for the child; true with its rusage once it has ended.
static bool reap(pid_t pid, double seconds, struct rusage *ru)
{
    int64_t until = now_ns() + (int64_t)(seconds * 1e9);
    int status;
    do {
        pid_t got = wait4(pid, &status, WNOHANG, ru);
        if (got == pid)
            return true;
        if (got < 0)
            return false;
        sleep_s(0.01);
    } while (now_ns() < until);
    return false;
}

static void finish(pid_t pid, const Contestant &c, long record_pid, Run &run)
{
    struct rusage ru = {};
    bool gone = false;
    if (c.end == "escape") {
        std::string window = window_of(record_pid);
        if (!window.empty()) {
            press_escape(window);
            gone = reap(pid, 5, &ru);
        }
        run.note = gone ? "Escape" : window.empty() ? "no window found: SIGTERM" : "Escape missed: SIGTERM";
    } else {
        run.note = "SIGTERM";
    }
    if (!gone) {
        kill(pid, SIGTERM);
        if (!reap(pid, 5, &ru)) {
            kill(pid, SIGKILL);
            reap(pid, 5, &ru);
            run.note += ", then SIGKILL";
        }
    }
    run.rss_mb = (double)ru.ru_maxrss / 1024.0;   // ru_maxrss is in KiB
    run.cpu_total_s = (double)(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                      (double)(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

static Run measure(const Contestant &c, int round, const std::string &dir, const std::string &shim, double warmup,
                   double seconds)
{
    Run run;
    run.round = round;
    run.name = c.name;
    std::string stem = "rec-" + c.name + "-" + std::to_string(round);
    std::string prefix = dir + "/" + stem;

    int64_t start = now_ns();
    pid_t pid = fork();
    if (pid < 0) {
        run.note = "fork failed";
        return run;
    }
    if (pid == 0) {
        setenv("SWAPCOUNT_OUT", prefix.c_str(), 1);
        setenv("LD_PRELOAD", shim.c_str(), 1);
        int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        std::vector<char *> argv;
        for (const auto &a : c.argv)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    // The first frame, 60 s at most (Wine's first start in a prefix is slow).
    Record rec;
    struct rusage ru;
    while (!(rec = find_record(dir, stem)).r) {
        if (now_ns() - start > 60 * 1000000000LL || reap(pid, 0, &ru)) {
            run.note = "no frame";
            kill(pid, SIGKILL);
            reap(pid, 5, &ru);
            return run;
        }
        sleep_s(0.002);
    }
    swapcount_record first = snapshot(rec.r);
    run.first_ms = (double)(first.first_ns - start) / 1e6;
    memcpy(run.bits, first.bits, sizeof run.bits);
    run.renderer = std::string(first.renderer, strnlen(first.renderer, sizeof first.renderer));

    // A steady stretch: after the warm-up, from one sample to the next.
    sleep_s(warmup);
    swapcount_record a = snapshot(rec.r);
    double cpu_a = cpu_seconds(rec.pid);
    sleep_s(seconds);
    swapcount_record b = snapshot(rec.r);
    double cpu_b = cpu_seconds(rec.pid);

    finish(pid, c, rec.pid, run);
    run.frames = snapshot(rec.r).frames;
    munmap((void *)rec.r, sizeof(swapcount_record));

    unsigned long long frames = b.frames - a.frames;
    if (frames == 0 || b.last_ns <= a.last_ns || cpu_a < 0 || cpu_b < 0) {
        run.note = "no frames in the stretch (" + run.note + ")";
        return run;
    }
    run.fps = (double)frames / ((double)(b.last_ns - a.last_ns) / 1e9);
    run.cpu_ms_per_frame = (cpu_b - cpu_a) * 1000.0 / (double)frames;
    run.ok = true;
    return run;
}

// --- summary ----------------------------------------------------------------

struct Stat {
    double median = 0, min = 0, max = 0;
    size_t n = 0;
};

static Stat stat(std::vector<double> v)
{
    Stat s;
    s.n = v.size();
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.min = v.front();
    s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

static std::vector<double> column(const std::vector<Run> &runs, const std::string &name, double Run::*field)
{
    std::vector<double> v;
    for (const auto &r : runs)
        if (r.ok && r.name == name)
            v.push_back(r.*field);
    return v;
}

static void usage()
{
    fprintf(stderr, "usage: runner --shim LIB --out DIR [--rounds N] [--seconds S] [--warmup S] [--pair A,B]\n"
                    "              -- NAME END PROGRAM ARGS... [-- NAME END PROGRAM ARGS...]\n");
    exit(2);
}

int main(int argc, char **argv)
{
    std::string shim, dir;
    std::vector<std::string> pairs;
    int rounds = 5;
    double seconds = 3, warmup = 0.5;
    std::vector<Contestant> contestants;

    int i = 1;
    for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        std::string opt = argv[i];
        if (i + 1 >= argc)
            usage();
        const char *value = argv[++i];
        if (opt == "--shim")
            shim = value;
        else if (opt == "--out")
            dir = value;
        else if (opt == "--rounds")
            rounds = atoi(value);
        else if (opt == "--seconds")
            seconds = atof(value);
        else if (opt == "--warmup")
            warmup = atof(value);
        else if (opt == "--pair")
            pairs.push_back(value);
        else
            usage();
    }
    while (i < argc) {   // at a "--"
        Contestant c;
        ++i;
        if (i + 2 >= argc)   // NAME END PROGRAM at the least
            usage();
        c.name = argv[i++];
        c.end = argv[i++];
        for (; i < argc && strcmp(argv[i], "--") != 0; ++i)
            c.argv.push_back(argv[i]);
        if (c.argv.empty() || (c.end != "escape" && c.end != "term"))
            usage();
        contestants.push_back(c);
    }
    if (shim.empty() || dir.empty() || contestants.empty() || rounds < 1)
        usage();
    if (pairs.empty())
        pairs.push_back("sineband,freeglut");

    std::vector<Run> runs;
    for (int round = 1; round <= rounds; ++round) {
        for (const auto &c : contestants) {
            Run r = measure(c, round, dir, shim, warmup, seconds);
            if (r.ok)
                printf("round %d  %-16s %8.1f fps  %6.3f ms CPU/frame  %6.1f MB  first frame %7.1f ms  (%s)\n",
                       round, c.name.c_str(), r.fps, r.cpu_ms_per_frame, r.rss_mb, r.first_ms, r.note.c_str());
            else
                printf("round %d  %-16s failed: %s\n", round, c.name.c_str(), r.note.c_str());
            fflush(stdout);
            runs.push_back(r);
            sleep_s(0.2);
        }
    }

    // Every run, as measured.
    FILE *tsv = fopen((dir + "/runs.tsv").c_str(), "w");
    if (!tsv) {
        perror("runs.tsv");
        return 1;
    }
    fprintf(tsv, "round\tcontestant\tok\tfps\tcpu_ms_per_frame\tpeak_rss_mb\tfirst_frame_ms\tframes\tcpu_total_s\t"
                 "bits_rgbads\trenderer\tended\n");
    for (const auto &r : runs)
        fprintf(tsv, "%d\t%s\t%d\t%.2f\t%.4f\t%.1f\t%.1f\t%llu\t%.3f\t%d%d%d%d-%d-%d\t%s\t%s\n", r.round,
                r.name.c_str(), r.ok ? 1 : 0, r.fps, r.cpu_ms_per_frame, r.rss_mb, r.first_ms, r.frames,
                r.cpu_total_s, r.bits[0], r.bits[1],
                r.bits[2], r.bits[3], r.bits[4], r.bits[5], r.renderer.c_str(), r.note.c_str());
    fclose(tsv);

    // The table, and the chart's data.
    FILE *md = fopen((dir + "/summary.md").c_str(), "w");
    FILE *dat = fopen((dir + "/fps.dat").c_str(), "w");
    if (!md || !dat) {
        perror("summary");
        return 1;
    }
    fprintf(md, "| contestant | runs | frames/s median | min | max | CPU ms/frame | peak RSS MB | first frame ms "
                "(median, min-max) | buffers R G B A / depth / stencil | ended by |\n");
    fprintf(md, "|---|---|---|---|---|---|---|---|---|---|\n");
    int index = 0;
    for (const auto &c : contestants) {
        Stat fps = stat(column(runs, c.name, &Run::fps));
        Stat cpu = stat(column(runs, c.name, &Run::cpu_ms_per_frame));
        Stat rss = stat(column(runs, c.name, &Run::rss_mb));
        Stat first = stat(column(runs, c.name, &Run::first_ms));
        const Run *any = nullptr;
        std::string ended;
        for (const auto &r : runs) {
            if (r.name != c.name)
                continue;
            if (r.ok && !any)
                any = &r;
            if (ended.find(r.note) == std::string::npos)
                ended += (ended.empty() ? "" : "; ") + r.note;
        }
        char bits[64] = "-";
        if (any)
            snprintf(bits, sizeof bits, "%d %d %d %d / %d / %d", any->bits[0], any->bits[1], any->bits[2],
                     any->bits[3], any->bits[4], any->bits[5]);
        fprintf(md, "| %s | %zu/%d | %.0f | %.0f | %.0f | %.3f | %.1f | %.0f (%.0f-%.0f) | %s | %s |\n", c.name.c_str(),
                fps.n, rounds, fps.median, fps.min, fps.max, cpu.median, rss.median, first.median, first.min,
                first.max, bits, ended.c_str());
        if (fps.n)
            fprintf(dat, "%d \"%s\" %.2f %.2f %.2f\n", index++, c.name.c_str(), fps.median, fps.min, fps.max);
    }
    fclose(dat);

    // The bars, from the first pair named (sineband against its peer); the
    // frame-rate ratio, round by round, for every pair.
    auto met = [](bool yes) { return yes ? "met" : "NOT met"; };
    fprintf(md, "\n");
    for (size_t p = 0; p < pairs.size(); ++p) {
        std::string a = pairs[p].substr(0, pairs[p].find(',')), b = pairs[p].substr(pairs[p].find(',') + 1);
        std::vector<double> ratios;
        for (int round = 1; round <= rounds; ++round) {
            double fa = 0, fb = 0;
            for (const auto &r : runs) {
                if (!r.ok || r.round != round)
                    continue;
                if (r.name == a)
                    fa = r.fps;
                else if (r.name == b)
                    fb = r.fps;
            }
            if (fa > 0 && fb > 0)
                ratios.push_back(fa / fb);
        }
        Stat ratio = stat(ratios);
        if (ratio.n)
            fprintf(md, "- frame rate %s/%s, per round: median %.3f (min %.3f, max %.3f, %zu rounds)%s%s\n",
                    a.c_str(), b.c_str(), ratio.median, ratio.min, ratio.max, ratio.n,
                    p == 0 ? "; bar >= 1.00: " : "", p == 0 ? met(ratio.median >= 1.0) : "");
        if (p != 0)
            continue;
        Stat first_a = stat(column(runs, a, &Run::first_ms)), first_b = stat(column(runs, b, &Run::first_ms));
        Stat rss_a = stat(column(runs, a, &Run::rss_mb)), rss_b = stat(column(runs, b, &Run::rss_mb));
        if (first_a.n && first_b.n)
            fprintf(md, "- first frame, medians: %s %.0f ms, %s %.0f ms; bar <= the peer's: %s\n", a.c_str(),
                    first_a.median, b.c_str(), first_b.median, met(first_a.median <= first_b.median));
        if (rss_a.n && rss_b.n)
            fprintf(md, "- peak memory, medians: %s %.1f MB, %s %.1f MB (x%.3f); bar <= x1.10: %s\n", a.c_str(),
                    rss_a.median, b.c_str(), rss_b.median, rss_a.median / rss_b.median,
                    met(rss_a.median <= 1.1 * rss_b.median));
    }
    fclose(md);
    return 0;
}
