// An owner for a BSTR: freed with SysFreeString. put() frees what is held
// before handing out the address for an out argument.
#pragma once

#include <oleauto.h>

#include <string>
#include <utility>

class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(const std::wstring& text)
        : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    explicit UniqueBstr(const wchar_t* text) : b_(text ? SysAllocString(text) : nullptr) {}
    ~UniqueBstr() { reset(); }

    UniqueBstr(UniqueBstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept
    {
        if (this != &other) {
            reset();
            b_ = std::exchange(other.b_, nullptr);
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept
    {
        reset();
        return &b_;
    }
    BSTR release() noexcept { return std::exchange(b_, nullptr); }
    void reset() noexcept
    {
        if (b_) SysFreeString(std::exchange(b_, nullptr));
    }

    // The text, using the length prefix (a BSTR may hold U+0000); a null
    // BSTR reads as empty.
    std::wstring str() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }
    bool empty() const noexcept { return !b_ || SysStringLen(b_) == 0; }

private:
    BSTR b_ = nullptr;
};
