// The layer's state and what its modules share: the handle checks, the
// clock MSG.time is read from, letting go of the current context, and
// layer_reset, with which the tests start each case afresh.
#include "layer.h"

#include <chrono>

namespace compat {

static Layer *state = new Layer;

Layer &layer() { return *state; }

HWND__ *live_window(HWND hWnd)
{
    for (auto &w : layer().windows)
        if (w.get() == hWnd && w->alive)
            return w.get();
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

HDC__ *live_dc(HDC hdc)
{
    for (auto &w : layer().windows)
        if (&w->dc == hdc && w->alive)
            return &w->dc;
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

HGLRC__ *live_context(HGLRC hglrc)
{
    for (auto &c : layer().contexts)
        if (c.get() == hglrc && c->alive)
            return c.get();
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

DWORD tick_count()
{
    static const auto start = std::chrono::steady_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return (DWORD)ms.count();
}

void release_current()
{
    Layer &l = layer();
    host_context_make_current(nullptr, nullptr);
    l.current = nullptr;
    l.current_dc = nullptr;
}

void layer_reset()
{
    // NOTE: what the host made for the old state goes with it; the records
    // are dropped, not destroyed, so no window procedure hears of it.
    if (state->current)
        release_current();
    for (auto &c : state->contexts)
        if (c->alive && c->host)
            host_context_destroy(c->host);
    for (auto &w : state->windows)
        if (w->host)
            host_window_destroy(w->host);
    delete state;
    state = new Layer;
}

}  // namespace compat
