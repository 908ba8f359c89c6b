// The stand-in note service: the note operations as the plug-in calls them
// (result codes, the exact VARIANT_TRUE flags of an update), ids that are
// never handed out twice, texts that come back exactly as stored after a
// restart, the fault switch, and files of another layout.

#include <gtest/gtest.h>

#include <algorithm>

#include "NoteServices.h"
#include "ServiceTestSupport.h"

using devhost::DataFolder;
using devhost::NoteRecord;
using devhost::NoteService;
using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

class NoteServicesTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open()
    {
        service.reset();
        ASSERT_EQ(S_OK, NoteService::Create(DataFolder(temp.Path()), service));
    }

    std::wstring Create(const std::wstring& title, const std::wstring& content)
    {
        UniqueBstr id;
        EXPECT_EQ(S_OK, service->CreateNote(Bstr(title).get(), Bstr(content).get(), id.put()));
        return id.str();
    }

    // The ids of the list, read through the interface.
    std::vector<std::wstring> Listed()
    {
        ComPtr<IxNoteList> list;
        EXPECT_EQ(S_OK, service->GetNoteList(list.put()));
        return servicetest::ListedIds(list.get());
    }

    // The note found by id, read through IxNote as the plug-in reads it.
    NoteRecord Found(const std::wstring& id)
    {
        NoteRecord read;
        ComPtr<IUnknown> object;
        EXPECT_EQ(S_OK, service->FindNote(Bstr(id).get(), object.put())) << id;
        ComPtr<IxNote> note = object.As<IxNote>(IID_IxNote);
        EXPECT_TRUE(note) << id;
        if (!note) return read;
        UniqueBstr title, content;
        EXPECT_EQ(S_OK, note->GetTitle(title.put()));
        EXPECT_EQ(S_OK, note->GetContent(content.put()));
        EXPECT_EQ(S_OK, note->GetType(&read.type));
        read.id = id;
        read.title = title.str();
        read.content = content.str();
        return read;
    }

    std::wstring File() const { return temp.PathOf(NoteService::kFileName); }

    TempFolder temp;
    ComPtr<NoteService> service;
};

}  // namespace

TEST_F(NoteServicesTest, CreateFindListUpdateAndDelete)
{
    EXPECT_TRUE(Listed().empty());
    const std::wstring first = Create(L"Groceries", L"Milk\r\nEggs");
    const std::wstring empty = Create(L"", L"");
    EXPECT_EQ(L"note-1", first);
    EXPECT_EQ(L"note-2", empty);
    NoteRecord shared{L"", 2, L"Shared rota", L"week 1 Ana"};
    ASSERT_EQ(S_OK, service->Add(shared));

    // Every note is listed in stored order, the non-local one too.
    EXPECT_EQ((std::vector<std::wstring>{first, empty, shared.id}), Listed());
    const NoteRecord read = Found(first);
    EXPECT_EQ(L"Groceries", read.title);
    EXPECT_EQ(L"Milk\r\nEggs", read.content);
    EXPECT_EQ(1, read.type);
    EXPECT_EQ(2, Found(shared.id).type);
    EXPECT_EQ(L"", Found(empty).title);

    ComPtr<IUnknown> missing;
    EXPECT_EQ(kNotFound, service->FindNote(Bstr(L"note-99").get(), missing.put()));
    EXPECT_FALSE(missing);
    EXPECT_EQ(kNotFound, service->FindNote(nullptr, missing.put()));

    // Each flag acts only when it is exactly VARIANT_TRUE; the value of a flag
    // that is off is passed but must not land.
    const struct {
        VARIANT_BOOL changeTitle, changeContent;
        const wchar_t *title, *content;
    } cases[] = {
        {VARIANT_TRUE, VARIANT_FALSE, L"new title", L"old content"},
        {VARIANT_FALSE, VARIANT_TRUE, L"old title", L"new content"},
        {VARIANT_TRUE, VARIANT_TRUE, L"new title", L"new content"},
        {VARIANT_FALSE, VARIANT_FALSE, L"old title", L"old content"},
        {1, 1, L"old title", L"old content"},
        {0x7FFF, VARIANT_TRUE, L"old title", L"new content"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, service->UpdateNote(Bstr(first).get(), VARIANT_TRUE, Bstr(L"old title").get(), VARIANT_TRUE,
                                            Bstr(L"old content").get()));
        ASSERT_EQ(S_OK, service->UpdateNote(Bstr(first).get(), c.changeTitle, Bstr(L"new title").get(),
                                            c.changeContent, Bstr(L"new content").get()));
        const NoteRecord updated = Found(first);
        EXPECT_EQ(c.title, updated.title) << c.changeTitle << "/" << c.changeContent;
        EXPECT_EQ(c.content, updated.content) << c.changeTitle << "/" << c.changeContent;
    }
    EXPECT_EQ(kNotFound, service->UpdateNote(Bstr(L"note-99").get(), VARIANT_TRUE, Bstr(L"x").get(), VARIANT_TRUE,
                                             Bstr(L"x").get()));

    ASSERT_EQ(S_OK, service->DeleteNote(Bstr(empty).get()));
    EXPECT_EQ(kNotFound, service->DeleteNote(Bstr(empty).get()));
    EXPECT_EQ((std::vector<std::wstring>{first, shared.id}), Listed());
    // Ids are not reused, not even the highest one after it was deleted.
    ASSERT_EQ(S_OK, service->DeleteNote(Bstr(shared.id).get()));
    EXPECT_EQ(L"note-4", Create(L"later", L""));
}

