// The whole set of stand-in services over one data folder: every service
// answers its identifier as a COM object should, the services that depend on
// each other share state, and a restarted set sees what the last one stored.

#include <gtest/gtest.h>

#include <set>

#include "ServiceTestSupport.h"
#include "StandInServices.h"

using devhost::DataFolder;
using devhost::StandInOptions;
using devhost::StandInServices;
using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return memcmp(&a, &b, sizeof a) < 0; }
};

StandInOptions QuietOptions(const std::wstring& applicationFolder = L"")
{
    StandInOptions options;
    options.useClipboard = false;
    options.applicationFolder = applicationFolder;
    return options;
}

}  // namespace

TEST(StandInServicesTest, EveryServiceAnswersItsIdentifierAsACountedObject)
{
    TempFolder temp;
    StandInServices services;
    ASSERT_EQ(S_OK, devhost::CreateStandInServices(DataFolder(temp.PathOf(L"data")), QuietOptions(), services));

    const std::set<GUID, GuidLess> expected = {
        SID_SettingStoreService, SID_AccountService, SID_UserDataService,   SID_CloudConfigService,
        SID_StatisticsService,   SID_LanguageService, SID_ApplicationService, SID_PathService,
        SID_ResourceArchiveService, SID_ResourceIndexService, SID_CalendarService, SID_EventService,
        SID_DayContentService, SID_NoteService, SID_TimetableService, SID_LayoutLoaderService, SID_TipService};
    std::set<GUID, GuidLess> seen;
    for (const auto& entry : services.Entries()) {
        seen.insert(entry.first);
        IUnknown* object = entry.second;
        ASSERT_TRUE(object);
        // The set's reference, and one more for each service that uses this one.
        const ULONG held = object->AddRef() - 1;
        object->Release();

        void* own = nullptr;
        ASSERT_EQ(S_OK, object->QueryInterface(entry.first, &own));
        EXPECT_EQ(static_cast<void*>(object), own);
        void* unknown = nullptr;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, &unknown));
        EXPECT_EQ(static_cast<void*>(object), unknown);
        void* other = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, object->QueryInterface(IID_IDispatch, &other));
        EXPECT_EQ(nullptr, other);
        EXPECT_EQ(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));

        // Each successful query added one reference.
        EXPECT_EQ(held + 1, object->Release());
        EXPECT_EQ(held, object->Release());
    }
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(1u, services.settings->AddRef() - 1) << "only the set holds the settings store";
    services.settings->Release();

    // A new object holds exactly its creator's reference.
    ComPtr<devhost::ApplicationService> fresh = devhost::ApplicationService::Create(false);
    EXPECT_EQ(2u, fresh->AddRef());
    EXPECT_EQ(1u, fresh->Release());
}

TEST(StandInServicesTest, DependentServicesShareTheirState)
{
    TempFolder temp;
    StandInServices services;
    ASSERT_EQ(S_OK,
              devhost::CreateStandInServices(DataFolder(temp.PathOf(L"data")), QuietOptions(temp.Path()), services));

    // User data follows the account's login.
    ASSERT_EQ(S_OK, services.account->LogIn(L"dana"));
    UniqueBstr directory;
    ASSERT_EQ(S_OK, services.userData->GetUserDataDir(directory.put()));
    EXPECT_EQ(temp.PathOf(L"data\\user\\dana"), directory.str());

    // The language service resolves folders through the path service.
    ASSERT_TRUE(CreateDirectoryW(temp.PathOf(L"texts").c_str(), nullptr));
    ASSERT_TRUE(servicetest::WriteBytes(temp.PathOf(L"texts\\en-US.lang"), "IDS_X=from the alias\n"));
    ASSERT_EQ(S_OK, services.paths->DefineAlias(Bstr(L"texts").get(), Bstr(temp.PathOf(L"texts")).get()));
    ASSERT_EQ(S_OK, services.language->AddFolder(Bstr(L"texts:\\").get()));
    UniqueBstr text;
    ASSERT_EQ(S_OK, services.language->GetText(Bstr(L"IDS_X").get(), text.put()));
    EXPECT_EQ(L"from the alias", text.str());
}

TEST(StandInServicesTest, ARestartedSetSeesTheStoredState)
{
    TempFolder temp;
    const DataFolder folder(temp.PathOf(L"data"));
    {
        StandInServices services;
        ASSERT_EQ(S_OK, devhost::CreateStandInServices(folder, QuietOptions(), services));
        ASSERT_EQ(S_OK, services.settings->SetInt(0, Bstr(L"sys_aimcp_enabled").get(), 1, nullptr));
        ASSERT_EQ(S_OK, services.settings->SetString(0, Bstr(L"sys_aimcp_token").get(), Bstr(L"abc").get(), nullptr));
        ASSERT_EQ(S_OK, services.account->LogIn(L"erin"));
        ASSERT_EQ(S_OK, services.cloud->SetAiAccessAnswer(VARIANT_FALSE));
    }
    StandInServices restarted;
    ASSERT_EQ(S_OK, devhost::CreateStandInServices(folder, QuietOptions(), restarted));
    LONG enabled = 0;
    ASSERT_EQ(S_OK, restarted.settings->GetInt(0, Bstr(L"sys_aimcp_enabled").get(), 0, &enabled));
    EXPECT_EQ(1, enabled);
    UniqueBstr token;
    ASSERT_EQ(S_OK, restarted.settings->GetString(0, Bstr(L"sys_aimcp_token").get(), nullptr, token.put()));
    EXPECT_EQ(L"abc", token.str());
    EXPECT_EQ(L"erin", restarted.account->UserKey());
    VARIANT_BOOL allowed = VARIANT_TRUE;
    ASSERT_EQ(S_OK, restarted.cloud->IsAiAccessAllowed(&allowed));
    EXPECT_EQ(VARIANT_FALSE, allowed);
}

TEST(StandInServicesTest, AFolderThatCannotBeMadeLeavesTheSetEmpty)
{
    TempFolder temp;
    ASSERT_TRUE(servicetest::WriteBytes(temp.PathOf(L"file"), "x"));
    StandInServices services;
    const DataFolder underAFile(temp.PathOf(L"file\\data"));
    EXPECT_TRUE(FAILED(devhost::CreateStandInServices(underAFile, QuietOptions(), services)));
    for (const auto& entry : services.Entries()) EXPECT_FALSE(entry.second);
}
