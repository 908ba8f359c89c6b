#include "AiMcpWritePath.h"

#include <utility>

#include "AiMcpAuditLog.h"
#include "AiMcpCalendars.h"
#include "AiMcpDates.h"
#include "AiMcpEnvelope.h"
#include "AiMcpEventWrites.h"
#include "AiMcpItemTools.h"
#include "AiMcpNoteTools.h"
#include "AiMcpQuota.h"
#include "AiMcpSettingHelper.h"
#include "AiMcpText.h"
#include "AiMcpTimetableTools.h"

namespace {

// ---- Family table ----------------------------------------------------------
//
// A family gets its validator and executor by filling its row here.

const AiMcpWriteFamily kEventFamily{ValidateEventWrite, ExecuteEventWrite};
const AiMcpWriteFamily kItemFamily{ValidateItemWrite, ExecuteItemWrite};
const AiMcpWriteFamily kNoteFamily{ValidateNoteWrite, ExecuteNoteWrite};
const AiMcpWriteFamily kTimetableFamily{ValidateTimetableWrite, ExecuteTimetableWrite};

const wchar_t kNoToken[] = L"could not create a confirmation token";
const wchar_t kUnknownToken[] = L"unknown or expired confirm_token";
const wchar_t kFamilyMissing[] = L"the calendar cannot carry out this kind of write";

constexpr std::size_t kTitleUnits = 200;

bool IsItemKind(AiMcpWriteKind kind)
{
    const int value = static_cast<int>(kind);
    return value >= static_cast<int>(AiMcpWriteKind::ItemsSet) &&
           value <= static_cast<int>(AiMcpWriteKind::ItemLineSetDone);
}

bool IsNoteKind(AiMcpWriteKind kind)
{
    return kind == AiMcpWriteKind::NotesCreate || kind == AiMcpWriteKind::NotesUpdate ||
           kind == AiMcpWriteKind::NotesDelete;
}

bool IsTimetableKind(AiMcpWriteKind kind)
{
    return kind == AiMcpWriteKind::TimetableUpsert || kind == AiMcpWriteKind::TimetableDelete;
}

const wchar_t* BoolWord(bool value)
{
    return value ? L"true" : L"false";
}

// ---- Summaries, one per family ---------------------------------------------

std::wstring TimetableSummary(const PendingWrite& write)
{
    const wchar_t* action = write.kind == AiMcpWriteKind::TimetableDelete ? L"delete"
                            : write.timetable.replaced                    ? L"replaced"
                                                                          : L"created";
    return L",\"name\":" + QuoteJson(write.timetable.name) + L",\"action\":" + QuoteJson(action) + L"}";
}

std::wstring NoteSummary(const PendingWrite& write)
{
    std::wstring json;
    if (!write.note.noteId.empty()) json += L",\"id\":" + QuoteJson(write.note.noteId);
    json += L",\"title\":" + QuoteJson(CutText(write.note.title, kTitleUnits)) + L",\"preview\":" +
            QuoteJson(NotePreview(write.note.content)) + L"}";
    return json;
}

std::wstring ItemSummary(const PendingWrite& write)
{
    const PendingItemFields& item = write.item;
    std::wstring json = L",\"date\":" + QuoteJson(item.date);
    if (item.lineIndex >= 0) json += L",\"line_index\":" + IntText(item.lineIndex);
    json += L",\"preview\":" + QuoteJson(CutText(item.text, kTitleUnits));
    if (write.kind == AiMcpWriteKind::ItemsSet && item.hasBgcolor) json += L",\"bgcolor\":" + QuoteJson(item.bgcolor);
    if (write.kind == AiMcpWriteKind::ItemLineSetDone) json += std::wstring(L",\"done\":") + BoolWord(item.done);
    return json + L"}";
}

std::wstring EventSummary(const PendingWrite& write)
{
    const PendingEventFields& event = write.event;
    std::wstring json;
    if (!event.eventId.empty()) json += L",\"id\":" + QuoteJson(event.eventId);
    const wchar_t* kindName = EventKindName(event.eventType);
    json += L",\"title\":" + QuoteJson(CutText(event.title, kTitleUnits)) + L",\"date\":" + QuoteJson(event.date) +
            L",\"all_day\":true,\"kind\":" + QuoteJson(kindName ? kindName : L"task");
    LocalDay day{}, next{};
    if (ParseDayTextValid(event.date, day) && NextDay(day, next)) {
        // A midnight the zone skips is still written, with the offset 00:00
        // that FormatIsoLocal falls back to.
        std::wstring start, end;
        (void)FormatIsoLocal(day, start);
        (void)FormatIsoLocal(next, end);
        json += L",\"start\":" + QuoteJson(start) + L",\"end\":" + QuoteJson(end);
    }
    return json + L"}";
}

}  // namespace

bool RefuseWrite(std::wstring& code, std::wstring& message, const wchar_t* refusedCode, std::wstring refusedMessage)
{
    code = refusedCode;
    message = std::move(refusedMessage);
    return false;
}

