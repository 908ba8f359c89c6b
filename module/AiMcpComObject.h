// Reference counting and identity shared by the plug-in's components, which
// the host may create on their own or aggregated into an outer object.
//
// Every component has a non-delegating IUnknown (InnerUnknown) that owns the
// reference count and answers QueryInterface from the component's interface
// table. The IUnknown methods of the component's interfaces delegate to the
// controlling unknown: the outer object when the component is aggregated,
// else the component's own InnerUnknown. So an aggregated component shares
// the outer object's identity and lifetime, and a plain one is an ordinary
// COM object whose identity (what QueryInterface(IID_IUnknown) gives) is its
// InnerUnknown.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <new>

#include "AiMcpTypeInfo.h"

class AiMcpComObject {
public:
    AiMcpComObject(const AiMcpComObject&) = delete;
    AiMcpComObject& operator=(const AiMcpComObject&) = delete;

    // The component's own IUnknown; handed to the outer object when aggregated.
    IUnknown* InnerUnknown() noexcept { return &inner_; }

protected:
    // outer: the controlling object, or null for a component of its own. The
    // count starts at 1, the creator's reference.
    explicit AiMcpComObject(IUnknown* outer) noexcept : controlling_(outer ? outer : &inner_) {}
    virtual ~AiMcpComObject() = default;

    // Where the interfaces' IUnknown methods go.
    IUnknown* _Controlling() const noexcept { return controlling_; }

    // The component's interface for iid, other than IUnknown, without a
    // reference added; null when it has none.
    virtual IUnknown* _FindInterface(REFIID iid) noexcept = 0;

private:
    class Inner final : public IUnknown {
    public:
        explicit Inner(AiMcpComObject& owner) noexcept : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
        {
            if (!out) return E_POINTER;
            IUnknown* found = IsEqualIID(iid, IID_IUnknown) ? this : owner_._FindInterface(iid);
            *out = found;
            if (!found) return E_NOINTERFACE;
            // Through the interface found: an aggregated component's outward
            // interfaces count on the outer object.
            found->AddRef();
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() noexcept override
        {
            return static_cast<ULONG>(InterlockedIncrement(&owner_.refs_));
        }
        ULONG STDMETHODCALLTYPE Release() noexcept override
        {
            const LONG left = InterlockedDecrement(&owner_.refs_);
            if (left == 0) delete &owner_;
            return static_cast<ULONG>(left);
        }

    private:
        AiMcpComObject& owner_;
    };

    LONG refs_ = 1;
    Inner inner_{*this};
    IUnknown* const controlling_;
};

// A component whose own interface is the dual interface Interface (Iid) of
// the module's type library: IUnknown delegates to the controlling unknown,
// IDispatch is served from the type library.
template <typename Interface, const IID& Iid>
class AiMcpDualObject : public Interface, public AiMcpComObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
    {
        return _Controlling()->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return _Controlling()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() noexcept override { return _Controlling()->Release(); }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override
    {
        return typeInfo_.GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override
    {
        return typeInfo_.GetTypeInfo(index, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) noexcept override
    {
        return typeInfo_.GetIDsOfNames(riid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argumentError) noexcept override
    {
        return typeInfo_.Invoke(static_cast<Interface*>(this), id, riid, flags, params, result, exception,
                                argumentError);
    }

protected:
    explicit AiMcpDualObject(IUnknown* outer) noexcept : AiMcpComObject(outer) {}

private:
    AiMcpTypeInfo typeInfo_{Iid};
};

// The body of a create function (TsyCreateFunc) for component T, whose own
// interface is Interface: see CreateAiMcpComponent.
template <typename T, typename Interface>
HRESULT CreateAiMcpObject(void** out, IUnknown* outer) noexcept
{
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = nullptr;
    try {
        object = new (std::nothrow) T(outer);
    } catch (...) {
        object = nullptr;  // a member could not be made; nothing is left over
    }
    if (!object) return E_FAIL;
    if (outer)
        *out = object->InnerUnknown();
    else
        *out = static_cast<Interface*>(object);
    return S_OK;
}
