// The message-queue fuzzer: input bytes become host events (keys, sizes,
// minimise and restore, exposures, close requests, focus) and the harness's
// own PostMessage, PostQuitMessage and DestroyWindow calls, fed through the
// scripted host into the layer's queue and pumped into the program's own
// WndProc the way WinMain pumps it. Any broken rule aborts with one line
// saying which.
//
// Input: one set-up byte, then operations. An operation is one byte
//   bits 0-4  what it is (see Op)
//   bit 5     run it in the pump, after the next dispatched message,
//             rather than inside the host's next poll
//   bit 6     the last operation of this turn
//   bit 7     aim it at no window or at a handle that is not a window
// followed by its arguments. Reads past the end give zeros. Once the input
// is used up the harness asks to quit, and the run ends with WM_QUIT, as the
// program does.
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <fcntl.h>

#include <deque>

#include "fake_host.h"
#include "layer.h"

// The window procedure is compiled into this file so that its file-scope
// state (hRC, TornDown) can be put back between inputs; a separate process
// per input would be far too slow. Its PostQuitMessage calls are watched on
// their way to the layer.
static void ObservedPostQuit(int nExitCode);
#define PostQuitMessage ObservedPostQuit
#include "../../shell/wndproc.cpp"
#undef PostQuitMessage

namespace {

// The harness's own numbered posts; WM_APP + 0x51 means nothing to the program.
const UINT Tagged = 0x8000 + 0x51;
// Set in the lParam of every key message the harness posts: bits 25 to 28 are
// reserved, so a key message without it came from the keyboard.
const LPARAM Posted = 0x10000000;

struct Post {
    unsigned seq;
    HWND hwnd;
};

struct Run {
    const uint8_t *p, *end;
    HWND window;
    bool created;         // WM_CREATE has returned
    bool ready;           // ...and brought the context up
    HDC dc;               // hDC and hRC as WM_CREATE left them
    HGLRC context;
    bool torn_down;       // WM_CLOSE or WM_DESTROY has reached the program
    int keys[256];        // what the key messages so far leave in keys
    std::deque<Post> tagged;   // numbered posts not yet fetched, oldest first
    unsigned next_seq;
    bool quit_pending;    // PostQuitMessage called since the last WM_QUIT
    int quit_code;
    int quit_calls;
    bool ending;          // the input is used up and a quit was asked for
    long fetches, fetch_limit;
};

Run run;
char not_a_window;   // its address is a handle no window has

[[noreturn]] void Violation(const char *what)
{
    fprintf(stderr, "queue_fuzz: %s\n", what);
    fflush(stderr);
    abort();
}

void Expect(bool ok, const char *what)
{
    if (!ok)
        Violation(what);
}

// --- reading the input -----------------------------------------------------

bool More() { return run.p < run.end; }
uint8_t U8() { return More() ? *run.p++ : 0; }
uint16_t U16() { return (uint16_t)(U8() | U8() << 8); }
uint32_t U32() { return U16() | (uint32_t)U16() << 16; }
uint64_t U64() { return U32() | (uint64_t)U32() << 32; }

// A value of one, two, four or eight bytes, as its first byte says.
uint64_t Value()
{
    switch (U8() & 3) {
    case 0: return U8();
    case 1: return U16();
    case 2: return U32();
    default: return U64();
    }
}

// A size: 16 or 32 bits as they come, or near a value where arithmetic on
// sizes and positions tends to break.
int Dimension()
{
    static const uint32_t edges[] = {0, 1, 0xFFFFFFFF, 600, 450, 0x7FFF, 0x8000, 0xFFFF, 0x10000,
                                     0x7FFFFFFF, 0x80000000, 0x7FFFFFFF - 50};
    uint8_t mode = U8();
    switch (mode & 3) {
    case 0: return (int16_t)U16();
    case 1: return (int)U32();
    default: return (int)(edges[(mode >> 2) % (sizeof edges / sizeof *edges)] + (uint32_t)(int8_t)U8());
    }
}

// --- what the program owns -------------------------------------------------

// Everything of the program's that no message should change except as said.
void CheckProgram()
{
    Expect(memcmp(keys, run.keys, sizeof keys) == 0, "keys differs from what the key messages left in it");
    if (!run.created)
        return;
    Expect(hDC == run.dc, "hDC changed after WM_CREATE");
    Expect(hRC == run.context, "hRC changed after WM_CREATE");
    Expect(Ready == (BOOL)run.ready, "Ready changed after WM_CREATE");
    Expect(TornDown == (BOOL)run.torn_down, "TornDown does not follow WM_CLOSE and WM_DESTROY");
    // The program's context is current from WM_CREATE to the teardown.
    Expect(wglGetCurrentContext() == (run.ready && !run.torn_down ? run.context : nullptr),
           "the wrong rendering context is current");
    // Nothing is drawn here, so the scene's variables keep their start values.
    Expect(Xrot == 0 && Yrot == 0 && Zrot == 0 && Px == 0 && Px1 == 0 && Px2 == 0 && Py1 == 0 && Py2 == 0 &&
               Pz1 == 0 && Pz2 == 0,
           "the scene's variables changed without a frame being drawn");
}

// Stands in front of WndProc as the class's window procedure, sent and
// dispatched messages alike.
LRESULT CALLBACK Watch(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KEYDOWN && wParam < 256)
        run.keys[wParam] = 1;
    if (msg == WM_KEYUP && wParam < 256)
        run.keys[wParam] = 0;
    int quits = run.quit_calls;
    LRESULT result = WndProc(hWnd, msg, wParam, lParam);
    if (msg == WM_CREATE) {
        run.created = true;
        run.ready = Ready;
        run.dc = hDC;
        run.context = hRC;
        Expect(hDC == GetDC(hWnd), "hDC is not the window's own device context");
        Expect(Ready || run.quit_calls > quits, "a failed set-up did not ask to quit");
    }
    if (msg == WM_CLOSE || msg == WM_DESTROY) {
        run.torn_down = true;
        Expect(run.quit_calls > quits, "closing did not ask to quit");
    }
    CheckProgram();
    return result;
}

