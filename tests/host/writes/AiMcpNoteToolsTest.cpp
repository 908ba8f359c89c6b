// The note tools against a small note service of the test's own, which can
// hold notes that are not local (type other than 1), notes it finds but does
// not list, and operations made to fail: listing, previews and cuts, the
// answer budget, every refusal, what each write passes to the service, and
// parked, rejected and failed writes.
#include <map>
#include <string>
#include <vector>

#include "AiMcpEnvelope.h"
#include "AiMcpNoteTools.h"
#include "AiMcpText.h"
#include "AiMcpWritePath.h"
#include "CallRecorder.h"
#include "WritesTestHost.h"

namespace {

using writetest::Error;
using writetest::Ok;
using writetest::OkId;
using writetest::WriteHost;

struct Note {
    std::wstring title, content;
    LONG type = 1;
    bool listed = true;
};

class FakeNote final : public devhost::ComObject<IxNote, IID_IxNote> {
public:
    explicit FakeNote(Note note) : note_(std::move(note)) {}
    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) noexcept override
    {
        *title = devhost::AllocBstr(note_.title);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContent(BSTR* content) noexcept override
    {
        *content = devhost::AllocBstr(note_.content);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetType(LONG* type) noexcept override
    {
        *type = note_.type;
        return S_OK;
    }

private:
    Note note_;
};

using FakeNoteList = writetest::FakeIdList<IxNoteList>;

// Notes in id order; "!unreadable" in the list stands for an entry whose id
// cannot be read.
class FakeNoteService final : public devhost::ComObject<IxNoteService, IID_IxNoteService> {
public:
    std::map<std::wstring, Note> notes;
    bool failList = false, failCreate = false, failStore = false, unreadableEntry = false;
    int nextId = 1;
    struct Update {
        std::wstring id;
        VARIANT_BOOL changeTitle, changeContent;
        std::wstring title, content;
    };
    std::vector<Update> updates;

    HRESULT STDMETHODCALLTYPE GetNoteList(IxNoteList** list) noexcept override
    {
        if (failList) return E_FAIL;
        std::vector<std::wstring> ids;
        if (unreadableEntry) ids.push_back(L"!unreadable");
        for (const auto& note : notes)
            if (note.second.listed) ids.push_back(note.first);
        *list = new FakeNoteList(ids);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindNote(BSTR noteId, IUnknown** note) noexcept override
    {
        const auto found = notes.find(devhost::BstrText(noteId));
        if (found == notes.end()) return E_FAIL;
        *note = static_cast<IxNote*>(new FakeNote(found->second));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteNote(BSTR noteId) noexcept override
    {
        if (failStore) return S_FALSE;  // only exactly S_OK counts as done
        notes.erase(devhost::BstrText(noteId));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CreateNote(BSTR title, BSTR content, BSTR* noteId) noexcept override
    {
        if (failCreate) return S_OK;  // no id comes back
        const std::wstring id = L"n-" + std::to_wstring(nextId++);
        notes[id] = Note{devhost::BstrText(title), devhost::BstrText(content)};
        *noteId = devhost::AllocBstr(id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateNote(BSTR noteId, VARIANT_BOOL changeTitle, BSTR title, VARIANT_BOOL changeContent,
                                         BSTR content) noexcept override
    {
        updates.push_back(Update{devhost::BstrText(noteId), changeTitle, changeContent, devhost::BstrText(title), devhost::BstrText(content)});
        if (failStore) return E_FAIL;
        Note& note = notes[devhost::BstrText(noteId)];
        if (changeTitle == VARIANT_TRUE) note.title = devhost::BstrText(title);
        if (changeContent == VARIANT_TRUE) note.content = devhost::BstrText(content);
        return S_OK;
    }
};

class NoteTools : public WriteHost {
protected:
    ComPtr<FakeNoteService> service;

    void SetUp() override
    {
        WriteHost::SetUp();
        service = ComPtr<FakeNoteService>::Attach(new FakeNoteService());
        DevHost::SetService(SID_NoteService, service.get());
        SetTrusted(true);
    }
    void TearDown() override
    {
        DevHost::SetService(SID_NoteService, nullptr);
        WriteHost::TearDown();
    }

    static std::wstring Write(AiMcpWriteKind kind, const std::wstring& params, const std::wstring& id = L"1")
    {
        return NoteWriteEntry(id, params, kind);
    }
    int NotesUsed() const { return Used(L"notes"); }
};

TEST(NoteTitle, IsTheFirstLineTrimmedAndCut)
{
    const struct {
        std::wstring content, title;
    } cases[] = {
        {L"  Groceries \nmilk\neggs", L"Groceries"},
        {L"\tPlan\r\nstep one", L"Plan"},
        {L"\nsecond line only", L""},
        {L"one line", L"one line"},
        {std::wstring(250, L'x'), std::wstring(200, L'x')},
    };
    for (const auto& c : cases) EXPECT_EQ(DeriveNoteTitle(c.content), c.title) << testing::PrintToString(c.content);
}

TEST_F(NoteTools, ListShowsLocalListedNotesWithCutTitlesAndPreviews)
{
    EXPECT_EQ(NotesList(L"1"), Ok(L"{\"notes\":[],\"truncated\":false}"));

    service->notes[L"n-1"] = Note{std::wstring(201, L't'), std::wstring(120, L'a')};
    service->notes[L"n-2"] = Note{L"Long", std::wstring(121, L'b')};
    service->notes[L"n-3"] = Note{L"Shared", L"from another account", 2};
    service->notes[L"n-4"] = Note{L"\u5e02\u573a \U0001F34E", L"\u4e70\u83dc\n\"quoted\""};
    service->unreadableEntry = true;
    EXPECT_EQ(NotesList(L"1"),
              Ok(L"{\"notes\":[{\"id\":\"n-1\",\"title\":\"" + std::wstring(200, L't') + L"\",\"preview\":\"" +
                 std::wstring(120, L'a') + L"\"},{\"id\":\"n-2\",\"title\":\"Long\",\"preview\":\"" +
                 std::wstring(120, L'b') + L"\u2026\"},{\"id\":\"n-4\",\"title\":\"\u5e02\u573a \U0001F34E\","
                 L"\"preview\":\"\u4e70\u83dc\\n\\\"quoted\\\"\"}],\"truncated\":false}"));

    service->failList = true;
    EXPECT_EQ(NotesList(L"1"), Error(L"INTERNAL", L"the note service could not list notes"));
    DevHost::SetService(SID_NoteService, nullptr);
    EXPECT_EQ(NotesList(L"1"), Error(L"INTERNAL", L"the note service is not available"));
}

TEST_F(NoteTools, ListStopsAtTheFirstEntryThatWouldNotFit)
{
    // Titles of 200 units in three-byte characters: about 600 bytes each, so
    // the budget is reached after about a hundred notes.
    const std::wstring title(200, L'\u6c34');
    for (int i = 100; i < 200; ++i) service->notes[L"n-" + std::to_wstring(i)] = Note{title, L"x"};
    service->notes[L"n-200"] = Note{L"short", L"y"};  // listed after the one that does not fit
    const std::wstring answer = NotesList(L"1");
    EXPECT_LE(Utf8Length(answer), kAiMcpAnswerBudget);
    EXPECT_NE(answer.find(L"\"truncated\":true}"), std::wstring::npos);
    EXPECT_EQ(answer.find(L"\"n-200\""), std::wstring::npos);
    // One more entry would have gone over.
    const std::wstring entry = L",{\"id\":\"n-100\",\"title\":\"" + title + L"\",\"preview\":\"x\"}";
    EXPECT_GT(Utf8Length(answer) + Utf8Length(entry), kAiMcpAnswerBudget);
}

TEST_F(NoteTools, GetAnswersOnlyLocalListedNotes)
{
    const std::wstring content = L"line one\r\n\U0001F600 \u7b14\u8bb0";
    service->notes[L"n-1"] = Note{L"Mine", content};
    service->notes[L"n-2"] = Note{L"Shared", L"x", 2};
    service->notes[L"n-3"] = Note{L"Hidden", L"x", 1, false};
    service->notes[L"n-4"] = Note{L"Huge", std::wstring(61440, L'z')};
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"n-1\"}"),
              Ok(L"{\"id\":\"n-1\",\"title\":\"Mine\",\"content\":\"" + EscapeJsonString(content) + L"\"}"));
    const std::wstring notFound = Error(L"NOT_FOUND", L"no local note with that id");
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"n-2\"}"), notFound);
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"n-3\"}"), notFound);
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"N-1\"}"), notFound);
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"\"}"),
              Error(L"INVALID_PARAMS", L"malformed request: \\\"params\\\" needs an \\\"id\\\" string"));
    EXPECT_EQ(NotesGet(L"1", L"{\"id\":\"n-4\"}"),
              Error(L"INVALID_PARAMS", L"the note content is too large for one AI MCP response"));
}

