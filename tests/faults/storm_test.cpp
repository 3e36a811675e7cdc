// Storms while the program draws: floods of real (XTEST) key presses with
// every combination of the modifiers, held keys that auto-repeat, and many
// close requests at once. None of it may crash it, raise a GL error in its
// frames or change its picture; Escape, or the first close request, ends it
// with status 1 and not a word on stderr.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run.h"

namespace outside {
namespace {

class Storm : public ::testing::Test {
protected:
    Display *d = nullptr;
    Program p;
    Window win = 0;
    std::vector<std::string> held;   // let go in TearDown whatever happened

    void SetUp() override
    {
        XSetErrorHandler(ignore_x_errors);
        d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr) << "no X display";
        ASSERT_TRUE(p.start());
        win = wait_for_window(d, "OpenGL", p.pid(), p, 20000);
        ASSERT_NE(win, 0u) << "no window (" << p.describe_end() << ", stderr: " << p.err() << ")";
        ASSERT_TRUE(p.draws(50, 10000)) << "not drawing";
    }

    void TearDown() override
    {
        for (const std::string &k : held)
            xdotool("keyup " + k);
        if (d)
            XCloseDisplay(d);
    }

    // The whole run's own GL calls raised nothing, and it was quiet.
    void expect_clean_run()
    {
        const glcheck_record *r = p.record();
        ASSERT_NE(r, nullptr) << "the checking library was not loaded";
        EXPECT_EQ(r->swaps_no_context, 0u);
        EXPECT_EQ(r->gl_errors, 0u) << "first: 0x" << std::hex << r->first_error << std::dec << " before swap "
                                    << r->first_error_swap << " of " << r->swaps;
        EXPECT_EQ(r->boxes, 0u) << "a box: " << r->box_text;
        EXPECT_EQ(p.out(), "") << "on stdout";
        EXPECT_EQ(p.err(), "") << "on stderr";
    }

