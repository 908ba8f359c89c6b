// The language service: texts read from language folders added through the
// language-folder interface (as host paths resolved by the path service),
// the file format, the current language, and the interface's identity.

#include <gtest/gtest.h>

#include "LanguageService.h"
#include "ServiceTestSupport.h"

using devhost::LanguageService;
using devhost::PathService;
using servicetest::Bstr;
using servicetest::TempFolder;
using servicetest::WriteBytes;

namespace {

class LanguageServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryW(temp.PathOf(L"tsyappaimcp").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(languageFolder.c_str(), nullptr));
        ASSERT_TRUE(WriteBytes(languageFolder + L"\\en-US.lang",
                               "\xEF\xBB\xBF" "IDS_AIMCP_PAGE_TITLE=AI access\r\n"
                               "# IDS_COMMENTED=not a text\r\n"
                               "  ; IDS_ALSO_COMMENTED=not a text\r\n"
                               "\r\n"
                               "   \t\r\n"
                               " IDS_SPACED \t=  spaced out \t\r\n"
                               "IDS_AIMCP_QUOTA_LINE_ITEMS=Day cells: %d of %d used, %d left\r\n"
                               "IDS_ESCAPES=a\\nb\\tc\\\\d\\x C:\\data\r\n"
                               "IDS_EQUALS=a=b\n"
                               "IDS_CHINESE=\xE4\xB8\xAD\xE6\x96\x87\n"
                               "NO_EQUALS_SIGN\n"
                               "=no key\n"
                               "IDS_EMPTY=\n"
                               "IDS_TWICE=first\n"
                               "IDS_TWICE=second\n"
                               "IDS_TESSARY_CAPTION=Module caption\n"
                               "IDS_LAST_LINE=no line break"));
        ASSERT_TRUE(WriteBytes(languageFolder + L"\\zh-CN.lang", "IDS_AIMCP_PAGE_TITLE=AI \xE8\xAE\xBF\xE9\x97\xAE\n"));
        paths = PathService::Create(temp.Path());
        language = LanguageService::Create(paths, L"");
        ASSERT_TRUE(language);
    }

    ComPtr<IxLanguageFolder> FolderInterface()
    {
        return ComPtr<IxLanguageService>::Copy(language.get()).As<IxLanguageFolder>(IID_IxLanguageFolder);
    }

    // The text for key, or "(none)" when the service has none.
    std::wstring Text(const std::wstring& key)
    {
        UniqueBstr text;
        const HRESULT hr = language->GetText(Bstr(key).get(), text.put());
        if (hr == S_FALSE) {
            EXPECT_FALSE(text.get()) << "no string is handed out for a missing key";
            return L"(none)";
        }
        EXPECT_EQ(S_OK, hr);
        return text.str();
    }

    TempFolder temp;
    const std::wstring languageFolder = temp.PathOf(L"tsyappaimcp\\language");
    ComPtr<PathService> paths;
    ComPtr<LanguageService> language;
};

}  // namespace

TEST_F(LanguageServiceTest, TextsComeFromTheAddedFolder)
{
    EXPECT_EQ(L"(none)", Text(L"IDS_AIMCP_PAGE_TITLE"));
    ComPtr<IxLanguageFolder> folder = FolderInterface();
    ASSERT_TRUE(folder);
    ASSERT_EQ(S_OK, folder->AddFolder(Bstr(L"app:\\tsyappaimcp\\language\\").get()));

    struct Case {
        const wchar_t* key;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"IDS_AIMCP_PAGE_TITLE", L"AI access"},  // first line, after the byte-order mark
        {L"IDS_SPACED", L"spaced out"},
        {L"IDS_AIMCP_QUOTA_LINE_ITEMS", L"Day cells: %d of %d used, %d left"},
        {L"IDS_ESCAPES", L"a\nb\tc\\d\\x C:\\data"},
        {L"IDS_EQUALS", L"a=b"},
        {L"IDS_CHINESE", L"\u4E2D\u6587"},
        {L"IDS_EMPTY", L""},
        {L"IDS_TWICE", L"second"},
        {L"IDS_TESSARY_CAPTION", L"Module caption"},  // over the host's own text
        {L"IDS_LAST_LINE", L"no line break"},
        {L"IDS_COMMENTED", L"(none)"},
        {L"# IDS_COMMENTED", L"(none)"},
        {L"IDS_ALSO_COMMENTED", L"(none)"},
        {L"NO_EQUALS_SIGN", L"(none)"},
        {L"", L"(none)"},
        {L"ids_aimcp_page_title", L"(none)"},  // keys keep their letter case
    };
    for (const Case& c : cases) EXPECT_EQ(c.text, Text(c.key)) << c.key;
    EXPECT_EQ(E_POINTER, language->GetText(Bstr(L"IDS_AIMCP_PAGE_TITLE").get(), nullptr));
}

