// Microbenchmarks of one pass of the frame loop, on a virtual display through
// the SDL host: the layer's share with nothing waiting (PeekMessageA finds the
// queue empty; the swap is left out) and the scene's Draw on a real context.
//
// The window and context are made the way the program makes them, through the
// layer: RegisterClassA, CreateWindowExA, GetDC, ChoosePixelFormat,
// SetPixelFormat, wglCreateContext, wglMakeCurrent.
#include <windows.h>
#include <GL/gl.h>

#include <benchmark/benchmark.h>
#include <stdio.h>
#include <chrono>
#include <thread>

#include "../scene/scene.h"

static HWND hWnd;
static HDC hDC;
static HGLRC hRC;

static LRESULT CALLBACK BenchProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SIZE)
        Resize(LOWORD(lParam), HIWORD(lParam));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// Dispatches whatever is waiting; returns how many messages there were.
static int Drain()
{
    MSG msg;
    int n = 0;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++n;
    }
    return n;
}

static bool Open()
{
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = BenchProc;
    wc.lpszClassName = "OpenGL";
    if (!RegisterClassA(&wc))
        return false;
    hWnd = CreateWindowExA(0, "OpenGL", "OpenGL", WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 50, 50,
                           600, 450, NULL, NULL, NULL, NULL);
    if (!hWnd)
        return false;
    // The program's own request: RGBA, double-buffered, 16 colour and 16 depth bits.
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 16;
    pfd.cDepthBits = 16;
    pfd.iLayerType = PFD_MAIN_PLANE;
    hDC = GetDC(hWnd);
    int format = ChoosePixelFormat(hDC, &pfd);
    if (!format || !SetPixelFormat(hDC, format, &pfd))
        return false;
    hRC = wglCreateContext(hDC);
    if (!hRC || !wglMakeCurrent(hDC, hRC))
        return false;
    RECT rect;
    GetClientRect(hWnd, &rect);
    Initial(rect.right, rect.bottom);
    ShowWindow(hWnd, SW_SHOW);
    UpdateWindow(hWnd);
    SetFocus(hWnd);
    // Let the X server's answers to the show arrive, then empty the queue.
    for (int i = 0; i < 50; ++i) {
        Drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// One look at the queue with nothing in it: the host's events are pumped
// (as on every PeekMessageA), then the posted, input and paint queues looked at.
static void BM_PeekMessageA_EmptyQueue(benchmark::State &state)
{
    Drain();
    MSG msg;
    int stray = 0;
    for (auto _ : state) {
        BOOL got = PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
        benchmark::DoNotOptimize(got);
        if (got)
            stray += Drain();
    }
    // Messages that did turn up (from the X server) were dispatched outside
    // the timing's intent; there should be none.
    state.counters["stray_messages"] = stray;
}
BENCHMARK(BM_PeekMessageA_EmptyQueue);

// The band, with glFinish so llvmpipe's rasteriser threads have really done it.
static void BM_Draw(benchmark::State &state)
{
    for (auto _ : state) {
        Draw();
        glFinish();
    }
}
BENCHMARK(BM_Draw)->Unit(benchmark::kMicrosecond);

// What the ceiling's frame draws: the clear alone.
static void BM_Clear(benchmark::State &state)
{
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
    }
}
BENCHMARK(BM_Clear)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (!Open()) {
        fprintf(stderr, "layer_bench: could not open the window or its context\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(hRC);
    DestroyWindow(hWnd);
    return 0;
}
