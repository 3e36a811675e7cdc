// The layer's state, handle checks and the kernel32 pieces it needs:
// the last-error code and a millisecond clock.
#include "layer.h"

#include <chrono>

namespace compat {

static Layer *state = new Layer;

Layer &layer() { return *state; }

void layer_reset()
{
    // NOTE: what the host made for the old state goes with it; the records
    // are dropped, not destroyed, so no window procedure hears of it.
    for (auto &c : state->contexts)
        if (c->alive && c->host) {
            if (state->current == c.get())
                host_context_make_current(nullptr, nullptr);
            host_context_destroy(c->host);
        }
    for (auto &w : state->windows)
        if (w->host)
            host_window_destroy(w->host);
    delete state;
    state = new Layer;
}

DWORD tick_count()
{
    static const auto start = std::chrono::steady_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    return (DWORD)ms.count();
}

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

}  // namespace compat

DWORD WINAPI GetLastError(void) { return compat::layer().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { compat::layer().last_error = dwErrCode; }
