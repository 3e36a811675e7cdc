// The message queue and the window life cycle: what Windows sends and in
// which order, checked against a recording window procedure.
#include <gtest/gtest.h>

#include <climits>

#include "recorder.h"

using Seq = std::vector<Seen>;
using namespace fake::usb;

TEST_F(LayerTest, CreationSendsNcCreateThenCreateAndLeavesTheWindowHidden)
{
    HWND hWnd = Create();
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_FALSE(IsWindowVisible(hWnd));
    RECT r;
    ASSERT_TRUE(GetWindowRect(hWnd, &r));
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right, 650);
    EXPECT_EQ(r.bottom, 500);
}

TEST_F(LayerTest, FirstShowActivatesFocusesAndReportsSizeAndPosition)
{
    HWND hWnd = Create();
    seen().clear();
    EXPECT_FALSE(ShowWindow(hWnd, SW_SHOW));   // it was hidden
    const Seq expected = {
        {WM_SHOWWINDOW, TRUE, 0},      {WM_ACTIVATEAPP, TRUE, 0},
        {WM_NCACTIVATE, TRUE, 0},      {WM_ACTIVATE, WA_ACTIVE, 0},
        {WM_SETFOCUS, 0, 0},           {WM_SIZE, SIZE_RESTORED, MAKELPARAM(600, 450)},
        {WM_MOVE, 0, MAKELPARAM(50, 50)},
    };
    EXPECT_EQ(seen(), expected);
    EXPECT_EQ(GetFocus(), hWnd);

    // Shown again: already visible, nothing owed.
    seen().clear();
    EXPECT_TRUE(ShowWindow(hWnd, SW_SHOW));
    EXPECT_TRUE(seen().empty());
    EXPECT_EQ(SetFocus(hWnd), hWnd);   // already the focus: no messages
    EXPECT_TRUE(seen().empty());
}

TEST_F(LayerTest, ClientAreaIsWhatTheFrameLeavesOfTheOuterSize)
{
    fake::config().frame_left = 4, fake::config().frame_top = 23;
    fake::config().frame_right = 4, fake::config().frame_bottom = 4;
    HWND hWnd = Create();
    seen().clear();
    ShowWindow(hWnd, SW_SHOW);
    RECT client;
    GetClientRect(hWnd, &client);
    EXPECT_EQ(client.right, 592);
    EXPECT_EQ(client.bottom, 423);
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    ASSERT_GE(seen().size(), 2u);
    EXPECT_EQ(seen()[seen().size() - 2], (Seen{WM_SIZE, SIZE_RESTORED, MAKELPARAM(592, 423)}));
    EXPECT_EQ(seen().back(), (Seen{WM_MOVE, 0, MAKELPARAM(54, 73)}));   // the client's origin
}

TEST_F(LayerTest, PopupsLearnTheirSizeRightAfterCreation)
{
    HWND hWnd = Create(WS_POPUP, 0, 0, 800, 600);
    const Seq expected = {{WM_NCCREATE, 0, seen()[0].lParam},
                          {WM_CREATE, 0, seen()[1].lParam},
                          {WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600)},
                          {WM_MOVE, 0, MAKELPARAM(0, 0)}};
    EXPECT_EQ(seen(), expected);
    seen().clear();
    ShowWindow(hWnd, SW_SHOW);
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_NCACTIVATE, WM_ACTIVATE, WM_SETFOCUS}));
}

TEST_F(LayerTest, UpdateWindowPaintsOnlyAnInvalidWindow)
{
    HWND hWnd = Create();
    UpdateWindow(hWnd);   // hidden: nothing to paint
    ShowWindow(hWnd, SW_SHOW);
    seen().clear();
    UpdateWindow(hWnd);
    UpdateWindow(hWnd);   // the default WM_PAINT validated it
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_PAINT}));
}

static LRESULT CALLBACK RefuseCreate(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    seen().push_back({msg, wParam, lParam});
    return msg == WM_CREATE ? -1 : DefWindowProcA(hWnd, msg, wParam, lParam);
}

