// The application shell's shared state: the key table, the window's device
// context and the window procedure that owns them.
#ifndef SINEBAND_SHELL_H
#define SINEBAND_SHELL_H

#include <windows.h>

extern int keys[256];   // 1 while the key with that virtual-key code is down
extern HDC hDC;         // the window's own device context (CS_OWNDC)
extern BOOL Ready;      // TRUE once WM_CREATE has brought up the context

LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
