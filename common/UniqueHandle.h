// Owners for kernel handles. Win32 reports a failed open in two ways, so
// there are two owners: UniqueHandle for APIs that fail with null (events,
// threads, mutexes) and UniqueFile for those that fail with
// INVALID_HANDLE_VALUE (files, pipes). Closing keeps GetLastError() intact,
// so a failure path can still report the error that caused it.
#pragma once

#include <windows.h>

#include <utility>

struct NullHandleTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static bool IsValid(HANDLE h) noexcept { return h != nullptr; }
};

struct FileHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE h) noexcept { return h != INVALID_HANDLE_VALUE && h != nullptr; }
};

template <typename Traits>
class UniqueHandleT {
public:
    UniqueHandleT() noexcept = default;
    explicit UniqueHandleT(HANDLE h) noexcept : h_(h) {}
    ~UniqueHandleT() { reset(); }

    UniqueHandleT(UniqueHandleT&& other) noexcept : h_(other.release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;

    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return Traits::IsValid(h_); }

    void reset(HANDLE h = Traits::Invalid()) noexcept
    {
        if (Traits::IsValid(h_)) {
            const DWORD error = GetLastError();
            CloseHandle(h_);
            SetLastError(error);
        }
        h_ = h;
    }

    HANDLE release() noexcept { return std::exchange(h_, Traits::Invalid()); }

    // Releases what is held and hands out the address for an API to fill.
    HANDLE* put() noexcept
    {
        reset();
        return &h_;
    }

private:
    HANDLE h_ = Traits::Invalid();
};

using UniqueHandle = UniqueHandleT<NullHandleTraits>;
using UniqueFile = UniqueHandleT<FileHandleTraits>;
