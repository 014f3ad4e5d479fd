// Threads and kernel handles. CloseHandle serves every kernel object the layer hands
// out (threads, serial ports, files of devices, search handles are separate).
#pragma once

#include "platform/win_types.h"

HANDLE CreateThread(void* security, size_t stackSize, LPTHREAD_START_ROUTINE start, LPVOID param,
                    DWORD flags, LPDWORD threadId);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
void SetLastError(DWORD error);
