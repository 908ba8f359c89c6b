// One tool call over the whole road: an MCP client's request into
// tessary-mcp.exe, over the pipe into the plug-in loaded by the stand-in
// calendar, through the gate, across to the calendar's main thread and the
// dispatcher, and back as an MCP tool result.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ChildProcess.h"
#include "EndToEndSupport.h"
#include "JsonValue.h"
#include "ServiceTestSupport.h"

namespace {

using e2e::CallTool;
using e2e::FromUtf8;
using e2e::LocalToday;
using e2e::ToolResult;
using e2e::Today;
using e2e::ToUtf8;

ChildResult Send(const std::vector<std::wstring>& words) { return SendToDevHost(words); }

class EndToEnd : public testing::Test {
protected:
    RunningChild calendar;
    std::wstring data;

    void SetUp() override
    {
        data = FreshTempFolder(L"e2e");
        ASSERT_TRUE(e2e::StartDevHost(calendar, {L"--data", data, L"--sample"}));
    }
    void TearDown() override { e2e::StopDevHost(calendar); }

    std::wstring Token() { return e2e::StoredToken(); }
};

TEST_F(EndToEnd, GateAndDispatcherAnswerThroughMcp)
{
    const std::string status = Send({L"status"}).out;
    ASSERT_NE(status.find("plug-in: attached"), std::string::npos) << status << calendar.Output();

    // AI access off: the gate refuses, and no token exists yet.
    EXPECT_EQ(Token(), L"");
    ToolResult r = CallTool(L"anything", "calendar_list");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI access to the local calendar is turned off\"}}");

    // On: a token appears; a wrong one is refused.
    ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
    const std::wstring token = Token();
    ASSERT_EQ(token.size(), 64u);
    r = CallTool(token + L"x", "calendar_list");
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"missing or invalid token\"}}");

    // The right token reaches the dispatcher on the calendar's main thread,
    // which answers from the cloud switch.
    ASSERT_EQ(Send({L"cloud", L"deny"}).exitCode, 0u);
    r = CallTool(token, "calendar_list");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI MCP is disabled by cloud configuration\"}}");

    // The statistics report shows that the dispatcher ran the request after
    // the cloud switch allowed it.
    ASSERT_EQ(Send({L"cloud", L"allow"}).exitCode, 0u);
    CallTool(token, "calendar_list");
    const std::string stats = Send({L"stats"}).out;
    EXPECT_NE(stats.find("ai\ttool\tcalendar_list\t1"), std::string::npos) << stats;

    // AI access off again: refused at the gate, the token kept.
    ASSERT_EQ(Send({L"ai", L"off"}).exitCode, 0u);
    EXPECT_EQ(CallTool(token, "calendar_list").text,
              L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI access to the local calendar is turned off\"}}");
    EXPECT_EQ(Token(), token);
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

JsonValue::Ptr ParseResult(const ToolResult& r)
{
    JsonValue::Ptr value = JsonValue::Parse(r.text);
    EXPECT_TRUE(value && value->IsObject()) << testing::PrintToString(r.text);
    return value ? std::move(value) : JsonValue::MakeObject({});
}