const AiMcpWriteFamily& AiMcpWriteFamilyOf(AiMcpWriteKind kind)
{
    if (IsTimetableKind(kind)) return kTimetableFamily;
    if (IsNoteKind(kind)) return kNoteFamily;
    if (IsItemKind(kind)) return kItemFamily;
    return kEventFamily;
}

std::wstring AiMcpAuditIdOf(const PendingWrite& write)
{
    if (IsItemKind(write.kind)) return write.item.date;
    if (IsNoteKind(write.kind)) return write.note.noteId;
    if (IsTimetableKind(write.kind)) return write.timetable.timetableId;
    return write.event.eventId;
}

std::wstring AiMcpWriteOperationWord(AiMcpWriteKind kind)
{
    switch (kind) {
    case AiMcpWriteKind::EventCreate: return L"create";
    case AiMcpWriteKind::EventUpdate: return L"update";
    case AiMcpWriteKind::EventDelete: return L"delete";
    default: return AiMcpWriteKindName(kind);
    }
}

std::wstring BuildSummaryJson(const PendingWrite& write)
{
    const std::wstring head = L"{\"op\":" + QuoteJson(AiMcpWriteOperationWord(write.kind));
    if (IsTimetableKind(write.kind)) return head + TimetableSummary(write);
    if (IsNoteKind(write.kind)) return head + NoteSummary(write);
    if (IsItemKind(write.kind)) return head + ItemSummary(write);
    return head + EventSummary(write);
}

std::wstring RunWriteEntry(const AiMcpWriteFamily& family, const std::wstring& requestId, const std::wstring& params,
                           AiMcpWriteKind kind)
{
    PendingWrite write;
    write.kind = kind;
    if (!family.validate || !family.execute) return FailWithAudit(kind, requestId, L"", 0, kInternal, kFamilyMissing);
    std::wstring code = kInternal, message;
    if (!family.validate(kind, params, write, code, message))
        return FailWithAudit(kind, requestId, AiMcpAuditIdOf(write), 0, code, message);

    const std::wstring auditId = AiMcpAuditIdOf(write);
    if (auto refused = QuotaGate(kind, requestId, auditId)) return *refused;

    if (IsAiMcpTrustWrite()) return family.execute(requestId, write, true);

    const std::wstring token = AiMcpPendingStore::Instance().Park(write);
    if (token.empty()) return FailWithAudit(kind, requestId, auditId, 0, kInternal, kNoToken);
    AiMcpAuditLog::Append(AiMcpWriteKindName(kind), auditId, 0, 1, L"pending confirmation");
    return BuildOkAnswer(requestId, L"{\"status\":\"pending_confirmation\",\"confirm_token\":" + QuoteJson(token) +
                                        L",\"summary\":" + BuildSummaryJson(write) + L"}");
}

std::wstring ItemWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind)
{
    return RunWriteEntry(kItemFamily, requestId, params, kind);
}

std::wstring EventWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind)
{
    return RunWriteEntry(kEventFamily, requestId, params, kind);
}

std::wstring NoteWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind)
{
    return RunWriteEntry(kNoteFamily, requestId, params, kind);
}

std::wstring TimetableWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind)
{
    return RunWriteEntry(kTimetableFamily, requestId, params, kind);
}

std::wstring ExecuteParkedWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted)
{
    const AiMcpWriteFamily& family = AiMcpWriteFamilyOf(write.kind);
    if (!family.execute)
        return FailWithAudit(write.kind, requestId, AiMcpAuditIdOf(write), trusted ? 1 : 0, kInternal, kFamilyMissing);
    return family.execute(requestId, write, trusted);
}

std::wstring EventConfirm(const std::wstring& requestId, const std::wstring& params)
{
    std::wstring token;
    if (!GetStringParam(params, L"confirm_token", token) || token.empty())
        return BuildErrorAnswer(requestId, kInvalidParams,
                                L"malformed request: \"params\" needs a \"confirm_token\" string");
    bool accept = false;
    if (!GetBoolParam(params, L"accept", accept))
        return BuildErrorAnswer(requestId, kInvalidParams, L"malformed request: \"accept\" must be true or false");

    AiMcpPendingStore& store = AiMcpPendingStore::Instance();
    PendingWrite write;
    if (!accept) {
        if (!store.Take(token, write)) return BuildErrorAnswer(requestId, kNotFound, kUnknownToken);
        AiMcpAuditLog::Append(AiMcpWriteKindName(write.kind), AiMcpAuditIdOf(write), 0, 0, L"cancelled by the user");
        return BuildOkAnswer(requestId, L"{\"status\":\"cancelled\"}");
    }

    if (!store.Peek(token, write)) return BuildErrorAnswer(requestId, kNotFound, kUnknownToken);
    // Asked before the write is taken: a refusal leaves it parked, to be
    // accepted again once there is room (after local midnight).
    if (auto refused = QuotaGate(write.kind, requestId, AiMcpAuditIdOf(write))) return *refused;
    if (!store.Take(token, write)) return BuildErrorAnswer(requestId, kNotFound, kUnknownToken);
    return ExecuteParkedWrite(requestId, write, false);
}
