// The day-cell tools: reading a day, splitting and joining lines, each write
// tool's parameters and effect, the expected-line check on confirmation,
// the answer budget tested before storing, and failed stores.
#include <string>
#include <vector>

#include "AiMcpItemTools.h"
#include "AiMcpWritePath.h"
#include "WritesTestHost.h"

namespace {

using writetest::Error;
using writetest::Ok;
using writetest::WriteHost;

const wchar_t kDay[] = L"2026-08-20";

class DayCells : public WriteHost {
protected:
    void SetUp() override
    {
        WriteHost::SetUp();
        SetTrusted(true);
    }

    static std::wstring Write(AiMcpWriteKind kind, const std::wstring& members)
    {
        return ItemWriteEntry(L"1", L"{\"date\":\"2026-08-20\"" + members + L"}", kind);
    }
};

// The day JSON answer of kDay with the given cell; lines are "text" or
// "~~text~~" (done) as the fake item line object reads them.
std::wstring DayAnswer(const std::wstring& textJson, const std::vector<std::wstring>& linesJson,
                       const std::wstring& color = L"", const std::wstring& id = L"1")
{
    std::wstring lines;
    for (std::size_t i = 0; i < linesJson.size(); ++i) {
        const bool done = linesJson[i].size() >= 4 && linesJson[i].compare(0, 2, L"~~") == 0;
        if (i) lines += L",";
        lines += L"{\"line_index\":" + std::to_wstring(i) + L",\"text\":\"" + linesJson[i] + L"\",\"done\":" +
                 (done ? L"true" : L"false") + L"}";
    }
    return Ok(L"{\"date\":\"2026-08-20\",\"text\":\"" + textJson + L"\",\"bgcolor\":\"" + color + L"\",\"lines\":[" +
                  lines + L"]}",
              id);
}

TEST(ItemLines, SplitAtLineFeedsAndJoinWithThem)
{
    DevHost::RegisterHostClass(CLSID_ItemLine, &writetest::FakeItemLine::Create);
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> lines;
        std::vector<bool> done;
        const wchar_t* joined;
    } cases[] = {
        {L"", {}, {}, L""},
        {L"a", {L"a"}, {false}, L"a"},
        {L"a\n", {L"a", L""}, {false, false}, L"a\n"},
        {L"\n", {L"", L""}, {false, false}, L"\n"},
        {L"a\r\nb", {L"a", L"b"}, {false, false}, L"a\nb"},
        {L"a\rb\r\n\r\n", {L"a\rb", L"", L""}, {false, false, false}, L"a\rb\n\n"},
        {L"~~done~~\r\nopen\r", {L"~~done~~", L"open"}, {true, false}, L"~~done~~\nopen"},
    };
    for (const auto& c : cases) {
        const std::vector<ItemLine> lines = SplitItemLines(c.text);
        ASSERT_EQ(lines.size(), c.lines.size()) << c.text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].index, static_cast<int>(i));
            EXPECT_EQ(lines[i].text, c.lines[i]) << c.text;
            EXPECT_EQ(lines[i].done, c.done[i]) << c.text;
        }
        EXPECT_EQ(JoinItemLines(lines), c.joined);
    }
    DevHost::RegisterHostClass(CLSID_ItemLine, nullptr);
    EXPECT_FALSE(SplitItemLines(L"~~done~~")[0].done);  // no item line object: not done
}

