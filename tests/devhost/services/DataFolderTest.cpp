// The data folder's file operations and the JSON key-value store on top of
// them: UTF-8 text, atomic replacement that keeps the old file when it
// fails, appending lines, cleaning up after killed writers, and a store
// whose memory never runs ahead of its file.

#include <gtest/gtest.h>

#include <algorithm>

#include "ChildProcess.h"
#include "DataFolder.h"
#include "JsonFileStore.h"
#include "ServiceTestSupport.h"

using devhost::DataFolder;
using devhost::JsonFileStore;
using servicetest::ListNames;
using servicetest::ReadBytes;
using servicetest::TempFolder;
using servicetest::WriteBytes;

namespace {

std::vector<std::wstring> Only(const wchar_t* name) { return {name}; }

}  // namespace

TEST(DataFolderTest, WriteTextStoresUtf8AndReplacesTheWholeFile)
{
    TempFolder temp;
    const DataFolder folder(temp.Path());
    const std::wstring first = L"caf\u00E9 \u65E5\u672C \U0001F600\r\nsecond line, a bit longer";
    ASSERT_EQ(S_OK, folder.WriteText(L"a.json", first));
    EXPECT_EQ(std::string("caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80\r\nsecond line, a bit longer"),
              ReadBytes(temp.PathOf(L"a.json")));

    ASSERT_EQ(S_OK, folder.WriteText(L"a.json", L"short"));
    std::wstring text;
    ASSERT_EQ(S_OK, folder.ReadText(L"a.json", text));
    EXPECT_EQ(L"short", text);
    // No temporary file stays behind a successful write.
    EXPECT_EQ(Only(L"a.json"), ListNames(temp.Path()));
}

TEST(DataFolderTest, ReadTextDropsByteOrderMarkAndReplacesIllFormedBytes)
{
    TempFolder temp;
    ASSERT_TRUE(WriteBytes(temp.PathOf(L"x.txt"), "\xEF\xBB\xBF" "ab\xFF" "c"));
    std::wstring text;
    ASSERT_EQ(S_OK, DataFolder(temp.Path()).ReadText(L"x.txt", text));
    EXPECT_EQ(L"ab\uFFFDc", text);
}

TEST(DataFolderTest, ReadingAMissingFileSaysNotFoundAndLeavesTheText)
{
    TempFolder temp;
    std::wstring text = L"untouched";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), DataFolder(temp.Path()).ReadText(L"none.json", text));
    EXPECT_EQ(L"untouched", text);
}

TEST(DataFolderTest, FailedReplacementKeepsTheOldFileAndRemovesItsTemporaryFile)
{
    TempFolder temp;
    const DataFolder folder(temp.Path());
    ASSERT_EQ(S_OK, folder.WriteText(L"settings.json", L"old"));
    {
        UniqueFile holder = servicetest::HoldWithoutSharingDeletion(temp.PathOf(L"settings.json"));
        ASSERT_TRUE(holder);
        EXPECT_TRUE(FAILED(folder.WriteText(L"settings.json", L"new")));
    }
    EXPECT_EQ("old", ReadBytes(temp.PathOf(L"settings.json")));
    EXPECT_EQ(Only(L"settings.json"), ListNames(temp.Path()));

    // A folder that does not exist: nothing is created anywhere.
    EXPECT_TRUE(FAILED(folder.WriteText(L"missing\\f.json", L"x")));
    EXPECT_EQ(Only(L"settings.json"), ListNames(temp.Path()));
}

