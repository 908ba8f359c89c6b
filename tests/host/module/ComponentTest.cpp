// The main component attached to and detached from a host: the pipe server
// it owns, the token it makes sure of, ApplyAiMcpSettings on the attached
// instance, the host reference it keeps, and the resources, aliases and
// language folder it registers with the host's services, in order.
//
// The server serves the calendar's real pipe name here; the tests only look
// at whether it runs (requests over the pipe are the pipe server's tests).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DevHostApi.h"
#include "ModuleTestSupport.h"
#include "ServiceTestSupport.h"
#include "SettingsServices.h"
#include "UniqueBstr.h"

using namespace moduletest;

namespace {

using Log = std::vector<std::wstring>;

std::wstring Text(BSTR text)
{
    return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}

// Path service that records every call in the shared log and resolves
// "app:\" and the aliases defined through it.
class RecordingPaths final : public StackObject<IxPathService, IID_IxPathService> {
public:
    RecordingPaths(Log& log, std::wstring application) : log_(log), application_(std::move(application)) {}

    HRESULT STDMETHODCALLTYPE ResolvePath(BSTR path, BSTR* fullPath) override
    {
        const std::wstring text = Text(path);
        log_.push_back(L"ResolvePath " + text);
        std::wstring full;
        if (text == L"app:\\") {
            full = application_;
        } else {
            const std::size_t colon = text.find(L":\\");
            for (const auto& alias : aliases_)
                if (colon != std::wstring::npos && alias.first == text.substr(0, colon))
                    full = alias.second + L"\\" + text.substr(colon + 2);
        }
        if (full.empty()) return E_INVALIDARG;
        *fullPath = SysAllocString(full.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DefineAlias(BSTR alias, BSTR folder) override
    {
        log_.push_back(L"DefineAlias " + Text(alias) + L" " + Text(folder));
        aliases_.emplace_back(Text(alias), Text(folder));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BindAliasToArchive(BSTR alias, BSTR archivePath) override
    {
        log_.push_back(L"BindAliasToArchive " + Text(alias) + L" " + Text(archivePath));
        return S_OK;
    }

private:
    Log& log_;
    std::wstring application_;
    std::vector<std::pair<std::wstring, std::wstring>> aliases_;
};

class RecordingArchives final : public StackObject<IxResourceArchiveService, IID_IxResourceArchiveService> {
public:
    explicit RecordingArchives(Log& log) : log_(log) {}
    HRESULT STDMETHODCALLTYPE ArchiveOperation1(BSTR path) override { return Record(L"ArchiveOperation1 ", path); }
    HRESULT STDMETHODCALLTYPE ArchiveOperation2(BSTR path) override { return Record(L"ArchiveOperation2 ", path); }
    HRESULT STDMETHODCALLTYPE ArchiveOperation3(BSTR path) override { return Record(L"ArchiveOperation3 ", path); }

private:
    HRESULT Record(const wchar_t* operation, BSTR path)
    {
        log_.push_back(operation + Text(path));
        return S_OK;
    }
    Log& log_;
};

class RecordingIndexes final : public StackObject<IxResourceIndexService, IID_IxResourceIndexService> {
public:
    explicit RecordingIndexes(Log& log) : log_(log) {}
    HRESULT STDMETHODCALLTYPE RegisterIndex(BSTR indexPath, BSTR moduleFileName) override
    {
        log_.push_back(L"RegisterIndex " + Text(indexPath) + L" " + Text(moduleFileName));
        return S_OK;
    }

private:
    Log& log_;
};

// Language service whose object offers the language-folder interface (or,
// when told, does not).
class RecordingLanguage final : public IxLanguageService, public IxLanguageFolder {
public:
    RecordingLanguage(Log& log, bool offerFolder) : log_(log), offerFolder_(offerFolder) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IxLanguageService))
            *out = static_cast<IxLanguageService*>(this);
        else if (offerFolder_ && IsEqualIID(iid, IID_IxLanguageFolder))
            *out = static_cast<IxLanguageFolder*>(this);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs_); }
    HRESULT STDMETHODCALLTYPE GetText(BSTR, BSTR*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE AddFolder(BSTR folder) override
    {
        log_.push_back(L"AddFolder " + Text(folder));
        return S_OK;
    }
    long refs() const { return refs_; }

private:
    Log& log_;
    bool offerFolder_;
    long refs_ = 1;
};

const Log kResourceCalls = {
    L"ResolvePath app:\\",
    L"DefineAlias tsyappaimcp C:\\Calendar\\tsyappaimcp",
    L"DefineAlias tsyappaimcpconfig C:\\Calendar\\tsyappaimcp\\config",
    L"ResolvePath tsyappaimcp:\\resource.zip",
    L"BindAliasToArchive tsyappaimcpconfig C:\\Calendar\\tsyappaimcp\\resource.zip",
    L"ArchiveOperation3 C:\\Calendar\\tsyappaimcp\\resource.zip",
    L"ArchiveOperation1 C:\\Calendar\\tsyappaimcp\\resource.zip",
    L"ArchiveOperation2 C:\\Calendar\\tsyappaimcp\\resource.zip",
    L"RegisterIndex tsyappaimcpconfig:\\res.xml tsyappaimcp.dll",
};

Log FirstCalls(std::size_t count)
{
    return Log(kResourceCalls.begin(), kResourceCalls.begin() + static_cast<std::ptrdiff_t>(count));
}

bool IsLowerHex64(const std::wstring& token)
{
    if (token.size() != 64) return false;
    for (wchar_t c : token)
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    return true;
}

class ModuleComponent : public testing::Test {
protected:
    servicetest::TempFolder folder;
    ComPtr<devhost::SettingStoreService> settings;
    FakeHost host;