TEST_F(NoteTools, RefusalsAnswerTheirCodeAndMessageAndWriteNothing)
{
    service->notes[L"n-1"] = Note{L"Mine", L"text"};
    service->notes[L"n-2"] = Note{L"Shared", L"x", 2};
    service->notes[L"n-3"] = Note{L"Hidden", L"x", 1, false};
    // 59,392 bytes is 19,797 three-byte characters and one byte more.
    const std::wstring overLimit = std::wstring(19797, L'\u6c34') + L"ab";
    const std::wstring noContent = L"malformed request: \"params\" needs non-empty \"content\"";
    const std::wstring noId = L"malformed request: \"params\" needs an \"id\" string";
    const std::wstring noField = L"malformed request: \"params\" names no field to change";
    const std::wstring tooLarge = L"the note content is too large for one AI MCP response";
    const std::wstring notFound = L"no local note with that id";
    using K = AiMcpWriteKind;
    const struct {
        K kind;
        std::wstring params, code, message;
    } cases[] = {
        {K::NotesCreate, L"{}", L"INVALID_PARAMS", noContent},
        {K::NotesCreate, L"{\"title\":\"T\",\"content\":\" \\r\\n\\t \"}", L"INVALID_PARAMS", noContent},
        {K::NotesCreate, L"{\"content\":[\"a\"]}", L"INVALID_PARAMS", noContent},
        {K::NotesCreate, L"{\"content\":\"" + overLimit + L"\"}", L"INVALID_PARAMS", tooLarge},
        {K::NotesUpdate, L"{\"id\":\"n-1\",\"content\":\"" + overLimit + L"\"}", L"INVALID_PARAMS", tooLarge},
        {K::NotesUpdate, L"{\"title\":\"T\"}", L"INVALID_PARAMS", noId},
        {K::NotesDelete, L"{\"id\":\"\"}", L"INVALID_PARAMS", noId},
        {K::NotesUpdate, L"{\"id\":\"n-404\"}", L"INVALID_PARAMS", noField},  // before the note is looked up
        {K::NotesUpdate, L"{\"id\":\"n-404\",\"title\":\"T\"}", L"NOT_FOUND", notFound},
        {K::NotesUpdate, L"{\"id\":\"n-2\",\"title\":\"T\"}", L"NOT_FOUND", notFound},
        {K::NotesDelete, L"{\"id\":\"n-3\"}", L"NOT_FOUND", notFound},
    };
    for (bool trusted : {false, true}) {
        SetTrusted(trusted);
        for (const auto& c : cases)
            EXPECT_EQ(Write(c.kind, c.params), Error(c.code, EscapeJsonString(c.message)))
                << testing::PrintToString(c.params.substr(0, 80));
    }
    EXPECT_EQ(service->notes.size(), 3u);
    EXPECT_EQ(service->notes[L"n-1"].content, L"text");
    EXPECT_TRUE(service->updates.empty());
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
    EXPECT_EQ(NotesUsed(), 0);
    const std::vector<std::string> lines = AuditLines();
    ASSERT_EQ(lines.size(), 2 * (sizeof cases / sizeof cases[0]));
    EXPECT_EQ(lines[8], "notes_update\tid=n-404\ttrust=0\terror\tno local note with that id");
}