    void expect_normal_end(Clock::time_point asked, int within_ms)
    {
        ASSERT_TRUE(p.ends_within(std::max(within_ms - ms_since(asked), 0)))
            << "still running " << within_ms << " ms later";
        RecordProperty("end_ms", ms_since(asked));
        ASSERT_TRUE(WIFEXITED(p.status())) << p.describe_end() << ", stderr: " << p.err();
        EXPECT_EQ(WEXITSTATUS(p.status()), 1);
    }
};

int differing_pixels(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    if (a.size() != b.size())
        return -1;
    int n = 0;
    for (size_t i = 0; i + 2 < a.size(); i += 3)
        n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n;
}

// Ordinary keys, arrows, navigation and function keys (F10 among them, the
// menu key), and "" for the modifiers alone (Alt alone is the menu key too).
// Never Escape, which ends the program.
const char *const storm_keys[] = {
    "",      "a",         "q",      "z",    "m",    "5",    "0",      "space", "Return",   "Tab",
    "BackSpace", "minus", "comma",  "slash", "bracketleft", "Left", "Right", "Up", "Down", "Home",
    "End",   "Prior",     "Next",   "Insert", "Delete", "KP_Enter", "F1", "F2", "F3",
    "F4",    "F5",        "F6",     "F7",   "F8",   "F9",   "F10",    "F11",   "F12",
};
const char *const modifiers[] = {"shift", "ctrl", "alt", "super"};

TEST_F(Storm, KeysWhileDrawingThenEscapeStillEnds)
{
    std::vector<unsigned char> before = screenshot(win, "before");
    int white = 0;
    for (size_t i = 0; i + 2 < before.size(); i += 3)
        white += before[i] == 255 && before[i + 1] == 255 && before[i + 2] == 255;
    ASSERT_GT(white, 5000) << "no band to compare with";
    ASSERT_TRUE(focus(d, win)) << "the window never got the input focus";
    XKeyboardState kb;
    XGetKeyboardControl(d, &kb);
    ASSERT_EQ(kb.global_auto_repeat, AutoRepeatModeOn) << "held keys would not repeat";

    // Every set of modifiers with every key: each chord pressed in order and
    // let go, all in one burst, twice over.
    std::vector<std::string> chords;
    uint64_t presses = 0;   // key presses that reach a client
    for (unsigned set = 0; set < 16; ++set)
        for (const char *key : storm_keys) {
            std::string chord;
            for (unsigned m = 0; m < 4; ++m)
                if (set & (1u << m))
                    chord += std::string(chord.empty() ? "" : "+") + modifiers[m];
            if (*key)
                chord += std::string(chord.empty() ? "" : "+") + key;
            // Alt+F4 with any other modifiers but Ctrl is a close (WM_SYSKEYDOWN).
            if (chord.empty() || ((set & 4) && std::string(key) == "F4"))
                continue;
            chords.push_back(chord);
            // NOTE: Ctrl+Alt+Fn is the X server's own (XKB switches virtual
            // terminals with it) and reaches no client: only the modifiers do.
            bool server_takes = (set & 3) == 2 && (set & 4) && key[0] == 'F';
            presses += (uint64_t)std::count(chord.begin(), chord.end(), '+') + (server_takes ? 0 : 1);
        }
    presses *= 2;
    std::string flood;
    for (int round = 0; round < 2; ++round)
        for (const std::string &c : chords)
            flood += " keydown --delay 0 " + c + " keyup --delay 0 " + c;
    // Ten keys down together, let go in another order.
    const std::string ten = "a s d f g h j k l semicolon", back = "l h a k d semicolon s j g f";
    for (int round = 0; round < 20; ++round) {
        flood += " keydown --delay 0 " + ten + " keyup --delay 0 " + back;
        presses += 10;
    }
    RecordProperty("chords", (int)chords.size());
    RecordProperty("flood_presses", (int)presses);

    const glcheck_record *r = p.record();
    ASSERT_NE(r, nullptr) << "the checking library was not loaded";
    uint64_t frames = p.swaps(), downs = r->key_downs, ups = r->key_ups, repeats = r->key_repeats;
    auto flooded = Clock::now();
    ASSERT_EQ(xdotool(flood, 120), 0);
    RecordProperty("flood_ms", ms_since(flooded));
    ASSERT_TRUE(p.running()) << "ended by the flood, " << p.describe_end() << ", stderr: " << p.err();
    EXPECT_GT(p.swaps(), frames) << "no frame while the flood went in";
    // The whole flood reached the program and was taken in while it drew
    // (more, if a stalled xdotool let the server auto-repeat a key).
    // NOTE: SDL reads a release and a press of one key with the same server
    // time (one chord's Shift up, the next one's down) as an auto-repeat: the
    // release is dropped and the press marked as a repeat. So each press
    // comes as a down, and as an up or the next press's repeat mark.
    ASSERT_TRUE(p.draws(20, 10000));
    uint64_t took_downs = r->key_downs - downs, took_ups = r->key_ups - ups, took_repeats = r->key_repeats - repeats;
    RecordProperty("flood_downs_taken", (int)took_downs);
    RecordProperty("flood_ups_taken", (int)took_ups);
    RecordProperty("flood_repeats_taken", (int)took_repeats);
    EXPECT_GE(took_downs, presses) << "presses lost on the way";
    EXPECT_GE(took_ups + took_repeats, presses) << "releases lost on the way";

    // Held as a finger holds them, long past the server's repeat delay, one
    // chord at a time (only the last key pressed repeats).
    for (const char *chord : {"a", "Left", "F5", "shift+Right", "ctrl+Down", "alt+x", "ctrl+alt+Up", "super+space",
                              "shift+ctrl+alt+super+F12", "alt+F10"}) {
        held = {chord};
        uint64_t from = p.swaps(), repeats = r->key_repeats;
        EXPECT_EQ(xdotool(std::string("keydown ") + chord), 0) << chord;
        pause_ms(800);
        EXPECT_EQ(xdotool(std::string("keyup ") + chord), 0) << chord;
        held.clear();
        ASSERT_TRUE(p.running()) << "ended by holding " << chord << ", " << p.describe_end();
        EXPECT_GT(p.swaps(), from) << "no frame while " << chord << " was held";
        EXPECT_GT(r->key_repeats, repeats) << chord << " did not repeat";
    }
    RecordProperty("held_repeats_taken", (int)r->key_repeats);

    // Still drawing, and the same picture: no key changes the scene.
    ASSERT_TRUE(p.draws(50, 10000)) << "stopped drawing after the storm";
    std::vector<unsigned char> after = screenshot(win, "after");
    EXPECT_EQ(differing_pixels(before, after), 0) << "the keys changed the picture";
    EXPECT_EQ(p.err(), "") << "on stderr during the storm";

    auto asked = Clock::now();
    held = {"Escape"};
    EXPECT_EQ(xdotool("keydown Escape"), 0);
    expect_normal_end(asked, 5000);
    expect_clean_run();
}

struct Burst {
    const char *name;
    int bursts, each;   // close requests: `bursts` flushes of `each`, ~2 ms apart
};

void PrintTo(const Burst &b, std::ostream *os) { *os << b.name; }

class CloseStorm : public Storm, public ::testing::WithParamInterface<Burst> {};

// What a window manager sends for its close button, sent many times over.
TEST_P(CloseStorm, EndsOnceWithOne)
{
    Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False), del = XInternAtom(d, "WM_DELETE_WINDOW", False);
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = win;
    e.xclient.message_type = protocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)del;
    e.xclient.data.l[1] = CurrentTime;
    RecordProperty("close_requests", GetParam().bursts * GetParam().each);

    auto asked = Clock::now();
    for (int b = 0; b < GetParam().bursts; ++b) {
        for (int i = 0; i < GetParam().each; ++i)
            XSendEvent(d, win, False, NoEventMask, &e);
        XFlush(d);
        if (b + 1 < GetParam().bursts)
            pause_ms(2);
    }
    XSync(d, False);
    expect_normal_end(asked, 5000);
    expect_clean_run();
    ASSERT_NE(p.record(), nullptr);
    EXPECT_GE(p.record()->close_requests, 1u);
    RecordProperty("close_requests_taken", (int)p.record()->close_requests);
    EXPECT_TRUE(mapped_windows(d, "Error").empty()) << "a box at the end";
}

INSTANTIATE_TEST_SUITE_P(Requests, CloseStorm,
                         ::testing::Values(Burst{"AllAtOnce", 1, 500}, Burst{"InBursts", 25, 20}),
                         [](const ::testing::TestParamInfo<Burst> &i) { return std::string(i.param.name); });

}  // namespace
}  // namespace outside
