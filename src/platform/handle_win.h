// Owners of Windows handles.
//
// An owner cannot be copied, can be moved, closes its handle in its destructor, and has a Close()
// that is safe to call twice. Kinds of handle differ in two things: the value that means "none"
// (NULL for most, INVALID_HANDLE_VALUE for what CreateFile and FindFirstFile return) and the call
// that gives one back. A Kind names both, so that a handle is never tested against the wrong
// "none" nor closed by another kind's call.
//
// This header does without <windows.h> (a HANDLE is a void*): portable headers hold handles in
// their Windows members, and must not pull the whole API in with them.
#pragma once

#include <cstdint>
#include <utility>

namespace corvella::platform {

template <class Kind>
class OwnedHandle {
  public:
    using Value = typename Kind::Value;

    OwnedHandle() = default;
    explicit OwnedHandle(Value value) : value_(value) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept : value_(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    // Closes what is held, then holds `value`.
    void Reset(Value value) {
        Close();
        value_ = value;
    }
    // Gives the handle up without closing it.
    Value Release() { return std::exchange(value_, Kind::Empty()); }
    Value get() const { return value_; }
    bool IsOpen() const { return value_ != Kind::Empty(); }
    explicit operator bool() const { return IsOpen(); }
    void Close() {
        if (IsOpen()) Kind::Close(Release());
    }

  private:
    Value value_ = Kind::Empty();
};

inline void* InvalidHandleValue() {
    return reinterpret_cast<void*>(static_cast<intptr_t>(-1));  // INVALID_HANDLE_VALUE
}

// Events, threads, file mappings: NULL when the call failed; CloseHandle.
struct KernelHandleKind {
    using Value = void*;
    static Value Empty() { return nullptr; }
    static void Close(Value handle);
};
// Files and folders opened with CreateFile: INVALID_HANDLE_VALUE when it failed; CloseHandle.
struct FileHandleKind {
    using Value = void*;
    static Value Empty() { return InvalidHandleValue(); }
    static void Close(Value handle);
};
// Listings begun with FindFirstFile: INVALID_HANDLE_VALUE when it failed; FindClose.
struct FindHandleKind {
    using Value = void*;
    static Value Empty() { return InvalidHandleValue(); }
    static void Close(Value handle);
};
// Views made with MapViewOfFile: NULL when it failed; UnmapViewOfFile.
struct MappedViewKind {
    using Value = void*;
    static Value Empty() { return nullptr; }
    static void Close(Value view);
};

using Handle = OwnedHandle<KernelHandleKind>;
using FileHandle = OwnedHandle<FileHandleKind>;
using FindHandle = OwnedHandle<FindHandleKind>;
using MappedView = OwnedHandle<MappedViewKind>;

}  // namespace corvella::platform