TEST_F(NoteTools, CreateTakesTheTitleOrDerivesItAndKeepsTheContentAsSent)
{
    const std::wstring atLimit = std::wstring(19797, L'\u6c34') + L"a";  // exactly 59,392 bytes
    const struct {
        std::wstring params, title, content;
    } cases[] = {
        {L"{\"content\":\"  Groceries  \\nmilk \"}", L"Groceries", L"  Groceries  \nmilk "},
        {L"{\"title\":\"   \",\"content\":\"Plan\\r\\nB\"}", L"Plan", L"Plan\r\nB"},
        {L"{\"title\":\" Kept as sent \",\"content\":\"x\"}", L" Kept as sent ", L"x"},
        {L"{\"title\":\"" + std::wstring(250, L'T') + L"\",\"content\":\"x\"}", std::wstring(200, L'T'), L"x"},
        {L"{\"content\":\"\\nafter a break\"}", L"", L"\nafter a break"},
        {L"{\"content\":\"" + atLimit + L"\"}", std::wstring(200, L'\u6c34'), atLimit},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring id = L"n-" + std::to_wstring(++n);
        ASSERT_EQ(Write(AiMcpWriteKind::NotesCreate, c.params), OkId(id)) << testing::PrintToString(c.params.substr(0, 80));
        EXPECT_EQ(service->notes[id].title, c.title);
        EXPECT_EQ(service->notes[id].content, c.content);
    }
    EXPECT_EQ(NotesUsed(), 6);
    EXPECT_EQ(AuditLines()[0], "notes_create\tid=n-1\ttrust=1\tok\tGroceries");
    int notifications = 0;
    for (const auto& call : application->Calls())
        if (call.operation == devhost::ApplicationService::kNotifyChange &&
            call.arguments == std::vector<std::wstring>{L"4"})
            ++notifications;
    EXPECT_EQ(notifications, 6);
}

