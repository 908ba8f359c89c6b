#include "AiMcpTimetableTools.h"

#include "AiMcpAuditLog.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "AiMcpText.h"
#include "AiMcpTimetableUpload.h"
#include "AiMcpWritePath.h"
#include "HostAccess.h"
#include "JsonValue.h"

namespace {

const wchar_t kNoService[] = L"the timetable service is not available";
const wchar_t kCannotList[] = L"the timetable service could not list timetables";
const wchar_t kListTooLarge[] = L"the timetable list is too large for one AI MCP response";
const wchar_t kNeedsIdOrName[] = L"malformed request: \"params\" needs an \"id\" or \"name\" string";
const wchar_t kNoSuchId[] = L"no local timetable with that id";
const wchar_t kNoSuchName[] = L"no local timetable with that name";
const wchar_t kAmbiguousName[] = L"more than one local timetable has that name; use an id";
const wchar_t kAmbiguousUpload[] = L"more than one local timetable has that name; resolve duplicates first";
const wchar_t kInvalidContent[] = L"the timetable service returned invalid content";
const wchar_t kTimetableTooLarge[] = L"the timetable is too large for one AI MCP response";
const wchar_t kUploadTooLarge[] = L"the timetable content is too large for one AI MCP request";
const wchar_t kStoreFailed[] = L"the timetable service could not store the timetable";
const wchar_t kDeleteFailed[] = L"the timetable service could not delete the timetable";

ComPtr<IxTimetableService> TimetableService()
{
    return GetHostService<IxTimetableService>(SID_TimetableService);
}

// The content of the timetable with that id; false when there is none.
bool ContentById(IxTimetableService* service, const std::wstring& timetableId, std::wstring& content)
{
    const UniqueBstr id(timetableId);
    UniqueBstr text;
    if (service->GetTimetableContent(id.get(), text.put()) != S_OK) return false;
    content = text.str();
    return !content.empty();
}

// How a name lookup came out: found once (with its content), not found, or
// more than one timetable of that name.
enum class NameLookup { Found, Missing, Ambiguous };

NameLookup FindByName(IxTimetableService* service, const std::wstring& name, std::wstring& content)
{
    const UniqueBstr text(name);
    LONG count = 0;
    UniqueBstr found;
    const HRESULT hr = service->FindTimetableByName(text.get(), &count, found.put());
    content = found.str();
    if (hr == S_OK && count == 1 && !content.empty()) return NameLookup::Found;
    return count >= 2 ? NameLookup::Ambiguous : NameLookup::Missing;
}

// A member of a content object as text ("" when absent).
std::wstring ContentMember(const std::wstring& content, const wchar_t* name)
{
    std::wstring value;
    GetStringParam(content, name, value);
    return value;
}

struct TimetableTarget {
    std::wstring id;    // "id" as given
    std::wstring name;  // "name" trimmed
};

// Reads "id" and "name"; false when both are empty.
bool ReadTarget(const std::wstring& params, TimetableTarget& target)
{
    GetStringParam(params, L"id", target.id);
    GetStringParam(params, L"name", target.name);
    target.name = TrimSpace(target.name);
    return !target.id.empty() || !target.name.empty();
}

// The content of the timetable the target names: by id when one is given,
// else by name. False with the code and message when there is none.
bool ResolveTarget(IxTimetableService* service, const TimetableTarget& target, bool byName, std::wstring& content,
                   std::wstring& code, std::wstring& message)
{
    if (!byName) {
        if (ContentById(service, target.id, content)) return true;
        return RefuseWrite(code, message, kNotFound, kNoSuchId);
    }
    switch (FindByName(service, target.name, content)) {
    case NameLookup::Found: return true;
    case NameLookup::Ambiguous: return RefuseWrite(code, message, kInvalidParams, kAmbiguousName);
    case NameLookup::Missing: break;
    }
    return RefuseWrite(code, message, kNotFound, kNoSuchName);
}

std::wstring BstrOf(IxTimetable* timetable, HRESULT (STDMETHODCALLTYPE IxTimetable::*read)(BSTR*))
{
    UniqueBstr text;
    (timetable->*read)(text.put());
    return text.str();
}

std::wstring SummaryJson(IxTimetable* timetable)
{
    VARIANT_BOOL isDefault = VARIANT_FALSE;
    timetable->GetIsDefault(&isDefault);
    LONG weeks = 0;
    timetable->GetWeekCount(&weeks);
    ComPtr<IxLessonCollection> lessons;
    timetable->GetLessons(lessons.put());
    ULONG lessonCount = 0;
    if (lessons) lessons->GetCount(&lessonCount);
    return L"{\"id\":" + QuoteJson(BstrOf(timetable, &IxTimetable::GetId)) + L",\"name\":" +
           QuoteJson(BstrOf(timetable, &IxTimetable::GetName)) + L",\"is_default\":" +
           (isDefault == VARIANT_TRUE ? L"true" : L"false") + L",\"start_date\":" +
           QuoteJson(BstrOf(timetable, &IxTimetable::GetStartDate)) + L",\"week_count\":" + IntText(weeks) +
           L",\"lesson_count\":" + std::to_wstring(lessonCount) + L"}";
}

}  // namespace

