// Shared pieces of the module tests: a test-owned COM object whose
// references are counted and never delete it, and shorthands for making a
// main component and reaching its parts.
#pragma once

#include <windows.h>

#include <string>

#include "AiMcpComponent.h"
#include "AiMcpModule.h"
#include "AiMcpSettingPage.h"
#include "ComPtr.h"
#include "HostApi.h"

namespace moduletest {

// Implements Interface (and IUnknown) for the test; lives on the test's
// stack, so Release never deletes. refs() shows what others still hold.
template <typename Interface, const IID& Iid>
class StackObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, Iid)) return E_NOINTERFACE;
        *out = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs_); }
    long refs() const { return refs_; }

private:
    long refs_ = 1;
};

// A host object: anything with an identity.
using FakeHost = StackObject<IUnknown, IID_IUnknown>;

// A new main component made by its create function, without an outer object.
inline ComPtr<IxAiMcp> NewComponent()
{
    void* out = nullptr;
    CreateAiMcpComponent(&out, nullptr);
    return ComPtr<IxAiMcp>::Attach(static_cast<IxAiMcp*>(out));
}

inline AiMcpComponent& Component(const ComPtr<IxAiMcp>& object)
{
    return *static_cast<AiMcpComponent*>(object.get());
}

inline ComPtr<IxHostPlugin> PluginOf(const ComPtr<IxAiMcp>& object)
{
    return object.As<IxHostPlugin>(IID_IxHostPlugin);
}

}  // namespace moduletest
