// The AI access page of the host's settings dialog: the component the
// page's create function makes (class 7656B890-..., interface
// IxSettingAiMcp), driven by the host through its settings-page interface,
// and shown either inside the settings dialog or, through
// IxAiMcp::ShowSettingWindow, in a window of its own.
//
// On the page the user switches AI access on or off (the check box
// "aimcp_enabled"), sees whether it is on ("aimcp_status_on" or
// "aimcp_status_off"), copies a ready-made MCP client configuration
// ("aimcp_btn_copy_config"), opens the tutorial ("aimcp_btn_view_tutorial")
// and reads today's write quota ("aimcp_quota_items", "_events", "_notes").
// Both buttons are disabled while AI access is off. Every load and every
// save also stores trusted writing as on: the page has no control for it.
//
// Lifecycle: created -> CreatePage builds the element tree from the layout
// -> Activate (the first time after creation or reset) loads it -> switch
// changes and clicks arrive as events -> Finish (codes 1 and 2 save first)
// -> Reset forgets the activation, the tree and the elements looked up in
// it, so the next activation loads a fresh tree. The event sources keep
// references to the page's two listener objects; the listeners point back
// at the page without a reference of their own and go quiet when the page
// is destroyed, so no cycle keeps the page alive.
//
// Threads: the host's main thread.
#pragma once

#include <string>

#include "AiMcpComObject.h"
#include "ComPtr.h"
#include "HostApi.h"
#include "TsyAppAiMcp.h"

// The layout of the page and of its standalone window.
extern const wchar_t kAiMcpPageLayout[];    // "tsyappaimcpconfig:\frame.xml|SettingAiMcpPage"
extern const wchar_t kAiMcpWindowLayout[];  // "tsyappaimcpconfig:\frame.xml|AiMcpSetting"

// The client configuration text for the program path and token: an
// "mcpServers" object naming the "Tessary" server, with CR LF line ends,
// every backslash of the path doubled and the token inserted as it is.
std::wstring BuildMcpClientConfig(const std::wstring& programPath, const std::wstring& token);

// A quota line: the format with its "%d" placeholders replaced, in order,
// by used, limit and remaining, and "%%" by "%". Nothing else in the format
// is interpreted, so a language text can never make the formatting read
// arguments that are not there.
std::wstring FormatQuotaLine(const std::wstring& format, int used, int limit, int remaining);

// The full path of tessary-mcp.exe: the folder "app:\" resolves to, with a
// backslash, then "tsyappaimcp\tessary-mcp.exe"; empty when the folder
// cannot be resolved.
std::wstring McpProgramPath();

class AiMcpSettingPage final : public AiMcpDualObject<IxSettingAiMcp, IID_IxSettingAiMcp>,
                               public IxHostSettingPage {
public:
    // outer: the controlling object when aggregated, else null.
    explicit AiMcpSettingPage(IUnknown* outer);

    // IUnknown of both interfaces: to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    // IxHostSettingPage.
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

    // What a listener hands on: the switch's value change and the clicks.
    HRESULT _OnValueChanged(LONG eventId, IUnknown* source);
    HRESULT _OnClick(LONG eventId, IUnknown* source);

private:
    class Listener;
    enum Part { Switch, CopyButton, TutorialButton, StatusOn, StatusOff, QuotaItems, QuotaEvents, QuotaNotes, PartCount };

    ~AiMcpSettingPage() override;
    IUnknown* _FindInterface(REFIID iid) noexcept override;

    void _Load();
    void _Save();
    void _LookUpElements();
    void _Subscribe();
    void _ShowState();
    void _ShowQuota();
    void _CopyConfiguration();
    void _OpenTutorial();
    bool _IsPart(IUnknown* source, Part part) const;

    bool activated_ = false;
    ComPtr<IUnknown> hostWindow_;
    LONG activationValue_ = 0;
    ComPtr<IxNode2> root_;
    int enabled_ = 0;
    ComPtr<IxElement> parts_[PartCount];
    bool subscribed_ = false;
    ComPtr<Listener> clickListener_;
    ComPtr<Listener> changeListener_;
};

// The module-wide list of pages shown in standalone windows: each is kept
// until the main component detaches from the host, when the list is
// emptied.
void KeepShownSettingPage(IUnknown* page);
void ReleaseShownSettingPages();
std::size_t ShownSettingPageCount();
