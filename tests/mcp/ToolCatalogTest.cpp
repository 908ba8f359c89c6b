// The catalog as a client sees it: 22 tools in a fixed order, each with its
// exact name, description and input schema (member order included), sent as
// raw UTF-8 with no line breaks.
#include <gtest/gtest.h>

#include <string>

#include "JsonValue.h"
#include "ToolCatalog.h"

namespace {

struct ExpectedTool {
    const wchar_t* name;
    const wchar_t* description;
    const wchar_t* schema;  // compact, members in the order sent
};

const ExpectedTool kExpected[] = {
    {L"calendar_list",
     L"列出正在运行的Tessary的本机日历（子账号），并标明当前选中的是哪一个。 English: List the local calendars (sub accounts) of the running Tessary, and say which one is current.",
     LR"SCHEMA({"type":"object","properties":{}})SCHEMA"},
    {L"events_query",
     L"按时间范围查询日历事件（重复任务、提醒、倒数日）。不要用于用户说的「任务/普通任务」等日格内容，请用 items_get；日格文字不会出现在结果里。范围为本地日期左闭右开 [start,end)。仅本机主日历；结果含 kind，不含课表；若要「全部日程」或同时查日格与事件，也要调用 items_get。 English: List calendar EVENTS only (recurring tasks, reminders, countdowns) in a time range. Do NOT use this for ordinary day-cell tasks the user calls 任务 or 普通任务 — those live in the day grid; call items_get instead. Day-cell text is never returned here. Range is half open [start, end) over local days. Local main calendar only. Each result has kind; timetable never returned. For 全部日程 or both grids and events, call items_get as well.",
     LR"SCHEMA({"type":"object","properties":{"start":{"type":"string","description":"ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00"},"end":{"type":"string","description":"ISO 8601 with a time zone, not earlier than start; at most 366 days apart"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list; omit to use the calendar the user is currently looking at"},"keyword":{"type":"string","description":"Optional case insensitive substring filter on the event text"},"kind":{"type":"string","description":"all|task|reminder|countdown; default all; never returns timetable"}},"required":["start","end"]})SCHEMA"},
    {L"event_get",
     L"按 id 读取一条日历事件（来自 events_query）。不用于日格行。 English: Read one calendar EVENT by id (from events_query). Not for day-cell lines.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Event id as returned by events_query"},"date":{"type":"string","description":"Optional ISO 8601 with a time zone; picks which occurrence of a repeating event is described, and is required for the completed flag"}},"required":["id"]})SCHEMA"},
    {L"items_get",
     L"【默认-读日格任务】读取某天的日格 Markdown 行（含完成划线）及 bgcolor（程序内部 hex；空字符串表示无自定义背景）。用户说「任务/普通任务」且未提重复/每周/提醒/倒数日时，优先于 events_query；空日返回空 text、lines [] 与 bgcolor。 English: DEFAULT for ordinary tasks (任务 / 普通任务 / day-grid notes). Read one day's cell Markdown lines (including done strikethrough) and bgcolor (internal hex; empty means no custom background). Prefer this over events_query when the user talks about 任务 without saying 重复/每周/提醒/倒数日. Empty days return empty text, lines [], and bgcolor.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list; omit to use the calendar the user is currently looking at"}},"required":["date"]})SCHEMA"},
    {L"items_set",
     L"可整格替换某天的日格正文（普通任务/备忘）、只修改或清除背景色 bgcolor，或同时进行；至少提供 text 或 bgcolor。用于批量改写日格，不要用 event_create。未开「信任直接写入」时返回 pending_confirmation，需再调 event_confirm。 English: Replace the whole day's cell text (ordinary tasks / notes), change or clear bgcolor only, or do both; provide at least one of text or bgcolor. Use for bulk rewrite of the day grid, not for event_create. Unless trusted writing is on, returns pending_confirmation; then call event_confirm.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"text":{"type":"string","description":"Full cell Markdown; may contain newlines"},"bgcolor":{"type":"string","description":"Internal hex background color; empty string clears the custom background"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list"}},"required":["date"]})SCHEMA"},
    {L"items_append_line",
     L"【默认-写日格任务】用于「加一条任务/今天加个任务/普通任务」等说法：向该天日格追加一行（如「去吃饭」）。不要调用 event_create；text 必须是单行且不含换行。未开信任写入时返回 pending_confirmation。 English: DEFAULT write for phrases like 加一条任务 / 今天加个任务 / 普通任务: append one line to that day's cell (e.g. 去吃饭). Do NOT call event_create for this. text must be a single line with no newline. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"text":{"type":"string","description":"One line of text; must not contain \\n or \\r"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list"}},"required":["date","text"]})SCHEMA"},
    {L"item_line_update",
     L"按行号（从 0 起）修改日格中的普通任务行。日格任务行优先于 event_update。未开信任写入时返回 pending_confirmation。 English: Change one ordinary day-cell task line by zero-based line_index. Prefer this over event_update for 任务 lines. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"line_index":{"type":"integer","description":"Zero-based line index"},"text":{"type":"string","description":"New line text"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list"}},"required":["date","line_index","text"]})SCHEMA"},
    {L"item_line_delete",
     L"按行号（从 0 起）删除日格中的普通任务行。日格任务行优先于 event_delete。未开信任写入时返回 pending_confirmation。 English: Delete one ordinary day-cell task line by zero-based line_index. Prefer this over event_delete for 任务 lines. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"line_index":{"type":"integer","description":"Zero-based line index"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list"}},"required":["date","line_index"]})SCHEMA"},
    {L"item_line_set_done",
     L"将日格普通任务行标为完成或取消完成（Markdown 删除线），如「完成这条任务」。未开信任写入时返回 pending_confirmation。 English: Mark or unmark an ordinary day-cell task line done (Markdown strikethrough), e.g. 完成这条任务. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"date":{"type":"string","description":"Calendar date as YYYY-MM-DD"},"line_index":{"type":"integer","description":"Zero-based line index"},"done":{"type":"boolean","description":"true to strike through, false to clear"},"calendar_id":{"type":"string","description":"Optional calendar id from calendar_list"}},"required":["date","line_index","done"]})SCHEMA"},
    {L"event_create",
     L"仅当用户明确要重复（重复/每天/每周/每月）、提醒（提醒/闹钟）或倒数日（倒数日/还有几天）时创建日历事件。不要用于「今天加一条任务去吃饭」等普通日格任务，请用 items_append_line。kind：用户提到提醒/倒数日时用 reminder 或 countdown；带重复的有日期事件用 kind=task 并设 recurrence。课表会被拒绝。未开信任写入时返回 pending_confirmation。 English: Create a calendar EVENT only when the user clearly wants recurrence (重复/每天/每周/每月), a reminder (提醒/闹钟), or a countdown (倒数日/还有几天). Do NOT use for plain 任务 or 普通任务 such as 今天加一条任务去吃饭 — use items_append_line instead. kind: reminder or countdown when said; recurring dated items use kind=task with recurrence. Timetable rejected. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"title":{"type":"string","description":"Event text, must not be empty"},"date":{"type":"string","description":"ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00; only the local day is kept"},"calendar_id":{"type":"string","description":"Optional; must be the current calendar, since events can only be created there"},"kind":{"type":"string","description":"task|reminder|countdown; use reminder/countdown only when user asked for those; task only with explicit recurrence"},"recurrence":{"type":"string","description":"Required intent for kind=task: none, daily, weekly, monthly, yearly or workday"},"reminder":{"type":"object","description":"Required when kind is reminder","properties":{"trigger":{"type":"string","description":"HH:MM or day:HH:MM"}}},"countdown":{"type":"object","description":"Optional when kind is countdown","properties":{"countdown_type":{"type":"integer","description":"Countdown type enum value"},"show_type":{"type":"integer","description":"Show type enum value"}}}},"required":["title","date"]})SCHEMA"},
    {L"event_update",
     L"更新 events_query 返回的日历事件（提醒/倒数日/重复任务）。不用于日格普通任务行，请用 item_line_update。未开信任写入时返回 pending_confirmation。 English: Update a calendar EVENT from events_query (reminder/countdown/recurring task). Not for day-cell 任务 lines — use item_line_update. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Event id as returned by events_query"},"title":{"type":"string","description":"New event text, must not be empty when given"},"date":{"type":"string","description":"New day, ISO 8601 with a time zone"},"kind":{"type":"string","description":"If given, must match the existing kind; changing kind is rejected"},"recurrence":{"type":"string","description":"Optional for task: none, daily, weekly, monthly, yearly or workday"},"reminder":{"type":"object","description":"For reminder events","properties":{"trigger":{"type":"string","description":"HH:MM or day:HH:MM"}}},"countdown":{"type":"object","description":"For countdown events","properties":{"countdown_type":{"type":"integer","description":"Countdown type enum value"},"show_type":{"type":"integer","description":"Show type enum value"}}}},"required":["id"],"anyOf":[{"required":["title"]},{"required":["date"]},{"required":["recurrence"]},{"required":["reminder"]},{"required":["countdown"]}]})SCHEMA"},
    {L"event_delete",
     L"删除 events_query 返回的日历事件。不用于日格普通任务行，请用 item_line_delete。未开信任写入时返回 pending_confirmation。 English: Delete a calendar EVENT from events_query. Not for day-cell 任务 lines — use item_line_delete. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Event id as returned by events_query"}},"required":["id"]})SCHEMA"},
    {L"notes_list",
     L"列出当前账号的桌面便签（id、标题、内容摘要）。不是日格任务（items_*）也不是日历事件（events_*）。 English: List Tessary sticky NOTES (便签) for the current account: id, title, and a short content preview. NOT day-grid tasks (items_*) and NOT calendar events (events_*).",
     LR"SCHEMA({"type":"object","properties":{}})SCHEMA"},
    {L"notes_get",
     L"按 id 读取一条便签（来自 notes_list），返回完整标题与内容。不是日格任务（items_*）也不是日历事件（events_*）。 English: Read one sticky note by id from notes_list. Returns full title and content. NOT day-grid tasks (items_*) and NOT calendar events (events_*).",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Note id from notes_list"}},"required":["id"]})SCHEMA"},
    {L"notes_create",
     L"创建便签。content 必填，title 可选；确认后会打开便签窗口。不是日格任务（items_*）也不是日历事件（events_*）。未开信任写入时返回 pending_confirmation，需再调 event_confirm。 English: Create a sticky note (便签). content required; title optional. Opens a note window after confirm. NOT day-grid tasks (items_*) and NOT calendar events (events_*). Unless trusted writing is on, returns pending_confirmation; then call event_confirm.",
     LR"SCHEMA({"type":"object","properties":{"content":{"type":"string","description":"Note body text"},"title":{"type":"string","description":"Optional note title"}},"required":["content"]})SCHEMA"},
    {L"notes_update",
     L"按 id 更新便签标题和/或内容，至少提供 title 或 content 之一。不是日格任务（items_*）也不是日历事件（events_*）。未开信任写入时返回 pending_confirmation，需再调 event_confirm。 English: Update a sticky note title and/or content by id. Provide at least one of title or content. NOT day-grid tasks (items_*) and NOT calendar events (events_*). Unless trusted writing is on, returns pending_confirmation; then call event_confirm.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Note id from notes_list"},"title":{"type":"string","description":"New title"},"content":{"type":"string","description":"New content"}},"required":["id"]})SCHEMA"},
    {L"notes_delete",
     L"按 id 删除便签。不是日格任务（items_*）也不是日历事件（events_*）。未开信任写入时返回 pending_confirmation，需再调 event_confirm。 English: Delete a sticky note by id. NOT day-grid tasks (items_*) and NOT calendar events (events_*). Unless trusted writing is on, returns pending_confirmation; then call event_confirm.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Note id from notes_list"}},"required":["id"]})SCHEMA"},
    {L"timetable_list",
     L"列出当前账号的课程表摘要（id、名称、是否默认、开课日、周数、课程条数）。课表≠日格(items_*)≠日程事件(events_*)≠便签(notes_*)。图片/Excel 须由调用方先解析再 upsert。 English: List course TIMETABLES (课程表) for the current account. NOT items_*, events_*, or notes_*. Image/Excel must be parsed by the caller before timetable_upsert.",
     LR"SCHEMA({"type":"object","properties":{}})SCHEMA"},
    {L"timetable_get",
     L"按 id 或 name 读取完整课表 JSON（节次 times + 课程 lessons）。weekday:1=周一…7=周日。重名时失败。 English: Read one timetable by id or name. weekday 1=Monday…7=Sunday. Fails if name matches multiple.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string","description":"Timetable id from timetable_list"},"name":{"type":"string","description":"Exact timetable name"}},"anyOf":[{"required":["id"]},{"required":["name"]}]})SCHEMA"},
    {L"timetable_upsert",
     L"按名称新建或整表覆盖课表。name 必填（trim 后非空）；图/Excel 无名称时必须先问用户，禁止占位名。同名则整表替换并保留原 id，否则新建。改单节课：先 timetable_get 再 upsert。未开信任写入时返回 pending_confirmation，需 event_confirm。 English: Upsert timetable by exact name (required). If source has no name, ask the user first. Same name replaces whole table keeping id; else create. For one lesson change: get then upsert. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"name":{"type":"string","description":"Required timetable name"},"set_as_default":{"type":"boolean","description":"If true, make this the default timetable after write"},"start_date":{"type":"string","description":"YYYY-MM-DD term start"},"week_count":{"type":"integer"},"count_class_day":{"type":"integer"},"count_class_am":{"type":"integer"},"class_time_long":{"type":"integer"},"break_time_long":{"type":"integer"},"start_am_hour":{"type":"integer"},"start_am_minute":{"type":"integer"},"start_pm_hour":{"type":"integer"},"start_pm_minute":{"type":"integer"},"hide_weekend":{"type":"boolean"},"times":{"type":"array","items":{"type":"object","properties":{"order":{"type":"integer","description":"0 基节次；第一节 order=0 / 0-based; first period order=0"},"start_hour":{"type":"integer"},"start_minute":{"type":"integer"},"end_hour":{"type":"integer"},"end_minute":{"type":"integer"}}}},"lessons":{"type":"array","items":{"type":"object","properties":{"weekday":{"type":"integer","description":"1=Mon … 7=Sun"},"order":{"type":"integer","description":"0 基节次；第一节 order=0 / 0-based; first period order=0"},"name":{"type":"string"},"teacher":{"type":"string"},"location":{"type":"string"},"period_mode":{"type":"integer","description":"0 none / 1 all / 2 odd / 3 even"},"weeks":{"type":"string","description":"逗号分隔的 0 基周序号；第 1 周存 0，如 0,1,2 / Comma-separated 0-based week indexes; week 1 is stored as 0"}}}}},"required":["name"]})SCHEMA"},
    {L"timetable_delete",
     L"按 id 或 name 删除课表。重名时失败。未开信任写入时返回 pending_confirmation。 English: Delete a timetable by id or exact name. Fails if name is ambiguous. Unless trusted writing is on, returns pending_confirmation.",
     LR"SCHEMA({"type":"object","properties":{"id":{"type":"string"},"name":{"type":"string"}},"anyOf":[{"required":["id"]},{"required":["name"]}]})SCHEMA"},
    {L"event_confirm",
     L"接受或拒绝 event_create/update/delete、任意 Item 写入（items_set、items_append_line、item_line_update、item_line_delete、item_line_set_done）、notes_create/update/delete 或 timetable_upsert/delete 挂起的写入。令牌五分钟后过期。 English: Accept or reject a write parked by event_create/update/delete, any Item write (items_set, items_append_line, item_line_update, item_line_delete, item_line_set_done), notes_create/update/delete, or timetable_upsert/delete. Token expires after five minutes.",
     LR"SCHEMA({"type":"object","properties":{"confirm_token":{"type":"string","description":"The confirm_token from the pending answer"},"accept":{"type":"boolean","description":"true writes the change, false throws it away"}},"required":["confirm_token","accept"]})SCHEMA"},
};

