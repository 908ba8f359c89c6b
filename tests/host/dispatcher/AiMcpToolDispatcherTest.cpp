// The tool dispatcher in-process: the cloud configuration switch, the usage
// statistics report once per tool and local day, and routing by exact name,
// with fake cloud configuration and statistics services installed in the
// stand-in host core. The test process runs in a fixed zone (UTC+8, set by
// the test's environment) so that local midnight is not UTC midnight.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "AiMcpClock.h"
#include "AiMcpEnvelope.h"
#include "AiMcpToolDispatcher.h"
#include "CallRecorder.h"
#include "ComObject.h"
#include "DevHostApi.h"
#include "HostApi.h"

namespace {

class FakeCloud final : public devhost::ComObject<IxCloudConfigService, IID_IxCloudConfigService> {
public:
    bool setsAnswer = true;  // false: the call leaves the out value alone
    VARIANT_BOOL answer = VARIANT_TRUE;
    HRESULT result = S_OK;

    HRESULT STDMETHODCALLTYPE IsAiAccessAllowed(VARIANT_BOOL* allowed) noexcept override
    {
        if (setsAnswer) *allowed = answer;
        return result;
    }
};

class FakeStatistics final : public devhost::ComObject<IxStatisticsService, IID_IxStatisticsService> {
public:
    std::vector<std::wstring> events;  // "category|action|label|count"
    HRESULT result = S_OK;

    HRESULT STDMETHODCALLTYPE RecordEvent(BSTR category, BSTR action, BSTR label, LONG count) noexcept override
    {
        events.push_back(devhost::BstrText(category) + L"|" + devhost::BstrText(action) + L"|" +
                         devhost::BstrText(label) + L"|" + std::to_wstring(count));
        return result;
    }
};

// The references an object holds right now.
ULONG RefsOf(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

// Makes the plug-in's clock report this UTC instant.
void SetUtcClock(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME utc{};
    utc.wYear = year;
    utc.wMonth = month;
    utc.wDay = day;
    utc.wHour = hour;
    utc.wMinute = minute;
    utc.wSecond = second;
    FILETIME instant{};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &instant));
    SetAiMcpClockForTest([instant] { return instant; });
}

std::wstring Unsupported(const std::wstring& escapedId, const std::wstring& escapedMethod)
{
    return L"{\"id\":\"" + escapedId +
           L"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"method not supported: " +
           escapedMethod + L"\"}}";
}

const wchar_t kCloudRefusal[] =
    L"{\"id\":\"c7\",\"ok\":false,\"error\":{\"code\":\"FEATURE_DISABLED\","
    L"\"message\":\"AI MCP is disabled by cloud configuration\"}}";

class ToolDispatcher : public testing::Test {
protected:
    ComPtr<FakeCloud> cloud = devhost::MakeComObject<FakeCloud>();
    ComPtr<FakeStatistics> statistics = devhost::MakeComObject<FakeStatistics>();

    void SetUp() override
    {
        ASSERT_TRUE(cloud && statistics);
        AiMcpToolDispatcher::ResetUsageForTest();
        SetUtcClock(2026, 3, 14, 4, 0, 0);  // noon local
        DevHost::SetService(SID_CloudConfigService, cloud.get());
        DevHost::SetService(SID_StatisticsService, statistics.get());
    }
    void TearDown() override
    {
        DevHost::ClearServices();
        SetAiMcpClockForTest(nullptr);
        AiMcpToolDispatcher::ResetUsageForTest();
        // Every reference the dispatcher took was given back.
        EXPECT_EQ(RefsOf(cloud.get()), 1u);
        EXPECT_EQ(RefsOf(statistics.get()), 1u);
    }

    // The labels reported so far, checking the rest of each event.
    std::vector<std::wstring> ReportedLabels() const
    {
        std::vector<std::wstring> labels;
        for (const std::wstring& event : statistics->events) {
            const std::wstring head = L"ai|tool|", tail = L"|1";
            EXPECT_EQ(event.compare(0, head.size(), head), 0) << testing::PrintToString(event);
            EXPECT_EQ(event.compare(event.size() - tail.size(), tail.size(), tail), 0);
            labels.push_back(event.substr(head.size(), event.size() - head.size() - tail.size()));
        }
        return labels;
    }
};

