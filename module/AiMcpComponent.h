// The plug-in's main component. The host makes it through its create
// function (class 5F7A38A7-..., interface IxAiMcp), asks it for the host
// plug-in interface and attaches it: the component then registers the
// plug-in's language folder and resources with the host and starts the pipe
// server, whether AI access is on or off. Detaching (AttachHost(null)) or the
// last release stops the server.
//
// The component last attached to a host is the module's attached instance,
// on which ApplyAiMcpSettings works when the settings page changed AI access.
//
// Interfaces: IxAiMcp (dual; IDispatch served from the module's type
// library) and IxHostPlugin (dual as the host declares it; it is not part of
// the module's type library, so its IDispatch part offers no type
// information and no names: the host calls it through the vtable).
//
// Threads: the host's main thread runs every operation here. The server's
// worker thread never calls into the component.
#pragma once

#include "AiMcpComObject.h"
#include "AiMcpPipeServer.h"
#include "ComPtr.h"
#include "HostApi.h"
#include "TsyAppAiMcp.h"

class AiMcpComponent final : public AiMcpDualObject<IxAiMcp, IID_IxAiMcp> {
public:
    // outer: the controlling object when aggregated, else null. Made
    // detached, with the server stopped.
    explicit AiMcpComponent(IUnknown* outer);

    // IxAiMcp: shows the AI access page in a window of its own, made by the
    // window factory that pParentWindow offers.
    HRESULT STDMETHODCALLTYPE ShowSettingWindow(IDispatch* pParentWindow) noexcept override;

    // IxHostPlugin::AttachHost: attaches to host (not null) or detaches.
    // S_OK in every case.
    HRESULT AttachHost(IUnknown* host) noexcept;

    // What ApplyAiMcpSettings does on the attached instance.
    void ApplySettings();

    // The pipe server this component owns, for a look at its state.
    const CAiMcpPipeServer& Server() const noexcept { return server_; }

private:
    // The window, its caption, a page in its page host, activated and kept.
    HRESULT _ShowSettingWindow(IxWindowFactory* factory);

    // The host plug-in interface: shares the component's identity.
    class HostPlugin final : public IxHostPlugin {
    public:
        explicit HostPlugin(AiMcpComponent& owner) noexcept : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
        ULONG STDMETHODCALLTYPE AddRef() noexcept override;
        ULONG STDMETHODCALLTYPE Release() noexcept override;
        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) noexcept override;
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                                                DISPID* ids) noexcept override;
        HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                                         VARIANT* result, EXCEPINFO* exception,
                                         UINT* argumentError) noexcept override;
        HRESULT STDMETHODCALLTYPE AttachHost(IUnknown* host) noexcept override;
        HRESULT STDMETHODCALLTYPE GetValue(LONG* value) noexcept override;

    private:
        AiMcpComponent& owner_;
    };

    // A critical section owned for the object's life (spin count 0). Its
    // initialisation cannot fail on the systems the plug-in runs on
    // (Windows Vista and later).
    class ObjectLock {
    public:
        ObjectLock() noexcept { InitializeCriticalSectionAndSpinCount(&section_, 0); }
        ~ObjectLock() { DeleteCriticalSection(&section_); }
        ObjectLock(const ObjectLock&) = delete;
        ObjectLock& operator=(const ObjectLock&) = delete;
        void Enter() noexcept { EnterCriticalSection(&section_); }
        void Leave() noexcept { LeaveCriticalSection(&section_); }

    private:
        CRITICAL_SECTION section_;
    };

    // Clears the attached instance when it is this component. Members go in
    // reverse order afterwards: the server (its destructor stops it), the
    // host object, the object lock.
    ~AiMcpComponent() override;

    IUnknown* _FindInterface(REFIID iid) noexcept override;
    // Holds host (a counted reference) in place of the previous host, which
    // is released after the lock is left.
    void _SwapHost(IUnknown* host);
    void _AttachHost(IUnknown* host);

    // The reference count lives in the base, ahead of these.
    ObjectLock lock_;            // guards host_
    ComPtr<IUnknown> host_;      // null while detached
    CAiMcpPipeServer server_;    // constructed stopped
    HostPlugin hostPlugin_{*this};
};

// The module's attached instance: the component last attached to a host,
// null when none is.
AiMcpComponent* AiMcpAttachedInstance();

// Applies the stored AI access settings to the attached instance's server:
// with AI access off the running server only refreshes its snapshot (the
// gate then refuses requests); with it on a token is made sure of and the
// server is started (or refreshed when it runs). Nothing without an attached
// instance. Called by the settings page on the main thread.
void ApplyAiMcpSettings();

// Registers the plug-in's resource aliases, archive and resource index with
// the host's path, resource archive and resource index services (see
// AiMcpComponent.cpp for the steps). Every result is ignored; a missing
// service skips everything after it.
void RegisterResources();
