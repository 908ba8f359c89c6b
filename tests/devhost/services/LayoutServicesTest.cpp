// The layout loader, reading from a folder and from the archive an alias is
// bound to, and refusing what is missing or broken; and the tip service.
#include <gtest/gtest.h>

#include "DataFolder.h"
#include "FixtureFiles.h"
#include "LayoutServices.h"
#include "ServiceTestSupport.h"
#include "UniqueBstr.h"

using devhost::LayoutLoaderService;
using devhost::PathService;

namespace {

class LayoutLoader : public testing::Test {
protected:
    void SetUp() override
    {
        paths = PathService::Create(temp.PathOf(L"app"));
        loader = LayoutLoaderService::Create(paths);
        // The folder holds a frame.xml that differs from the archive's.
        ASSERT_EQ(devhost::CreateFolderTree(temp.PathOf(L"app\\mod")), S_OK);
        ASSERT_EQ(devhost::WriteFileAtomically(temp.PathOf(L"app\\mod\\frame.xml"),
                                               "<layout><view name=\"TestPage\"><text id=\"from-folder\"/></view>"
                                               "</layout>"),
                  S_OK);
        ASSERT_EQ(devhost::WriteFileAtomically(temp.PathOf(L"app\\mod\\broken.xml"),
                                               "<layout><view name=\"TestPage\"><text></layout>"),
                  S_OK);
        ASSERT_EQ(paths->DefineAlias(UniqueBstr(L"mod").get(), UniqueBstr(temp.PathOf(L"app\\mod")).get()), S_OK);
    }
    HRESULT Load(const std::wstring& layout, std::wstring& text) { return loader->Load(layout, text); }

    servicetest::TempFolder temp;
    ComPtr<PathService> paths;
    ComPtr<LayoutLoaderService> loader;
};

}  // namespace

TEST_F(LayoutLoader, ReadsTheViewFromTheFolderUnlessTheAliasIsBoundToAnExistingArchive)
{
    std::wstring text;
    ASSERT_EQ(Load(L"mod:\\frame.xml|TestPage", text), S_OK);
    EXPECT_EQ(text, L"<view name=\"TestPage\"><text id=\"from-folder\"/></view>");

    // Bound to an archive that is not there: still the folder.
    ASSERT_EQ(paths->BindAliasToArchive(UniqueBstr(L"mod").get(), UniqueBstr(temp.PathOf(L"none.zip")).get()), S_OK);
    ASSERT_EQ(Load(L"mod:\\frame.xml|TestPage", text), S_OK);
    EXPECT_NE(text.find(L"from-folder"), std::wstring::npos);

    // Bound to the archive (in any letter case): the archive's entry.
    ASSERT_EQ(paths->BindAliasToArchive(UniqueBstr(L"MOD").get(), UniqueBstr(FixturePath(L"resource.zip")).get()), S_OK);
    ASSERT_EQ(Load(L"mod:\\frame.xml|TestPage", text), S_OK);
    const std::string file = [] {
        const std::vector<std::uint8_t> bytes = ReadFixture(L"frame.xml");
        return std::string(bytes.begin(), bytes.end());
    }();
    const std::size_t begin = file.find("<view name=\"TestPage\">");
    const std::size_t end = file.find("</view>", begin) + 7;
    ASSERT_NE(begin, std::string::npos);
    EXPECT_EQ(devhost::WideToUtf8(text), file.substr(begin, end - begin));
    // Folders inside the archive: '\' reads as '/'.
    ASSERT_EQ(Load(L"mod:\\nested\\deep.xml|x", text), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));

    // Through the COM operation.
    UniqueBstr out;
    ASSERT_EQ(loader->LoadLayout(UniqueBstr(L"mod:\\frame.xml|TestWindow").get(), out.put()), S_OK);
    EXPECT_EQ(out.str().compare(0, 24, L"<view name=\"TestWindow\">"), 0);
}

TEST_F(LayoutLoader, ReturnsNothingForWhatIsMissingOrBroken)
{
    const std::vector<std::uint8_t> archive = ReadFixture(L"resource.zip");
    std::vector<std::uint8_t> broken = archive;
    broken[broken.size() - 22] = 'X';  // the end record's signature
    ASSERT_EQ(devhost::WriteFileAtomically(temp.PathOf(L"broken.zip"), std::string(broken.begin(), broken.end())), S_OK);
    ASSERT_EQ(devhost::CreateFolderTree(temp.PathOf(L"zipped")), S_OK);
    ASSERT_EQ(paths->DefineAlias(UniqueBstr(L"zipped").get(), UniqueBstr(temp.PathOf(L"zipped")).get()), S_OK);
    ASSERT_EQ(paths->BindAliasToArchive(UniqueBstr(L"zipped").get(), UniqueBstr(FixturePath(L"resource.zip")).get()), S_OK);
    ASSERT_EQ(paths->DefineAlias(UniqueBstr(L"bad").get(), UniqueBstr(temp.PathOf(L"zipped")).get()), S_OK);
    ASSERT_EQ(paths->BindAliasToArchive(UniqueBstr(L"bad").get(), UniqueBstr(temp.PathOf(L"broken.zip")).get()), S_OK);

    const struct {
        const wchar_t* layout;
        HRESULT expected;
    } cases[] = {
        {L"mod:\\frame.xml|NoSuchView", HRESULT_FROM_WIN32(ERROR_NOT_FOUND)},
        {L"mod:\\frame.xml|testpage", HRESULT_FROM_WIN32(ERROR_NOT_FOUND)},  // view names are exact
        {L"mod:\\missing.xml|TestPage", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {L"mod:\\broken.xml|TestPage", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},  // the file is malformed
        {L"zipped:\\missing.xml|TestPage", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},  // no such entry
        {L"zipped:\\res.xml|TestPage", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},  // not a <layout>
        {L"zipped:\\big.txt|TestPage", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {L"bad:\\frame.xml|TestPage", HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
        {L"nowhere:\\frame.xml|TestPage", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        {L"mod:\\frame.xml", E_INVALIDARG},
        {L"mod:\\frame.xml|", E_INVALIDARG},
        {L"|TestPage", E_INVALIDARG},
    };
    for (const auto& c : cases) {
        std::wstring text = L"stale";
        EXPECT_EQ(Load(c.layout, text), c.expected) << testing::PrintToString(std::wstring(c.layout));
        EXPECT_TRUE(text.empty());
        BSTR out = reinterpret_cast<BSTR>(1);
        EXPECT_EQ(loader->LoadLayout(UniqueBstr(c.layout).get(), &out), c.expected);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(TipService, RecordsEveryTipInOrder)
{
    const ComPtr<devhost::TipService> tips = devhost::TipService::Create();
    ASSERT_EQ(tips->ShowTip(UniqueBstr(L"Copied").get()), S_OK);
    ASSERT_EQ(tips->ShowTip(nullptr), S_OK);
    ASSERT_EQ(tips->ShowTip(UniqueBstr(L"two\nlines \u4E16").get()), S_OK);
    EXPECT_EQ(tips->Tips(), (std::vector<std::wstring>{L"Copied", L"", L"two\nlines \u4E16"}));
    tips->ClearTips();
    EXPECT_TRUE(tips->Tips().empty());
}