TEST_F(LanguageServiceTest, HostTextsExistBeforeAnyFolder)
{
    EXPECT_EQ(L"Tessary", Text(L"IDS_TESSARY_CAPTION"));
    EXPECT_NE(L"(none)", Text(L"IDS_SUBSEDITOR_COPY_SUCCESS"));
    EXPECT_NE(L"", Text(L"IDS_SUBSEDITOR_COPY_SUCCESS"));
}

TEST_F(LanguageServiceTest, AnotherLanguageReadsItsOwnFile)
{
    ASSERT_EQ(S_OK, FolderInterface()->AddFolder(Bstr(L"app:\\tsyappaimcp\\language\\").get()));
    ASSERT_EQ(S_OK, language->SetLanguage(L"zh-CN"));
    EXPECT_EQ(L"AI \u8BBF\u95EE", Text(L"IDS_AIMCP_PAGE_TITLE"));
    EXPECT_EQ(L"(none)", Text(L"IDS_CHINESE"));  // only in the en-US file

    EXPECT_EQ(E_INVALIDARG, language->SetLanguage(L"..\\en-US"));
    EXPECT_EQ(E_INVALIDARG, language->SetLanguage(L""));
    EXPECT_EQ(L"zh-CN", language->Language());

    // Reload picks up an edited file.
    ASSERT_TRUE(WriteBytes(languageFolder + L"\\zh-CN.lang", "IDS_AIMCP_PAGE_TITLE=edited\n"));
    EXPECT_EQ(L"AI \u8BBF\u95EE", Text(L"IDS_AIMCP_PAGE_TITLE"));
    language->Reload();
    EXPECT_EQ(L"edited", Text(L"IDS_AIMCP_PAGE_TITLE"));
}

TEST_F(LanguageServiceTest, FoldersAreResolvedKeptOnceAndRecorded)
{
    ComPtr<IxLanguageFolder> folder = FolderInterface();
    ASSERT_EQ(S_OK, folder->AddFolder(Bstr(L"app:\\tsyappaimcp\\language\\").get()));
    // The same folder again, as the plug-in does on every attach, and in
    // other spellings.
    ASSERT_EQ(S_OK, folder->AddFolder(Bstr(L"APP:\\TSYAPPAIMCP\\language").get()));
    ASSERT_EQ(S_OK, folder->AddFolder(Bstr(languageFolder + L"\\").get()));
    EXPECT_EQ(HRESULT(E_INVALIDARG), folder->AddFolder(Bstr(L"nosuch:\\language\\").get()));
    EXPECT_EQ(HRESULT(E_INVALIDARG), folder->AddFolder(nullptr));
    // A folder without a file for the language is still added.
    ASSERT_TRUE(CreateDirectoryW(temp.PathOf(L"empty").c_str(), nullptr));
    ASSERT_EQ(S_OK, folder->AddFolder(Bstr(L"app:\\empty").get()));

    const std::vector<std::wstring> expectedFolders = {languageFolder, temp.PathOf(L"empty")};
    EXPECT_EQ(expectedFolders, language->Folders());
    const auto calls = language->Calls();
    ASSERT_EQ(6u, calls.size());
    EXPECT_EQ(LanguageService::kAddFolder, calls[3].operation);
    EXPECT_EQ(std::vector<std::wstring>{L"nosuch:\\language\\"}, calls[3].arguments);
    EXPECT_EQ(E_INVALIDARG, calls[3].result);
    EXPECT_EQ(S_OK, calls[5].result);
    EXPECT_EQ(L"AI access", Text(L"IDS_AIMCP_PAGE_TITLE"));
}

TEST_F(LanguageServiceTest, FolderInterfaceSharesTheServicesIdentityAndCount)
{
    ComPtr<IxLanguageFolder> folder = FolderInterface();
    ASSERT_TRUE(folder);
    ComPtr<IUnknown> fromService = ComPtr<IxLanguageService>::Copy(language.get()).As<IUnknown>(IID_IUnknown);
    ComPtr<IUnknown> fromFolder = folder.As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(fromService.get(), fromFolder.get());
    EXPECT_EQ(static_cast<IxLanguageService*>(language.get()),
              folder.As<IxLanguageService>(IID_IxLanguageService).get());

    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, folder->QueryInterface(IID_IDispatch, &other));
    EXPECT_EQ(nullptr, other);

    // Our references: language, folder, fromService, fromFolder.
    EXPECT_EQ(5u, folder->AddRef());
    EXPECT_EQ(4u, language->Release());
}
