#include "AiMcpTimetableUpload.h"

#include <climits>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "AiMcpText.h"
#include "JsonValue.h"

namespace {

// A member that must be an integer in a range, and the words its refusal
// uses.
struct IntegerRule {
    const wchar_t* member;
    int minimum;
    int maximum;
    const wchar_t* rangeText;
};

const wchar_t kFrom1To60[] = L"must be an integer from 1 to 60";
const wchar_t kFrom1To100[] = L"must be an integer from 1 to 100";
const wchar_t kFrom0To100[] = L"must be an integer from 0 to 100";
const wchar_t kFrom1To1440[] = L"must be an integer from 1 to 1440";
const wchar_t kFrom0To1440[] = L"must be an integer from 0 to 1440";
const wchar_t kFrom0To23[] = L"must be an integer from 0 to 23";
const wchar_t kFrom0To59[] = L"must be an integer from 0 to 59";
const wchar_t kNonNegative[] = L"must be a non-negative integer";
const wchar_t kFrom1To7[] = L"must be an integer from 1 to 7";
const wchar_t kFrom0To3[] = L"must be an integer from 0 to 3";

// The period settings, in the order they are checked; the first three are
// also compared with the periods and lessons.
constexpr std::size_t kWeekCountRule = 0, kDayPeriodsRule = 1, kMorningPeriodsRule = 2;
const IntegerRule kSettings[] = {
    {L"week_count", 1, 60, kFrom1To60},           {L"count_class_day", 1, 100, kFrom1To100},
    {L"count_class_am", 0, 100, kFrom0To100},     {L"class_time_long", 1, 1440, kFrom1To1440},
    {L"break_time_long", 0, 1440, kFrom0To1440},  {L"start_am_hour", 0, 23, kFrom0To23},
    {L"start_am_minute", 0, 59, kFrom0To59},      {L"start_pm_hour", 0, 23, kFrom0To23},
    {L"start_pm_minute", 0, 59, kFrom0To59},
};

const IntegerRule kPeriodRules[] = {
    {L"order", 0, INT_MAX, kNonNegative},     {L"start_hour", 0, 23, kFrom0To23}, {L"start_minute", 0, 59, kFrom0To59},
    {L"end_hour", 0, 23, kFrom0To23},         {L"end_minute", 0, 59, kFrom0To59},
};

const IntegerRule kLessonOrder{L"order", 0, INT_MAX, kNonNegative};
const IntegerRule kLessonWeekday{L"weekday", 1, 7, kFrom1To7};
const IntegerRule kLessonPeriodMode{L"period_mode", 0, 3, kFrom0To3};

const wchar_t* const kLessonTexts[] = {L"name", L"teacher", L"location", L"weeks"};

std::wstring Quoted(const wchar_t* member)
{
    return L"\"" + std::wstring(member) + L"\"";
}

bool Refuse(std::wstring& message, std::wstring text)
{
    message = std::move(text);
    return false;
}

// A JSON number whose value lies in the range and is its own truncation to
// a 32-bit integer (3.0 is 3; 3.5 is not an integer).
bool ReadInteger(const JsonValue& value, const IntegerRule& rule, int& out)
{
    if (!value.IsNumber()) return false;
    const double number = value.NumberValue();
    if (!std::isfinite(number) || number < rule.minimum || number > rule.maximum) return false;
    if (std::trunc(number) != number) return false;
    out = static_cast<int>(number);
    return true;
}

// An optional integer member; given tells whether it was there.
bool CheckOptionalInteger(const JsonValue& object, const IntegerRule& rule, bool& given, int& value,
                          std::wstring& message)
{
    const JsonValue* member = object.GetMember(rule.member);
    given = member != nullptr;
    if (!member || ReadInteger(*member, rule, value)) return true;
    return Refuse(message, Quoted(rule.member) + L" " + rule.rangeText);
}

bool CheckRequiredInteger(const JsonValue& object, const IntegerRule& rule, int& value, std::wstring& message)
{
    const JsonValue* member = object.GetMember(rule.member);
    if (!member) return Refuse(message, Quoted(rule.member) + L" is required");
    if (ReadInteger(*member, rule, value)) return true;
    return Refuse(message, Quoted(rule.member) + L" " + rule.rangeText);
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Ten characters: digits, with "-" at the fifth and eighth place.
bool HasDayShape(const std::wstring& text)
{
    if (text.size() != 10) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 4 || i == 7) {
            if (text[i] != L'-') return false;
        } else if (!IsDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// Decimal digit groups separated by single commas, none first or last; the
// numbers are collected (a group too long for an int counts as INT_MAX).
bool ParseWeeks(const std::wstring& text, std::vector<int>& weeks)
{
    std::size_t at = 0;
    while (at < text.size()) {
        if (!IsDigit(text[at])) return false;
        long long number = 0;
        while (at < text.size() && IsDigit(text[at])) {
            if (number <= INT_MAX) number = number * 10 + (text[at] - L'0');
            ++at;
        }
        weeks.push_back(number > INT_MAX ? INT_MAX : static_cast<int>(number));
        if (at == text.size()) break;
        if (text[at] != L',' || at + 1 == text.size()) return false;
        ++at;
    }
    return true;
}

// What the members must agree on, gathered while the items are checked.
struct Settings {
    bool hasWeekCount = false, hasDayPeriods = false, hasMorningPeriods = false;
    int weekCount = 0, dayPeriods = 0, morningPeriods = 0;
};

bool CheckPeriods(const JsonValue& times, const Settings& settings, std::wstring& message)
{
    for (const auto& item : times.Items()) {
        if (!item->IsObject()) return Refuse(message, L"every \"times\" item must be an object");
        int value = 0;
        for (const IntegerRule& rule : kPeriodRules)
            if (!CheckRequiredInteger(*item, rule, value, message)) return false;
    }
    // Agreement between the periods and with the settings, once every item
    // has passed its own rules.
    std::set<int> orders;
    for (const auto& item : times.Items()) {
        int values[5] = {0, 0, 0, 0, 0};  // order, start hour and minute, end hour and minute
        for (int i = 0; i < 5; ++i)
            (void)ReadInteger(*item->GetMember(kPeriodRules[i].member), kPeriodRules[i], values[i]);
        const int order = values[0];
        if (!orders.insert(order).second)
            return Refuse(message, L"\"times\" has more than one item with \"order\" " + IntText(order));
        if (values[3] * 60 + values[4] <= values[1] * 60 + values[2])
            return Refuse(message, L"the \"times\" item with \"order\" " + IntText(order) + L" must end after it starts");
        if (settings.hasDayPeriods && order >= settings.dayPeriods)
            return Refuse(message, L"the \"times\" item with \"order\" " + IntText(order) +
                                       L" lies outside the day's periods: \"order\" counts from 0 and must be below "
                                       L"\"count_class_day\" (" + IntText(settings.dayPeriods) + L")");
    }
    return true;
}

bool CheckLessons(const JsonValue& lessons, const Settings& settings, std::wstring& message)
{
    for (const auto& item : lessons.Items()) {
        if (!item->IsObject()) return Refuse(message, L"every \"lessons\" item must be an object");
        for (const wchar_t* member : kLessonTexts) {
            const JsonValue* value = item->GetMember(member);
            if (value && !value->IsString()) return Refuse(message, Quoted(member) + L" must be a string");
        }
        const JsonValue* name = item->GetMember(L"name");
        if (!name || TrimSpace(name->StringValue()).empty()) return Refuse(message, L"\"name\" is required");
        int order = 0, weekday = 0, mode = 0;
        bool modeGiven = false;
        if (!CheckRequiredInteger(*item, kLessonOrder, order, message) ||
            !CheckRequiredInteger(*item, kLessonWeekday, weekday, message) ||
            !CheckOptionalInteger(*item, kLessonPeriodMode, modeGiven, mode, message))
            return false;
        std::vector<int> weeks;
        const JsonValue* weekText = item->GetMember(L"weeks");
        if (weekText && !ParseWeeks(weekText->StringValue(), weeks))
            return Refuse(message,
                          L"\"weeks\" must be empty or comma-separated non-negative integers, for example \"0,1,2\"");
    }
    // Agreement with the settings, once every item has passed its own rules.
    for (const auto& item : lessons.Items()) {
        int order = 0;
        (void)ReadInteger(*item->GetMember(L"order"), kLessonOrder, order);
        const std::wstring name = item->GetMember(L"name")->StringValue();
        if (settings.hasDayPeriods && order >= settings.dayPeriods)
            return Refuse(message, L"the \"lessons\" item " + QuoteJsonString(name) + L" has \"order\" " +
                                       IntText(order) + L", outside the day's periods: \"order\" counts from 0 and "
                                       L"must be below \"count_class_day\" (" + IntText(settings.dayPeriods) + L")");
        std::vector<int> weeks;
        if (const JsonValue* weekText = item->GetMember(L"weeks")) (void)ParseWeeks(weekText->StringValue(), weeks);
        for (int week : weeks) {
            if (settings.hasWeekCount && week >= settings.weekCount)
                return Refuse(message, L"the \"lessons\" item " + QuoteJsonString(name) + L" has week " +
                                           IntText(week) + L" in \"weeks\", outside the term: weeks count from 0 "
                                           L"and must be below \"week_count\" (" + IntText(settings.weekCount) + L")");
        }
    }
    return true;
}

// "times" or "lessons": an empty array when absent, else checked and copied.
bool TakeItems(const JsonValue& params, const wchar_t* member, const Settings& settings, JsonValue& upload,
               std::wstring& message)
{
    const JsonValue* items = params.GetMember(member);
    if (!items) {
        upload.SetMember(member, JsonValue::MakeArray({}));
        return true;
    }
    if (!items->IsArray()) return Refuse(message, Quoted(member) + L" must be an array");
    const bool periods = std::wstring(member) == L"times";
    if (!(periods ? CheckPeriods(*items, settings, message) : CheckLessons(*items, settings, message))) return false;
    upload.SetMember(member, items->Clone());
    return true;
}

}  // namespace

bool BuildTimetableContent(const std::wstring& params, TimetableUpload& upload, std::wstring& message)
{
    const JsonValue::Ptr root = JsonValue::Parse(params);
    if (!root || !root->IsObject()) return Refuse(message, L"malformed request: \"params\" must be an object");

    const JsonValue* name = root->GetMember(L"name");
    const std::wstring trimmed = name && name->IsString() ? TrimSpace(name->StringValue()) : std::wstring();
    if (trimmed.empty()) return Refuse(message, L"timetable name is required; ask the user when the source has no name");

    constexpr std::size_t settingCount = sizeof kSettings / sizeof kSettings[0];
    bool given[settingCount] = {};
    int values[settingCount] = {};
    for (std::size_t i = 0; i < settingCount; ++i)
        if (!CheckOptionalInteger(*root, kSettings[i], given[i], values[i], message)) return false;
    Settings settings;
    settings.hasWeekCount = given[kWeekCountRule];
    settings.weekCount = values[kWeekCountRule];
    settings.hasDayPeriods = given[kDayPeriodsRule];
    settings.dayPeriods = values[kDayPeriodsRule];
    settings.hasMorningPeriods = given[kMorningPeriodsRule];
    settings.morningPeriods = values[kMorningPeriodsRule];

    const JsonValue* startDate = root->GetMember(L"start_date");
    if (startDate && (!startDate->IsString() || !HasDayShape(startDate->StringValue())))
        return Refuse(message, L"\"start_date\" must match YYYY-MM-DD");

    JsonValue::Ptr object = JsonValue::MakeObject({});
    object->SetMember(L"name", JsonValue::MakeString(trimmed));
    for (const IntegerRule& rule : kSettings)
        if (const JsonValue* member = root->GetMember(rule.member)) object->SetMember(rule.member, member->Clone());
    if (startDate) object->SetMember(L"start_date", startDate->Clone());
    if (const JsonValue* hideWeekend = root->GetMember(L"hide_weekend")) {
        if (!hideWeekend->IsBool()) return Refuse(message, L"\"hide_weekend\" has the wrong JSON type");
        object->SetMember(L"hide_weekend", hideWeekend->Clone());
    }

    if (settings.hasMorningPeriods && settings.hasDayPeriods && settings.morningPeriods > settings.dayPeriods)
        return Refuse(message, L"\"count_class_am\" (" + IntText(settings.morningPeriods) +
                                   L") must not be more than \"count_class_day\" (" + IntText(settings.dayPeriods) +
                                   L")");

    if (!TakeItems(*root, L"times", settings, *object, message) ||
        !TakeItems(*root, L"lessons", settings, *object, message))
        return false;

    const JsonValue* setAsDefault = root->GetMember(L"set_as_default");
    if (setAsDefault && !setAsDefault->IsBool()) return Refuse(message, L"\"set_as_default\" must be true or false");

    upload.content = object->Serialize();
    upload.name = trimmed;
    upload.setAsDefault = setAsDefault && setAsDefault->BoolValue();
    return true;
}