    void SetUp() override
    {
        ASSERT_EQ(devhost::SettingStoreService::Create(devhost::DataFolder(folder.Path()), settings), S_OK);
        DevHost::SetService(SID_SettingStoreService, settings.get());
    }
    void TearDown() override
    {
        DevHost::ClearServices();
        EXPECT_EQ(AiMcpAttachedInstance(), nullptr) << "a component outlived its test";
    }

    void SetAiAccess(bool on) { ASSERT_EQ(settings->WriteInt(L"sys_aimcp_enabled", on ? 1 : 0), S_OK); }
    std::wstring StoredToken() const
    {
        std::wstring token;
        settings->ReadString(L"sys_aimcp_token", token);
        return token;
    }
};

TEST_F(ModuleComponent, AttachWithAccessOffServesWithoutAToken)
{
    const ComPtr<IxAiMcp> component = NewComponent();
    const ComPtr<IxHostPlugin> plugin = PluginOf(component);
    ASSERT_TRUE(plugin);
    EXPECT_FALSE(Component(component).Server().IsRunning());  // made stopped

    EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    EXPECT_TRUE(Component(component).Server().IsRunning());
    EXPECT_EQ(AiMcpAttachedInstance(), &Component(component));
    EXPECT_EQ(StoredToken(), L"");

    // Detaching stops the server and ends the attachment; attaching again
    // starts it anew.
    EXPECT_EQ(plugin->AttachHost(nullptr), S_OK);
    EXPECT_FALSE(Component(component).Server().IsRunning());
    EXPECT_EQ(AiMcpAttachedInstance(), nullptr);
    EXPECT_EQ(plugin->AttachHost(nullptr), S_OK);  // detaching twice is harmless
    EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    EXPECT_TRUE(Component(component).Server().IsRunning());
    EXPECT_EQ(AiMcpAttachedInstance(), &Component(component));
    EXPECT_EQ(plugin->AttachHost(nullptr), S_OK);
}

TEST_F(ModuleComponent, AttachWithAccessOnMakesTheTokenOnce)
{
    SetAiAccess(true);
    const ComPtr<IxAiMcp> component = NewComponent();
    const ComPtr<IxHostPlugin> plugin = PluginOf(component);
    EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    const std::wstring token = StoredToken();
    EXPECT_TRUE(IsLowerHex64(token)) << token;
    EXPECT_TRUE(Component(component).Server().IsRunning());

    // A repeated attach runs the steps again and keeps server and token.
    EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    EXPECT_EQ(StoredToken(), token);
    EXPECT_TRUE(Component(component).Server().IsRunning());
    EXPECT_EQ(plugin->AttachHost(nullptr), S_OK);
}

TEST_F(ModuleComponent, ApplyingSettingsWorksOnTheAttachedInstanceOnly)
{
    // Nobody attached: AI access on is stored but nothing is applied.
    SetAiAccess(true);
    const ComPtr<IxAiMcp> component = NewComponent();
    ApplyAiMcpSettings();
    EXPECT_EQ(StoredToken(), L"");
    EXPECT_FALSE(Component(component).Server().IsRunning());

    // Attached while off, switched on afterwards: the token appears and the
    // server keeps running.
    SetAiAccess(false);
    const ComPtr<IxHostPlugin> plugin = PluginOf(component);
    EXPECT_EQ(plugin->AttachHost(&host), S_OK);
    EXPECT_EQ(StoredToken(), L"");
    SetAiAccess(true);
    ApplyAiMcpSettings();
    const std::wstring token = StoredToken();
    EXPECT_TRUE(IsLowerHex64(token)) << token;
    EXPECT_TRUE(Component(component).Server().IsRunning());

    // Switched off again: the server keeps running (its gate refuses) and
    // the token stays.
    SetAiAccess(false);
    ApplyAiMcpSettings();
    EXPECT_TRUE(Component(component).Server().IsRunning());
    EXPECT_EQ(StoredToken(), token);

    // Detached: applying does nothing to the component any more.
    EXPECT_EQ(plugin->AttachHost(nullptr), S_OK);
    SetAiAccess(true);
    ApplyAiMcpSettings();
    EXPECT_FALSE(Component(component).Server().IsRunning());
}

TEST_F(ModuleComponent, KeepsOneReferenceToTheCurrentHost)
{
    FakeHost other;
    {
        const ComPtr<IxAiMcp> component = NewComponent();
        const ComPtr<IxHostPlugin> plugin = PluginOf(component);
        plugin->AttachHost(&host);
        EXPECT_EQ(host.refs(), 2);
        plugin->AttachHost(&host);
        EXPECT_EQ(host.refs(), 2);
        plugin->AttachHost(&other);
        EXPECT_EQ(host.refs(), 1);
        EXPECT_EQ(other.refs(), 2);
        plugin->AttachHost(nullptr);
        EXPECT_EQ(other.refs(), 1);

        // Released while attached: the destructor stops the server, gives the
        // host back and ends the attachment.
        plugin->AttachHost(&host);
        EXPECT_EQ(host.refs(), 2);
    }
    EXPECT_EQ(host.refs(), 1);
    EXPECT_EQ(AiMcpAttachedInstance(), nullptr);
}

TEST_F(ModuleComponent, DetachingAnotherComponentKeepsTheAttachedInstance)
{
    const ComPtr<IxAiMcp> first = NewComponent();
    const ComPtr<IxAiMcp> second = NewComponent();
    PluginOf(first)->AttachHost(&host);
    PluginOf(first)->AttachHost(nullptr);
    PluginOf(second)->AttachHost(&host);
    EXPECT_EQ(AiMcpAttachedInstance(), &Component(second));
    PluginOf(first)->AttachHost(nullptr);
    EXPECT_EQ(AiMcpAttachedInstance(), &Component(second));
    PluginOf(second)->AttachHost(nullptr);
}

TEST_F(ModuleComponent, RegisterResourcesMakesItsCallsInOrder)
{
    struct Case {
        const char* name;
        const wchar_t* application;  // what "app:\" resolves to; empty: it does not
        bool paths, archives, indexes;
        Log expected;
    };
    const Case cases[] = {
        {"every service", L"C:\\Calendar\\", true, true, true, kResourceCalls},
        {"folder without its backslash", L"C:\\Calendar", true, true, true, kResourceCalls},
        {"no path service", L"C:\\Calendar\\", false, true, true, {}},
        {"app folder unresolved", L"", true, true, true, FirstCalls(1)},
        {"no archive service", L"C:\\Calendar\\", true, false, true, FirstCalls(5)},
        {"no index service", L"C:\\Calendar\\", true, true, false, FirstCalls(8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        RecordingPaths paths(log, c.application);
        RecordingArchives archives(log);
        RecordingIndexes indexes(log);
        DevHost::SetService(SID_PathService, c.paths ? &paths : nullptr);
        DevHost::SetService(SID_ResourceArchiveService, c.archives ? &archives : nullptr);
        DevHost::SetService(SID_ResourceIndexService, c.indexes ? &indexes : nullptr);
        RegisterResources();
        DevHost::ClearServices();
        EXPECT_EQ(log, c.expected);
        // Every service was given back.
        EXPECT_EQ(paths.refs(), 1);
        EXPECT_EQ(archives.refs(), 1);
        EXPECT_EQ(indexes.refs(), 1);
    }
}

TEST_F(ModuleComponent, AttachAddsTheLanguageFolderThenTheResources)
{
    struct Case {
        const char* name;
        bool language, folderInterface, paths;
        Log expected;
    };
    Log full = {L"AddFolder app:\\tsyappaimcp\\language\\"};
    full.insert(full.end(), kResourceCalls.begin(), kResourceCalls.end());
    const Case cases[] = {
        {"every service", true, true, true, full},
        {"no language-folder interface", true, false, true, kResourceCalls},
        {"no language service", false, false, true, kResourceCalls},
        {"no path service", true, true, false, {L"AddFolder app:\\tsyappaimcp\\language\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        RecordingLanguage language(log, c.folderInterface);
        RecordingPaths paths(log, L"C:\\Calendar\\");
        RecordingArchives archives(log);
        RecordingIndexes indexes(log);
        DevHost::SetService(SID_SettingStoreService, settings.get());
        DevHost::SetService(SID_LanguageService, c.language ? static_cast<IxLanguageService*>(&language) : nullptr);
        DevHost::SetService(SID_PathService, c.paths ? &paths : nullptr);
        DevHost::SetService(SID_ResourceArchiveService, &archives);
        DevHost::SetService(SID_ResourceIndexService, &indexes);
        {
            const ComPtr<IxAiMcp> component = NewComponent();
            EXPECT_EQ(PluginOf(component)->AttachHost(&host), S_OK);
            EXPECT_EQ(log, c.expected);
            // Missing services never keep the server from running.
            EXPECT_TRUE(Component(component).Server().IsRunning());
            PluginOf(component)->AttachHost(nullptr);
        }
        DevHost::ClearServices();
        EXPECT_EQ(language.refs(), 1);
        EXPECT_EQ(paths.refs(), 1);
    }
}

}  // namespace
