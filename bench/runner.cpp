// The benchmark's runner. On the display it is given it starts each
// contestant in turn, round after round (A B C A B C ...), so that a drift in
// the machine's speed falls on all of them alike, and writes down per run:
// frames per second over a steady stretch, CPU time per frame over the same
// stretch (/proc/PID/stat: all threads), peak resident memory (ru_maxrss) and
// the time from the start to the first presented frame.
//
//   runner --glcheck LIB --out DIR [--rounds N] [--seconds S] [--warmup S]
//          [--pair A,B]... -- NAME END PROGRAM ARGS... [-- NAME END ...]
//
// END is how a run ends: "escape" holds Escape down in its window as a user
// does, "term" sends SIGTERM; a program still there 5 s after its Escape
// gets SIGTERM, and the run says so. Each --pair A,B gives the ratio of A's
// frame rate to B's, round by round; the first pair also gets the bars (A's
// start-up and memory against B's). Before the first round each contestant
// is started once, untimed, to its first frame: the files it loads are then
// in memory for every round alike (Wine also settles its prefix), and one
// whose frames cannot be counted is left out.
//
// Frames are counted by the preloaded LIB (tests/support/glcheck.c, with
// GLCHECK_BENCH=1: it does nothing else per frame); the rest is run.h's.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run.h"

using namespace outside;

struct Contestant {
    std::string name, end;
    std::vector<std::string> argv;
};

struct Result {
    int round = 0;
    std::string name, note;   // how the run ended, or why it failed
    bool ok = false;
    double fps = 0, cpu_ms_per_frame = 0, first_ms = 0, rss_mb = 0;
    unsigned long long frames = 0;
    glcheck_record first = {};   // the record at the first frame: buffers, renderer
};

static std::string glcheck, dir;
static Display *dpy;