// --- the queue's rules -----------------------------------------------------

void ForgetPostsTo(HWND hWnd)
{
    for (auto it = run.tagged.begin(); it != run.tagged.end();)
        it = it->hwnd == hWnd ? run.tagged.erase(it) : it + 1;
}

bool IsKeyMessage(UINT m) { return m == WM_KEYDOWN || m == WM_KEYUP || m == WM_SYSKEYDOWN || m == WM_SYSKEYUP; }

// What a key message from the keyboard always looks like.
void CheckKeyboardMessage(const MSG &msg)
{
    UINT m = msg.message;
    bool up = m == WM_KEYUP || m == WM_SYSKEYUP;
    bool sys = m == WM_SYSKEYDOWN || m == WM_SYSKEYUP;
    LPARAM l = msg.lParam;
    Expect(msg.hwnd == run.window, "a key message for another window than the program's");
    Expect((l & 0xFFFF) == 1, "a key message's repeat count is not 1");
    Expect(((l >> 31) & 1) == up, "a key message's transition bit does not match its message");
    Expect(!up || ((l >> 30) & 1), "a key release without the previous-state bit");
    Expect(sys || !((l >> 29) & 1), "the Alt context bit on a non-system key message");
    Expect((uint64_t)l >> 32 == 0, "a key message's lParam has bits above 31");
    Expect(msg.wParam > 0 && msg.wParam < 255, "a key message's virtual key is out of range");
    Expect(msg.wParam < 0xA0 || msg.wParam > 0xA5, "a left/right modifier code in a key message");
}