TEST_F(DayCells, ReadsTheDayAsTheCalendarHoldsIt)
{
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\"}"), DayAnswer(L"", {}));
    SetCell(kDay, L"~~call mum~~\r\nbuy \"milk\"\n", L"FF00FF00");
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\"}"),
              DayAnswer(L"~~call mum~~\\r\\nbuy \\\"milk\\\"\\n", {L"~~call mum~~", L"buy \\\"milk\\\"", L""},
                        L"FF00FF00"));

    // Another calendar by its id; the current one by its id or by default.
    days->cells[writetest::FakeDayContent::Key(kDay, 2, L"work")] = {L"standup", L""};
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\",\"calendar_id\":\"2\"}"), DayAnswer(L"standup", {L"standup"}));
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\",\"calendar_id\":2}"), DayAnswer(L"standup", {L"standup"}));
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\",\"calendar_id\":\"\"}"),
              ItemsGet(L"1", L"{\"date\":\"2026-08-20\",\"calendar_id\":\"1\"}"));

    // Days before the write range can still be read.
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"1969-12-31\"}"),
              Ok(L"{\"date\":\"1969-12-31\",\"text\":\"\",\"bgcolor\":\"\",\"lines\":[]}"));
    EXPECT_TRUE(AuditLines().empty());
    EXPECT_EQ(ItemsUsed(), 0);
}

TEST_F(DayCells, ReadRefusals)
{
    const std::wstring badDate = Error(L"INVALID_PARAMS", L"\\\"date\\\" must be a valid YYYY-MM-DD calendar date");
    const struct {
        const wchar_t* params;
        std::wstring answer;
    } cases[] = {
        {L"{}", badDate},
        {L"{\"date\":\"2026-02-30\"}", badDate},
        {L"{\"date\":\"2026-8-20\"}", badDate},
        {L"{\"date\":\"2026-08-20 \"}", badDate},
        {L"{\"date\":\"2026-08-20T00:00:00Z\"}", badDate},
        {L"{\"date\":20260820}", badDate},
        {L"{\"date\":\"2026-08-20\",\"calendar_id\":\"9\"}", Error(L"NOT_FOUND", L"no calendar with id 9")},
    };
    for (const auto& c : cases) EXPECT_EQ(ItemsGet(L"1", c.params), c.answer) << c.params;

    const std::wstring params = L"{\"date\":\"2026-08-20\"}";
    days->failReadColor = true;
    EXPECT_EQ(ItemsGet(L"1", params), Error(L"INTERNAL", L"the calendar could not read the day background color"));
    days->failReadText = true;
    EXPECT_EQ(ItemsGet(L"1", params), Error(L"INTERNAL", L"the calendar could not read the day content"));
    DevHost::SetService(SID_DayContentService, nullptr);
    EXPECT_EQ(ItemsGet(L"1", params), Error(L"INTERNAL", L"the calendar day content service is not available"));
}

TEST_F(DayCells, ReadThatWouldNotFitIsRefused)
{
    // The cell's text appears twice in the answer: as the cell and as its
    // one line.
    const std::size_t empty = ItemsGet(L"1", L"{\"date\":\"2026-08-20\"}").size();
    const std::size_t line = std::wstring(L"{\"line_index\":0,\"text\":\"\",\"done\":false}").size();
    const std::size_t fits = (kAiMcpAnswerBudget - empty - line) / 2;
    SetCell(kDay, std::wstring(fits, L'a'));
    EXPECT_GE(ItemsGet(L"1", L"{\"date\":\"2026-08-20\"}").size(), kAiMcpAnswerBudget - 1);
    SetCell(kDay, std::wstring(fits + 1, L'a'));
    EXPECT_EQ(ItemsGet(L"1", L"{\"date\":\"2026-08-20\"}"),
              Error(L"INVALID_PARAMS", L"the day content is too large for one AI MCP response"));
}

