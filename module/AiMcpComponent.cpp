#include "AiMcpComponent.h"

#include <string>
#include <utility>

#include "AiMcpSettingHelper.h"
#include "AiMcpSettingPage.h"
#include "HostAccess.h"
#include "UniqueBstr.h"

namespace {

// The component last attached to a host. Read and written on the host's
// main thread only (attach, detach, destruction, ApplyAiMcpSettings).
AiMcpComponent* attachedInstance = nullptr;

constexpr wchar_t kApplicationRoot[] = L"app:\\";
constexpr wchar_t kLanguageFolder[] = L"app:\\tsyappaimcp\\language\\";
constexpr wchar_t kModuleAlias[] = L"tsyappaimcp";
constexpr wchar_t kConfigAlias[] = L"tsyappaimcpconfig";
constexpr wchar_t kArchivePath[] = L"tsyappaimcp:\\resource.zip";
constexpr wchar_t kIndexPath[] = L"tsyappaimcpconfig:\\res.xml";
constexpr wchar_t kModuleFileName[] = L"tsyappaimcp.dll";

// Adds the plug-in's language folder to the language service, through the
// language-folder interface the service object offers. Skipped when either
// is missing.
void AddLanguageFolder()
{
    ComPtr<IxLanguageService> language = GetHostService<IxLanguageService>(SID_LanguageService);
    if (!language) return;
    ComPtr<IxLanguageFolder> folders = language.As<IxLanguageFolder>(IID_IxLanguageFolder);
    if (!folders) return;
    folders->AddFolder(UniqueBstr(kLanguageFolder).get());
}

}  // namespace

AiMcpComponent* AiMcpAttachedInstance()
{
    return attachedInstance;
}

AiMcpComponent::AiMcpComponent(IUnknown* outer) : AiMcpDualObject(outer) {}

AiMcpComponent::~AiMcpComponent()
{
    if (attachedInstance == this) attachedInstance = nullptr;
}

IUnknown* AiMcpComponent::_FindInterface(REFIID iid) noexcept
{
    if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IxAiMcp)) return static_cast<IxAiMcp*>(this);
    if (IsEqualIID(iid, IID_IxHostPlugin)) return &hostPlugin_;
    return nullptr;
}

HRESULT AiMcpComponent::ShowSettingWindow(IDispatch* pParentWindow) noexcept
{
    if (!pParentWindow) return E_POINTER;
    ComPtr<IxWindowFactory> factory;
    pParentWindow->QueryInterface(IID_IxWindowFactory, factory.put_void());
    if (!factory) return E_FAIL;
    try {
        return _ShowSettingWindow(factory.get());
    } catch (...) {
        AIMCP_TRACE(L"AiMcpComponent: showing the settings window failed with an exception");
        return E_FAIL;
    }
}

HRESULT AiMcpComponent::_ShowSettingWindow(IxWindowFactory* factory)
{
    // 1. The window, from its layout.
    ComPtr<IxWindow> window;
    const HRESULT made = factory->CreateLayoutWindow(UniqueBstr(kAiMcpWindowLayout).get(), 0, window.put());
    if (FAILED(made)) return made;
    if (!window) return E_FAIL;

    // 2. Its caption, also shown as its title text.
    const std::wstring caption = AiMcpLanguageText(L"IDS_TESSARY_CAPTION") + L" - " + AiMcpLanguageText(L"IDS_AIMCP_PAGE_TITLE");
    ComPtr<IxNode2> windowNode;
    window->QueryInterface(IID_IxNode2, windowNode.put_void());
    if (windowNode) {
        const auto title = ComPtr<IxElement>::Attach(Util::UI::GetElementById(windowNode.get(), L"aimcp_setting_title"));
        if (const auto text = title ? title.As<IxTextElement>(IID_IxTextElement) : ComPtr<IxTextElement>())
            text->SetText(UniqueBstr(caption).get());
    }
    window->SetCaption(UniqueBstr(caption).get());

    // 3. A page and its element tree.
    ComPtr<IxHostSettingPage> page;
    {
        // The page's class is named by its interface's identifier.
        ComPtr<IUnknown> object;
        CreateInstanceFromClassFactory(IID_IxSettingAiMcp, object.put_void(), nullptr);
        if (object) page = object.As<IxHostSettingPage>(IID_IxHostSettingPage);
    }
    if (!page) return E_FAIL;
    ComPtr<IxNode2> root;
    const HRESULT built = page->CreatePage(root.put());
    if (FAILED(built)) return built;
    if (!root) return E_FAIL;

    // 4. The tree goes into the window's page host.
    if (!windowNode) return E_FAIL;
    const auto host = ComPtr<IxElement>::Attach(Util::UI::GetElementById(windowNode.get(), L"aimcp_page_host"));
    const auto container = host ? host.As<IxContainer>(IID_IxContainer) : ComPtr<IxContainer>();
    if (!container) return E_FAIL;
    const HRESULT added = container->AddChild(root.get());
    if (FAILED(added)) return added;

    // 5, 6. Loaded, and kept for as long as the plug-in is attached.
    page->Activate(window.get(), 0);
    KeepShownSettingPage(page.get());

    // 7.
    return window->Show();
}

