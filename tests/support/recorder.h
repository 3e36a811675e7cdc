// A window procedure that writes down every message it gets before passing
// it to the default handling, for comparing with the sequences Windows sends.
#ifndef SINEBAND_TESTS_RECORDER_H
#define SINEBAND_TESTS_RECORDER_H

#include <windows.h>

#include <gtest/gtest.h>
#include <vector>

#include "fake_host.h"
#include "layer.h"

struct Seen {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Seen &o) const { return msg == o.msg && wParam == o.wParam && lParam == o.lParam; }
};

inline std::vector<Seen> &seen()
{
    static std::vector<Seen> log;
    return log;
}

inline LRESULT CALLBACK RecordingProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    seen().push_back({msg, wParam, lParam});
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

// The messages seen, without the ones a test does not care about.
inline std::vector<UINT> messages(std::initializer_list<UINT> ignore = {})
{
    std::vector<UINT> out;
    for (const Seen &s : seen()) {
        bool skip = false;
        for (UINT m : ignore)
            skip |= s.msg == m;
        if (!skip)
            out.push_back(s.msg);
    }
    return out;
}

// Pumps the queue the way the program does, until it is empty.
inline void pump()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A fresh layer, a fresh scripted host and one registered recording class.
class LayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        compat::layer_reset();
        fake::reset();
        seen().clear();
        WNDCLASSA wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "Recorder";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }

    HWND Create(DWORD style = WS_OVERLAPPEDWINDOW, int x = 50, int y = 50, int w = 600, int h = 450)
    {
        return CreateWindowExA(0, "Recorder", "title", style, x, y, w, h, NULL, NULL, NULL, NULL);
    }

    // A created and shown window, with the messages so far forgotten.
    HWND Shown()
    {
        HWND hWnd = Create();
        ShowWindow(hWnd, SW_SHOW);
        UpdateWindow(hWnd);
        seen().clear();
        return hWnd;
    }
};

#endif
