// user32: MessageBoxA and ChangeDisplaySettingsA.
//
// The message box is the host's own modal dialog with one OK button and the
// icon the style asks for; its line also goes to stderr, which is all there
// is without a display. Left out: buttons other than OK, owner windows, and
// re-entering the program's window procedure while the box is up (the host's
// dialog runs its own loop). Display modes: only a fullscreen switch of the
// program's window.
#include "layer.h"

#include <stdio.h>

namespace compat {

// The window a display change applies to: the newest live top-level window.
static HWND__ *program_window()
{
    auto &windows = layer().windows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->alive)
            return it->get();
    return nullptr;
}

}  // namespace compat

using namespace compat;

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    (void)hWnd;
    const char *caption = lpCaption ? lpCaption : "Error";
    const char *text = lpText ? lpText : "";
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
    std::string why;
    if (host_connect(nullptr, why))
        host_message_box(caption, text, uType);
    return IDOK;
}

LONG WINAPI ChangeDisplaySettingsA(DEVMODEA *lpDevMode, DWORD dwFlags)
{
    Layer &l = layer();
    if (!lpDevMode) {
        if (dwFlags != 0 && dwFlags != CDS_FULLSCREEN)
            return DISP_CHANGE_BADFLAGS;
        if (!l.display_changed)
            return DISP_CHANGE_SUCCESSFUL;
        l.display_changed = false;
        HWND__ *w = program_window();
        return w ? host_display_mode(w->host, 0, 0) : DISP_CHANGE_SUCCESSFUL;
    }
    if (lpDevMode->dmSize != sizeof(DEVMODEA))
        return DISP_CHANGE_BADPARAM;
    // Only changes that last while the program runs: there is no registry.
    if (dwFlags & ~(DWORD)CDS_FULLSCREEN)
        return DISP_CHANGE_BADFLAGS;
    if (!(lpDevMode->dmFields & DM_PELSWIDTH) || !(lpDevMode->dmFields & DM_PELSHEIGHT))
        return DISP_CHANGE_BADMODE;
    HWND__ *w = program_window();
    if (!w)
        return DISP_CHANGE_FAILED;
    LONG result = host_display_mode(w->host, (int)lpDevMode->dmPelsWidth, (int)lpDevMode->dmPelsHeight);
    if (result == DISP_CHANGE_SUCCESSFUL)
        l.display_changed = true;
    return result;
}