TEST_F(NoteServicesTest, ARestartGivesBackTheTextsExactly)
{
    // CJK, an emoji (a surrogate pair), line breaks, quotes and backslashes,
    // U+0000, a lone surrogate, and a content well over 64 KiB.
    const std::wstring title = L"\u4EAC\u90FD\u65C5\u884C \U0001F338";
    std::wstring content = std::wstring(L"\u8BA2\u597D\u9152\u5E97 \U0001F4F7\r\n\"q\" \\ /\t") + L'\0' + L"end" +
                           L'\xD800';
    std::wstring large;
    while (large.size() < 70000) large += L"\u6E05\u6C34\u5BFA \U0001F375 line\n";
    const std::wstring plain = Create(L"plain", L"a\r\nb");
    const std::wstring mixed = Create(title, content);
    const std::wstring big = Create(L"big", large);

    // The file has the documented layout and is plain ASCII.
    const std::string bytes = servicetest::ReadBytes(File());
    EXPECT_EQ(0u, bytes.find("{\"nextId\":4,\"notes\":[{\"content\":\"a\\r\\nb\",\"id\":\"note-1\",\"title\":\"plain\","
                             "\"type\":1},{\"content\":"))
        << bytes.substr(0, 200);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7F; }));

    Open();
    EXPECT_EQ((std::vector<std::wstring>{plain, mixed, big}), Listed());
    const NoteRecord again = Found(mixed);
    EXPECT_EQ(title, again.title);
    EXPECT_EQ(content, again.content);
    EXPECT_EQ(large, Found(big).content);
    EXPECT_EQ(L"note-4", Create(L"after the restart", L""));
}

TEST_F(NoteServicesTest, FailingWritesChangeNothing)
{
    const std::wstring id = Create(L"keep", L"as it is");
    const std::string before = servicetest::ReadBytes(File());
    service->SetFailWrites(true);

    UniqueBstr none;
    EXPECT_EQ(E_FAIL, service->CreateNote(Bstr(L"new").get(), Bstr(L"").get(), none.put()));
    EXPECT_FALSE(none.get());
    EXPECT_EQ(E_FAIL, service->UpdateNote(Bstr(id).get(), VARIANT_TRUE, Bstr(L"x").get(), VARIANT_TRUE,
                                          Bstr(L"x").get()));
    EXPECT_EQ(E_FAIL, service->DeleteNote(Bstr(id).get()));
    // Reads go on working.
    EXPECT_EQ(std::vector<std::wstring>{id}, Listed());
    EXPECT_EQ(L"as it is", Found(id).content);
    EXPECT_EQ(before, servicetest::ReadBytes(File()));

    service->SetFailWrites(false);
    EXPECT_EQ(L"note-2", Create(L"new", L"")) << "the failed create took no number";
}

TEST_F(NoteServicesTest, StoredFilesOfAnotherLayoutAreSetAside)
{
    const char* const foreign[] = {
        "{\"notes\":",
        "[]",
        "{\"notes\":{}}",
        "{\"notes\":[{\"id\":\"note-1\",\"type\":1,\"title\":\"t\"}]}",
        "{\"notes\":[{\"id\":\"\",\"type\":1,\"title\":\"t\",\"content\":\"c\"}]}",
        "{\"notes\":[{\"id\":\"note-1\",\"type\":1.5,\"title\":\"t\",\"content\":\"c\"}]}",
        "{\"notes\":[{\"id\":\"a\",\"type\":1,\"title\":\"t\",\"content\":\"c\"},"
        "{\"id\":\"a\",\"type\":2,\"title\":\"u\",\"content\":\"d\"}]}",
        "{\"nextId\":0,\"notes\":[]}",
    };
    for (const char* text : foreign) {
        service.reset();
        ASSERT_TRUE(servicetest::WriteBytes(File(), text));
        ASSERT_EQ(S_FALSE, NoteService::Create(DataFolder(temp.Path()), service)) << text;
        EXPECT_TRUE(service->Notes().empty()) << text;
        EXPECT_EQ(text, servicetest::ReadBytes(File() + L".unreadable"));
        EXPECT_FALSE(servicetest::Exists(File())) << text;
    }
    Create(L"new", L"");
    EXPECT_EQ(foreign[7], servicetest::ReadBytes(File() + L".unreadable")) << "a write leaves the set-aside file";
}

TEST_F(NoteServicesTest, NewIdsSkipTakenOnesAndStopBeforeNextIdOverflows)
{
    service.reset();
    ASSERT_TRUE(servicetest::WriteBytes(
        File(), "{\"nextId\":2,\"notes\":[{\"id\":\"note-2\",\"type\":1,\"title\":\"t\",\"content\":\"c\"},"
                "{\"id\":\"note-3\",\"type\":2,\"title\":\"u\",\"content\":\"d\"}]}"));
    Open();
    EXPECT_EQ(L"note-4", Create(L"next", L""));

    service.reset();
    ASSERT_TRUE(servicetest::WriteBytes(File(), "{\"nextId\":2147483646,\"notes\":[]}"));
    Open();
    EXPECT_EQ(L"note-2147483646", Create(L"last", L""));
    UniqueBstr none;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS),
              service->CreateNote(Bstr(L"one too many").get(), Bstr(L"").get(), none.put()));
    EXPECT_FALSE(none.get());
    Open();  // the stored nextId still fits, so the file is read, not set aside
    EXPECT_EQ(1u, service->Notes().size());
}