// Drops whitespace outside strings, keeping everything else as it stands.
std::wstring Compact(const std::wstring& text)
{
    std::wstring out;
    bool inString = false, escaped = false;
    for (wchar_t c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == L'\\') escaped = true;
            else if (c == L'"') inString = false;
        } else if (c == L'"') {
            inString = true;
        } else if (c == L' ' || c == L'\t' || c == L'\r' || c == L'\n') {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

TEST(ToolCatalog, MatchesTheToolsOfferedToClientsExactly)
{
    std::wstring expected = L"[";
    for (const ExpectedTool& tool : kExpected) {
        if (expected.size() > 1) expected += L",";
        expected += std::wstring(L"{\"name\":\"") + tool.name + L"\",\"description\":\"" + tool.description +
                    L"\",\"inputSchema\":" + tool.schema + L"}";
    }
    expected += L"]";
    const std::wstring compact = Compact(ToolCatalog::CatalogText());
    EXPECT_EQ(compact, expected);
    // Pinpoint the first differing tool when the whole comparison fails.
    if (compact != expected) {
        for (std::size_t i = 0; i < expected.size() && i < compact.size(); ++i)
            if (expected[i] != compact[i]) {
                ADD_FAILURE() << "first difference at " << i;
                break;
            }
    }
}

TEST(ToolCatalog, ParsesAsAnArrayOfTwentyTwoToolsInOrder)
{
    const JsonValue::Ptr catalog = JsonValue::Parse(ToolCatalog::CatalogText());
    ASSERT_TRUE(catalog);
    ASSERT_TRUE(catalog->IsArray());
    ASSERT_EQ(catalog->Items().size(), 22u);
    ASSERT_EQ(ToolCatalog::ToolCount(), 22u);
    for (std::size_t i = 0; i < 22; ++i) {
        const JsonValue& tool = *catalog->Items()[i];
        ASSERT_TRUE(tool.IsObject());
        EXPECT_EQ(tool.GetMember(L"name")->StringValue(), kExpected[i].name);
        EXPECT_EQ(tool.GetMember(L"description")->StringValue(), kExpected[i].description);
        EXPECT_EQ(std::wstring(ToolCatalog::ToolName(i)), kExpected[i].name);
        const JsonValue* schema = tool.GetMember(L"inputSchema");
        ASSERT_TRUE(schema && schema->IsObject());
        EXPECT_EQ(schema->GetMember(L"type")->StringValue(), L"object");
    }
    EXPECT_EQ(ToolCatalog::ToolName(22), nullptr);
}

TEST(ToolCatalog, TextIsBuiltOnceWithoutLineBreaks)
{
    const std::wstring& text = ToolCatalog::CatalogText();
    EXPECT_EQ(&text, &ToolCatalog::CatalogText());
    EXPECT_EQ(text.find_first_of(L"\r\n"), std::wstring::npos);
    EXPECT_NE(text.find(L"  {    \"name\": \"calendar_list\""), std::wstring::npos);  // indentation kept
    EXPECT_NE(text.find(L"\x65E5\x5386"), std::wstring::npos);  // Chinese as characters, not escapes
    EXPECT_NE(text.find(LR"(must not contain \\n or \\r)"), std::wstring::npos);
}

TEST(ToolCatalog, KnowsExactlyTheTwentyTwoNames)
{
    for (const ExpectedTool& tool : kExpected) EXPECT_TRUE(ToolCatalog::IsKnownTool(tool.name)) << tool.name;
    for (const wchar_t* other : {L"", L"Calendar_list", L"calendar_list ", L"calendar", L"tools/list"})
        EXPECT_FALSE(ToolCatalog::IsKnownTool(other));
}

}  // namespace