HRESULT AiMcpComponent::AttachHost(IUnknown* host) noexcept
{
    try {
        _AttachHost(host);
    } catch (...) {
        // Out of memory while making a text: the host is told nothing, as
        // with every other failure of attaching.
        AIMCP_TRACE(L"AiMcpComponent: attaching failed");
    }
    return S_OK;
}

void AiMcpComponent::_SwapHost(IUnknown* host)
{
    ComPtr<IUnknown> previous;
    lock_.Enter();
    if (host != host_.get()) {
        previous = std::move(host_);
        host_ = ComPtr<IUnknown>::Copy(host);
    }
    lock_.Leave();
    // `previous` is released here, outside the lock.
}

void AiMcpComponent::_AttachHost(IUnknown* host)
{
    _SwapHost(host);

    if (!host) {
        // Only this component's own attachment ends here; another attached
        // component stays the attached instance.
        if (attachedInstance == this) attachedInstance = nullptr;
        server_.StopServer();
        // The pages of settings windows live no longer than the attachment:
        // the host is about to let the plug-in go.
        ReleaseShownSettingPages();
        AIMCP_TRACE(L"AiMcpComponent: detached");
        return;
    }

    attachedInstance = this;
    AddLanguageFolder();
    RegisterResources();
    const bool enabled = IsAiMcpEnabled();
    if (enabled) EnsureAiMcpToken();
    server_.StartServer();
    AIMCP_TRACE(L"AiMcpComponent: attached, AI access %ls", enabled ? L"on" : L"off");
}

void AiMcpComponent::ApplySettings()
{
    if (!IsAiMcpEnabled()) {
        // The server keeps running; its gate refuses requests while AI
        // access is off.
        server_.RefreshSettings();
        return;
    }
    EnsureAiMcpToken();
    server_.StartServer();
}

void ApplyAiMcpSettings()
{
    if (AiMcpComponent* component = attachedInstance) component->ApplySettings();
}

// The host plug-in interface.

HRESULT AiMcpComponent::HostPlugin::QueryInterface(REFIID iid, void** out) noexcept
{
    return owner_.QueryInterface(iid, out);
}

ULONG AiMcpComponent::HostPlugin::AddRef() noexcept
{
    return owner_.AddRef();
}

ULONG AiMcpComponent::HostPlugin::Release() noexcept
{
    return owner_.Release();
}

HRESULT AiMcpComponent::HostPlugin::GetTypeInfoCount(UINT* count) noexcept
{
    if (!count) return E_POINTER;
    *count = 0;  // not described by the module's type library
    return S_OK;
}

HRESULT AiMcpComponent::HostPlugin::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept
{
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT AiMcpComponent::HostPlugin::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) noexcept
{
    if (ids)
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT AiMcpComponent::HostPlugin::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                           UINT*) noexcept
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT AiMcpComponent::HostPlugin::AttachHost(IUnknown* host) noexcept
{
    return owner_.AttachHost(host);
}

HRESULT AiMcpComponent::HostPlugin::GetValue(LONG* value) noexcept
{
    if (!value) return E_POINTER;
    *value = 0;
    return S_OK;
}

// Resources.

namespace {

// The full path a host path resolves to; empty when it cannot be resolved.
std::wstring Resolve(IxPathService* paths, const wchar_t* path)
{
    UniqueBstr full;
    paths->ResolvePath(UniqueBstr(path).get(), full.put());
    return full.str();
}

}  // namespace

void RegisterResources()
{
    // 1. The application folder, which "app:\" stands for.
    ComPtr<IxPathService> paths = GetHostService<IxPathService>(SID_PathService);
    if (!paths) return;
    std::wstring application = Resolve(paths.get(), kApplicationRoot);
    if (application.empty()) {
        // The aliases below would name folders relative to whatever the
        // current directory happens to be; leave them undefined instead.
        AIMCP_TRACE(L"AiMcpComponent: the application folder cannot be resolved; no resources registered");
        return;
    }
    // The aliases name folders inside the application folder, whether or not
    // the host gave it with its trailing backslash.
    if (application.back() != L'\\') application += L'\\';

    // 2, 3. The module's folder and its configuration folder.
    paths->DefineAlias(UniqueBstr(kModuleAlias).get(), UniqueBstr(application + L"tsyappaimcp").get());
    paths->DefineAlias(UniqueBstr(kConfigAlias).get(), UniqueBstr(application + L"tsyappaimcp\\config").get());

    // 4. The configuration alias is served from the archive in the module's
    // folder.
    const UniqueBstr archive(Resolve(paths.get(), kArchivePath));
    paths->BindAliasToArchive(UniqueBstr(kConfigAlias).get(), archive.get());
    paths.reset();

    // 5. The archive service's third, first and second operations, in that
    // order, on the archive.
    ComPtr<IxResourceArchiveService> archives =
        GetHostService<IxResourceArchiveService>(SID_ResourceArchiveService);
    if (!archives) return;
    archives->ArchiveOperation3(archive.get());
    archives->ArchiveOperation1(archive.get());
    archives->ArchiveOperation2(archive.get());
    archives.reset();

    // 6. The module's resource index inside the configuration folder.
    ComPtr<IxResourceIndexService> indexes = GetHostService<IxResourceIndexService>(SID_ResourceIndexService);
    if (!indexes) return;
    indexes->RegisterIndex(UniqueBstr(kIndexPath).get(), UniqueBstr(kModuleFileName).get());
}