TEST_F(EndToEnd, ReadsTheSampleCalendarAndWritesADayCellInTheLocalZone)
{
    ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
    const std::wstring token = Token();
    const LocalToday today = Today();

    ToolResult r = CallTool(token, "calendar_list");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    JsonValue::Ptr result = ParseResult(r);
    ASSERT_TRUE(result->GetMember(L"calendars"));
    EXPECT_EQ(result->GetMember(L"calendars")->Items().size(), 3u);
    EXPECT_EQ(result->GetMember(L"current_calendar_id")->StringValue(), L"local/1");  // two calendars share number 1

    // Today's occurrences, each on today's date at local midnight with the
    // zone's own offset.
    r = CallTool(token, "events_query",
                 "{\"start\":\"" + today.day + "T00:00:00" + today.offset + "\",\"end\":\"" + today.nextDay + "T00:00:00" + today.offset + "\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    result = ParseResult(r);
    const JsonValue* events = result->GetMember(L"events");
    ASSERT_TRUE(events && !events->Items().empty()) << testing::PrintToString(r.text);
    for (const auto& e : events->Items()) {
        EXPECT_EQ(e->GetMember(L"date")->StringValue(), Wide(today.day));
        EXPECT_EQ(e->GetMember(L"start")->StringValue(), Wide(today.day + "T00:00:00" + today.offset));
    }

    // A line added to today's cell waits for confirmation, then lands.
    r = CallTool(token, "items_append_line", "{\"date\":\"" + today.day + "\",\"text\":\"Parked line\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    result = ParseResult(r);
    EXPECT_EQ(result->GetMember(L"status")->StringValue(), L"pending_confirmation");
    const std::wstring confirm = result->GetMember(L"confirm_token")->StringValue();
    EXPECT_EQ(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Parked line"), std::wstring::npos);
    r = CallTool(token, "event_confirm", "{\"confirm_token\":\"" + std::string(confirm.begin(), confirm.end()) + "\",\"accept\":true}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    EXPECT_NE(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Parked line"), std::wstring::npos);

    // The stand-in calendar shows the write counted and audited.
    const std::string quota = Send({L"quota"}).out;
    EXPECT_NE(quota.find("items: 1 of 40"), std::string::npos) << quota;
    const std::string audit = Send({L"audit"}).out;
    EXPECT_NE(audit.find("items_append_line\tid=" + today.day + "\ttrust=0\tok\tpending confirmation"), std::string::npos) << audit;
    EXPECT_NE(audit.find("\tParked line"), std::string::npos) << audit;

    // With trusted writing on, the same kind of write is carried out at once.
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    r = CallTool(token, "items_append_line", "{\"date\":\"" + today.day + "\",\"text\":\"Trusted line\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    EXPECT_EQ(r.text.find(L"pending_confirmation"), std::wstring::npos);
    EXPECT_NE(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Trusted line"), std::wstring::npos);
}

// ---- Event and note writes --------------------------------------------------

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Local midnight of a day as the tools write it, with the offset the zone
// has at that midnight (so a day after a daylight-saving change carries the
// new offset).
std::wstring LocalMidnight(WORD year, WORD month, WORD day)
{
    SYSTEMTIME local{};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    SYSTEMTIME utc{};
    TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
    FILETIME l{}, u{};
    SystemTimeToFileTime(&local, &l);
    SystemTimeToFileTime(&utc, &u);
    const long long minutes = ((static_cast<long long>(l.dwHighDateTime) << 32 | l.dwLowDateTime) -
                               (static_cast<long long>(u.dwHighDateTime) << 32 | u.dwLowDateTime)) / 600000000LL;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02uT00:00:00%c%02lld:%02lld", year, month, day,
                  minutes < 0 ? '-' : '+', std::llabs(minutes) / 60, std::llabs(minutes) % 60);
    return Wide(buffer);
}

class EndToEndWrites : public EndToEnd {
protected:
    std::wstring token;

    void SetUp() override
    {
        EndToEnd::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
        token = Token();
        ASSERT_EQ(token.size(), 64u);
    }

    // Quits the stand-in calendar and starts it again over the same data.
    void Restart()
    {
        ASSERT_EQ(Send({L"quit"}).exitCode, 0u);
        ASSERT_TRUE(calendar.WaitForExit(20000)) << calendar.Output();
        ASSERT_TRUE(e2e::StartDevHost(calendar, {L"--data", data}));
    }

    JsonValue::Ptr Call(const std::string& tool, const std::string& arguments)
    {
        const ToolResult r = CallTool(token, tool, arguments);
        EXPECT_FALSE(r.isError) << tool << " " << arguments.substr(0, 200) << "\n" << testing::PrintToString(r.text);
        return ParseResult(r);
    }

    // Carries out a parked write; the result of the accepting call.
    JsonValue::Ptr Confirm(const JsonValue& pending)
    {
        const JsonValue* status = pending.GetMember(L"status");
        EXPECT_TRUE(status && status->StringValue() == L"pending_confirmation");
        const JsonValue* confirm = pending.GetMember(L"confirm_token");
        if (!confirm) return JsonValue::MakeObject({});
        return Call("event_confirm", "{\"confirm_token\":\"" + Narrow(confirm->StringValue()) + "\",\"accept\":true}");
    }

    // The days and starts of the occurrences events_query lists for the
    // keyword, 25 October to 16 November 2026 (across the end of daylight
    // saving in New York).
    std::vector<std::pair<std::wstring, std::wstring>> Occurrences(const std::string& keyword)
    {
        const JsonValue::Ptr result =
            Call("events_query", "{\"start\":\"2026-10-25T12:00:00Z\",\"end\":\"2026-11-16T12:00:00Z\",\"kind\":\"reminder\","
                                 "\"keyword\":\"" + keyword + "\"}");
        std::vector<std::pair<std::wstring, std::wstring>> days;
        if (const JsonValue* events = result->GetMember(L"events"))
            for (const auto& e : events->Items())
                days.emplace_back(e->GetMember(L"date")->StringValue(), e->GetMember(L"start")->StringValue());
        return days;
    }

    static std::wstring Text(const JsonValue& object, const wchar_t* name)
    {
        const JsonValue* member = object.GetMember(name);
        return member && member->IsString() ? member->StringValue() : std::wstring(L"<missing>");
    }
};

using Days = std::vector<std::pair<std::wstring, std::wstring>>;

TEST_F(EndToEndWrites, WeeklyReminderIsCreatedMovedAndDeletedOnTheRightLocalDays)
{
    // 14:00 UTC is the same local date here at UTC+8 and in New York.
    const JsonValue::Ptr pending =
        Call("event_create", "{\"title\":\"E2E weekly review\",\"date\":\"2026-10-26T14:00:00Z\",\"kind\":\"reminder\","
                             "\"recurrence\":\"weekly\",\"reminder\":{\"trigger\":\"9:05\"}}");
    EXPECT_EQ(Occurrences("e2e weekly").size(), 0u);  // nothing before confirmation
    const std::wstring confirm = Text(*pending, L"confirm_token");
    const JsonValue::Ptr created = Confirm(*pending);
    const std::wstring id = Text(*created, L"id");
    ASSERT_EQ(Text(*created, L"status"), L"ok");
    // The confirm token of a carried-out write is gone.
    const ToolResult again =
        CallTool(token, "event_confirm", "{\"confirm_token\":\"" + Narrow(confirm) + "\",\"accept\":true}");
    EXPECT_TRUE(again.isError);
    EXPECT_EQ(again.text, L"{\"error\":{\"code\":\"NOT_FOUND\",\"message\":\"unknown or expired confirm_token\"}}");

    EXPECT_EQ(Occurrences("e2e weekly"), (Days{{L"2026-10-26", LocalMidnight(2026, 10, 26)},
                                               {L"2026-11-02", LocalMidnight(2026, 11, 2)},
                                               {L"2026-11-09", LocalMidnight(2026, 11, 9)},
                                               {L"2026-11-16", LocalMidnight(2026, 11, 16)}}));
    JsonValue::Ptr got = Call("event_get", "{\"id\":\"" + Narrow(id) + "\",\"date\":\"2026-11-02T12:00:00Z\"}");
    const JsonValue* event = got->GetMember(L"event");
    ASSERT_TRUE(event);
    EXPECT_EQ(Text(*event, L"date"), L"2026-11-02");
    EXPECT_EQ(Text(*event->GetMember(L"reminder"), L"trigger"), L"0:09:05");

    // Under trusted writing the update is carried out at once: the event
    // moves to Wednesdays and fires the evening before.
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    JsonValue::Ptr updated = Call("event_update", "{\"id\":\"" + Narrow(id) +
                                                      "\",\"date\":\"2026-10-28T14:00:00Z\",\"reminder\":{\"trigger\":\"-1:20:30\"}}");
    EXPECT_EQ(Text(*updated, L"status"), L"ok");
    const Days moved{{L"2026-10-28", LocalMidnight(2026, 10, 28)},
                     {L"2026-11-04", LocalMidnight(2026, 11, 4)},
                     {L"2026-11-11", LocalMidnight(2026, 11, 11)}};
    EXPECT_EQ(Occurrences("e2e weekly"), moved);

    // The change is in the calendar's store and survives a restart.
    const std::string stored = Send({L"event", L"show", id}).out;
    EXPECT_NE(stored.find("\"start\":\"2026-10-28\""), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"recurrence\":\"WEEKLY\""), std::string::npos) << stored;
    Restart();
    EXPECT_EQ(Occurrences("e2e weekly"), moved);
    got = Call("event_get", "{\"id\":\"" + Narrow(id) + "\",\"date\":\"2026-11-04T12:00:00Z\"}");
    ASSERT_TRUE(got->GetMember(L"event"));
    EXPECT_EQ(Text(*got->GetMember(L"event")->GetMember(L"reminder"), L"trigger"), L"-1:20:30");

    // Deleting removes every occurrence.
    EXPECT_EQ(Text(*Call("event_delete", "{\"id\":\"" + Narrow(id) + "\"}"), L"status"), L"ok");
    EXPECT_EQ(Occurrences("e2e weekly").size(), 0u);
    EXPECT_NE(Send({L"event", L"show", id}).exitCode, 0u);

    const std::string quota = Send({L"quota"}).out;
    EXPECT_NE(quota.find("events: 3 of 40"), std::string::npos) << quota;
    const std::string audit = Send({L"audit", L"20"}).out;
    const std::string n = Narrow(id);
    EXPECT_NE(audit.find("event_create\tid=" + n + "\ttrust=0\tok\tE2E weekly review"), std::string::npos) << audit;
    EXPECT_NE(audit.find("event_update\tid=" + n + "\ttrust=1\tok\tE2E weekly review"), std::string::npos) << audit;
    EXPECT_NE(audit.find("event_delete\tid=" + n + "\ttrust=1\tok\tE2E weekly review"), std::string::npos) << audit;
}

TEST_F(EndToEndWrites, NotesRoundTripExactlyAndNothingIsLost)
{
    // The sample's note of another account is not listed.
    JsonValue::Ptr list = Call("notes_list", "{}");
    ASSERT_TRUE(list->GetMember(L"notes"));
    const std::size_t listed = list->GetMember(L"notes")->Items().size();
    EXPECT_EQ(listed, 3u);
    for (const auto& note : list->GetMember(L"notes")->Items()) EXPECT_NE(Text(*note, L"title"), L"Team on-call rota");
    const std::string before = Send({L"notes"}).out;

    // Parked, then rejected: nothing changes.
    const std::wstring content = L"\u4e70\u83dc \U0001F6D2\n\u725b\u5976 \u00e9\r\n\"quoted\" \\ tab\t.";
    JsonValue::Ptr pending = Call("notes_create", "{\"title\":\"" + ToUtf8(L"\u8d2d\u7269 \U0001F34E") +
                                                      "\",\"content\":\"" + ToUtf8(L"\u4e70\u83dc \U0001F6D2\\n\u725b\u5976 \u00e9\\r\\n\\\"quoted\\\" \\\\ tab\\t.") + "\"}");
    EXPECT_EQ(Text(*Call("event_confirm", "{\"confirm_token\":\"" + Narrow(Text(*pending, L"confirm_token")) +
                                              "\",\"accept\":false}"),
                   L"status"),
              L"cancelled");
    EXPECT_EQ(Send({L"notes"}).out, before);

    // Parked again and accepted: the note reads back unit for unit.
    pending = Call("notes_create", "{\"title\":\"" + ToUtf8(L"\u8d2d\u7269 \U0001F34E") + "\",\"content\":\"" +
                                       ToUtf8(L"\u4e70\u83dc \U0001F6D2\\n\u725b\u5976 \u00e9\\r\\n\\\"quoted\\\" \\\\ tab\\t.") + "\"}");
    const std::wstring id = Text(*Confirm(*pending), L"id");
    JsonValue::Ptr got = Call("notes_get", "{\"id\":\"" + Narrow(id) + "\"}");
    EXPECT_EQ(Text(*got, L"title"), L"\u8d2d\u7269 \U0001F34E");
    EXPECT_EQ(Text(*got, L"content"), content);
    const std::string shown = Send({L"note", id}).out;
    const JsonValue::Ptr stored = JsonValue::Parse(FromUtf8(shown.substr(shown.find('\n') + 1)));
    ASSERT_TRUE(stored) << shown;
    EXPECT_EQ(Text(*stored, L"content"), content);

    // The content limit, in bytes: exactly at it is taken, one more is not.
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    const std::string atLimit(59392, 'a');
    const std::wstring bigId = Text(*Call("notes_create", "{\"content\":\"" + atLimit + "\"}"), L"id");
    EXPECT_EQ(Text(*Call("notes_get", "{\"id\":\"" + Narrow(bigId) + "\"}"), L"content").size(), 59392u);
    const ToolResult over = CallTool(token, "notes_create", "{\"content\":\"" + atLimit + "b\"}");
    EXPECT_TRUE(over.isError);
    EXPECT_EQ(over.text, L"{\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"the note content is too large for one AI MCP response\"}}");

    // A write the note service fails is reported as a failure and changes
    // nothing.
    ASSERT_EQ(Send({L"fail", L"notes", L"on"}).exitCode, 0u);
    const ToolResult failed = CallTool(token, "notes_update", "{\"id\":\"" + Narrow(id) + "\",\"content\":\"lost?\"}");
    EXPECT_TRUE(failed.isError);
    EXPECT_EQ(failed.text, L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the note service could not store the change\"}}");
    ASSERT_EQ(Send({L"fail", L"notes", L"off"}).exitCode, 0u);

    // Everything survives a restart of the calendar.
    Restart();
    got = Call("notes_get", "{\"id\":\"" + Narrow(id) + "\"}");
    EXPECT_EQ(Text(*got, L"content"), content);

    // Deleted after confirmation.
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"0"}).exitCode, 0u);
    EXPECT_EQ(Text(*Confirm(*Call("notes_delete", "{\"id\":\"" + Narrow(bigId) + "\"}")), L"status"), L"ok");
    list = Call("notes_list", "{}");
    EXPECT_EQ(list->GetMember(L"notes")->Items().size(), listed + 1);

    const std::string quota = Send({L"quota"}).out;
    EXPECT_NE(quota.find("notes: 3 of 40"), std::string::npos) << quota;
    const std::string audit = Send({L"audit", L"20"}).out;
    EXPECT_NE(audit.find("notes_update\tid=" + Narrow(id) + "\ttrust=1\terror\tthe note service could not store the change"),
              std::string::npos)
        << audit;
}