TEST(DataFolderTest, AppendLineAddsUtf8LinesWhileAReaderFollowsTheFile)
{
    TempFolder temp;
    const DataFolder folder(temp.Path());
    ASSERT_EQ(S_OK, folder.AppendLine(L"log.txt", L"one"));
    // A reader keeps the log open, sharing reading and writing, as a
    // program that follows the log does.
    UniqueFile reader(CreateFileW(temp.PathOf(L"log.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(reader);
    ASSERT_EQ(S_OK, folder.AppendLine(L"log.txt", L"\u00FCber"));
    ASSERT_EQ(S_OK, folder.AppendLine(L"log.txt", L""));
    EXPECT_EQ("one\r\n\xC3\xBC" "ber\r\n\r\n", ReadBytes(temp.PathOf(L"log.txt")));
}

TEST(DataFolderTest, PrepareCreatesTheFolderAndRemovesOnlyTemporaryFilesOfEndedWriters)
{
    TempFolder temp;
    const DataFolder folder(temp.PathOf(L"a\\b\\data"));
    ASSERT_EQ(S_OK, folder.Prepare());
    ASSERT_TRUE(servicetest::IsFolder(temp.PathOf(L"a\\b\\data")));

    // A writer that has ended (its handle is still open here, so its id
    // cannot have been given to another process yet).
    servicetest::StartedProgram ended(ProgramFolder() + L"devhost_store_writer.exe", L"--bad-argument");
    ASSERT_TRUE(ended);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ended.Process(), 30000));

    const std::wstring deadTemp = L"settings.json~" + std::to_wstring(ended.Pid()) + L"-3.tmp";
    const std::wstring liveTemp = L"settings.json~" + std::to_wstring(GetCurrentProcessId()) + L"-4.tmp";
    const std::vector<std::wstring> kept = {liveTemp, L"notes~abc.tmp", L"settings.json",
                                            L"x~" + std::to_wstring(ended.Pid()) + L"-.tmp"};
    for (const std::wstring& name : kept) ASSERT_TRUE(WriteBytes(folder.PathOf(name), "x"));
    ASSERT_TRUE(WriteBytes(folder.PathOf(deadTemp), "{\"half"));

    ASSERT_EQ(S_OK, folder.Prepare());
    std::vector<std::wstring> names = ListNames(folder.Path());
    std::vector<std::wstring> expected = kept;
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
}

TEST(DataFolderTest, RelativeFolderIsMadeAbsolute)
{
    const DataFolder folder(L"rel\\data\\");
    wchar_t current[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected(current, length);
    if (expected.back() != L'\\') expected += L'\\';
    EXPECT_EQ(expected + L"rel\\data", folder.Path());
    EXPECT_EQ(expected + L"rel\\data\\f.json", folder.PathOf(L"f.json"));
}

// ---- JSON key-value store --------------------------------------------------

TEST(JsonFileStoreTest, ValuesSurviveANewStoreOverTheSameFile)
{
    TempFolder temp;
    const DataFolder folder(temp.Path());
    const std::wstring awkwardKeys[] = {L"", L"\u952E", std::wstring(L"a\0b", 3), std::wstring(1, wchar_t(0xD800)),
                                        L"quote\"back\\slash"};
    {
        JsonFileStore store(folder, L"s.json");
        ASSERT_EQ(S_OK, store.Load());
        int n = 0;
        for (const std::wstring& key : awkwardKeys) ASSERT_EQ(S_OK, store.Set(key, JsonValue::MakeNumber(++n)));
        ASSERT_EQ(S_OK, store.Set(L"text", JsonValue::MakeString(L"\u00E9\n\t")));
    }
    JsonFileStore reopened(folder, L"s.json");
    ASSERT_EQ(S_OK, reopened.Load());
    int n = 0;
    for (const std::wstring& key : awkwardKeys) {
        const JsonValue::Ptr value = reopened.Get(key);
        ASSERT_TRUE(value) << "key #" << n;
        EXPECT_EQ(++n, value->NumberValue());
    }
    ASSERT_TRUE(reopened.Get(L"text"));
    EXPECT_EQ(L"\u00E9\n\t", reopened.Get(L"text")->StringValue());
    EXPECT_FALSE(reopened.Get(L"a"));  // "a\0b" is its own key, not "a"
}

TEST(JsonFileStoreTest, UnreadableFileIsSetAsideAndTheStoreStartsEmpty)
{
    const std::string unreadable[] = {"{\"half\":", "[1,2]", "", "\"text\"", "{\"a\":1} trailing"};
    for (const std::string& content : unreadable) {
        SCOPED_TRACE(content);
        TempFolder temp;
        ASSERT_TRUE(WriteBytes(temp.PathOf(L"s.json"), content));
        JsonFileStore store(DataFolder(temp.Path()), L"s.json");
        EXPECT_EQ(S_FALSE, store.Load());
        EXPECT_EQ(L"{}", store.Snapshot()->Serialize());
        ASSERT_EQ(S_OK, store.Set(L"k", JsonValue::MakeBool(true)));
        // What the file held is still there for a person to look at.
        EXPECT_EQ(content, ReadBytes(temp.PathOf(L"s.json.unreadable")));
        EXPECT_EQ("{\"k\":true}\n", ReadBytes(temp.PathOf(L"s.json")));
    }
}

TEST(JsonFileStoreTest, FailedWriteChangesNeitherMemoryNorFile)
{
    TempFolder temp;
    const DataFolder folder(temp.Path());
    JsonFileStore store(folder, L"s.json");
    ASSERT_EQ(S_OK, store.Load());
    ASSERT_EQ(S_OK, store.Set(L"k", JsonValue::MakeNumber(1)));
    {
        UniqueFile holder = servicetest::HoldWithoutSharingDeletion(temp.PathOf(L"s.json"));
        ASSERT_TRUE(holder);
        JsonValue::ObjectMembers both;
        both.emplace(L"k", JsonValue::MakeNumber(2));
        both.emplace(L"new", JsonValue::MakeNumber(3));
        EXPECT_TRUE(FAILED(store.SetMany(std::move(both))));
    }
    EXPECT_EQ(L"{\"k\":1}", store.Snapshot()->Serialize());
    JsonFileStore reopened(folder, L"s.json");
    ASSERT_EQ(S_OK, reopened.Load());
    EXPECT_EQ(L"{\"k\":1}", reopened.Snapshot()->Serialize());
}
