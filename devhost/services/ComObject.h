// What every stand-in service object shares: COM reference counting, a
// QueryInterface that answers IUnknown and the service's own interface, and
// a guard that turns exceptions into HRESULTs at the interface boundary.
#pragma once

#include <windows.h>

#include <atomic>
#include <new>
#include <utility>

#include "ComPtr.h"

namespace devhost {

// A reference-counted object implementing Interface, whose identifier is
// Iid. The count starts at 1, the creator's reference (see MakeComObject);
// the object deletes itself when the last reference goes. Objects that offer
// more interfaces answer them in QueryOther.
template <typename Interface, const GUID& Iid>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        IUnknown* found = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, Iid)) found = static_cast<Interface*>(this);
        else found = QueryOther(iid);
        if (!found) return E_NOINTERFACE;
        found->AddRef();
        *out = found;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Another interface the object offers, without a reference added; null
    // when it offers none for iid.
    virtual IUnknown* QueryOther(REFIID) noexcept { return nullptr; }

private:
    std::atomic<ULONG> refs_{1};
};

// A new object holding its creator's reference, or empty when memory ran out.
template <typename T, typename... Args>
ComPtr<T> MakeComObject(Args&&... args) noexcept
{
    try {
        return ComPtr<T>::Attach(new (std::nothrow) T(std::forward<Args>(args)...));
    } catch (...) {
        return ComPtr<T>();
    }
}

// Runs body (which returns an HRESULT) and maps anything it throws: COM
// operations never let an exception out.
template <typename Body>
HRESULT Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace devhost