TEST_F(DayCells, SetReplacesTextAndColour)
{
    SetCell(kDay, L"old", L"00FF00");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsSet, L",\"text\":\"a\\r\\nb\""),
              DayAnswer(L"a\\r\\nb", {L"a", L"b"}, L"00FF00"));
    EXPECT_EQ(CellText(kDay), L"a\r\nb");  // CR LF kept
    EXPECT_EQ(days->colorStores, 0);

    // Only a colour: the text is not stored again.
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsSet, L",\"bgcolor\":\"#ff00Aa\""),
              DayAnswer(L"a\\r\\nb", {L"a", L"b"}, L"ff00Aa"));
    EXPECT_EQ(days->textStores, 1);
    EXPECT_EQ(CellColor(kDay), L"ff00Aa");

    const std::wstring badColor = Error(L"INVALID_PARAMS", L"\\\"bgcolor\\\" must be an internal hex color string");
    const struct {
        const wchar_t* color;
        const wchar_t* stored;  // null: refused
    } colors[] = {
        {L"#", L""},          {L"", L""},       {L"#FF00FF00", L"FF00FF00"}, {L"0", L"0"},
        {L"123456789", nullptr}, {L"red", nullptr}, {L"##12", nullptr},         {L"12 4", nullptr},
    };
    for (const auto& c : colors) {
        SetCell(kDay, L"keep", L"AB");
        const std::wstring answer = Write(AiMcpWriteKind::ItemsSet, std::wstring(L",\"bgcolor\":\"") + c.color + L"\"");
        if (c.stored) EXPECT_EQ(answer, DayAnswer(L"keep", {L"keep"}, c.stored)) << c.color;
        else EXPECT_EQ(answer, badColor) << c.color;
        EXPECT_EQ(CellColor(kDay), c.stored ? c.stored : L"AB") << c.color;
    }

    EXPECT_EQ(Write(AiMcpWriteKind::ItemsSet, L",\"text\":null,\"bgcolor\":[]"),
              Error(L"INVALID_PARAMS", L"malformed request: \\\"params\\\" needs a \\\"text\\\" or \\\"bgcolor\\\" string"));
}

TEST_F(DayCells, AppendAddsOneLine)
{
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"b\""), DayAnswer(L"b", {L"b"}));
    SetCell(kDay, L"a\n");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"b\""), DayAnswer(L"a\\n\\nb", {L"a", L"", L"b"}));
    SetCell(kDay, L"a\r\nb");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"\""), DayAnswer(L"a\\nb\\n", {L"a", L"b", L""}));
    EXPECT_EQ(CellText(kDay), L"a\nb\n");  // a line write drops the CRs

    const std::wstring oneLine = Error(L"INVALID_PARAMS", L"\\\"text\\\" for items_append_line must contain exactly one line");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"x\\ny\""), oneLine);
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"x\\ry\""), oneLine);
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L""),
              Error(L"INVALID_PARAMS", L"malformed request: \\\"params\\\" needs a \\\"text\\\" string"));
    EXPECT_EQ(CellText(kDay), L"a\nb\n");
}

TEST_F(DayCells, LineIndexIsAnIntegerNamingALine)
{
    SetCell(kDay, L"a\nb\nc");
    const std::wstring notInteger = Error(L"INVALID_PARAMS", L"malformed request: \\\"line_index\\\" must be an integer");
    const struct {
        const wchar_t* index;
        std::wstring answer;
    } cases[] = {
        {L"1", DayAnswer(L"a\\nX\\nc", {L"a", L"X", L"c"})},
        {L"\"2\"", DayAnswer(L"a\\nX\\nX", {L"a", L"X", L"X"})},
        {L"\" +0\"", DayAnswer(L"X\\nX\\nX", {L"X", L"X", L"X"})},
        {L"-1", Error(L"NOT_FOUND", L"no item line at index -1")},
        {L"3", Error(L"NOT_FOUND", L"no item line at index 3")},
        {L"2.5", notInteger},
        {L"\"3a\"", notInteger},
        {L"\"2 \"", notInteger},
        {L"\"\"", notInteger},
        {L"true", notInteger},
        {L"\"99999999999\"", notInteger},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Write(AiMcpWriteKind::ItemLineUpdate, std::wstring(L",\"text\":\"X\",\"line_index\":") + c.index),
                  c.answer)
            << c.index;
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineDelete, L""), notInteger);
}

