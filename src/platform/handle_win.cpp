#include "platform/handle_win.h"

#include <windows.h>

namespace corvella::platform {

static_assert(sizeof(HANDLE) == sizeof(void*), "a HANDLE is held as a void*");

void KernelHandleKind::Close(Value handle) {
    CloseHandle(handle);
}

void FileHandleKind::Close(Value handle) {
    CloseHandle(handle);
}

void FindHandleKind::Close(Value handle) {
    FindClose(handle);
}

void MappedViewKind::Close(Value view) {
    UnmapViewOfFile(view);
}

}  // namespace corvella::platform
