#include "AiMcpQuota.h"

#include <climits>
#include <cwchar>

#include "AiMcpClock.h"
#include "AiMcpSettingHelper.h"

const wchar_t kAiMcpQuotaDayKey[] = L"sys_aimcp_quota_day";
const wchar_t kAiMcpQuotaItemsKey[] = L"sys_aimcp_quota_items";
const wchar_t kAiMcpQuotaEventsKey[] = L"sys_aimcp_quota_events";
const wchar_t kAiMcpQuotaNotesKey[] = L"sys_aimcp_quota_notes";

namespace {

const wchar_t* CounterBaseKey(AiMcpQuotaKind kind)
{
    switch (kind) {
    case AiMcpQuotaKind::Items: return kAiMcpQuotaItemsKey;
    case AiMcpQuotaKind::Notes: return kAiMcpQuotaNotesKey;
    case AiMcpQuotaKind::Events: break;
    }
    return kAiMcpQuotaEventsKey;
}

// The roll-over for one user key, so that a caller reads and writes the
// same user's keys even if the login changes while it runs.
void RollQuotaDayFor(const std::wstring& user)
{
    const int today = static_cast<int>(AiMcpLocalDayNumber());
    const std::wstring dayKey = MakeUserSettingKey(kAiMcpQuotaDayKey, user);
    if (GetSettingInt(dayKey) == today) return;
    SetSettingInt(dayKey, today);
    SetSettingInt(MakeUserSettingKey(kAiMcpQuotaItemsKey, user), 0);
    SetSettingInt(MakeUserSettingKey(kAiMcpQuotaEventsKey, user), 0);
    SetSettingInt(MakeUserSettingKey(kAiMcpQuotaNotesKey, user), 0);
}

}  // namespace

const wchar_t* AiMcpQuotaKindWord(AiMcpQuotaKind kind)
{
    switch (kind) {
    case AiMcpQuotaKind::Items: return L"items";
    case AiMcpQuotaKind::Notes: return L"notes";
    case AiMcpQuotaKind::Events: break;
    }
    return L"events";
}

AiMcpQuotaKind AiMcpQuotaKindOf(AiMcpWriteKind tool)
{
    switch (tool) {
    case AiMcpWriteKind::ItemsSet:
    case AiMcpWriteKind::ItemsAppendLine:
    case AiMcpWriteKind::ItemLineUpdate:
    case AiMcpWriteKind::ItemLineDelete:
    case AiMcpWriteKind::ItemLineSetDone:
        return AiMcpQuotaKind::Items;
    case AiMcpWriteKind::NotesCreate:
    case AiMcpWriteKind::NotesUpdate:
    case AiMcpWriteKind::NotesDelete:
        return AiMcpQuotaKind::Notes;
    default:
        return AiMcpQuotaKind::Events;
    }
}

void RollQuotaDay()
{
    RollQuotaDayFor(GetUserKey());
}

QuotaSnapshot ReadQuotaSnapshot()
{
    const std::wstring user = GetUserKey();
    RollQuotaDayFor(user);
    QuotaSnapshot snapshot;
    snapshot.day = GetSettingInt(MakeUserSettingKey(kAiMcpQuotaDayKey, user));
    snapshot.itemsUsed = GetSettingInt(MakeUserSettingKey(kAiMcpQuotaItemsKey, user));
    snapshot.eventsUsed = GetSettingInt(MakeUserSettingKey(kAiMcpQuotaEventsKey, user));
    snapshot.notesUsed = GetSettingInt(MakeUserSettingKey(kAiMcpQuotaNotesKey, user));
    return snapshot;
}

bool CheckWriteQuota(AiMcpQuotaKind kind, std::wstring& message)
{
    const QuotaSnapshot snapshot = ReadQuotaSnapshot();
    int used = snapshot.eventsUsed, limit = snapshot.eventsLimit;
    if (kind == AiMcpQuotaKind::Items) {
        used = snapshot.itemsUsed;
        limit = snapshot.itemsLimit;
    } else if (kind == AiMcpQuotaKind::Notes) {
        used = snapshot.notesUsed;
        limit = snapshot.notesLimit;
    }
    if (used < limit) return true;
    wchar_t text[160];
    std::swprintf(text, sizeof text / sizeof text[0],
                  L"daily AI write quota exceeded for %ls: used %d of %d (resets at local midnight)",
                  AiMcpQuotaKindWord(kind), used, limit);
    message = text;
    return false;
}

void CountWrite(AiMcpQuotaKind kind)
{
    const std::wstring user = GetUserKey();
    RollQuotaDayFor(user);
    const std::wstring key = MakeUserSettingKey(CounterBaseKey(kind), user);
    const int used = GetSettingInt(key);
    SetSettingInt(key, used == INT_MAX ? used : used + 1);
}