TEST_F(NoteTools, UpdatePassesWhichValuesChangeAndDeleteRemoves)
{
    service->notes[L"n-1"] = Note{L"Title", L"Body"};
    ASSERT_EQ(Write(AiMcpWriteKind::NotesUpdate, L"{\"id\":\"n-1\",\"title\":\"" + std::wstring(210, L'u') + L"\"}"),
              OkId(L"n-1"));
    ASSERT_EQ(Write(AiMcpWriteKind::NotesUpdate, L"{\"id\":\"n-1\",\"content\":\"\"}"), OkId(L"n-1"));
    ASSERT_EQ(service->updates.size(), 2u);
    EXPECT_EQ(service->updates[0].changeTitle, VARIANT_TRUE);
    EXPECT_EQ(service->updates[0].changeContent, VARIANT_FALSE);
    EXPECT_EQ(service->updates[0].title, std::wstring(200, L'u'));
    EXPECT_EQ(service->updates[0].content, L"Body");  // the note's own content, passed with its flag off
    EXPECT_EQ(service->updates[1].changeTitle, VARIANT_FALSE);
    EXPECT_EQ(service->updates[1].changeContent, VARIANT_TRUE);
    EXPECT_EQ(service->notes[L"n-1"].title, std::wstring(200, L'u'));
    EXPECT_EQ(service->notes[L"n-1"].content, L"");

    ASSERT_EQ(Write(AiMcpWriteKind::NotesDelete, L"{\"id\":\"n-1\"}"), OkId(L"n-1"));
    EXPECT_TRUE(service->notes.empty());
    EXPECT_EQ(NotesUsed(), 3);
    EXPECT_EQ(AuditLines().back(), "notes_delete\tid=n-1\ttrust=1\tok\t" + std::string(200, 'u'));
}