TEST_F(ToolDispatcher, CloudSwitchAllowsOnlyExactlyVariantTrue)
{
    const struct {
        const char* what;
        bool installed;
        bool setsAnswer;
        VARIANT_BOOL answer;
        HRESULT result;
        bool allowed;
    } cases[] = {
        {"no service", false, true, VARIANT_TRUE, S_OK, false},
        {"VARIANT_TRUE", true, true, VARIANT_TRUE, S_OK, true},
        {"1", true, true, 1, S_OK, false},
        {"0", true, true, VARIANT_FALSE, S_OK, false},
        {"VARIANT_TRUE with a failure code", true, true, VARIANT_TRUE, E_FAIL, true},
        {"value left alone", true, false, VARIANT_TRUE, S_OK, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AiMcpToolDispatcher::ResetUsageForTest();
        statistics->events.clear();
        cloud->setsAnswer = c.setsAnswer;
        cloud->answer = c.answer;
        cloud->result = c.result;
        DevHost::SetService(SID_CloudConfigService, c.installed ? cloud.get() : nullptr);

        const std::wstring answer = AiMcpToolDispatcher::Dispatch(L"c7", L"event_create", L"{\"title\":\"x\"}");
        if (c.allowed) {
            EXPECT_EQ(answer.find(L"FEATURE_DISABLED"), std::wstring::npos) << testing::PrintToString(answer);
            EXPECT_EQ(ReportedLabels(), std::vector<std::wstring>{L"event_create"});
        } else {
            EXPECT_EQ(answer, kCloudRefusal);
            EXPECT_TRUE(statistics->events.empty());  // nothing else happens
        }
    }
}

TEST_F(ToolDispatcher, UnsupportedMethodAnswerEchoesEscapedIdAndMethod)
{
    const struct {
        std::wstring id, method, escapedId, escapedMethod;
    } cases[] = {
        {L"a\"b\\c\x01", L"Calendar_List", L"a\\\"b\\\\c\\u0001", L"Calendar_List"},
        {L"7", L"no\"such\ttool", L"7", L"no\\\"such\\ttool"},
        {L"\x65e5/\x00e9", L"\x65e5\x672c", L"\x65e5/\x00e9", L"\x65e5\x672c"},  // non-ASCII stays as it is
        {L"", L"", L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AiMcpToolDispatcher::Dispatch(c.id, c.method, L""), Unsupported(c.escapedId, c.escapedMethod));
    // An empty method is not reported; the others are, unknown as they are.
    EXPECT_EQ(ReportedLabels(),
              (std::vector<std::wstring>{L"Calendar_List", L"no\"such\ttool", L"\x65e5\x672c"}));
}

TEST_F(ToolDispatcher, NamesAreMatchedAndReportedCaseSensitively)
{
    for (const wchar_t* method : {L"CALENDAR_LIST", L"Calendar_list", L"calendar_list ", L" calendar_list"})
        EXPECT_EQ(AiMcpToolDispatcher::Dispatch(L"1", method, L""), Unsupported(L"1", method));
    AiMcpToolDispatcher::Dispatch(L"1", L"calendar_list", L"");
    EXPECT_EQ(ReportedLabels(), (std::vector<std::wstring>{L"CALENDAR_LIST", L"Calendar_list", L"calendar_list ",
                                                           L" calendar_list", L"calendar_list"}));
}

TEST_F(ToolDispatcher, ReportsOncePerToolPerLocalDay)
{
    // Local 2026-03-14 07:59:59, then 08:00:01 (a new UTC day), then 23:59:59.
    SetUtcClock(2026, 3, 13, 23, 59, 59);
    ASSERT_EQ(AiMcpLocalNow().wHour, 7) << "the test must run at UTC+8 (TZ=Asia/Shanghai)";
    for (int i = 0; i < 3; ++i) {
        AiMcpToolDispatcher::Dispatch(L"1", L"calendar_list", L"");
        AiMcpToolDispatcher::Dispatch(L"1", L"no_such_tool", L"");
    }
    SetUtcClock(2026, 3, 14, 0, 0, 1);
    AiMcpToolDispatcher::Dispatch(L"1", L"calendar_list", L"");
    SetUtcClock(2026, 3, 14, 15, 59, 59);
    const SYSTEMTIME evening = AiMcpLocalNow();
    ASSERT_EQ(evening.wDay, 14);
    ASSERT_EQ(evening.wHour, 23);
    AiMcpToolDispatcher::Dispatch(L"1", L"calendar_list", L"");
    EXPECT_EQ(ReportedLabels(), (std::vector<std::wstring>{L"calendar_list", L"no_such_tool"}));

    // Two seconds later it is local midnight, though still the same UTC day.
    SetUtcClock(2026, 3, 14, 16, 0, 1);
    ASSERT_EQ(AiMcpLocalNow().wDay, 15);
    for (int i = 0; i < 2; ++i) AiMcpToolDispatcher::Dispatch(L"1", L"calendar_list", L"");
    EXPECT_EQ(ReportedLabels(), (std::vector<std::wstring>{L"calendar_list", L"no_such_tool", L"calendar_list"}));
}

TEST_F(ToolDispatcher, AFailedOrMissingReportIsNotRetriedThatDay)
{
    statistics->result = E_FAIL;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(AiMcpToolDispatcher::Dispatch(L"1", L"x", L""), Unsupported(L"1", L"x"));
    EXPECT_EQ(statistics->events.size(), 1u);

    // Without a statistics service the request goes on and the tool counts
    // as reported for the day.
    DevHost::SetService(SID_StatisticsService, nullptr);
    EXPECT_EQ(AiMcpToolDispatcher::Dispatch(L"1", L"y", L""), Unsupported(L"1", L"y"));
    DevHost::SetService(SID_StatisticsService, statistics.get());
    AiMcpToolDispatcher::Dispatch(L"1", L"y", L"");
    EXPECT_EQ(ReportedLabels(), std::vector<std::wstring>{L"x"});
}

TEST_F(ToolDispatcher, RemembersAt256ToolsADay)
{
    auto name = [](int i) { return L"m" + std::to_wstring(1000 + i); };
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 256; ++i) AiMcpToolDispatcher::Dispatch(L"1", name(i), L"");
    EXPECT_EQ(statistics->events.size(), 256u);

    // The set is full: a new name is reported on every call.
    for (int i = 0; i < 3; ++i) AiMcpToolDispatcher::Dispatch(L"1", L"later", L"");
    AiMcpToolDispatcher::Dispatch(L"1", name(7), L"");
    EXPECT_EQ(statistics->events.size(), 259u);

    // The next local day starts with an empty set.
    SetUtcClock(2026, 3, 15, 4, 0, 0);
    for (int i = 0; i < 3; ++i) AiMcpToolDispatcher::Dispatch(L"1", L"later", L"");
    EXPECT_EQ(statistics->events.size(), 260u);
}

// ---- Routing ---------------------------------------------------------------

TEST_F(ToolDispatcher, RoutingTableHasEveryToolOnce)
{
    using S = AiMcpToolShape;
    using K = AiMcpWriteKind;
    const struct {
        const wchar_t* name;
        S shape;
        K kind;
    } expected[] = {
        {L"calendar_list", S::List, K::EventCreate},
        {L"events_query", S::Read, K::EventCreate},
        {L"event_get", S::Read, K::EventCreate},
        {L"items_get", S::Read, K::EventCreate},
        {L"notes_list", S::List, K::EventCreate},
        {L"notes_get", S::Read, K::EventCreate},
        {L"timetable_list", S::List, K::EventCreate},
        {L"timetable_get", S::Read, K::EventCreate},
        {L"timetable_upsert", S::Write, K::TimetableUpsert},
        {L"timetable_delete", S::Write, K::TimetableDelete},
        {L"notes_create", S::Write, K::NotesCreate},
        {L"notes_update", S::Write, K::NotesUpdate},
        {L"notes_delete", S::Write, K::NotesDelete},
        {L"items_set", S::Write, K::ItemsSet},
        {L"items_append_line", S::Write, K::ItemsAppendLine},
        {L"item_line_update", S::Write, K::ItemLineUpdate},
        {L"item_line_delete", S::Write, K::ItemLineDelete},
        {L"item_line_set_done", S::Write, K::ItemLineSetDone},
        {L"event_create", S::Write, K::EventCreate},
        {L"event_update", S::Write, K::EventUpdate},
        {L"event_delete", S::Write, K::EventDelete},
        {L"event_confirm", S::Read, K::EventCreate},
    };
    std::size_t count = 0;
    const AiMcpToolRoute* routes = AiMcpToolRoutes(count);
    ASSERT_EQ(count, sizeof expected / sizeof expected[0]);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_STREQ(routes[i].name, expected[i].name);
        EXPECT_EQ(routes[i].shape, expected[i].shape) << i;
        if (expected[i].shape == S::Write) {
            EXPECT_EQ(routes[i].kind, expected[i].kind) << i;
        }
    }

    // The write kinds 0..12 name their tools; anything else names none.
    const wchar_t* const kindNames[] = {L"event_create",       L"event_update",      L"event_delete",
                                        L"items_set",          L"items_append_line", L"item_line_update",
                                        L"item_line_delete",   L"item_line_set_done", L"notes_create",
                                        L"notes_update",       L"notes_delete",      L"timetable_upsert",
                                        L"timetable_delete"};
    for (int kind = 0; kind < 13; ++kind)
        EXPECT_STREQ(AiMcpWriteKindName(static_cast<AiMcpWriteKind>(kind)), kindNames[kind]);
    EXPECT_STREQ(AiMcpWriteKindName(static_cast<AiMcpWriteKind>(-1)), L"");
    EXPECT_STREQ(AiMcpWriteKindName(static_cast<AiMcpWriteKind>(13)), L"");
}

