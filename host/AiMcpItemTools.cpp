#include "AiMcpItemTools.h"

#include <utility>

#include "AiMcpAuditLog.h"
#include "AiMcpCalendars.h"
#include "AiMcpDates.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "AiMcpText.h"
#include "AiMcpWriteChecks.h"
#include "AiMcpWritePath.h"
#include "HostAccess.h"

namespace {

const wchar_t kNoDayService[] = L"the calendar day content service is not available";
const wchar_t kReadTextFailed[] = L"the calendar could not read the day content";
const wchar_t kReadColorFailed[] = L"the calendar could not read the day background color";
const wchar_t kStoreTextFailed[] = L"the calendar could not store the day content";
const wchar_t kStoreColorFailed[] = L"the calendar could not store the day background color";
const wchar_t kNoItemLine[] = L"the calendar could not update item formatting";
const wchar_t kDayTooLarge[] = L"the day content is too large for one AI MCP response";
const wchar_t kResultTooLarge[] = L"the resulting day content is too large for one AI MCP response";
const wchar_t kLineChanged[] =
    L"the day content changed while confirmation was pending; the target line no longer matches";

std::wstring NoLineMessage(int index)
{
    return L"no item line at index " + IntText(index);
}

// A fresh item line object, or empty when the host cannot make one.
ComPtr<IxItemLine> MakeItemLine()
{
    ComPtr<IxItemLine> line;
    CreateInstanceFromClassFactory(CLSID_ItemLine, line.put_void(), nullptr);
    return line;
}

// One of the day's two reads (text or background colour). On failure false
// with the message (INTERNAL): no service, or the read's own failure.
using DayRead = HRESULT (STDMETHODCALLTYPE IxDayContentService::*)(BSTR, LONG, BSTR, BSTR*);

bool ReadDayValue(const DayTarget& target, DayRead read, const wchar_t* readFailed, std::wstring& value,
                  std::wstring& message)
{
    const auto days = GetHostService<IxDayContentService>(SID_DayContentService);
    if (!days) {
        message = kNoDayService;
        return false;
    }
    const UniqueBstr date(target.date), group(target.groupId);
    UniqueBstr result;
    if (FAILED((days.get()->*read)(date.get(), target.calendarId, group.get(), result.put()))) {
        message = readFailed;
        return false;
    }
    value = result.str();  // nothing returned reads as empty
    return true;
}

bool ReadDayText(const DayTarget& target, std::wstring& text, std::wstring& message)
{
    return ReadDayValue(target, &IxDayContentService::GetDayText, kReadTextFailed, text, message);
}

bool ReadDayColor(const DayTarget& target, std::wstring& color, std::wstring& message)
{
    return ReadDayValue(target, &IxDayContentService::GetDayBgColor, kReadColorFailed, color, message);
}

}  // namespace

bool ResolveDayTarget(const std::wstring& params, DayTarget& target, std::wstring& code, std::wstring& message)
{
    // The date is kept as sent from the start, so a refused write is still
    // audited under the day it asked for.
    target.date.clear();
    GetStringParam(params, L"date", target.date);
    LocalDay day{};
    if (!ParseDayTextValid(target.date, day))
        return RefuseWrite(code, message, kInvalidParams, L"\"date\" must be a valid YYYY-MM-DD calendar date");

    std::wstring calendar;
    GetStringParam(params, L"calendar_id", calendar);
    if (!calendar.empty()) {
        if (!FindCalendar(calendar, target.calendarId, target.groupId))
            return RefuseWrite(code, message, kNotFound, L"no calendar with id " + calendar);
        return true;
    }
    const CalendarListing listing = ListCalendars();
    target.calendarId = listing.currentId;
    target.groupId = listing.currentGroupId;
    return true;
}

std::vector<ItemLine> SplitItemLines(const std::wstring& text)
{
    std::vector<ItemLine> lines;
    if (text.empty()) return lines;
    std::size_t position = 0;
    for (;;) {
        const std::size_t feed = text.find(L'\n', position);
        std::wstring line = text.substr(position, feed == std::wstring::npos ? std::wstring::npos : feed - position);
        if (!line.empty() && line.back() == L'\r') line.pop_back();

        bool done = false;
        if (const auto parser = MakeItemLine()) {
            const UniqueBstr raw(line);
            parser->SetLine(raw.get());
            VARIANT_BOOL flag = VARIANT_FALSE;
            parser->GetDone(&flag);
            done = flag == VARIANT_TRUE;
        }
        lines.push_back(ItemLine{static_cast<int>(lines.size()), std::move(line), done});

        if (feed == std::wstring::npos) break;
        position = feed + 1;  // a text ending in LF yields one more, empty, line
    }
    return lines;
}

