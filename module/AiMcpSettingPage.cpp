#include "AiMcpSettingPage.h"

#include <new>
#include <vector>

#include "AiMcpComponent.h"
#include "AiMcpQuota.h"
#include "AiMcpSettingHelper.h"
#include "HostAccess.h"

const wchar_t kAiMcpPageLayout[] = L"tsyappaimcpconfig:\\frame.xml|SettingAiMcpPage";
const wchar_t kAiMcpWindowLayout[] = L"tsyappaimcpconfig:\\frame.xml|AiMcpSetting";

namespace {

constexpr LONG kPageValue = 11;
const wchar_t kTitleKey[] = L"IDS_AIMCP_PAGE_TITLE";
const wchar_t kCopiedKey[] = L"IDS_SUBSEDITOR_COPY_SUCCESS";
const wchar_t kIcon[] = L"resbox:texture:settingNoteIcon";
const wchar_t kSelectedIcon[] = L"resbox:texture:settingNoteSelectIcon";
const wchar_t kTokenVariable[] = L"TESSARY_AIMCP_TOKEN";
const wchar_t kProgramInFolder[] = L"tsyappaimcp\\tessary-mcp.exe";
const wchar_t kTutorialPath[] = L"tsyappaimcp:\\tutorial\\index.html";
const wchar_t kTrustWriteKey[] = L"sys_aimcp_trust_write";
const wchar_t kEnabledKey[] = L"sys_aimcp_enabled";

// The element ids, in the order of the page's parts.
const wchar_t* const kPartIds[] = {
    L"aimcp_enabled",    L"aimcp_btn_copy_config", L"aimcp_btn_view_tutorial", L"aimcp_status_on",
    L"aimcp_status_off", L"aimcp_quota_items",     L"aimcp_quota_events",      L"aimcp_quota_notes",
};

void RecordStatistics(const wchar_t* label)
{
    const auto statistics = GetHostService<IxStatisticsService>(SID_StatisticsService);
    if (!statistics) return;
    statistics->RecordEvent(UniqueBstr(L"ai").get(), UniqueBstr(L"mcp").get(), UniqueBstr(label).get(), 1);
}

// The node identity of an object (ask for IxNode2, compare pointers).
ComPtr<IxNode2> NodeOf(IUnknown* object)
{
    ComPtr<IxNode2> node;
    if (object) object->QueryInterface(IID_IxNode2, node.put_void());
    return node;
}

template <typename T>
ComPtr<T> PartAs(const ComPtr<IxElement>& element, const IID& iid)
{
    return element ? element.As<T>(iid) : ComPtr<T>();
}

std::vector<ComPtr<IUnknown>>& ShownPages()
{
    // Never destroyed: at process exit the host's windows behind these pages
    // may be gone already, and releasing them from the module's unload would
    // call into the host's UI under the loader lock. The list is emptied
    // while the host is still there, when the main component detaches.
    static auto* pages = new std::vector<ComPtr<IUnknown>>();
    return *pages;
}

}  // namespace

std::wstring BuildMcpClientConfig(const std::wstring& programPath, const std::wstring& token)
{
    std::wstring path;
    for (wchar_t c : programPath) {
        path += c;
        if (c == L'\\') path += L'\\';
    }
    return L"{\r\n  \"mcpServers\": {\r\n    \"Tessary\": {\r\n      \"command\": \"" + path +
           L"\",\r\n      \"args\": [],\r\n      \"env\": {\r\n        \"" + kTokenVariable + L"\": \"" + token +
           L"\"\r\n      }\r\n    }\r\n  }\r\n}\r\n";
}

std::wstring FormatQuotaLine(const std::wstring& format, int used, int limit, int remaining)
{
    const int values[] = {used, limit, remaining};
    std::size_t next = 0;
    std::wstring line;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == L'%' && i + 1 < format.size()) {
            if (format[i + 1] == L'%') {
                line += L'%';
                ++i;
                continue;
            }
            if (format[i + 1] == L'd' && next < 3) {
                line += std::to_wstring(values[next++]);
                ++i;
                continue;
            }
        }
        line += format[i];
    }
    return line;
}