TEST_F(DayCells, LineWritesChangeOneLine)
{
    SetCell(kDay, L"a\r\nb");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineUpdate, L",\"line_index\":0,\"text\":\"x\\ny\""),
              DayAnswer(L"x\\ny\\nb", {L"x", L"y", L"b"}));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineSetDone, L",\"line_index\":2,\"done\":\"TRUE\""),
              DayAnswer(L"x\\ny\\n~~b~~", {L"x", L"y", L"~~b~~"}));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineSetDone, L",\"line_index\":2,\"done\":false"),
              DayAnswer(L"x\\ny\\nb", {L"x", L"y", L"b"}));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineSetDone, L",\"line_index\":2,\"done\":1"),
              Error(L"INVALID_PARAMS", L"malformed request: \\\"done\\\" must be true or false"));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineDelete, L",\"line_index\":1"), DayAnswer(L"x\\nb", {L"x", L"b"}));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineDelete, L",\"line_index\":0"), DayAnswer(L"b", {L"b"}));
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineDelete, L",\"line_index\":0"), DayAnswer(L"", {}));
    EXPECT_EQ(CellText(kDay), L"");
    EXPECT_EQ(ItemsUsed(), 6);
    EXPECT_EQ(ItemNotifications(), 6);

    // Each success detail is the write's text field.
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "item_line_update\tid=2026-08-20\ttrust=1\tok\tx y",
                                "item_line_set_done\tid=2026-08-20\ttrust=1\tok\tb",
                                "item_line_set_done\tid=2026-08-20\ttrust=1\tok\t~~b~~",
                                "item_line_set_done\tid=2026-08-20\ttrust=0\terror\tmalformed request: \"done\" "
                                "must be true or false",
                                "item_line_delete\tid=2026-08-20\ttrust=1\tok\ty",
                                "item_line_delete\tid=2026-08-20\ttrust=1\tok\tx",
                                "item_line_delete\tid=2026-08-20\ttrust=1\tok\tb",
                            }));
}

TEST_F(DayCells, WritesOutsideTheSupportedYearsAreRefused)
{
    const std::wstring outside = Error(L"INVALID_TIME", L"date must be between 1970-01-01 and 2099-12-31 (local)");
    for (const wchar_t* date : {L"1969-12-31", L"2100-01-01"})
        EXPECT_EQ(ItemWriteEntry(L"1", std::wstring(L"{\"date\":\"") + date + L"\",\"text\":\"x\"}",
                                 AiMcpWriteKind::ItemsAppendLine),
                  outside)
            << date;
    EXPECT_EQ(days->textStores, 0);
}

TEST_F(DayCells, ParkedLineWriteIsRefusedWhenTheLineChanged)
{
    SetTrusted(false);
    SetCell(kDay, L"a\nb\nc");
    const std::wstring refused = TokenOf(Write(AiMcpWriteKind::ItemLineDelete, L",\"line_index\":2"));
    const std::wstring same = TokenOf(Write(AiMcpWriteKind::ItemLineSetDone, L",\"line_index\":1,\"done\":true"));
    const std::wstring gone = TokenOf(Write(AiMcpWriteKind::ItemLineUpdate, L",\"line_index\":2,\"text\":\"z\""));
    ASSERT_FALSE(refused.empty());

    // The user inserts a line above: line 2 is now "b", line 1 "a".
    SetCell(kDay, L"new\na\nb\nc");
    const auto confirm = [](const std::wstring& token) {
        return EventConfirm(L"2", L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}");
    };
    EXPECT_EQ(confirm(refused), Error(L"NOT_FOUND",
                                      L"the day content changed while confirmation was pending; the target line no "
                                      L"longer matches",
                                      L"2"));
    EXPECT_EQ(CellText(kDay), L"new\na\nb\nc");

    // Only the target line's text counts: line 1 holds "b" again.
    SetCell(kDay, L"new\nb\nc");
    EXPECT_EQ(confirm(same), DayAnswer(L"new\\n~~b~~\\nc", {L"new", L"~~b~~", L"c"}, L"", L"2"));

    // The target line is gone altogether.
    SetCell(kDay, L"only");
    EXPECT_EQ(confirm(gone), Error(L"NOT_FOUND", L"no item line at index 2", L"2"));
    EXPECT_EQ(ItemsUsed(), 1);

    const std::vector<std::string> lines = AuditLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], "item_line_delete\tid=2026-08-20\ttrust=0\terror\tthe day content changed while "
                        "confirmation was pending; the target line no longer matches");
    EXPECT_EQ(lines[4], "item_line_set_done\tid=2026-08-20\ttrust=0\tok\tb");
    EXPECT_EQ(lines[5], "item_line_update\tid=2026-08-20\ttrust=0\terror\tno item line at index 2");
}