std::wstring JoinItemLines(const std::vector<ItemLine>& lines)
{
    std::wstring text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += L'\n';
        text += lines[i].text;
    }
    return text;
}

bool BuildDayItemsJson(const std::wstring& requestId, const std::wstring& date, const std::wstring& text,
                       const std::wstring& bgcolor, std::wstring& answer)
{
    // The answer holds the whole cell text, so a text over the budget on its
    // own cannot fit: refuse it before making an item line object per line.
    if (Utf8Length(text) > kAiMcpAnswerBudget) return false;

    std::wstring json = L"{\"date\":" + QuoteJson(date) + L",\"text\":" + QuoteJson(text) + L",\"bgcolor\":" +
                        QuoteJson(bgcolor) + L",\"lines\":[";
    const std::vector<ItemLine> lines = SplitItemLines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) json += L',';
        json += L"{\"line_index\":" + IntText(lines[i].index) + L",\"text\":" + QuoteJson(lines[i].text) +
                L",\"done\":" + (lines[i].done ? L"true" : L"false") + L"}";
    }
    json += L"]}";
    answer = BuildOkAnswer(requestId, json);
    return Utf8Length(answer) <= kAiMcpAnswerBudget;
}

std::wstring ItemsGet(const std::wstring& requestId, const std::wstring& params)
{
    DayTarget target;
    std::wstring code, message;
    if (!ResolveDayTarget(params, target, code, message)) return BuildErrorAnswer(requestId, code, message);
    std::wstring text, color;
    if (!ReadDayText(target, text, message) || !ReadDayColor(target, color, message))
        return BuildErrorAnswer(requestId, kInternal, message);
    std::wstring answer;
    if (!BuildDayItemsJson(requestId, target.date, text, color, answer))
        return BuildErrorAnswer(requestId, kInvalidParams, kDayTooLarge);
    return answer;
}

bool ValidateItemWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write, std::wstring& code,
                       std::wstring& message)
{
    if (kind < AiMcpWriteKind::ItemsSet || kind > AiMcpWriteKind::ItemLineSetDone)
        return RefuseWrite(code, message, kInternal, L"not a day cell write");
    write.kind = kind;
    PendingItemFields& item = write.item;

    DayTarget target;
    const bool resolved = ResolveDayTarget(params, target, code, message);
    item.date = target.date;
    if (!resolved) return false;
    item.calendarId = target.calendarId;
    item.calendarGroup = target.groupId;

    int year = 0, month = 0, day = 0;
    if (!ParseDayText(item.date, year, month, day) || !IsSupportedDay(year, month, day))
        return RefuseWrite(code, message, kInvalidTime, L"date must be between 1970-01-01 and 2099-12-31 (local)");

    if (kind == AiMcpWriteKind::ItemsSet) {
        item.hasText = GetStringParam(params, L"text", item.text);
        item.hasBgcolor = GetStringParam(params, L"bgcolor", item.bgcolor);
        if (!item.hasText && !item.hasBgcolor)
            return RefuseWrite(code, message, kInvalidParams,
                        L"malformed request: \"params\" needs a \"text\" or \"bgcolor\" string");
        if (item.hasBgcolor && !NormalizeBgColor(item.bgcolor))
            return RefuseWrite(code, message, kInvalidParams, L"\"bgcolor\" must be an internal hex color string");
        return true;
    }

    if (kind == AiMcpWriteKind::ItemsAppendLine || kind == AiMcpWriteKind::ItemLineUpdate) {
        item.hasText = GetStringParam(params, L"text", item.text);
        if (!item.hasText)
            return RefuseWrite(code, message, kInvalidParams, L"malformed request: \"params\" needs a \"text\" string");
        if (kind == AiMcpWriteKind::ItemsAppendLine) {
            if (item.text.find_first_of(L"\r\n") != std::wstring::npos)
                return RefuseWrite(code, message, kInvalidParams, L"\"text\" for items_append_line must contain exactly one line");
            return true;
        }
    }

    std::wstring indexText;
    if (!GetStringParam(params, L"line_index", indexText) || !ParseLineIndex(indexText, item.lineIndex))
        return RefuseWrite(code, message, kInvalidParams, L"malformed request: \"line_index\" must be an integer");

    if (kind == AiMcpWriteKind::ItemLineSetDone && !GetBoolParam(params, L"done", item.done))
        return RefuseWrite(code, message, kInvalidParams, L"malformed request: \"done\" must be true or false");

    std::wstring text;
    if (!ReadDayText(target, text, message)) return RefuseWrite(code, message, kInternal, message);
    const std::vector<ItemLine> lines = SplitItemLines(text);
    if (item.lineIndex < 0 || static_cast<std::size_t>(item.lineIndex) >= lines.size())
        return RefuseWrite(code, message, kNotFound, NoLineMessage(item.lineIndex));
    item.expectedLine = lines[item.lineIndex].text;
    item.hasExpected = true;
    if (kind != AiMcpWriteKind::ItemLineUpdate) {
        item.text = item.expectedLine;
        item.hasText = true;
    }
    return true;
}