TEST_F(LayerTest, CreationFailsForUnknownClassesRefusalsAndHostFailures)
{
    SetLastError(0);
    EXPECT_EQ(CreateWindowExA(0, "Nobody", "t", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, NULL, NULL), nullptr);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_FIND_WND_CLASS);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = RefuseCreate;
    wc.lpszClassName = "Refuser";
    ASSERT_NE(RegisterClassA(&wc), 0);
    seen().clear();
    EXPECT_EQ(CreateWindowExA(0, "refuser", "t", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, NULL, NULL), nullptr);
    // A -1 from WM_CREATE destroys the window before CreateWindowEx returns.
    EXPECT_EQ(messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));

    fake::config().create_window = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Create(), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot open a window"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST_F(LayerTest, ClassRegistrationRefusesDuplicatesAndIncompleteClasses)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "RECORDER";   // names compare without case
    EXPECT_EQ(RegisterClassA(&wc), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CLASS_ALREADY_EXISTS);
    wc.lpszClassName = nullptr;
    EXPECT_EQ(RegisterClassA(&wc), 0);
    wc.lpszClassName = "NoProc";
    wc.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassA(&wc), 0);
    wc.lpfnWndProc = RecordingProc;
    EXPECT_NE(RegisterClassA(&wc), 0);
}

TEST_F(LayerTest, PostedMessagesComeInOrderAndQuitComesAfterThemBeforeInput)
{
    HWND hWnd = Shown();
    fake::key(hWnd, A, true);   // from the keyboard
    PostMessageA(hWnd, 0x0400, 1, 0);
    PostQuitMessage(7);
    PostMessageA(hWnd, 0x0400, 2, 0);
    PostQuitMessage(3);                         // merged: the last code wins

    MSG msg;
    std::vector<std::pair<UINT, WPARAM>> got;
    for (int i = 0; i < 5 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); ++i)
        got.push_back({msg.message, msg.wParam});
    const std::vector<std::pair<UINT, WPARAM>> expected = {
        {0x0400, 1}, {0x0400, 2}, {WM_QUIT, 3}, {WM_KEYDOWN, 'A'}};
    EXPECT_EQ(got, expected);
}

TEST_F(LayerTest, QuitStaysForPeekNoRemoveAndEndsGetMessage)
{
    HWND hWnd = Shown();
    PostQuitMessage(0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(msg.hwnd, nullptr);
    ASSERT_TRUE(PeekMessageA(&msg, hWnd, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE));   // no filter stops it
    EXPECT_EQ(msg.message, (UINT)WM_QUIT);
    EXPECT_EQ(GetMessageA(&msg, NULL, 0, 0), 0);
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));   // taken: gone
    EXPECT_EQ(GetMessageA(&msg, (HWND)&msg, 0, 0), -1);           // not a window
}

TEST_F(LayerTest, PaintComesLastAndRecursUntilValidated)
{
    HWND hWnd = Create();
    ShowWindow(hWnd, SW_SHOW);   // invalid, and not painted yet
    fake::key(hWnd, A, true);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYDOWN);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));   // fetching does not validate
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
    DispatchMessageA(&msg);   // the default handling validates
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));

    compat::input_expose(hWnd);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
}

TEST_F(LayerTest, HostSizeChangesAreSentAtOnceAndOnlyWhenTheSizeChanges)
{
    HWND hWnd = Shown();
    fake::resize(hWnd, 300, 200);
    fake::resize(hWnd, 300, 200);
    compat::input_minimized(hWnd);
    compat::input_minimized(hWnd);
    compat::input_restored(hWnd);
    const Seq expected = {{WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)},
                          {WM_SIZE, SIZE_MINIMIZED, 0},
                          {WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)}};
    EXPECT_EQ(seen(), expected);
    MSG msg;   // a restored window has lost its contents
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_PAINT);
}

TEST_F(LayerTest, HostSizesAsLargeAsAnIntGoKeepTheWindowRectangleInOrder)
{
    HWND hWnd = Shown();   // at (50, 50)
    fake::resize(hWnd, INT_MAX, INT_MAX - 20);
    RECT r, client;
    ASSERT_TRUE(GetWindowRect(hWnd, &r));
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 50);
    EXPECT_GE(r.right, r.left);
    EXPECT_GE(r.bottom, r.top);
    ASSERT_TRUE(GetClientRect(hWnd, &client));
    EXPECT_EQ(client.right, INT_MAX);
    EXPECT_EQ(client.bottom, INT_MAX - 20);
    // WM_SIZE has room for the low 16 bits of each.
    EXPECT_EQ(seen().back(), (Seen{WM_SIZE, SIZE_RESTORED, MAKELPARAM(0xFFFF, 0xFFEB)}));
}