std::wstring McpProgramPath()
{
    const auto paths = GetHostService<IxPathService>(SID_PathService);
    if (!paths) return std::wstring();
    UniqueBstr folder;
    if (FAILED(paths->ResolvePath(UniqueBstr(L"app:\\").get(), folder.put())) || folder.str().empty())
        return std::wstring();
    std::wstring path = folder.str();
    if (path.back() != L'\\') path += L'\\';
    return path + kProgramInFolder;
}

// ---- Listeners -------------------------------------------------------------

// Hands the events it receives to its page; quiet (E_FAIL) once the page is
// gone. Holds no reference to the page: the page owns it.
class AiMcpSettingPage::Listener final : public IxEventListener {
public:
    using Handler = HRESULT (AiMcpSettingPage::*)(LONG, IUnknown*);

    Listener(AiMcpSettingPage* page, Handler handler) : page_(page), handler_(handler) {}

    void Detach() noexcept { page_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IxEventListener)) return E_NOINTERFACE;
        *out = static_cast<IxEventListener*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE OnEvent(LONG eventId, IUnknown* source, LONG) noexcept override
    {
        if (!page_) return E_FAIL;
        try {
            return (page_->*handler_)(eventId, source);
        } catch (...) {
            // Nothing may be thrown back into the host's message loop.
            AIMCP_TRACE(L"AiMcpSettingPage: an event handler failed with an exception");
            return E_FAIL;
        }
    }

private:
    ~Listener() = default;
    LONG refs_ = 1;
    AiMcpSettingPage* page_;
    Handler handler_;
};

// ---- The component ---------------------------------------------------------

AiMcpSettingPage::AiMcpSettingPage(IUnknown* outer) : AiMcpDualObject(outer)
{
    clickListener_ = ComPtr<Listener>::Attach(new (std::nothrow) Listener(this, &AiMcpSettingPage::_OnClick));
    changeListener_ =
        ComPtr<Listener>::Attach(new (std::nothrow) Listener(this, &AiMcpSettingPage::_OnValueChanged));
}

AiMcpSettingPage::~AiMcpSettingPage()
{
    if (clickListener_) clickListener_->Detach();
    if (changeListener_) changeListener_->Detach();
}

IUnknown* AiMcpSettingPage::_FindInterface(REFIID iid) noexcept
{
    if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IxSettingAiMcp))
        return static_cast<IxSettingAiMcp*>(this);
    if (IsEqualIID(iid, IID_IxHostSettingPage)) return static_cast<IxHostSettingPage*>(this);
    return nullptr;
}

HRESULT AiMcpSettingPage::QueryInterface(REFIID iid, void** out) noexcept
{
    return AiMcpDualObject::QueryInterface(iid, out);
}

ULONG AiMcpSettingPage::AddRef() noexcept
{
    return AiMcpDualObject::AddRef();
}

ULONG AiMcpSettingPage::Release() noexcept
{
    return AiMcpDualObject::Release();
}

HRESULT AiMcpSettingPage::GetTitle(BSTR* title) noexcept
{
    if (!title) return E_POINTER;
    *title = nullptr;
    const auto language = GetHostService<IxLanguageService>(SID_LanguageService);
    if (!language) return E_FAIL;
    return language->GetText(UniqueBstr(kTitleKey).get(), title);
}

HRESULT AiMcpSettingPage::GetIcons(BSTR* icon, BSTR* selectedIcon) noexcept
{
    if (icon) *icon = SysAllocString(kIcon);
    if (selectedIcon) *selectedIcon = SysAllocString(kSelectedIcon);
    return S_OK;
}

HRESULT AiMcpSettingPage::GetPageValue(LONG* value) noexcept
{
    if (!value) return E_POINTER;
    *value = kPageValue;
    return S_OK;
}

HRESULT AiMcpSettingPage::CreatePage(IxNode2** root) noexcept
{
    if (!root) return E_POINTER;
    *root = nullptr;
    const auto loader = GetHostService<IxLayoutLoaderService>(SID_LayoutLoaderService);
    if (!loader) return E_FAIL;
    UniqueBstr text;
    loader->LoadLayout(UniqueBstr(kAiMcpPageLayout).get(), text.put());
    if (text.str().empty()) return E_FAIL;
    const auto builder = GetHostService<IxElementBuilderService>(SID_ElementBuilderService);
    if (!builder) return E_FAIL;
    ComPtr<IUnknown> element;
    builder->BuildElement(text.get(), 0, element.put());
    ComPtr<IxNode2> node = NodeOf(element.get());
    if (!node) return E_FAIL;
    root_ = node;
    *root = node.detach();
    return S_OK;
}