// QUEUE_FUZZ_TRACE=1 lists every message fetched, for reading a crash's input.
const bool tracing = getenv("QUEUE_FUZZ_TRACE") != nullptr;

// Every message GetMessage returns.
void CheckFetched(const MSG &msg)
{
    if (tracing)
        fprintf(stderr, "fetched %s 0x%04x wParam 0x%llx lParam 0x%llx\n", msg.hwnd ? "window" : "thread",
                msg.message, (unsigned long long)msg.wParam, (unsigned long long)msg.lParam);
    if (msg.message == WM_QUIT) {
        Expect(run.quit_pending, "WM_QUIT without a PostQuitMessage since the last one");
        Expect(msg.wParam == (WPARAM)run.quit_code, "WM_QUIT carries another exit code than the last asked for");
        Expect(msg.hwnd == nullptr && msg.lParam == 0, "WM_QUIT is not a thread message");
        Expect(run.tagged.empty(), "WM_QUIT came while posted messages were still waiting");
        Expect(compat::layer().posted.empty(), "WM_QUIT came while the posted queue was not empty");
        run.quit_pending = false;
        return;
    }
    if (msg.message == Tagged) {
        Expect(!run.tagged.empty(), "a posted message came twice, or from nowhere");
        const Post &first = run.tagged.front();
        Expect(msg.wParam == first.seq && msg.lParam == ~(LPARAM)first.seq,
               "posted messages came out of the order they were posted in");
        Expect(msg.hwnd == first.hwnd, "a posted message came for another window");
        run.tagged.pop_front();
        return;
    }
    Expect(msg.hwnd == nullptr || msg.hwnd == run.window, "a message for a window that is not there");
    if (IsKeyMessage(msg.message) && !(msg.lParam & Posted))
        CheckKeyboardMessage(msg);
}

// --- operations -----------------------------------------------------------

enum Op {
    Nothing, Key, Key2, Key3, NamedKey, Modifier, AnyKey, Size, HugeSize, Minimize, Restore, Maximize, Expose,
    Close, FocusLost, FocusGained, Quit, PostTagged, PostTagged2, PostKey, PostOther, PostSysCommand, Destroy,
    PostChar, Ops
};

const uint8_t InPump = 0x20, EndOfTurn = 0x40, Elsewhere = 0x80;

// Keys worth reaching often: the ones the program and DefWindowProc act on,
// toggles, keypad keys whose meaning NumLock changes, and codes no keyboard has.
const int named_keys[] = {41, 61, 67, 4, 27, 40, 88, 44, 43, 42, 30, 39, 57, 83, 71, 93, 98, 99,
                          68, 69, 101, 53, 100, -1, 0, 232, 255, 256, 0x7FFFFFFF, (int)0x80000000};
const int modifiers[] = {224, 225, 226, 227, 228, 229, 230, 231, 57, 83, 71};

HWND Target(uint8_t op, uint8_t pick)
{
    if (!(op & Elsewhere))
        return run.window;
    return pick & 1 ? reinterpret_cast<HWND>(&not_a_window) : nullptr;
}

void HarnessQuit(int code)
{
    ObservedPostQuit(code);
}

void HarnessPost(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    BOOL ok = PostMessageA(hWnd, msg, wParam, lParam);
    Expect(ok == (!hWnd || IsWindow(hWnd)), "PostMessage answered wrongly for its window");
}

void KeyEvent(uint8_t op, int usb, uint8_t flags)
{
    compat::input_key(Target(op, flags >> 3), usb, flags & 1, flags & 2, flags & 4);
}

