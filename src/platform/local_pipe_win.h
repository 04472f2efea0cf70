// Named pipes private to this user, one per cache file, through which the desktop program
// answers the searches of the command line.
//
// The pipe is named by a hash of the cache file's path. Its security descriptor makes this user
// its owner and allows this user alone (a client connects only to a pipe its own user owns), it
// refuses clients on other machines, and the first instance is made with
// FILE_FLAG_FIRST_PIPE_INSTANCE, so that a pipe of that name made before by anyone else makes
// the program serve no one rather than share a name. Every transfer is overlapped and bounded:
// it gives up after its timeout, or when a stop event is set.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handle_win.h"

namespace corvella::platform {

std::wstring KeeperPipeName(const std::u16string& cache_path);

// A new instance of the pipe `name`, open for overlapped use, this user alone; invalid when it
// cannot be made (or, `first`, when the name is taken).
FileHandle MakePipeInstance(const std::wstring& name, bool first);

// Connects to the pipe `name`, waiting up to `timeout_ms` for a free instance; invalid when none.
FileHandle ConnectPipe(const std::wstring& name, DWORD timeout_ms);

// Waits for a client on `pipe`; false when `stop` was set first or the wait failed.
bool AwaitPipeClient(HANDLE pipe, HANDLE stop);

// All of `size` bytes read into or written from `data`; false on a timeout, an error, the peer
// gone, or `stop` (may be null) set.
bool PipeRead(HANDLE pipe, HANDLE stop, uint8_t* data, size_t size, DWORD timeout_ms);
bool PipeWrite(HANDLE pipe, HANDLE stop, const uint8_t* data, size_t size, DWORD timeout_ms);

}  // namespace corvella::platform