TEST_F(ToolDispatcher, ToolWithoutHandlerIsNotSupportedYet)
{
    std::size_t count = 0;
    const AiMcpToolRoute* routes = AiMcpToolRoutes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const AiMcpToolRoute& route = routes[i];
        const bool built = route.shape == AiMcpToolShape::List    ? route.list != nullptr
                           : route.shape == AiMcpToolShape::Read  ? route.read != nullptr
                                                                  : route.write != nullptr;
        const std::wstring answer = AiMcpToolDispatcher::Dispatch(L"r1", route.name, L"{}");
        if (built) {
            EXPECT_EQ(answer.rfind(L"{\"id\":\"r1\",", 0), 0u) << testing::PrintToString(answer);
            EXPECT_NE(answer, Unsupported(L"r1", route.name));
        } else {
            EXPECT_EQ(answer, Unsupported(L"r1", route.name));
        }
    }
}

// Handlers of a routing table of the test's own, recording how they were
// called.
struct HandlerCall {
    std::wstring handler, id, params;
    int kind;
    bool operator==(const HandlerCall& o) const
    {
        return handler == o.handler && id == o.id && params == o.params && kind == o.kind;
    }
};
std::vector<HandlerCall> g_calls;

std::wstring ListHandler(const std::wstring& id)
{
    g_calls.push_back({L"list", id, L"", -1});
    return L"list answer";
}
std::wstring ReadHandler(const std::wstring& id, const std::wstring& params)
{
    g_calls.push_back({L"read", id, params, -1});
    return BuildOkAnswer(id, L"{\"read\":true}");
}
std::wstring WriteHandler(const std::wstring& id, const std::wstring& params, AiMcpWriteKind kind)
{
    g_calls.push_back({L"write", id, params, static_cast<int>(kind)});
    return L"write answer";
}
std::wstring ThrowingHandler(const std::wstring&, const std::wstring&)
{
    throw std::runtime_error("broken");
}

