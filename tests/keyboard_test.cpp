// Physical keys to keyboard messages: message kind, virtual-key code and the
// exact lParam bits Windows gives, then TranslateMessage's characters.
#include <gtest/gtest.h>

#include "recorder.h"

namespace {

using namespace fake::usb;

struct Press {
    int usb;
    bool down;
    bool repeat;
};

struct Row {
    const char *what;
    std::vector<Press> presses;
    std::vector<Seen> expected;   // what the focus window's queue receives
};

const Row rows[] = {
    {"first press, auto-repeat, release",
     {{A, true, false}, {A, true, true}, {A, false, false}},
     {{WM_KEYDOWN, 'A', 0x001E0001}, {WM_KEYDOWN, 'A', 0x401E0001}, {WM_KEYUP, 'A', (LPARAM)0xC01E0001}}},
    {"an extended key",
     {{Left, true, false}, {Left, false, false}},
     {{WM_KEYDOWN, VK_LEFT, 0x014B0001}, {WM_KEYUP, VK_LEFT, (LPARAM)0xC14B0001}}},
    {"Escape",
     {{Esc, true, false}},
     {{WM_KEYDOWN, VK_ESCAPE, 0x00010001}}},
    {"Alt+F4 is a system key with the context bit",
     {{LAlt, true, false}, {F4, true, false}, {F4, false, false}, {LAlt, false, false}},
     {{WM_SYSKEYDOWN, VK_MENU, 0x20380001}, {WM_SYSKEYDOWN, VK_F4, 0x203E0001},
      {WM_SYSKEYUP, VK_F4, (LPARAM)0xE03E0001},
      // another key came between Alt's press and release
      {WM_KEYUP, VK_MENU, (LPARAM)0xC0380001}}},
    {"Alt alone",
     {{LAlt, true, false}, {LAlt, true, true}, {LAlt, false, false}},
     {{WM_SYSKEYDOWN, VK_MENU, 0x20380001}, {WM_SYSKEYDOWN, VK_MENU, 0x60380001},
      {WM_SYSKEYUP, VK_MENU, (LPARAM)0xC0380001}}},
    {"F10 is a system key even without Alt",
     {{F10, true, false}, {F10, false, false}},
     {{WM_SYSKEYDOWN, VK_F10, 0x00440001}, {WM_SYSKEYUP, VK_F10, (LPARAM)0xC0440001}}},
    {"Ctrl+Alt+X stays with the ordinary key messages",
     {{LCtrl, true, false}, {LAlt, true, false}, {X, true, false}},
     {{WM_KEYDOWN, VK_CONTROL, 0x001D0001}, {WM_KEYDOWN, VK_MENU, 0x00380001}, {WM_KEYDOWN, 'X', 0x002D0001}}},
    {"left and right modifiers share one code and differ in the extended bit",
     {{LShift, true, false}, {RShift, true, false}, {RCtrl, true, false}, {LCtrl, true, false}},
     {{WM_KEYDOWN, VK_SHIFT, 0x002A0001}, {WM_KEYDOWN, VK_SHIFT, 0x00360001},
      {WM_KEYDOWN, VK_CONTROL, 0x011D0001}, {WM_KEYDOWN, VK_CONTROL, 0x001D0001}}},
    {"one Shift released while the other is held leaves Shift down",
     {{LShift, true, false}, {RShift, true, false}, {LShift, false, false}, {A, true, false}},
     {{WM_KEYDOWN, VK_SHIFT, 0x002A0001}, {WM_KEYDOWN, VK_SHIFT, 0x00360001},
      {WM_KEYUP, VK_SHIFT, (LPARAM)0xC02A0001}, {WM_KEYDOWN, 'A', 0x001E0001}}},
    {"right Alt",
     {{RAlt, true, false}, {RAlt, false, false}},
     {{WM_SYSKEYDOWN, VK_MENU, 0x21380001}, {WM_SYSKEYUP, VK_MENU, (LPARAM)0xC1380001}}},
    {"keys Windows has no code for send nothing",
     {{Unknown, true, false}, {0, true, false}},
     {}},
};

class KeyboardTest : public LayerTest {
protected:
    std::vector<Seen> Drain()
    {
        std::vector<Seen> got;
        MSG msg;
        while (PeekMessageA(&msg, NULL, WM_KEYDOWN, WM_SYSKEYUP, PM_REMOVE))
            got.push_back({msg.message, msg.wParam, msg.lParam});
        return got;
    }
};

TEST_F(KeyboardTest, KeysBecomeTheMessagesWindowsPosts)
{
    for (const Row &row : rows) {
        SetUp();
        HWND hWnd = Shown();
        for (const Press &p : row.presses)
            fake::key(hWnd, p.usb, p.down, p.repeat);
        EXPECT_EQ(Drain(), row.expected) << row.what;
    }
}

TEST_F(KeyboardTest, TheKeypadFollowsNumLock)
{
    HWND hWnd = Shown();
    fake::key(hWnd, KP1, true, false, true);
    fake::key(hWnd, KP1, true);
    fake::key(hWnd, KP5, true);
    fake::key(hWnd, NumLock, true, false, true);
    const std::vector<Seen> expected = {{WM_KEYDOWN, VK_NUMPAD0 + 1, 0x004F0001},
                                        {WM_KEYDOWN, VK_END, 0x004F0001},
                                        {WM_KEYDOWN, VK_CLEAR, 0x004C0001},
                                        {WM_KEYDOWN, VK_NUMLOCK, 0x01450001}};
    EXPECT_EQ(Drain(), expected);
}

// The character TranslateMessage posts after the keys, 0 when none.
static int CharOf(HWND hWnd, std::vector<int> held, int usb, UINT *kind = nullptr)
{
    for (int h : held)
        fake::key(hWnd, h, true);
    fake::key(hWnd, usb, true);
    MSG msg;
    int c = 0;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
            c = (int)msg.wParam;
            if (kind)
                *kind = msg.message;
        }
        TranslateMessage(&msg);
    }
    fake::key(hWnd, usb, false);
    for (int h : held)
        fake::key(hWnd, h, false);
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
    }
    return c;
}