std::wstring ExecuteItemWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted)
{
    const PendingItemFields& item = write.item;
    const DayTarget target{item.date, item.calendarId, item.calendarGroup};
    const auto fail = [&](const wchar_t* code, const std::wstring& message) {
        return FailWithAudit(write.kind, requestId, item.date, trusted ? 1 : 0, code, message);
    };

    std::wstring oldText, oldColor, message;
    if (!ReadDayText(target, oldText, message) || !ReadDayColor(target, oldColor, message))
        return fail(kInternal, message);

    std::vector<ItemLine> lines = SplitItemLines(oldText);
    std::wstring newText = oldText, newColor = oldColor;
    switch (write.kind) {
    case AiMcpWriteKind::ItemsSet:
        if (item.hasText) newText = item.text;
        if (item.hasBgcolor) newColor = item.bgcolor;
        break;
    case AiMcpWriteKind::ItemsAppendLine:
        lines.push_back(ItemLine{static_cast<int>(lines.size()), item.text, false});
        newText = JoinItemLines(lines);
        break;
    case AiMcpWriteKind::ItemLineUpdate:
    case AiMcpWriteKind::ItemLineDelete:
    case AiMcpWriteKind::ItemLineSetDone: {
        if (item.lineIndex < 0 || static_cast<std::size_t>(item.lineIndex) >= lines.size())
            return fail(kNotFound, NoLineMessage(item.lineIndex));
        ItemLine& target = lines[item.lineIndex];
        if (!trusted && item.hasExpected && target.text != item.expectedLine) return fail(kNotFound, kLineChanged);
        if (write.kind == AiMcpWriteKind::ItemLineUpdate) {
            target.text = item.text;
        } else if (write.kind == AiMcpWriteKind::ItemLineDelete) {
            lines.erase(lines.begin() + item.lineIndex);
        } else {
            const auto formatter = MakeItemLine();
            if (!formatter) return fail(kInternal, kNoItemLine);
            const UniqueBstr raw(target.text);
            formatter->SetLine(raw.get());
            formatter->SetDone(item.done ? VARIANT_TRUE : VARIANT_FALSE);
            UniqueBstr formatted;
            formatter->GetLine(formatted.put());
            target.text = formatted.str();
        }
        newText = JoinItemLines(lines);
        break;
    }
    default:
        return fail(kInternal, L"not a day cell write");
    }

    // Nothing is stored unless its answer fits.
    std::wstring answer;
    if (!BuildDayItemsJson(requestId, item.date, newText, newColor, answer)) return fail(kInvalidParams, kResultTooLarge);

    const auto days = GetHostService<IxDayContentService>(SID_DayContentService);
    if (!days) return fail(kInternal, kNoDayService);
    const UniqueBstr date(item.date), group(item.calendarGroup);
    const bool storesText = write.kind != AiMcpWriteKind::ItemsSet || item.hasText;
    if (storesText) {
        const UniqueBstr text(newText);
        if (FAILED(days->SetDayText(date.get(), item.calendarId, group.get(), text.get())))
            return fail(kInternal, kStoreTextFailed);
    }
    if (write.kind == AiMcpWriteKind::ItemsSet && item.hasBgcolor) {
        const UniqueBstr color(newColor);
        if (FAILED(days->SetDayBgColor(date.get(), item.calendarId, group.get(), color.get()))) {
            if (storesText) {
                // Put the cell back as it was, so the write leaves nothing
                // half done; the outcome of this attempt is not looked at.
                const UniqueBstr original(oldText);
                days->SetDayText(date.get(), item.calendarId, group.get(), original.get());
            }
            return fail(kInternal, kStoreColorFailed);
        }
    }

    if (const auto application = GetHostService<IxApplicationService>(SID_ApplicationService))
        application->NotifyChange(kAppChangeItems);
    AiMcpAuditLog::Append(AiMcpWriteKindName(write.kind), item.date, trusted ? 1 : 0, 1, item.text);
    CountWrite(AiMcpQuotaKindOf(write.kind));
    return answer;
}
