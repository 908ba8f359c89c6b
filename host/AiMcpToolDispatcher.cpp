#include "AiMcpToolDispatcher.h"

#include <cstdint>
#include <cwchar>
#include <mutex>
#include <set>

#include "AiMcpAuditLog.h"
#include "AiMcpCalendarTools.h"
#include "AiMcpClock.h"
#include "AiMcpEnvelope.h"
#include "AiMcpItemTools.h"
#include "AiMcpNoteTools.h"
#include "AiMcpTimetableTools.h"
#include "AiMcpWritePath.h"
#include "CriticalSection.h"
#include "HostAccess.h"

namespace {

// ---- Routing table ---------------------------------------------------------
//
// A tool gets its handler by putting the function's address into its row
// (and the header that declares it into the includes above). The write tools
// of one family share one entry point, named once below for all its rows.

constexpr AiMcpWriteHandler kTimetableWriteEntry = TimetableWriteEntry;
constexpr AiMcpWriteHandler kNoteWriteEntry = NoteWriteEntry;
constexpr AiMcpWriteHandler kItemWriteEntry = ItemWriteEntry;
constexpr AiMcpWriteHandler kEventWriteEntry = EventWriteEntry;

constexpr AiMcpToolRoute ListTool(const wchar_t* name, AiMcpListHandler handler)
{
    return AiMcpToolRoute{name, AiMcpToolShape::List, AiMcpWriteKind::EventCreate, handler, nullptr, nullptr};
}

constexpr AiMcpToolRoute ReadTool(const wchar_t* name, AiMcpReadHandler handler)
{
    return AiMcpToolRoute{name, AiMcpToolShape::Read, AiMcpWriteKind::EventCreate, nullptr, handler, nullptr};
}

constexpr AiMcpToolRoute WriteTool(const wchar_t* name, AiMcpWriteKind kind, AiMcpWriteHandler handler)
{
    return AiMcpToolRoute{name, AiMcpToolShape::Write, kind, nullptr, nullptr, handler};
}

constexpr AiMcpToolRoute kRoutes[] = {
    ListTool(L"calendar_list", AiMcpCalendarList),
    ReadTool(L"events_query", AiMcpEventsQuery),
    ReadTool(L"event_get", AiMcpEventGet),
    ReadTool(L"items_get", ItemsGet),
    ListTool(L"notes_list", NotesList),
    ReadTool(L"notes_get", NotesGet),
    ListTool(L"timetable_list", TimetableList),
    ReadTool(L"timetable_get", TimetableGet),
    WriteTool(L"timetable_upsert", AiMcpWriteKind::TimetableUpsert, kTimetableWriteEntry),
    WriteTool(L"timetable_delete", AiMcpWriteKind::TimetableDelete, kTimetableWriteEntry),
    WriteTool(L"notes_create", AiMcpWriteKind::NotesCreate, kNoteWriteEntry),
    WriteTool(L"notes_update", AiMcpWriteKind::NotesUpdate, kNoteWriteEntry),
    WriteTool(L"notes_delete", AiMcpWriteKind::NotesDelete, kNoteWriteEntry),
    WriteTool(L"items_set", AiMcpWriteKind::ItemsSet, kItemWriteEntry),
    WriteTool(L"items_append_line", AiMcpWriteKind::ItemsAppendLine, kItemWriteEntry),
    WriteTool(L"item_line_update", AiMcpWriteKind::ItemLineUpdate, kItemWriteEntry),
    WriteTool(L"item_line_delete", AiMcpWriteKind::ItemLineDelete, kItemWriteEntry),
    WriteTool(L"item_line_set_done", AiMcpWriteKind::ItemLineSetDone, kItemWriteEntry),
    WriteTool(L"event_create", AiMcpWriteKind::EventCreate, kEventWriteEntry),
    WriteTool(L"event_update", AiMcpWriteKind::EventUpdate, kEventWriteEntry),
    WriteTool(L"event_delete", AiMcpWriteKind::EventDelete, kEventWriteEntry),
    ReadTool(L"event_confirm", EventConfirm),
};

constexpr std::size_t kRouteCount = sizeof kRoutes / sizeof kRoutes[0];

const AiMcpToolRoute* FindRoute(const AiMcpToolRoute* routes, std::size_t count, const std::wstring& method)
{
    for (std::size_t i = 0; i < count; ++i)
        if (method == routes[i].name) return &routes[i];
    return nullptr;
}

// ---- Cloud configuration ---------------------------------------------------

const wchar_t kCloudRefused[] = L"AI MCP is disabled by cloud configuration";

// Allowed only when the service exists and answers exactly VARIANT_TRUE; its
// result code is not looked at, so a call that fails without touching the
// value leaves the preset "no".
bool IsAllowedByCloud()
{
    const ComPtr<IxCloudConfigService> cloud = GetHostService<IxCloudConfigService>(SID_CloudConfigService);
    if (!cloud) return false;
    VARIANT_BOOL allowed = VARIANT_FALSE;
    cloud->IsAiAccessAllowed(&allowed);
    return allowed == VARIANT_TRUE;
}

// ---- Usage statistics ------------------------------------------------------

constexpr std::size_t kMaxReportedKeys = 256;
const wchar_t kDayKeyPrefix[] = L"D:";

// The tools already reported today, process-wide. Made on first use (a
// function-local static, so the first use is safe from any thread) and gone
// when the module unloads; std::lock_guard holds it.
class UsageState : public CriticalSection {
public:
    // Protected by the critical section this state is.
    std::set<std::wstring> reported;
    std::uint32_t currentDay = 0;  // year * 10000 + month * 100 + day of the last check
};

UsageState& Usage()
{
    static UsageState state;
    return state;
}

// "D:YYYYMMDD|ai|tool|<method>" for the local date given as AiMcpLocalDayNumber
// gives it (whose decimal digits are YYYYMMDD).
std::wstring ReportKey(std::uint32_t today, const std::wstring& method)
{
    return kDayKeyPrefix + std::to_wstring(today) + L"|ai|tool|" + method;
}

// Forgets the keys of earlier days once the local date has changed.
void RollOverDay(UsageState& usage, std::uint32_t today)
{
    if (today == usage.currentDay) return;
    for (auto it = usage.reported.begin(); it != usage.reported.end();) {
        if (it->compare(0, 2, kDayKeyPrefix) == 0) it = usage.reported.erase(it);
        else ++it;
    }
    usage.currentDay = today;
}

}  // namespace

