// kernel32: GetLastError and SetLastError over the layer's one last-error
// code. Left out: a code per thread (the layer serves one thread).
#include "layer.h"

DWORD WINAPI GetLastError(void) { return compat::layer().last_error; }

void WINAPI SetLastError(DWORD dwErrCode) { compat::layer().last_error = dwErrCode; }