// The far edges of a window placed at the end of the coordinate range, and
// its client area inside a frame, are held within a LONG instead of wrapping.
TEST_F(LayerTest, WindowsAtTheEdgeOfTheCoordinateRangeKeepTheirRectanglesInOrder)
{
    fake::config().frame_left = 4, fake::config().frame_top = 23;
    fake::config().frame_right = 4, fake::config().frame_bottom = 4;
    HWND far = Create(WS_OVERLAPPEDWINDOW, INT_MAX - 2, INT_MAX - 2, 600, 450);
    ASSERT_NE(far, nullptr);
    RECT r, client;
    ASSERT_TRUE(GetWindowRect(far, &r));
    EXPECT_EQ(r.left, INT_MAX - 2);
    EXPECT_EQ(r.right, INT_MAX);
    EXPECT_EQ(r.bottom, INT_MAX);
    seen().clear();
    ShowWindow(far, SW_SHOW);
    ASSERT_TRUE(GetClientRect(far, &client));
    EXPECT_EQ(client.right, 1);   // what the frame leaves of 2 x 2 is less than nothing
    EXPECT_EQ(client.bottom, 1);
    EXPECT_EQ(seen().back(), (Seen{WM_MOVE, 0, MAKELPARAM(0xFFFF, 0xFFFF)}));   // INT_MAX's low bits

    HWND near = Create(WS_OVERLAPPEDWINDOW, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    ASSERT_NE(near, nullptr);
    ShowWindow(near, SW_SHOW);
    ASSERT_TRUE(GetClientRect(near, &client));
    EXPECT_EQ(client.right, INT_MAX - 8);
    EXPECT_EQ(client.bottom, INT_MAX - 27);
}

TEST_F(LayerTest, TheCloseButtonRunsTheWholeCloseChain)
{
    HWND hWnd = Shown();
    compat::input_close(hWnd);
    EXPECT_EQ(messages({WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}),
              (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(seen()[0].wParam, (WPARAM)SC_CLOSE);
    EXPECT_FALSE(IsWindow(hWnd));
    EXPECT_EQ(SendMessageA(hWnd, WM_CLOSE, 0, 0), 0);   // a dead window gets nothing
    EXPECT_EQ(messages({WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}).size(), 4u);
}

TEST_F(LayerTest, AltF4PostsTheCloseCommandUnlessTheClassForbidsIt)
{
    HWND hWnd = Shown();
    fake::key(hWnd, LAlt, true);
    fake::key(hWnd, F4, true);
    pump();
    EXPECT_EQ(messages({WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS}),
              (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(hWnd));

    WNDCLASSA wc = {};
    wc.style = CS_NOCLOSE;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "NoClose";
    RegisterClassA(&wc);
    HWND other = CreateWindowExA(0, "NoClose", "t", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ShowWindow(other, SW_SHOW);
    seen().clear();
    fake::key(other, LAlt, true);
    fake::key(other, F4, true);
    pump();
    EXPECT_TRUE(IsWindow(other));
    EXPECT_EQ(messages({WM_PAINT}), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN}));
}

TEST_F(LayerTest, AltOrF10AloneAsksForTheMenuOnRelease)
{
    HWND hWnd = Shown();
    fake::key(hWnd, LAlt, true);
    fake::key(hWnd, LAlt, false);
    fake::key(hWnd, F10, true);
    fake::key(hWnd, F10, false);
    fake::key(hWnd, LAlt, true);   // Alt+A: not alone
    fake::key(hWnd, A, true);
    fake::key(hWnd, A, false);
    fake::key(hWnd, LAlt, false);
    pump();
    int menus = 0;
    for (const Seen &s : seen())
        menus += s.msg == WM_SYSCOMMAND && s.wParam == SC_KEYMENU && s.lParam == 0;
    EXPECT_EQ(menus, 2);
}

TEST_F(LayerTest, KeysGoOnlyToTheFocusWindow)
{
    HWND hWnd = Shown();
    compat::input_focus(hWnd, false);
    EXPECT_EQ(GetFocus(), nullptr);
    fake::key(hWnd, A, true);
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    compat::input_focus(hWnd, true);
    EXPECT_EQ(GetFocus(), hWnd);
    fake::key(hWnd, A, false);
    ASSERT_TRUE(PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, (UINT)WM_KEYUP);
}

// Tests start each case from a reset layer; what the host made for the old
// one must go with it, or every case leaves a native window behind.
TEST_F(LayerTest, AResetLetsGoOfTheHostsWindowsAndTheCurrentContext)
{
    HWND kept = Shown();
    HWND gone = Create();
    ASSERT_TRUE(DestroyWindow(gone));
    HDC hdc = GetDC(kept);
    ASSERT_TRUE(SetPixelFormat(hdc, 1, nullptr));
    HGLRC rc = wglCreateContext(hdc);
    ASSERT_TRUE(wglMakeCurrent(hdc, rc));
    fake::trace().clear();
    compat::layer_reset();
    // The destroyed window's native one is not destroyed twice.
    EXPECT_EQ(fake::trace(), (std::vector<std::string>{"uncurrent", "delete context", "destroy"}));
    EXPECT_EQ(fake::window(), nullptr);
}