HRESULT AiMcpSettingPage::Finish(LONG code) noexcept
{
    if (!activated_) return S_OK;
    if (code == 1 || code == 2) _Save();
    Reset();
    return S_OK;
}

HRESULT AiMcpSettingPage::Reserved6() noexcept
{
    return S_OK;
}

HRESULT AiMcpSettingPage::Activate(IUnknown* hostWindow, LONG value) noexcept
{
    if (activated_) return S_OK;
    hostWindow_ = ComPtr<IUnknown>::Copy(hostWindow);
    activationValue_ = value;
    activated_ = true;
    _Load();
    return S_OK;
}

HRESULT AiMcpSettingPage::Reset() noexcept
{
    activated_ = false;
    hostWindow_.reset();
    activationValue_ = 0;
    root_.reset();
    // The elements belong to the tree just forgotten; the next activation
    // looks them up (and subscribes) in the tree it is given.
    for (ComPtr<IxElement>& part : parts_) part.reset();
    subscribed_ = false;
    return S_OK;
}

HRESULT AiMcpSettingPage::Load() noexcept
{
    if (activated_) _Load();
    return S_OK;
}

HRESULT AiMcpSettingPage::Reserved10() noexcept
{
    return S_OK;
}

HRESULT AiMcpSettingPage::Save() noexcept
{
    _Save();
    return S_OK;
}

HRESULT AiMcpSettingPage::Save2() noexcept
{
    _Save();
    return S_OK;
}

void AiMcpSettingPage::_LookUpElements()
{
    if (!root_) return;
    for (int part = 0; part < PartCount; ++part) {
        if (parts_[part]) continue;
        parts_[part] = ComPtr<IxElement>::Attach(Util::UI::GetElementById(root_.get(), kPartIds[part]));
    }
}

void AiMcpSettingPage::_Load()
{
    enabled_ = IsAiMcpEnabled() ? 1 : 0;
    _LookUpElements();
    if (const auto box = PartAs<IxCheckBox>(parts_[Switch], IID_IxCheckBox))
        box->SetChecked(enabled_ ? VARIANT_TRUE : VARIANT_FALSE);
    SetSettingInt(kTrustWriteKey, 1);
    _ShowState();
    _Subscribe();
    _ShowQuota();
}

void AiMcpSettingPage::_Save()
{
    // Without the switch on screen there is no new value to store: the
    // stored one stays, rather than being read as "off".
    if (const auto box = PartAs<IxCheckBox>(parts_[Switch], IID_IxCheckBox)) {
        VARIANT_BOOL checked = VARIANT_FALSE;
        box->GetChecked(&checked);
        enabled_ = checked == VARIANT_TRUE ? 1 : 0;
    } else {
        enabled_ = IsAiMcpEnabled() ? 1 : 0;
    }
    SetSettingInt(kEnabledKey, enabled_);
    SetSettingInt(kTrustWriteKey, 1);
    if (enabled_) EnsureAiMcpToken();
    ApplyAiMcpSettings();
}

// The buttons and the status elements after the switch.
void AiMcpSettingPage::_ShowState()
{
    const VARIANT_BOOL disabled = enabled_ ? VARIANT_FALSE : VARIANT_TRUE;
    for (Part button : {CopyButton, TutorialButton})
        if (const auto control = PartAs<IxControl>(parts_[button], IID_IxControl)) control->SetDisabled(disabled);
    if (parts_[StatusOn]) Util::Style::SetVisible(parts_[StatusOn].get(), enabled_ ? ExDisplayShown : ExDisplayHidden);
    if (parts_[StatusOff]) Util::Style::SetVisible(parts_[StatusOff].get(), enabled_ ? ExDisplayHidden : ExDisplayShown);
    // The host wants the status element's attached object asked for once the
    // display changed; what it does with the request is its own business.
    IxElement* status = parts_[StatusOff] ? parts_[StatusOff].get() : parts_[StatusOn].get();
    if (status) {
        ComPtr<IUnknown> attached;
        status->GetAttachedObject(attached.put());
    }
}