const AiMcpToolRoute kTestRoutes[] = {
    {L"t_list", AiMcpToolShape::List, AiMcpWriteKind::EventCreate, &ListHandler, nullptr, nullptr},
    {L"t_read", AiMcpToolShape::Read, AiMcpWriteKind::EventCreate, nullptr, &ReadHandler, nullptr},
    {L"t_update", AiMcpToolShape::Write, AiMcpWriteKind::NotesUpdate, nullptr, nullptr, &WriteHandler},
    {L"t_delete", AiMcpToolShape::Write, AiMcpWriteKind::ItemLineDelete, nullptr, nullptr, &WriteHandler},
    // A handler of the wrong shape is never called.
    {L"t_unbuilt", AiMcpToolShape::Write, AiMcpWriteKind::EventDelete, &ListHandler, &ReadHandler, nullptr},
    {L"t_throws", AiMcpToolShape::Read, AiMcpWriteKind::EventCreate, nullptr, &ThrowingHandler, nullptr},
};

std::wstring DispatchTest(const std::wstring& id, const std::wstring& method, const std::wstring& params)
{
    return AiMcpToolDispatcher::DispatchOver(kTestRoutes, sizeof kTestRoutes / sizeof kTestRoutes[0], id, method,
                                             params);
}

TEST_F(ToolDispatcher, RoutesToTheHandlerOfItsShape)
{
    g_calls.clear();
    const std::wstring params = L"{\"a\":1}";
    EXPECT_EQ(DispatchTest(L"i1", L"t_list", params), L"list answer");
    EXPECT_EQ(DispatchTest(L"i2", L"t_read", params), L"{\"id\":\"i2\",\"ok\":true,\"result\":{\"read\":true}}");
    EXPECT_EQ(DispatchTest(L"i3", L"t_update", params), L"write answer");
    EXPECT_EQ(DispatchTest(L"i4", L"t_delete", L""), L"write answer");
    EXPECT_EQ(DispatchTest(L"i5", L"t_unbuilt", params), Unsupported(L"i5", L"t_unbuilt"));
    EXPECT_EQ(DispatchTest(L"i6", L"T_read", params), Unsupported(L"i6", L"T_read"));
    const std::vector<HandlerCall> expected = {
        {L"list", L"i1", L"", -1},
        {L"read", L"i2", params, -1},
        {L"write", L"i3", params, 9},
        {L"write", L"i4", L"", 6},
    };
    EXPECT_EQ(g_calls, expected);

    // A handler that throws still gets the request an answer.
    EXPECT_EQ(DispatchTest(L"i7", L"t_throws", params),
              L"{\"id\":\"i7\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\","
              L"\"message\":\"the calendar failed to serve the request\"}}");

    // Refused by the cloud configuration, no handler runs, not even a write.
    g_calls.clear();
    cloud->answer = VARIANT_FALSE;
    for (const wchar_t* method : {L"t_list", L"t_read", L"t_update"})
        EXPECT_EQ(DispatchTest(L"c7", method, params), kCloudRefusal);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(ReportedLabels(),
              (std::vector<std::wstring>{L"t_list", L"t_read", L"t_update", L"t_delete", L"t_unbuilt", L"T_read",
                                         L"t_throws"}));
}