std::wstring TimetableList(const std::wstring& requestId)
{
    const ComPtr<IxTimetableService> service = TimetableService();
    if (!service) return BuildErrorAnswer(requestId, kInternal, kNoService);
    ComPtr<IxTimetableList> list;
    const HRESULT hr = service->GetTimetableList(list.put());
    if (hr < 0) return BuildErrorAnswer(requestId, kInternal, kCannotList);
    std::wstring entries;
    if (hr == S_OK && list) {
        LONG count = 0;
        list->GetCount(&count);
        for (LONG i = 0; i < count; ++i) {
            UniqueBstr id;
            if (list->GetId(i, id.put()) < 0) continue;
            ComPtr<IxTimetable> timetable;
            if (service->GetTimetable(id.get(), timetable.put()) != S_OK || !timetable) continue;
            if (!entries.empty()) entries += L',';
            entries += SummaryJson(timetable.get());
        }
    }
    const std::wstring answer = BuildOkAnswer(requestId, L"{\"timetables\":[" + entries + L"]}");
    if (Utf8Length(answer) > kAiMcpAnswerBudget) return BuildErrorAnswer(requestId, kInvalidParams, kListTooLarge);
    return answer;
}

std::wstring TimetableGet(const std::wstring& requestId, const std::wstring& params)
{
    TimetableTarget target;
    if (!ReadTarget(params, target)) return BuildErrorAnswer(requestId, kInvalidParams, kNeedsIdOrName);
    const ComPtr<IxTimetableService> service = TimetableService();
    if (!service) return BuildErrorAnswer(requestId, kInternal, kNoService);
    std::wstring content, code, message;
    if (!ResolveTarget(service.get(), target, target.id.empty(), content, code, message))
        return BuildErrorAnswer(requestId, code, message);
    const JsonValue::Ptr parsed = JsonValue::Parse(content);
    if (!parsed || !parsed->IsObject()) return BuildErrorAnswer(requestId, kInternal, kInvalidContent);
    const std::wstring answer = BuildOkAnswer(requestId, L"{\"timetable\":" + content + L"}");
    if (Utf8Length(answer) > kAiMcpAnswerBudget) return BuildErrorAnswer(requestId, kInvalidParams, kTimetableTooLarge);
    return answer;
}

bool ValidateTimetableWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write, std::wstring& code,
                            std::wstring& message)
{
    if (kind != AiMcpWriteKind::TimetableUpsert && kind != AiMcpWriteKind::TimetableDelete)
        return RefuseWrite(code, message, kInternal, L"not a timetable write");
    write.kind = kind;
    PendingTimetableFields& fields = write.timetable;
    const ComPtr<IxTimetableService> service = TimetableService();
    if (!service) return RefuseWrite(code, message, kInternal, kNoService);

    if (kind == AiMcpWriteKind::TimetableUpsert) {
        TimetableUpload upload;
        std::wstring refusal;
        if (!BuildTimetableContent(params, upload, refusal)) return RefuseWrite(code, message, kInvalidParams, refusal);
        if (Utf8Length(upload.content) > kAiMcpTimetableContentLimit)
            return RefuseWrite(code, message, kInvalidParams, kUploadTooLarge);
        fields.name = upload.name;
        fields.content = upload.content;
        fields.setAsDefault = upload.setAsDefault;
        std::wstring found;
        switch (FindByName(service.get(), upload.name, found)) {
        case NameLookup::Found:
            fields.replaced = true;
            fields.timetableId = ContentMember(found, L"timetable_id");
            break;
        case NameLookup::Ambiguous:
            return RefuseWrite(code, message, kInvalidParams, kAmbiguousUpload);
        case NameLookup::Missing:
            fields.replaced = false;
            break;
        }
        return true;
    }

    TimetableTarget target;
    if (!ReadTarget(params, target)) return RefuseWrite(code, message, kInvalidParams, kNeedsIdOrName);
    const bool byName = target.id.empty();
    // Kept from here on, so a refusal is audited under what it asked for.
    fields.timetableId = target.id;
    fields.name = target.name;
    std::wstring content;
    if (!ResolveTarget(service.get(), target, byName, content, code, message)) return false;
    if (byName) {
        fields.timetableId = ContentMember(content, L"timetable_id");
    } else {
        std::wstring name;
        if (GetStringParam(content, L"name", name)) fields.name = name;
    }
    return true;
}

std::wstring ExecuteTimetableWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted)
{
    const PendingTimetableFields& fields = write.timetable;
    std::wstring timetableId = fields.timetableId;
    const auto fail = [&](const wchar_t* code, const wchar_t* message) {
        return FailWithAudit(write.kind, requestId, timetableId, trusted ? 1 : 0, code, message);
    };
    const ComPtr<IxTimetableService> service = TimetableService();
    if (!service) return fail(kInternal, kNoService);

    LONG replace = fields.replaced ? 1 : 0;
    if (write.kind == AiMcpWriteKind::TimetableUpsert) {
        const UniqueBstr content(fields.content);
        UniqueBstr storedId;
        const HRESULT hr =
            service->StoreTimetable(content.get(), fields.setAsDefault ? VARIANT_TRUE : VARIANT_FALSE, &replace,
                                    storedId.put());
        timetableId = storedId.str();
        if (hr != S_OK || timetableId.empty()) return fail(kInternal, kStoreFailed);
    } else {
        std::wstring content;
        if (!ContentById(service.get(), timetableId, content)) return fail(kNotFound, kNoSuchId);
        const UniqueBstr id(timetableId);
        if (service->DeleteTimetable(id.get()) != S_OK) return fail(kInternal, kDeleteFailed);
    }

    AiMcpAuditLog::Append(AiMcpWriteKindName(write.kind), timetableId, trusted ? 1 : 0, 1, fields.name);
    CountWrite(AiMcpQuotaKindOf(write.kind));
    if (write.kind == AiMcpWriteKind::TimetableDelete) return BuildOkAnswer(requestId, L"{\"status\":\"ok\"}");
    return BuildOkAnswer(requestId, L"{\"status\":\"ok\",\"id\":" + QuoteJson(timetableId) + L",\"action\":" +
                                        QuoteJson(replace != 0 ? L"replaced" : L"created") + L"}");
}