TEST_F(EndToEndWrites, TimetableIsUploadedReplacedAndDeletedAndRefusedUploadsChangeNothing)
{
    const auto names = [&] {
        std::vector<std::wstring> found;
        const JsonValue::Ptr list = Call("timetable_list", "{}");
        if (const JsonValue* items = list->GetMember(L"timetables"))
            for (const auto& t : items->Items()) found.push_back(Text(*t, L"name"));
        return found;
    };
    const std::vector<std::wstring> sample = names();
    ASSERT_FALSE(sample.empty());  // the sample timetable

    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    const std::string upload =
        "{\"name\":\"  " + ToUtf8(L"\u9ad8\u4e00(3)\u73ed") + "  \",\"week_count\":18,\"count_class_day\":6,"
        "\"count_class_am\":4,\"start_date\":\"2026-09-07\",\"hide_weekend\":true,"
        "\"times\":[{\"order\":0,\"start_hour\":8,\"start_minute\":0,\"end_hour\":8,\"end_minute\":45},"
        "{\"order\":1,\"start_hour\":8,\"start_minute\":55,\"end_hour\":9,\"end_minute\":40}],"
        "\"lessons\":[{\"name\":\"" + ToUtf8(L"\u6570\u5b66") + "\",\"order\":0,\"weekday\":1,\"teacher\":\"Ms Wang\","
        "\"location\":\"201\"},{\"name\":\"Physics\",\"order\":1,\"weekday\":3,\"period_mode\":2,\"weeks\":\"0,2,4\"}]}";
    JsonValue::Ptr stored = Call("timetable_upsert", upload);
    EXPECT_EQ(Text(*stored, L"action"), L"created");
    const std::wstring id = Text(*stored, L"id");
    const std::wstring name = L"\u9ad8\u4e00(3)\u73ed";
    std::vector<std::wstring> expected = sample;
    expected.push_back(name);
    EXPECT_EQ(names(), expected);

    JsonValue::Ptr got = Call("timetable_get", "{\"name\":\"" + ToUtf8(name) + "\"}");
    const JsonValue* timetable = got->GetMember(L"timetable");
    ASSERT_TRUE(timetable && timetable->IsObject());
    EXPECT_EQ(Text(*timetable, L"timetable_id"), id);
    EXPECT_EQ(Text(*timetable, L"name"), name);
    ASSERT_TRUE(timetable->GetMember(L"lessons"));
    EXPECT_EQ(timetable->GetMember(L"lessons")->Items().size(), 2u);
    EXPECT_EQ(Text(*timetable->GetMember(L"lessons")->Items()[0], L"name"), L"\u6570\u5b66");

    // Refused uploads, however malformed, leave the store byte for byte.
    const std::wstring file = data + L"\\timetables.json";
    const std::string before = servicetest::ReadBytes(file);
    ASSERT_FALSE(before.empty());
    const std::string refused[] = {
        "{\"name\":\"" + ToUtf8(name) + "\",\"count_class_day\":6,\"lessons\":[{\"name\":\"PE\",\"order\":6,\"weekday\":2}]}",
        "{\"name\":\"" + ToUtf8(name) + "\",\"times\":[{\"order\":0}]}",
        "{\"name\":\"\",\"week_count\":5}",
        "{\"name\":\"X\",\"lessons\":[[[[[[[[]]]]]]]]}",
        "{\"name\":\"X\",\"week_count\":-0.5}",
        "{\"name\":\"X\",\"lessons\":[{\"name\":\"" + std::string(20000, 'y') + "\",\"order\":0,\"weekday\":1,"
        "\"teacher\":\"" + std::string(40000, 'z') + "\"}]}",
    };
    for (const std::string& params : refused) {
        const ToolResult r = CallTool(token, "timetable_upsert", params);
        EXPECT_TRUE(r.isError) << params.substr(0, 120);
        EXPECT_NE(r.text.find(L"\"code\":\"INVALID_PARAMS\""), std::wstring::npos) << testing::PrintToString(r.text);
    }
    EXPECT_EQ(servicetest::ReadBytes(file), before);
    EXPECT_EQ(Send({L"status"}).exitCode, 0u);  // the calendar is still serving

    // The same name again replaces it whole, under the same id.
    stored = Call("timetable_upsert", "{\"name\":\"" + ToUtf8(name) + "\",\"week_count\":20,"
                                      "\"lessons\":[{\"name\":\"Chemistry\",\"order\":2,\"weekday\":5}]}");
    EXPECT_EQ(Text(*stored, L"action"), L"replaced");
    EXPECT_EQ(Text(*stored, L"id"), id);
    EXPECT_EQ(names(), expected);
    got = Call("timetable_get", "{\"id\":\"" + Narrow(id) + "\"}");
    timetable = got->GetMember(L"timetable");
    ASSERT_TRUE(timetable);
    ASSERT_TRUE(timetable->GetMember(L"week_count"));
    EXPECT_EQ(timetable->GetMember(L"week_count")->NumberValue(), 20);
    EXPECT_EQ(timetable->GetMember(L"lessons")->Items().size(), 1u);
    ASSERT_TRUE(timetable->GetMember(L"times"));
    EXPECT_TRUE(timetable->GetMember(L"times")->Items().empty());

    // It survives a restart; then a confirmed delete removes it.
    Restart();
    EXPECT_EQ(names(), expected);
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"0"}).exitCode, 0u);
    const JsonValue::Ptr pending = Call("timetable_delete", "{\"id\":\"" + Narrow(id) + "\"}");
    EXPECT_EQ(Text(*pending->GetMember(L"summary"), L"action"), L"delete");
    EXPECT_EQ(names(), expected);  // not before confirmation
    EXPECT_EQ(Text(*Confirm(*pending), L"status"), L"ok");
    EXPECT_EQ(names(), sample);
    EXPECT_NE(Send({L"timetable", id}).exitCode, 0u);

    const std::string quota = Send({L"quota"}).out;
    EXPECT_NE(quota.find("events: 3 of 40"), std::string::npos) << quota;  // timetables draw on the events allowance
}