// utime + stime of every thread of the process, in seconds; < 0 once it is gone.
static double cpu_seconds(long pid)
{
    std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    size_t p = stat.rfind(')');   // the command name may hold spaces
    unsigned long long utime = 0, stime = 0;
    // After ")": state, then fields 4..13, then utime (14) and stime (15).
    if (p == std::string::npos ||
        sscanf(stat.c_str() + p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
        return -1;
    return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

static double seconds_between(int64_t from_ns, int64_t to_ns) { return (double)(to_ns - from_ns) / 1e9; }

// Starts c and waits (60 s at most: Wine's first start is slow) for its first frame.
static bool start(Program &p, const Contestant &c, const std::string &files)
{
    Launch l;
    l.argv = c.argv;
    l.preload = glcheck;
    l.set = {"GLCHECK_BENCH=1"};
    l.files = files;
    return p.start(l) && wait_for([&] { return p.swaps() > 0 || !p.running(); }, 60000) && p.swaps() > 0;
}

static Result measure(const Contestant &c, int round, double warmup, double seconds)
{
    Result run;
    run.round = round;
    run.name = c.name;
    Program p;
    if (!start(p, c, dir + "/" + c.name + "-" + std::to_string(round))) {
        run.note = "no frame (" + p.describe_end() + ")";
        return run;
    }
    run.first = p.snapshot();
    int64_t started = std::chrono::duration_cast<std::chrono::nanoseconds>(p.started().time_since_epoch()).count();
    run.first_ms = seconds_between(started, run.first.first_ns) * 1e3;

    // A steady stretch: after the warm-up, from one sample to the next.
    pause_ms((int)(warmup * 1e3));
    glcheck_record a = p.snapshot();
    double cpu_a = cpu_seconds(a.pid);
    pause_ms((int)(seconds * 1e3));
    glcheck_record b = p.snapshot();
    double cpu_b = cpu_seconds(b.pid);

    run.note = "SIGTERM";
    if (c.end == "escape") {
        Window w = wait_for_window(dpy, "OpenGL", a.pid, 5000);
        bool gone = w && focus(dpy, w) && hold_key("Escape") && p.ends_within(5000);
        run.note = gone ? "Escape" : w ? "Escape missed: SIGTERM" : "no window found: SIGTERM";
    }
    if (!p.stop(SIGTERM))
        run.note += ", then SIGKILL";
    run.frames = p.snapshot().swaps;
    run.rss_mb = (double)p.usage().ru_maxrss / 1024.0;   // ru_maxrss is in KiB

    unsigned long long frames = b.swaps - a.swaps;
    if (frames == 0 || b.last_ns <= a.last_ns || cpu_a < 0 || cpu_b < 0) {
        run.note = "no frames in the stretch (" + run.note + ")";
        return run;
    }
    run.fps = (double)frames / seconds_between(a.last_ns, b.last_ns);
    run.cpu_ms_per_frame = (cpu_b - cpu_a) * 1000.0 / (double)frames;
    run.ok = true;
    return run;
}

// --- the summary --------------------------------------------------------------

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
    s.min = v.front(), s.max = v.back();
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    return s;
}

static Stat stat_of(const std::vector<Result> &runs, const std::string &name, double Result::*field)
{
    std::vector<double> v;
    for (const Result &r : runs)
        if (r.ok && r.name == name)
            v.push_back(r.*field);
    return stat(v);
}

static void summarise(const std::vector<Contestant> &contestants, const std::vector<Result> &runs,
                      const std::vector<std::string> &pairs, int rounds)
{
    FILE *tsv = fopen((dir + "/runs.tsv").c_str(), "w"), *md = fopen((dir + "/summary.md").c_str(), "w"),
         *dat = fopen((dir + "/fps.dat").c_str(), "w");
    if (!tsv || !md || !dat) {
        perror(dir.c_str());
        exit(1);
    }
    fprintf(tsv, "round\tcontestant\tok\tfps\tcpu_ms_per_frame\tpeak_rss_mb\tfirst_frame_ms\tframes\trenderer\tended\n");
    for (const Result &r : runs)
        fprintf(tsv, "%d\t%s\t%d\t%.2f\t%.4f\t%.1f\t%.1f\t%llu\t%s\t%s\n", r.round, r.name.c_str(), r.ok, r.fps,
                r.cpu_ms_per_frame, r.rss_mb, r.first_ms, r.frames, r.first.renderer, r.note.c_str());

    fprintf(md, "| contestant | runs | frames/s median | min | max | CPU ms/frame | peak RSS MB | first frame ms "
                "(median, min-max) | buffers R G B A / depth / stencil | ended by |\n|---|---|---|---|---|---|---|---|---|---|\n");
    int index = 0;
    for (const Contestant &c : contestants) {
        Stat fps = stat_of(runs, c.name, &Result::fps), cpu = stat_of(runs, c.name, &Result::cpu_ms_per_frame),
             rss = stat_of(runs, c.name, &Result::rss_mb), first = stat_of(runs, c.name, &Result::first_ms);
        const Result *any = nullptr;
        std::string ended;
        for (const Result &r : runs) {
            if (r.name != c.name)
                continue;
            any = any ? any : r.ok ? &r : nullptr;
            if (ended.find(r.note) == std::string::npos)
                ended += (ended.empty() ? "" : "; ") + r.note;
        }
        const int32_t *b = any ? any->first.bits : nullptr;
        fprintf(md, "| %s | %zu/%d | %.0f | %.0f | %.0f | %.3f | %.1f | %.0f (%.0f-%.0f) | ", c.name.c_str(), fps.n,
                rounds, fps.median, fps.min, fps.max, cpu.median, rss.median, first.median, first.min, first.max);
        if (b)
            fprintf(md, "%d %d %d %d / %d / %d | %s |\n", b[0], b[1], b[2], b[3], b[4], b[5], ended.c_str());
        else
            fprintf(md, "- | %s |\n", ended.c_str());
        if (fps.n)
            fprintf(dat, "%d \"%s\" %.2f %.2f %.2f\n", index++, c.name.c_str(), fps.median, fps.min, fps.max);
    }

    // The frame-rate ratio of each pair, round by round; the bars for the first.
    auto met = [](bool yes) { return yes ? "met" : "NOT met"; };
    fprintf(md, "\n");
    for (size_t p = 0; p < pairs.size(); ++p) {
        std::string a = pairs[p].substr(0, pairs[p].find(',')), b = pairs[p].substr(pairs[p].find(',') + 1);
        std::vector<double> ratios;
        for (int round = 1; round <= rounds; ++round) {
            double fa = 0, fb = 0;
            for (const Result &r : runs) {
                if (r.ok && r.round == round && r.name == a)
                    fa = r.fps;
                else if (r.ok && r.round == round && r.name == b)
                    fb = r.fps;
            }
            if (fa > 0 && fb > 0)
                ratios.push_back(fa / fb);
        }
        Stat ratio = stat(ratios);
        if (ratio.n)
            fprintf(md, "- frame rate %s/%s, per round: median %.3f (min %.3f, max %.3f, %zu rounds)%s%s\n", a.c_str(),
                    b.c_str(), ratio.median, ratio.min, ratio.max, ratio.n, p ? "" : "; bar >= 1.00: ",
                    p ? "" : met(ratio.median >= 1.0));
        Stat first_a = stat_of(runs, a, &Result::first_ms), first_b = stat_of(runs, b, &Result::first_ms);
        Stat rss_a = stat_of(runs, a, &Result::rss_mb), rss_b = stat_of(runs, b, &Result::rss_mb);
        if (p == 0 && first_a.n && first_b.n)
            fprintf(md, "- first frame, medians: %s %.0f ms, %s %.0f ms; bar <= the peer's: %s\n", a.c_str(),
                    first_a.median, b.c_str(), first_b.median, met(first_a.median <= first_b.median));
        if (p == 0 && rss_a.n && rss_b.n)
            fprintf(md, "- peak memory, medians: %s %.1f MB, %s %.1f MB (x%.3f); bar <= x1.10: %s\n", a.c_str(),
                    rss_a.median, b.c_str(), rss_b.median, rss_a.median / rss_b.median,
                    met(rss_a.median <= 1.1 * rss_b.median));
    }
    fclose(tsv);
    fclose(md);
    fclose(dat);
}

static void usage()
{
    fprintf(stderr, "usage: runner --glcheck LIB --out DIR [--rounds N] [--seconds S] [--warmup S] [--pair A,B]...\n"
                    "              -- NAME END PROGRAM ARGS... [-- NAME END PROGRAM ARGS...]\n");
    exit(2);
}

int main(int argc, char **argv)
{
    std::vector<std::string> pairs;
    int rounds = 5;
    double seconds = 3, warmup = 0.5;
    std::vector<Contestant> contestants;
    int i = 1;
    for (; i + 1 < argc && strcmp(argv[i], "--") != 0; i += 2) {
        std::string opt = argv[i], value = argv[i + 1];
        if (opt == "--glcheck")
            glcheck = value;
        else if (opt == "--out")
            dir = value;
        else if (opt == "--rounds")
            rounds = atoi(value.c_str());
        else if (opt == "--seconds")
            seconds = atof(value.c_str());
        else if (opt == "--warmup")
            warmup = atof(value.c_str());
        else if (opt == "--pair")
            pairs.push_back(value);
        else
            usage();
    }
    while (i + 3 < argc && strcmp(argv[i], "--") == 0) {   // -- NAME END PROGRAM at the least
        Contestant c{argv[i + 1], argv[i + 2], {}};
        for (i += 3; i < argc && strcmp(argv[i], "--") != 0; ++i)
            c.argv.push_back(argv[i]);
        if (c.end != "escape" && c.end != "term")
            usage();
        contestants.push_back(c);
    }
    if (i < argc || glcheck.empty() || dir.empty() || contestants.empty() || rounds < 1)
        usage();
    if (pairs.empty())
        pairs.push_back("sineband,freeglut");
    XSetErrorHandler(ignore_x_errors);
    if (!(dpy = XOpenDisplay(nullptr))) {
        fprintf(stderr, "runner: no X display\n");
        return 1;
    }

    for (auto c = contestants.begin(); c != contestants.end();) {
        Program p;
        bool counted = start(p, *c, dir + "/" + c->name + "-0");
        pid_t drawing = p.snapshot().pid;
        if (drawing > 0 && drawing != p.pid())
            kill(drawing, SIGKILL);
        p.stop(SIGKILL);
        printf("untimed start  %-18s %s\n", c->name.c_str(), counted ? "frames counted" : "no frame: left out");
        c = counted ? c + 1 : contestants.erase(c);
    }
    std::vector<Result> runs;
    for (int round = 1; round <= rounds; ++round)
        for (const Contestant &c : contestants) {
            Result r = measure(c, round, warmup, seconds);
            if (r.ok)
                printf("round %d  %-18s %8.1f fps  %6.3f ms CPU/frame  %6.1f MB  first frame %7.1f ms  (%s)\n",
                       round, c.name.c_str(), r.fps, r.cpu_ms_per_frame, r.rss_mb, r.first_ms, r.note.c_str());
            else
                printf("round %d  %-18s failed: %s\n", round, c.name.c_str(), r.note.c_str());
            fflush(stdout);
            runs.push_back(r);
            pause_ms(200);
        }
    summarise(contestants, runs, pairs, rounds);
    XCloseDisplay(dpy);
    return 0;
}
