// Threads and kernel handles: CreateThread on std::thread (detached, as the program
// closes thread handles at once), and the table behind CloseHandle.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "platform/internal.h"
#include "platform/threads.h"

namespace {

std::mutex handleLock;
std::unordered_map<uintptr_t, std::shared_ptr<orven::internal::KernelObject>> handles;
uintptr_t nextHandle = 0x1000;  // multiples of 4, never 0 or INVALID_HANDLE_VALUE
thread_local DWORD lastError = 0;

// A thread handle: closing it neither stops nor waits for the thread.
struct ThreadObject : orven::internal::KernelObject {
    bool close() override { return true; }
};

}  // namespace

namespace orven::internal {

HANDLE registerHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> hold(handleLock);
    uintptr_t value = nextHandle;
    nextHandle += 4;
    handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
    std::lock_guard<std::mutex> hold(handleLock);
    auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
    return it == handles.end() ? nullptr : it->second;
}

}  // namespace orven::internal

// ---- CreateThread
HANDLE CreateThread(void*, size_t, LPTHREAD_START_ROUTINE start, LPVOID param, DWORD,
                    LPDWORD threadId) {
    static std::atomic<DWORD> nextThreadId{100};
    DWORD id = nextThreadId.fetch_add(1);
    try {
        std::thread([start, param] { start(param); }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (threadId != nullptr) *threadId = id;
    return orven::internal::registerHandle(std::make_shared<ThreadObject>());
}

// ---- CloseHandle
BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<orven::internal::KernelObject> object;
    {
        std::lock_guard<std::mutex> hold(handleLock);
        auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
        if (it == handles.end()) {
            lastError = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        object = std::move(it->second);
        handles.erase(it);
    }
    // Closed outside the table's lock: closing a port wakes and may wait for its reader.
    return object->close() ? TRUE : FALSE;
}

DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD error) {
    lastError = error;
}
