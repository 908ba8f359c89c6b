// The AI access page of the host's settings dialog, as far as loading the
// plug-in needs it: the component the page's create function makes (class
// 7656B890-..., interface IxSettingAiMcp), with its identity, aggregation
// and IDispatch part, and the host settings-page interface the host asks it
// for.
//
// The page itself (its layout, switch, buttons and quota lines) is not
// written yet: every operation of the settings-page interface answers
// E_NOTIMPL until it is.
//
// Threads: the host's main thread.
#pragma once

#include "AiMcpComObject.h"
#include "HostApi.h"
#include "TsyAppAiMcp.h"

class AiMcpSettingPage final : public AiMcpDualObject<IxSettingAiMcp, IID_IxSettingAiMcp>,
                               public IxHostSettingPage {
public:
    // outer: the controlling object when aggregated, else null.
    explicit AiMcpSettingPage(IUnknown* outer);

    // IUnknown of both interfaces: to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // IxHostSettingPage: not written yet, E_NOTIMPL each.
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIcons(BSTR* icon, BSTR* selectedIcon) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPageValue(LONG* value) noexcept override;
    HRESULT STDMETHODCALLTYPE CreatePage(IxNode2** root) noexcept override;
    HRESULT STDMETHODCALLTYPE Finish(LONG code) noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved6() noexcept override;
    HRESULT STDMETHODCALLTYPE Activate(IUnknown* hostWindow, LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE Reset() noexcept override;
    HRESULT STDMETHODCALLTYPE Load() noexcept override;
    HRESULT STDMETHODCALLTYPE Reserved10() noexcept override;
    HRESULT STDMETHODCALLTYPE Save() noexcept override;
    HRESULT STDMETHODCALLTYPE Save2() noexcept override;

private:
    ~AiMcpSettingPage() override = default;
    IUnknown* _FindInterface(REFIID iid) noexcept override;
};