void AiMcpSettingPage::_Subscribe()
{
    if (subscribed_) return;
    subscribed_ = true;
    if (const auto source = PartAs<IxEventSource>(parts_[Switch], IID_IxEventSource))
        if (changeListener_) source->AddListener(kUiEventValueChanged, changeListener_.get());
    for (Part button : {CopyButton, TutorialButton})
        if (const auto source = PartAs<IxEventSource>(parts_[button], IID_IxEventSource))
            if (clickListener_) source->AddListener(kUiEventClick, clickListener_.get());
}

void AiMcpSettingPage::_ShowQuota()
{
    const QuotaSnapshot quota = ReadQuotaSnapshot();
    const struct {
        Part part;
        const wchar_t* key;
        int used, limit;
    } lines[] = {
        {QuotaItems, L"IDS_AIMCP_QUOTA_LINE_ITEMS", quota.itemsUsed, quota.itemsLimit},
        {QuotaEvents, L"IDS_AIMCP_QUOTA_LINE_EVENTS", quota.eventsUsed, quota.eventsLimit},
        {QuotaNotes, L"IDS_AIMCP_QUOTA_LINE_NOTES", quota.notesUsed, quota.notesLimit},
    };
    for (const auto& line : lines) {
        const auto text = PartAs<IxTextElement>(parts_[line.part], IID_IxTextElement);
        if (!text) continue;
        const int remaining = line.used >= line.limit ? 0 : line.limit - line.used;
        text->SetText(UniqueBstr(FormatQuotaLine(AiMcpLanguageText(line.key), line.used, line.limit, remaining)).get());
    }
}

bool AiMcpSettingPage::_IsPart(IUnknown* source, Part part) const
{
    if (!parts_[part]) return false;
    const ComPtr<IxNode2> from = NodeOf(source);
    const ComPtr<IxNode2> known = NodeOf(parts_[part].get());
    return from && known && from.get() == known.get();
}

HRESULT AiMcpSettingPage::_OnValueChanged(LONG eventId, IUnknown* source)
{
    if (eventId != kUiEventValueChanged || !_IsPart(source, Switch)) return E_FAIL;
    _Save();
    RecordStatistics(enabled_ ? L"enable" : L"disable");
    _ShowState();
    return S_OK;
}

HRESULT AiMcpSettingPage::_OnClick(LONG eventId, IUnknown* source)
{
    if (eventId == kUiEventClick) {
        if (_IsPart(source, CopyButton)) _CopyConfiguration();
        else if (_IsPart(source, TutorialButton) && enabled_) _OpenTutorial();
    }
    return E_FAIL;
}

void AiMcpSettingPage::_CopyConfiguration()
{
    if (!enabled_) return;
    const std::wstring token = EnsureAiMcpToken();
    ApplyAiMcpSettings();
    const std::wstring text = BuildMcpClientConfig(McpProgramPath(), token);
    if (const auto application = GetHostService<IxApplicationService>(SID_ApplicationService))
        application->CopyText(UniqueBstr(text).get());
    RecordStatistics(L"copy_config");
    if (const auto tip = GetHostService<IxTipService>(SID_TipService))
        tip->ShowTip(UniqueBstr(AiMcpLanguageText(kCopiedKey)).get());
}

void AiMcpSettingPage::_OpenTutorial()
{
    // The tutorial ships beside the plug-in, so it opens without a network.
    const auto paths = GetHostService<IxPathService>(SID_PathService);
    if (!paths) return;
    UniqueBstr page;
    if (FAILED(paths->ResolvePath(UniqueBstr(kTutorialPath).get(), page.put())) || page.str().empty()) return;
    std::wstring address = page.str();
    Util::System::LaunchDefaultBrowser(&address[0]);
}

// ---- Pages shown in windows of their own -----------------------------------

void KeepShownSettingPage(IUnknown* page)
{
    if (page) ShownPages().push_back(ComPtr<IUnknown>::Copy(page));
}

void ReleaseShownSettingPages()
{
    // Released outside the list: a page's release may come back here.
    std::vector<ComPtr<IUnknown>> pages;
    pages.swap(ShownPages());
}

std::size_t ShownSettingPageCount()
{
    return ShownPages().size();
}