void Perform(uint8_t op)
{
    uint8_t b;
    switch ((op & 0x1F) % Ops) {
    case Nothing:
        break;
    case Key:
    case Key2:
    case Key3:
        b = U8();
        KeyEvent(op, b, U8());
        break;
    case NamedKey:
        b = U8();
        KeyEvent(op, named_keys[b % (sizeof named_keys / sizeof *named_keys)], U8());
        break;
    case Modifier:
        b = U8();
        KeyEvent(op, modifiers[(b & 0x0F) % (sizeof modifiers / sizeof *modifiers)], b >> 4);
        break;
    case AnyKey: {
        int usb = (int)U32();
        KeyEvent(op, usb, U8());
        break;
    }
    case Size: {
        int w = (int16_t)U16();
        int h = (int16_t)U16();
        fake::resize(Target(op, (uint8_t)w), w, h);
        break;
    }
    case HugeSize: {
        int w = Dimension();
        int h = Dimension();
        fake::resize(Target(op, (uint8_t)w), w, h);
        break;
    }
    case Minimize: compat::input_minimized(Target(op, 0)); break;
    case Restore: compat::input_restored(Target(op, 0)); break;
    case Maximize: compat::input_maximized(Target(op, 0)); break;
    case Expose: compat::input_expose(Target(op, 0)); break;
    case Close: compat::input_close(Target(op, 0)); break;
    case FocusLost: compat::input_focus(Target(op, 0), false); break;
    case FocusGained: compat::input_focus(Target(op, 0), true); break;
    case Quit: HarnessQuit((int)U32()); break;
    case PostTagged:
    case PostTagged2: {
        HWND hWnd = op & Elsewhere ? nullptr : run.window;
        unsigned seq = run.next_seq++;
        if (PostMessageA(hWnd, Tagged, seq, ~(LPARAM)seq))
            run.tagged.push_back({seq, hWnd});
        else
            Expect(hWnd && !IsWindow(hWnd), "PostMessage refused a live window");
        break;
    }
    case PostKey: {
        static const UINT messages[] = {WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP};
        b = U8();
        WPARAM wParam = (WPARAM)Value();
        HarnessPost(Target(op, b >> 2), messages[b & 3], wParam, (LPARAM)U32() | Posted);
        break;
    }
    case PostChar: {
        b = U8();
        WPARAM wParam = (WPARAM)Value();
        HarnessPost(Target(op, b >> 1), b & 1 ? WM_SYSCHAR : WM_CHAR, wParam, (LPARAM)U32() | Posted);
        break;
    }
    case PostOther: {
        // Messages whose parameters hold no pointers, so any values are fair.
        static const UINT messages[] = {WM_NULL,  WM_SIZE,  WM_ACTIVATE, WM_SETFOCUS,  WM_KILLFOCUS,
                                        WM_PAINT, WM_CLOSE, WM_DESTROY,  WM_MOVE,      WM_ERASEBKGND,
                                        WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_CONTEXTMENU};
        b = U8();
        WPARAM wParam = (WPARAM)Value();
        HarnessPost(Target(op, b >> 4), messages[(b & 0x0F) % (sizeof messages / sizeof *messages)], wParam,
                    (LPARAM)(int32_t)U32());
        break;
    }
    case PostSysCommand: {
        static const WPARAM commands[] = {SC_CLOSE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_KEYMENU};
        b = U8();
        WPARAM wParam = commands[(b & 7) % 5] | (b >> 4);   // the low four bits are the system's own
        HarnessPost(Target(op, b >> 3), WM_SYSCOMMAND, wParam, (LPARAM)(int16_t)U16());
        break;
    }
    case Destroy:
        if (DestroyWindow(run.window))
            ForgetPostsTo(run.window);   // its queued messages went with it
        break;
    }
    CheckProgram();
}

// Inside the host's poll at the start of each pass of the pump.
void HostTurn()
{
    if (!More()) {
        if (!run.ending) {
            run.ending = true;
            HarnessQuit(0x5EB);
        }
        return;
    }
    while (More()) {
        uint8_t op = U8();
        Perform(op);
        if (op & EndOfTurn)
            break;
    }
}

