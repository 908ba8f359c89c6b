#include "AiMcpNoteTools.h"

#include <utility>

#include "AiMcpAuditLog.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "AiMcpText.h"
#include "AiMcpWritePath.h"
#include "HostAccess.h"

namespace {

const wchar_t kNoNoteService[] = L"the note service is not available";
const wchar_t kCannotList[] = L"the note service could not list notes";
const wchar_t kNeedsId[] = L"malformed request: \"params\" needs an \"id\" string";
const wchar_t kNoSuchNote[] = L"no local note with that id";
const wchar_t kTooLarge[] = L"the note content is too large for one AI MCP response";
const wchar_t kNeedsContent[] = L"malformed request: \"params\" needs non-empty \"content\"";
const wchar_t kNothingToChange[] = L"malformed request: \"params\" names no field to change";
const wchar_t kCreateFailed[] = L"the note service could not create the note";
const wchar_t kStoreFailed[] = L"the note service could not store the change";

constexpr std::size_t kPreviewUnits = 120;
constexpr LONG kLocalNoteType = 1;

ComPtr<IxNoteService> NoteService()
{
    return GetHostService<IxNoteService>(SID_NoteService);
}

ComPtr<IxNoteList> NoteList(IxNoteService* service)
{
    ComPtr<IxNoteList> list;
    if (service->GetNoteList(list.put()) < 0) return ComPtr<IxNoteList>();
    return list;
}

LONG NoteCount(IxNoteList* list)
{
    LONG count = 0;
    list->GetCount(&count);
    return count;
}

bool NoteIdAt(IxNoteList* list, LONG index, std::wstring& noteId)
{
    UniqueBstr text;
    if (list->GetId(index, text.put()) < 0) return false;
    noteId = text.str();
    return true;
}

std::wstring NoteTitle(IxNote* note)
{
    UniqueBstr text;
    note->GetTitle(text.put());
    return text.str();
}

std::wstring NoteContent(IxNote* note)
{
    UniqueBstr text;
    note->GetContent(text.put());
    return text.str();
}

}  // namespace

std::wstring NotePreview(const std::wstring& content)
{
    if (content.size() <= kPreviewUnits) return content;
    return CutText(content, kPreviewUnits) + L"\u2026";
}

ComPtr<IxNote> FindLocalNote(IxNoteService* service, const std::wstring& noteId, bool listedCheck)
{
    ComPtr<IUnknown> found;
    const UniqueBstr id(noteId);
    if (service->FindNote(id.get(), found.put()) != S_OK || !found) return ComPtr<IxNote>();
    ComPtr<IxNote> note = found.As<IxNote>(IID_IxNote);
    if (!note) return note;
    LONG type = 0;
    note->GetType(&type);
    if (type != kLocalNoteType) return ComPtr<IxNote>();
    if (!listedCheck) return note;

    const ComPtr<IxNoteList> list = NoteList(service);
    if (!list) return ComPtr<IxNote>();
    const LONG count = NoteCount(list.get());
    for (LONG i = 0; i < count; ++i) {
        std::wstring listed;
        if (NoteIdAt(list.get(), i, listed) && listed == noteId) return note;
    }
    return ComPtr<IxNote>();
}

std::wstring NotesList(const std::wstring& requestId)
{
    const ComPtr<IxNoteService> service = NoteService();
    if (!service) return BuildErrorAnswer(requestId, kInternal, kNoNoteService);
    const ComPtr<IxNoteList> list = NoteList(service.get());
    if (!list) return BuildErrorAnswer(requestId, kInternal, kCannotList);

    // The envelope inserts the result as it is, so the answer's length is
    // that of the answer without entries plus the entries' own.
    const std::size_t emptyLength = Utf8Length(BuildOkAnswer(requestId, L"{\"notes\":[],\"truncated\":false}"));
    std::size_t entriesLength = 0;
    std::wstring entries;
    bool truncated = false;
    const LONG count = NoteCount(list.get());
    for (LONG i = 0; i < count; ++i) {
        std::wstring noteId;
        if (!NoteIdAt(list.get(), i, noteId)) continue;
        const ComPtr<IxNote> note = FindLocalNote(service.get(), noteId, false);
        if (!note) continue;
        const std::wstring entry = L"{\"id\":" + QuoteJson(noteId) + L",\"title\":" +
                                   QuoteJson(CutText(NoteTitle(note.get()), kAiMcpNoteTitleUnits)) + L",\"preview\":" +
                                   QuoteJson(NotePreview(NoteContent(note.get()))) + L"}";
        const std::size_t grown = entriesLength + (entries.empty() ? 0 : 1) + Utf8Length(entry);
        if (emptyLength + grown > kAiMcpAnswerBudget) {
            truncated = true;
            break;
        }
        if (!entries.empty()) entries += L',';
        entries += entry;
        entriesLength = grown;
    }
    return BuildOkAnswer(requestId, L"{\"notes\":[" + entries + L"],\"truncated\":" +
                                        (truncated ? L"true" : L"false") + L"}");
}

