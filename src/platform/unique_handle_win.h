#pragma once

// The one owner of a Win32 handle. The API answers "no handle" with nullptr or with
// INVALID_HANDLE_VALUE depending on the call; both count as empty and neither is closed. Handles
// that are not closed with CloseHandle (a printer's, a file search's, a GDI object's) name their
// closer, and their type when it is not HANDLE.

#include <windows.h>

#include <utility>

namespace quorva {

template <auto close, typename Handle = HANDLE> class BasicUniqueHandle {
public:
    BasicUniqueHandle() = default;
    explicit BasicUniqueHandle(Handle handle) : handle_(handle) {}
    ~BasicUniqueHandle() { reset(); }
    BasicUniqueHandle(BasicUniqueHandle&& other) noexcept : handle_(other.release()) {}
    BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, nullptr); }
    // Closes the handle held, then holds `handle`.
    void reset(Handle handle = nullptr) {
        if (*this)
            close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = nullptr;
};

using UniqueHandle = BasicUniqueHandle<CloseHandle>;

} // namespace quorva
