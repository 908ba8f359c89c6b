// IDispatch for the plug-in's dual interfaces, served from the module's own
// type library (TYPELIB resource 1 of the module's file).
//
// The library is loaded with LoadTypeLibEx(REGKIND_NONE) on the module's
// file path the first time a component's IDispatch part needs it, so loading
// the plug-in writes nothing to the registry and asks the host for nothing.
// Each component keeps what it loaded and releases it when it goes.
//
// Names and calls go through the interface's vtable description (for a dual
// interface the library holds it beside the dispinterface); GetTypeInfo hands
// out the dispinterface description, as automation clients expect.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <mutex>

#include "ComPtr.h"

class AiMcpTypeInfo {
public:
    // iid: a dual interface of the module's type library.
    explicit AiMcpTypeInfo(const IID& iid) noexcept : iid_(iid) {}
    AiMcpTypeInfo(const AiMcpTypeInfo&) = delete;
    AiMcpTypeInfo& operator=(const AiMcpTypeInfo&) = delete;

    // The IDispatch operations of an object whose interface this describes;
    // Invoke calls into object, the interface pointer (not the IUnknown).
    HRESULT GetTypeInfoCount(UINT* count) noexcept;
    HRESULT GetTypeInfo(UINT index, ITypeInfo** info) noexcept;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;
    HRESULT Invoke(void* object, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argumentError) noexcept;

private:
    struct Loaded {
        ComPtr<ITypeInfo> dispatch;   // the dispinterface, for GetTypeInfo
        ComPtr<ITypeInfo> vtable;     // the interface, for names and calls
    };

    // Loads the descriptions once; later calls give what was loaded. A
    // failed load is traced and tried again on the next call.
    HRESULT _Load(Loaded& out) noexcept;

    const IID& iid_;
    // Protects loaded_; never held while the library is loaded.
    std::mutex lock_;
    Loaded loaded_;
};