// A string holding U+0000 would be stored cut short by the calendar and
// reported as written: such a request reaches no handler.
TEST_F(ToolDispatcher, StringsHoldingNulAreRefusedBeforeAnyHandler)
{
    g_calls.clear();
    const struct {
        const wchar_t* method;
        std::wstring params, where;
    } cases[] = {
        {L"t_update", L"{\"text\":\"c\\u0000\\n\"}", L"text"},
        {L"t_read", L"{\"id\":\"x\",\"reminder\":{\"trigger\":\"\\u0000\"}}", L"reminder.trigger"},
        {L"t_delete", L"{\"lessons\":[{\"name\":\"ok\"},{\"name\":\"a\\u0000b\"}]}", L"lessons[1].name"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DispatchTest(L"n1", c.method, c.params),
                  L"{\"id\":\"n1\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"\\\"" + c.where +
                      L"\\\" contains the character U+0000, which the calendar cannot keep; remove it\"}}")
            << testing::PrintToString(c.params);
    EXPECT_TRUE(g_calls.empty());
    // Other control characters are ordinary text.
    EXPECT_EQ(DispatchTest(L"n2", L"t_read", L"{\"text\":\"a\\u0001\\t\"}"),
              L"{\"id\":\"n2\",\"ok\":true,\"result\":{\"read\":true}}");
}

}  // namespace