// Requests the calendar could not carry out as asked are refused with a
// clear answer instead of being cut, dropped or answered for a day without
// an occurrence.
TEST_F(EndToEndWrites, RequestsTheCalendarCannotKeepAreRefusedClearly)
{
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    const LocalToday today = Today();

    // A U+0000 inside a text would cut it short.
    const std::string before = Send({L"cell", Wide(today.day)}).out;
    ToolResult r = CallTool(token, "items_append_line", "{\"date\":\"" + today.day + "\",\"text\":\"c\\u0000\\n\"}");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"\\\"text\\\" contains the character "
                      L"U+0000, which the calendar cannot keep; remove it\"}}");
    EXPECT_EQ(Send({L"cell", Wide(today.day)}).out, before);

    // A request longer than the calendar reads in one message is not sent:
    // 11,000 CJK characters travel as 66,000 bytes of \u escapes.
    std::wstring big(11000, L'\u6c34');
    r = CallTool(token, "notes_create", "{\"content\":\"" + ToUtf8(big) + "\"}");
    EXPECT_TRUE(r.isError);
    EXPECT_NE(r.text.find(L"\"code\":\"INVALID_PARAMS\",\"message\":\"the request is "), std::wstring::npos)
        << testing::PrintToString(r.text);
    EXPECT_EQ(Send({L"status"}).exitCode, 0u);

    // The sample's yearly countdown to New Year has no occurrence on 1 July.
    // (12:00 UTC on 1 January is 1 January here and in New York.)
    const JsonValue::Ptr newYear = Call("events_query", "{\"start\":\"2027-01-01T12:00:00Z\",\"end\":"
                                                        "\"2027-01-01T13:00:00Z\",\"kind\":\"countdown\"}");
    std::wstring countdown;
    if (const JsonValue* list = newYear->GetMember(L"events"))
        for (const auto& e : list->Items()) countdown = Text(*e, L"id");
    ASSERT_FALSE(countdown.empty());
    r = CallTool(token, "event_get", "{\"id\":\"" + Narrow(countdown) + "\",\"date\":\"2027-07-01T12:00:00Z\"}");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"NOT_FOUND\",\"message\":\"no occurrence on that date\"}}");
}

}  // namespace