TEST_F(NoteTools, ParkedWritesShowASummaryAndChangeNothingUntilAccepted)
{
    SetTrusted(false);
    service->notes[L"n-7"] = Note{L"Old", std::wstring(130, L'c')};
    const std::wstring parked = Write(AiMcpWriteKind::NotesDelete, L"{\"id\":\"n-7\"}");
    EXPECT_NE(parked.find(L"\"summary\":{\"op\":\"notes_delete\",\"id\":\"n-7\",\"title\":\"Old\",\"preview\":\"" +
                          std::wstring(120, L'c') + L"\u2026\"}"),
              std::wstring::npos)
        << parked;
    const std::wstring rejected = TokenOf(parked);
    EXPECT_EQ(EventConfirm(L"2", L"{\"confirm_token\":\"" + rejected + L"\",\"accept\":false}"),
              Ok(L"{\"status\":\"cancelled\"}", L"2"));
    EXPECT_EQ(service->notes.count(L"n-7"), 1u);

    const std::wstring token = TokenOf(Write(AiMcpWriteKind::NotesCreate, L"{\"content\":\"Call mum\"}"));
    EXPECT_EQ(service->notes.size(), 1u);
    const std::wstring confirm = L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}";
    EXPECT_EQ(EventConfirm(L"3", confirm), OkId(L"n-1", L"3"));
    EXPECT_EQ(EventConfirm(L"4", confirm), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"4"));
    EXPECT_EQ(service->notes[L"n-1"].content, L"Call mum");
    EXPECT_EQ(NotesUsed(), 1);
}

TEST_F(NoteTools, AFailedServiceCallIsReportedAuditedAndNotCounted)
{
    service->notes[L"n-1"] = Note{L"Keep", L"me"};
    service->failCreate = true;
    service->failStore = true;
    EXPECT_EQ(Write(AiMcpWriteKind::NotesCreate, L"{\"content\":\"new\"}"),
              Error(L"INTERNAL", L"the note service could not create the note"));
    EXPECT_EQ(Write(AiMcpWriteKind::NotesUpdate, L"{\"id\":\"n-1\",\"title\":\"Gone\"}"),
              Error(L"INTERNAL", L"the note service could not store the change"));
    EXPECT_EQ(Write(AiMcpWriteKind::NotesDelete, L"{\"id\":\"n-1\"}"),
              Error(L"INTERNAL", L"the note service could not store the change"));

    // The note is deleted while its change waits for confirmation.
    service->failStore = false;
    SetTrusted(false);
    const std::wstring token = TokenOf(Write(AiMcpWriteKind::NotesUpdate, L"{\"id\":\"n-1\",\"title\":\"Later\"}"));
    service->notes.clear();
    EXPECT_EQ(EventConfirm(L"2", L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}"),
              Error(L"NOT_FOUND", L"no local note with that id", L"2"));

    EXPECT_EQ(NotesUsed(), 0);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "notes_create\tid=\ttrust=1\terror\tthe note service could not create the note",
                                "notes_update\tid=n-1\ttrust=1\terror\tthe note service could not store the change",
                                "notes_delete\tid=n-1\ttrust=1\terror\tthe note service could not store the change",
                                "notes_update\tid=n-1\ttrust=0\tok\tpending confirmation",
                                "notes_update\tid=n-1\ttrust=0\terror\tno local note with that id",
                            }));
}

TEST_F(NoteTools, TheFortyFirstNoteWriteIsRefusedWhileEventsAndDayCellsStillHaveRoom)
{
    Store(L"sys_aimcp_quota_notes_local", 40);
    Store(L"sys_aimcp_quota_day_local", 20260820);
    EXPECT_EQ(Write(AiMcpWriteKind::NotesCreate, L"{\"content\":\"one more\"}"),
              Error(L"QUOTA_EXCEEDED", L"daily AI write quota exceeded for notes: used 40 of 40 (resets at local midnight)"));
    EXPECT_TRUE(service->notes.empty());
    const std::wstring cell = ItemWriteEntry(L"2", L"{\"date\":\"2026-08-20\",\"text\":\"fine\"}",
                                             AiMcpWriteKind::ItemsAppendLine);
    EXPECT_EQ(cell.rfind(L"{\"id\":\"2\",\"ok\":true", 0), 0u) << cell;
}

}  // namespace