const AiMcpToolRoute* AiMcpToolRoutes(std::size_t& count)
{
    count = kRouteCount;
    return kRoutes;
}

const wchar_t* AiMcpWriteKindName(AiMcpWriteKind kind)
{
    for (const AiMcpToolRoute& route : kRoutes)
        if (route.shape == AiMcpToolShape::Write && route.kind == kind) return route.name;
    return L"";
}

void AiMcpToolDispatcher::ReportUsage(const std::wstring& method)
{
    // The local date is read once for the key and the roll-over alike: the
    // clock's zone conversion is the dearest step of a call already reported.
    const std::uint32_t today = AiMcpLocalDayNumber();
    const std::wstring key = ReportKey(today, method);
    UsageState& usage = Usage();
    {
        const std::lock_guard<UsageState> hold(usage);
        RollOverDay(usage, today);
        if (usage.reported.count(key)) return;  // already reported today
        // Inserted before the report goes out, so a failed report is not
        // retried today. A full set remembers nothing more: names beyond it
        // are reported on every call.
        if (usage.reported.size() < kMaxReportedKeys) usage.reported.insert(key);
    }
    const ComPtr<IxStatisticsService> statistics = GetHostService<IxStatisticsService>(SID_StatisticsService);
    if (!statistics) return;
    const UniqueBstr category(L"ai"), action(L"tool"), label(method);
    statistics->RecordEvent(category.get(), action.get(), label.get(), 1);  // best-effort; the outcome is not used
}

void AiMcpToolDispatcher::ResetUsageForTest()
{
    UsageState& usage = Usage();
    const std::lock_guard<UsageState> hold(usage);
    usage.reported.clear();
    usage.currentDay = 0;
}

std::wstring AiMcpToolDispatcher::Dispatch(const std::wstring& id, const std::wstring& method,
                                           const std::wstring& params)
{
    return DispatchOver(kRoutes, kRouteCount, id, method, params);
}

std::wstring AiMcpToolDispatcher::DispatchOver(const AiMcpToolRoute* routes, std::size_t count,
                                               const std::wstring& id, const std::wstring& method,
                                               const std::wstring& params)
{
    // This runs inside the bridge window's message handling on the host's
    // main thread: nothing may be thrown out of it, and every request gets an
    // answer even when a handler (or the statistics bookkeeping) throws.
    try {
        if (!IsAllowedByCloud()) {
            AIMCP_TRACE(L"AiMcpToolDispatcher: %ls refused by the cloud configuration", method.c_str());
            return BuildErrorAnswer(id, kFeatureDisabled, kCloudRefused);
        }
        if (!method.empty()) ReportUsage(method);

        if (const AiMcpToolRoute* route = FindRoute(routes, count, method)) {
            // The calendar keeps texts as strings that end at U+0000: such a
            // parameter would be stored cut short and reported as done.
            std::wstring where;
            if (FindNulInParams(params, where)) {
                const std::wstring message =
                    L"\"" + where + L"\" contains the character U+0000, which the calendar cannot keep; remove it";
                if (route->shape == AiMcpToolShape::Write)
                    return FailWithAudit(route->kind, id, L"", 0, kInvalidParams, message);
                return BuildErrorAnswer(id, kInvalidParams, message);
            }
            switch (route->shape) {
            case AiMcpToolShape::List:
                if (route->list) return route->list(id);
                break;
            case AiMcpToolShape::Read:
                if (route->read) return route->read(id, params);
                break;
            case AiMcpToolShape::Write:
                if (route->write) return route->write(id, params, route->kind);
                break;
            }
        }
        return BuildErrorAnswer(id, kInvalidParams, L"method not supported: " + method);
    } catch (...) {
        AIMCP_TRACE(L"AiMcpToolDispatcher: %ls failed with an exception", method.c_str());
    }
    return BuildErrorAnswer(id, kInternal, L"the calendar failed to serve the request");
}
