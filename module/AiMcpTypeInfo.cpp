#include "AiMcpTypeInfo.h"

#include <oleauto.h>

#include "AiMcpModule.h"
#include "HostAccess.h"

namespace {

// The dispinterface and interface descriptions of iid in the module's type
// library.
HRESULT LoadDescriptions(const IID& iid, ComPtr<ITypeInfo>& dispatch, ComPtr<ITypeInfo>& vtable)
{
    const std::wstring path = AiMcpModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());

    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(iid, dispatch.put());
    if (FAILED(hr)) return hr;

    TYPEATTR* attributes = nullptr;
    hr = dispatch->GetTypeAttr(&attributes);
    if (FAILED(hr)) return hr;
    const bool dual = attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    const bool plainInterface = attributes->typekind == TKIND_INTERFACE;
    dispatch->ReleaseTypeAttr(attributes);

    if (plainInterface) {
        vtable = dispatch;
        return S_OK;
    }
    if (!dual) return TYPE_E_WRONGTYPEKIND;
    // Index -1 of a dual dispinterface is its vtable interface.
    HREFTYPE reference = 0;
    hr = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference);
    if (FAILED(hr)) return hr;
    return dispatch->GetRefTypeInfo(reference, vtable.put());
}

}  // namespace

HRESULT AiMcpTypeInfo::_Load(Loaded& out) noexcept
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (loaded_.vtable) {
            out = loaded_;
            return S_OK;
        }
    }
    Loaded fresh;
    const HRESULT hr = LoadDescriptions(iid_, fresh.dispatch, fresh.vtable);
    if (FAILED(hr)) {
        AIMCP_TRACE(L"AiMcpTypeInfo: loading the type library failed hr = 0x%08x", static_cast<unsigned>(hr));
        return hr;
    }
    std::lock_guard<std::mutex> guard(lock_);
    // Another caller may have loaded it meanwhile: keep the first.
    if (!loaded_.vtable) loaded_ = fresh;
    out = loaded_;
    return S_OK;
}

HRESULT AiMcpTypeInfo::GetTypeInfoCount(UINT* count) noexcept
{
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT AiMcpTypeInfo::GetTypeInfo(UINT index, ITypeInfo** info) noexcept
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    Loaded loaded;
    const HRESULT hr = _Load(loaded);
    if (FAILED(hr)) return hr;
    *info = loaded.dispatch.detach();
    return S_OK;
}

HRESULT AiMcpTypeInfo::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept
{
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    Loaded loaded;
    const HRESULT hr = _Load(loaded);
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(loaded.vtable.get(), names, count, ids);
}

HRESULT AiMcpTypeInfo::Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept
{
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    Loaded loaded;
    const HRESULT hr = _Load(loaded);
    if (FAILED(hr)) return hr;
    return DispInvoke(object, loaded.vtable.get(), id, flags, params, result, exception, argumentError);
}