// In the pump, after a message was dispatched: the operations marked for it.
void PumpTurn()
{
    while (More() && (*run.p & InPump)) {
        uint8_t op = U8();
        Perform(op);
        if (op & EndOfTurn)
            break;
    }
}

bool Same(const MSG &a, const MSG &b)
{
    return a.hwnd == b.hwnd && a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam;
}

// WinMain's loop, with the frame left out but its swap and its Escape check kept.
void Pump()
{
    MSG msg;
    for (;;) {
        fake::at_swap(fake::swaps(), HostTurn);
        while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            MSG peeked = msg;
            BOOL got = GetMessageA(&msg, NULL, 0, 0);
            Expect(++run.fetches < run.fetch_limit, "the queue keeps handing out messages");
            Expect(got != -1, "GetMessage failed without a filter");
            Expect((got == 0) == (msg.message == WM_QUIT), "GetMessage's result does not say WM_QUIT");
            Expect(Same(peeked, msg), "GetMessage took another message than PeekMessage had shown");
            CheckFetched(msg);
            if (!got)
                return;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            CheckProgram();
            PumpTurn();
        }
        Expect(!run.quit_pending, "the queue looked empty while a quit was asked for");
        Expect(run.tagged.empty(), "the queue looked empty while posted messages were waiting");
        SwapBuffers(hDC);
        if (keys[VK_ESCAPE])
            SendMessageA(run.window, WM_CLOSE, 0, 0);
        CheckProgram();
    }
}

// The program's state as a fresh process has it.
void ResetProgram()
{
    memset(keys, 0, sizeof keys);
    hDC = nullptr;
    hRC = nullptr;
    Ready = FALSE;
    TornDown = FALSE;
    Xrot = Yrot = Zrot = 0;
    Px = Px1 = Px2 = Py1 = Py2 = Pz1 = Pz2 = 0;
}

// The set-up byte: which step of the context set-up fails, if any, and
// whether the window system draws a frame.
void Configure(uint8_t setup)
{
    fake::Config &c = fake::config();
    switch (setup & 7) {
    case 4: c.formats.clear(); break;
    case 5: c.set_format = false; break;
    case 6: c.create_context = false; break;
    case 7: c.make_current = false; break;
    }
    if (setup & 8)
        c.frame_left = 4, c.frame_top = 23, c.frame_right = 4, c.frame_bottom = 4;
}

}  // namespace

static void ObservedPostQuit(int nExitCode)
{
    run.quit_pending = true;
    run.quit_code = nExitCode;
    ++run.quit_calls;
    PostQuitMessage(nExitCode);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    compat::layer_reset();
    fake::reset();
    ResetProgram();
    run = Run{};
    run.p = data;
    run.end = data + size;
    run.fetch_limit = 1000 + 64 * (long)size;
    memset(run.keys, 0, sizeof run.keys);

    uint8_t setup = U8();
    Configure(setup);

    // WinMain's start-up.
    static char image;
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = Watch;
    wc.hInstance = reinterpret_cast<HINSTANCE>(&image);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "OpenGL";
    Expect(RegisterClassA(&wc) != 0, "the class could not be registered");

    // A failing set-up shows a message box, whose line goes to stderr.
    int saved_err = -1;
    if ((setup & 7) >= 4) {
        saved_err = dup(2);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    run.window = CreateWindowExA(0, "OpenGL", "OpenGL", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 50,
                                 50, 600, 450, NULL, NULL, wc.hInstance, NULL);
    if (saved_err >= 0) {
        dup2(saved_err, 2);
        close(saved_err);
    }
    Expect(run.window != nullptr, "the window could not be created");
    ShowWindow(run.window, SW_SHOW);
    UpdateWindow(run.window);
    SetFocus(run.window);
    CheckProgram();

    Pump();

    // The process would end here. This one gives back all it took for the
    // input, so that libFuzzer's leak check sees what the layer leaks.
    DestroyWindow(run.window);
    compat::layer_reset();
    fake::reset();
    return 0;
}
