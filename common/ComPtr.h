// An owner for one COM interface pointer. put() releases what is held before
// handing out the address, so `hr = Get(thing.put());` never leaks when a
// pointer is reused.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) noexcept
    {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Adds a reference of its own to a borrowed pointer.
    static ComPtr Copy(T* p) noexcept
    {
        if (p) p->AddRef();
        return Attach(p);
    }
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr& other) noexcept : p_(other.p_)
    {
        if (p_) p_->AddRef();
    }
    ComPtr& operator=(const ComPtr& other) noexcept
    {
        if (this != &other) *this = Copy(other.p_);
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    void reset() noexcept
    {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* detach() noexcept { return std::exchange(p_, nullptr); }

    T** put() noexcept
    {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // QueryInterface for another interface; empty when it is not offered.
    template <typename U>
    ComPtr<U> As(const IID& iid) const noexcept
    {
        ComPtr<U> out;
        if (p_) p_->QueryInterface(iid, out.put_void());
        return out;
    }

private:
    T* p_ = nullptr;
};