TEST_F(KeyboardTest, TranslateMessagePostsTheUsLayoutsCharacters)
{
    HWND hWnd = Shown();
    EXPECT_EQ(CharOf(hWnd, {}, A), 'a');
    EXPECT_EQ(CharOf(hWnd, {LShift}, A), 'A');
    EXPECT_EQ(CharOf(hWnd, {RShift}, One), '!');
    EXPECT_EQ(CharOf(hWnd, {}, Esc), 0x1B);
    EXPECT_EQ(CharOf(hWnd, {}, Enter), '\r');
    EXPECT_EQ(CharOf(hWnd, {}, Space), ' ');
    EXPECT_EQ(CharOf(hWnd, {LCtrl}, C), 3);
    EXPECT_EQ(CharOf(hWnd, {}, F1), 0);
    EXPECT_EQ(CharOf(hWnd, {}, Right), 0);
    UINT kind = 0;
    EXPECT_EQ(CharOf(hWnd, {LAlt}, X, &kind), 'x');
    EXPECT_EQ(kind, (UINT)WM_SYSCHAR);
}

// A chord typed whole before the program takes its first key: the character
// is the one of the keys as they were at its key-down, not as they are now.
TEST_F(KeyboardTest, TheCharacterIsOfTheKeysAtItsKeyDown)
{
    HWND hWnd = Shown();
    const std::vector<std::pair<int, bool>> chords[] = {
        {{LCtrl, true}, {C, true}, {C, false}, {LCtrl, false}},
        {{LShift, true}, {C, true}, {C, false}, {LShift, false}},
        // one Shift let go while the other is held, as its message tells
        {{LShift, true}, {RShift, true}, {LShift, false}, {C, true}, {C, false}, {RShift, false}}};
    std::vector<int> chars;
    for (const auto &chord : chords) {
        for (auto [usb, down] : chord)
            fake::key(hWnd, usb, down);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            if (!TranslateMessage(&msg) && msg.message == WM_CHAR)
                chars.push_back((int)msg.wParam);
    }
    EXPECT_EQ(chars, (std::vector<int>{3, 'C', 'C'}));
}

TEST_F(KeyboardTest, TheCharacterFollowsItsKeyDownAndKeepsItsLParam)
{
    HWND hWnd = Shown();
    fake::key(hWnd, A, true);
    fake::key(hWnd, A, false);
    MSG msg;
    std::vector<Seen> got;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_PAINT)
            got.push_back({msg.message, msg.wParam, msg.lParam});
        EXPECT_EQ(TranslateMessage(&msg), msg.message == WM_KEYDOWN || msg.message == WM_KEYUP);
        DispatchMessageA(&msg);
    }
    const std::vector<Seen> expected = {
        {WM_KEYDOWN, 'A', 0x001E0001}, {WM_CHAR, 'a', 0x001E0001}, {WM_KEYUP, 'A', (LPARAM)0xC01E0001}};
    EXPECT_EQ(got, expected);
}

HELPINFO help_seen;

LRESULT CALLBACK HelpProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_HELP)
        help_seen = *(const HELPINFO *)lParam;
    return RecordingProc(hWnd, msg, wParam, lParam);
}

// Taking F1's key-down from the queue posts WM_KEYF1 (not in the SDK's
// headers), whose default handling sends WM_HELP: Wine's sequence, which its
// tests hold against Windows.
TEST_F(KeyboardTest, FOneAsksForHelpWhenItsKeyDownIsTaken)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HelpProc;
    wc.lpszClassName = "Help";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hWnd = CreateWindowExA(0, "Help", "help", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    seen().clear();

    fake::key(hWnd, F1, true);
    fake::key(hWnd, F1, false);
    fake::key(hWnd, LAlt, true);
    fake::key(hWnd, F1, true);   // Alt+F1 is a system key: no help
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));   // only taking it counts
    pump();
    const std::vector<UINT> expected = {WM_KEYDOWN, WM_KEYF1, WM_HELP, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYDOWN};
    EXPECT_EQ(messages(), expected);
    EXPECT_EQ(help_seen.cbSize, sizeof(HELPINFO));
    EXPECT_EQ(help_seen.iContextType, HELPINFO_WINDOW);
    EXPECT_EQ(help_seen.hItemHandle, (void *)hWnd);
}

}  // namespace
