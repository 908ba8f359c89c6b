// A module that registers itself with the host while it loads, exactly as a
// plug-in does: a create function from its static initialisation and its
// type library from its DLL entry point, both under the loader lock.
// Built twice: TEST_MODULE_GOOD selects the good module's identifiers.
#include "HostCore.h"
#include "TestModuleIds.h"

namespace {

#if defined(TEST_MODULE_GOOD)
constexpr const GUID& kClassId = kGoodModuleClassId;
constexpr const GUID& kLibraryId = kGoodLibraryId;
#else
constexpr const GUID& kClassId = kGarbageModuleClassId;
constexpr const GUID& kLibraryId = kGarbageLibraryId;
#endif

// The smallest object a create function can hand out.
class Probe final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = IsEqualIID(iid, IID_IUnknown) ? this : nullptr;
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

private:
    LONG refs_ = 1;
};

HRESULT CreateProbe(void** object, IUnknown* outer)
{
    if (outer) return CLASS_E_NOAGGREGATION;
    *object = static_cast<IUnknown*>(new Probe);
    return S_OK;
}

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

[[maybe_unused]] const HRESULT registered = RegisterCreateFunc(kClassId, CreateProbe, ThisModule(), 0, nullptr);

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) RegisterTypelib(kLibraryId, instance);
    return TRUE;
}