std::wstring NotesGet(const std::wstring& requestId, const std::wstring& params)
{
    std::wstring noteId;
    if (!GetStringParam(params, L"id", noteId) || noteId.empty())
        return BuildErrorAnswer(requestId, kInvalidParams, kNeedsId);
    const ComPtr<IxNoteService> service = NoteService();
    if (!service) return BuildErrorAnswer(requestId, kInternal, kNoNoteService);
    const ComPtr<IxNote> note = FindLocalNote(service.get(), noteId, true);
    if (!note) return BuildErrorAnswer(requestId, kNotFound, kNoSuchNote);

    const std::wstring answer =
        BuildOkAnswer(requestId, L"{\"id\":" + QuoteJson(noteId) + L",\"title\":" + QuoteJson(NoteTitle(note.get())) +
                                     L",\"content\":" + QuoteJson(NoteContent(note.get())) + L"}");
    if (Utf8Length(answer) > kAiMcpAnswerBudget) return BuildErrorAnswer(requestId, kInvalidParams, kTooLarge);
    return answer;
}

bool ValidateNoteWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write, std::wstring& code,
                       std::wstring& message)
{
    if (kind != AiMcpWriteKind::NotesCreate && kind != AiMcpWriteKind::NotesUpdate &&
        kind != AiMcpWriteKind::NotesDelete)
        return RefuseWrite(code, message, kInternal, L"not a note write");
    write.kind = kind;
    PendingNoteFields& fields = write.note;

    const ComPtr<IxNoteService> service = NoteService();
    if (!service) return RefuseWrite(code, message, kInternal, kNoNoteService);

    std::wstring title, content;
    const bool hasTitle = GetStringParam(params, L"title", title);
    const bool hasContent = GetStringParam(params, L"content", content);
    if (kind != AiMcpWriteKind::NotesDelete && hasContent && Utf8Length(content) > kAiMcpNoteContentLimit)
        return RefuseWrite(code, message, kInvalidParams, kTooLarge);

    if (kind == AiMcpWriteKind::NotesCreate) {
        if (!hasContent || TrimSpace(content).empty()) return RefuseWrite(code, message, kInvalidParams, kNeedsContent);
        fields.title =
            hasTitle && !TrimSpace(title).empty() ? CutText(title, kAiMcpNoteTitleUnits) : DeriveNoteTitle(content);
        fields.content = std::move(content);
        fields.hasTitle = true;
        fields.hasContent = true;
        return true;
    }

    std::wstring noteId;
    if (!GetStringParam(params, L"id", noteId) || noteId.empty()) return RefuseWrite(code, message, kInvalidParams, kNeedsId);
    // Kept from here on, so a refusal is audited under the id it asked for.
    fields.noteId = noteId;
    if (kind == AiMcpWriteKind::NotesUpdate && !hasTitle && !hasContent)
        return RefuseWrite(code, message, kInvalidParams, kNothingToChange);
    const ComPtr<IxNote> note = FindLocalNote(service.get(), noteId, true);
    if (!note) return RefuseWrite(code, message, kNotFound, kNoSuchNote);

    fields.hasTitle = hasTitle;
    fields.hasContent = hasContent;
    fields.title = hasTitle ? CutText(title, kAiMcpNoteTitleUnits) : NoteTitle(note.get());
    fields.content = hasContent ? std::move(content) : NoteContent(note.get());
    return true;
}

std::wstring ExecuteNoteWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted)
{
    const PendingNoteFields& fields = write.note;
    std::wstring noteId = fields.noteId;
    const auto fail = [&](const wchar_t* code, const wchar_t* message) {
        return FailWithAudit(write.kind, requestId, noteId, trusted ? 1 : 0, code, message);
    };

    const ComPtr<IxNoteService> service = NoteService();
    if (!service) return fail(kInternal, kNoNoteService);

    if (write.kind == AiMcpWriteKind::NotesCreate) {
        const UniqueBstr title(fields.title), content(fields.content);
        UniqueBstr newId;
        if (service->CreateNote(title.get(), content.get(), newId.put()) != S_OK || newId.str().empty())
            return fail(kInternal, kCreateFailed);
        noteId = newId.str();
    } else {
        if (!FindLocalNote(service.get(), noteId, true)) return fail(kNotFound, kNoSuchNote);
        const UniqueBstr id(noteId);
        HRESULT hr = E_FAIL;
        if (write.kind == AiMcpWriteKind::NotesUpdate) {
            const UniqueBstr title(fields.title), content(fields.content);
            hr = service->UpdateNote(id.get(), fields.hasTitle ? VARIANT_TRUE : VARIANT_FALSE, title.get(),
                                     fields.hasContent ? VARIANT_TRUE : VARIANT_FALSE, content.get());
        } else {
            hr = service->DeleteNote(id.get());
        }
        if (hr != S_OK) return fail(kInternal, kStoreFailed);
    }

    AiMcpAuditLog::Append(AiMcpWriteKindName(write.kind), noteId, trusted ? 1 : 0, 1, fields.title);
    if (const auto application = GetHostService<IxApplicationService>(SID_ApplicationService))
        application->NotifyChange(kAppChangeNotes);
    CountWrite(AiMcpQuotaKind::Notes);
    return BuildOkAnswer(requestId, L"{\"status\":\"ok\",\"id\":" + QuoteJson(noteId) + L"}");
}
