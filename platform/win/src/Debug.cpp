#include "windows.h"

void WINAPI OutputDebugStringA(LPCSTR) {}
