// kernel32: the thread's last-error code.
#include "layer.h"

DWORD WINAPI GetLastError(void) { return compat::layer().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { compat::layer().last_error = dwErrCode; }