TEST_F(DayCells, WriteThatWouldNotFitIsNeverStored)
{
    SetCell(kDay, L"a");
    const std::wstring big(kAiMcpAnswerBudget / 2, L'x');
    const std::wstring tooLarge = Error(L"INVALID_PARAMS", L"the resulting day content is too large for one AI MCP response");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsSet, L",\"text\":\"" + big + L"\""), tooLarge);
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"" + big + L"\""), tooLarge);
    EXPECT_EQ(days->textStores, 0);
    EXPECT_EQ(CellText(kDay), L"a");
    EXPECT_EQ(ItemsUsed(), 0);
    EXPECT_EQ(ItemNotifications(), 0);
    const std::vector<std::string> lines = AuditLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "items_set\tid=2026-08-20\ttrust=1\terror\tthe resulting day content is too large for one "
                        "AI MCP response");
}

TEST_F(DayCells, FailedStoresAnswerAnErrorAndCountNothing)
{
    SetCell(kDay, L"a", L"AA");
    days->failStoreText = true;
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"b\""),
              Error(L"INTERNAL", L"the calendar could not store the day content"));

    // The colour fails after the text was stored: the text goes back.
    days->failStoreText = false;
    days->failStoreColor = true;
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsSet, L",\"text\":\"new\",\"bgcolor\":\"BB\""),
              Error(L"INTERNAL", L"the calendar could not store the day background color"));
    EXPECT_EQ(CellText(kDay), L"a");
    EXPECT_EQ(CellColor(kDay), L"AA");
    EXPECT_EQ(days->textStores, 3);  // the failed one, then the new text and the restore

    // No item line object to mark a line done.
    days->failStoreColor = false;
    DevHost::RegisterHostClass(CLSID_ItemLine, nullptr);
    EXPECT_EQ(Write(AiMcpWriteKind::ItemLineSetDone, L",\"line_index\":0,\"done\":true"),
              Error(L"INTERNAL", L"the calendar could not update item formatting"));

    days->failReadColor = true;
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"text\":\"b\""),
              Error(L"INTERNAL", L"the calendar could not read the day background color"));

    EXPECT_EQ(CellText(kDay), L"a");
    EXPECT_EQ(ItemsUsed(), 0);
    EXPECT_EQ(ItemNotifications(), 0);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "items_append_line\tid=2026-08-20\ttrust=1\terror\tthe calendar could not store the "
                                "day content",
                                "items_set\tid=2026-08-20\ttrust=1\terror\tthe calendar could not store the day "
                                "background color",
                                "item_line_set_done\tid=2026-08-20\ttrust=1\terror\tthe calendar could not update "
                                "item formatting",
                                "items_append_line\tid=2026-08-20\ttrust=1\terror\tthe calendar could not read the "
                                "day background color",
                            }));
}

TEST_F(DayCells, WritesGoToTheNamedCalendar)
{
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"calendar_id\":\"2\",\"text\":\"standup\""),
              DayAnswer(L"standup", {L"standup"}));
    EXPECT_EQ((days->cells[writetest::FakeDayContent::Key(kDay, 2, L"work")].text), L"standup");
    EXPECT_EQ(CellText(kDay), L"");
    EXPECT_EQ(Write(AiMcpWriteKind::ItemsAppendLine, L",\"calendar_id\":\"7\",\"text\":\"x\""),
              Error(L"NOT_FOUND", L"no calendar with id 7"));
}

}  // namespace
