// The timetable upload (BuildTimetableContent). The input is the params
// text. An upload that is accepted must be a JSON object holding only the
// members an upload may hold, with the trimmed name, and must keep the rules
// it was checked by: the periods' numbers unique, each period ending after it
// starts, periods and lessons within the day's periods, lessons' weeks within
// the term, no more morning periods than periods a day. Built again from its
// own text, it must be accepted and give the same upload (the set-as-default
// flag does not travel in it). A refused upload has a message.
#include <cstdint>
#include <set>
#include <string>

#include "AiMcpEnvelope.h"
#include "AiMcpText.h"
#include "AiMcpTimetableUpload.h"
#include "FuzzSupport.h"
#include "JsonValue.h"

namespace {

const wchar_t* const kUploadMembers[] = {
    L"name",          L"week_count",      L"count_class_day", L"count_class_am",  L"class_time_long",
    L"break_time_long", L"start_am_hour", L"start_am_minute", L"start_pm_hour",   L"start_pm_minute",
    L"start_date",    L"hide_weekend",    L"times",           L"lessons"};

// An integer member the upload was checked to hold; -1 when absent.
int IntegerOf(const JsonValue& object, const wchar_t* name)
{
    const JsonValue* member = object.GetMember(name);
    if (!member) return -1;
    FUZZ_CHECK(member->IsNumber() && member->NumberValue() == std::trunc(member->NumberValue()));
    return static_cast<int>(member->NumberValue());
}

void CheckRules(const JsonValue& upload)
{
    const int weeks = IntegerOf(upload, L"week_count");
    const int perDay = IntegerOf(upload, L"count_class_day");
    const int morning = IntegerOf(upload, L"count_class_am");
    if (perDay >= 0 && morning >= 0) FUZZ_CHECK(morning <= perDay);

    const JsonValue* times = upload.GetMember(L"times");
    FUZZ_CHECK(times && times->IsArray());
    std::set<int> orders;
    for (const auto& period : times->Items()) {
        FUZZ_CHECK(period->IsObject());
        const int order = IntegerOf(*period, L"order");
        FUZZ_CHECK(order >= 0 && orders.insert(order).second);
        if (perDay >= 0) FUZZ_CHECK(order < perDay);
        const int start = IntegerOf(*period, L"start_hour") * 60 + IntegerOf(*period, L"start_minute");
        const int end = IntegerOf(*period, L"end_hour") * 60 + IntegerOf(*period, L"end_minute");
        FUZZ_CHECK(start >= 0 && end > start && end < 24 * 60);
    }

    const JsonValue* lessons = upload.GetMember(L"lessons");
    FUZZ_CHECK(lessons && lessons->IsArray());
    for (const auto& lesson : lessons->Items()) {
        FUZZ_CHECK(lesson->IsObject());
        const JsonValue* name = lesson->GetMember(L"name");
        FUZZ_CHECK(name && name->IsString() && !TrimSpace(name->StringValue()).empty());
        const int order = IntegerOf(*lesson, L"order");
        FUZZ_CHECK(order >= 0);
        if (perDay >= 0) FUZZ_CHECK(order < perDay);
        const int weekday = IntegerOf(*lesson, L"weekday");
        FUZZ_CHECK(weekday >= 1 && weekday <= 7);
        const JsonValue* weekText = lesson->GetMember(L"weeks");
        if (!weekText || weeks < 0) continue;
        FUZZ_CHECK(weekText->IsString());
        long long week = 0;
        for (wchar_t c : weekText->StringValue() + L",") {
            if (c == L',') {
                FUZZ_CHECK(week < weeks);
                week = 0;
            } else {
                FUZZ_CHECK(c >= L'0' && c <= L'9');
                if (week < weeks) week = week * 10 + (c - L'0');
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring params = UnitsFromBytes(data, size);
    // As behind the gate: nothing nested deeper than 64 levels reaches a tool.
    if (!CheckJsonDepth(params)) return 0;

    TimetableUpload upload;
    std::wstring message;
    if (!BuildTimetableContent(params, upload, message)) {
        FUZZ_CHECK(!message.empty());
        return 0;
    }

    const JsonValue::Ptr content = JsonValue::Parse(upload.content);
    FUZZ_CHECK(content && content->IsObject());
    for (const auto& member : content->Members()) {
        bool known = false;
        for (const wchar_t* name : kUploadMembers) known = known || member.first == name;
        FUZZ_CHECK(known);
    }
    const JsonValue::Ptr root = JsonValue::Parse(params);
    FUZZ_CHECK(!upload.name.empty() && upload.name == TrimSpace(root->GetMember(L"name")->StringValue()));
    FUZZ_CHECK(content->GetMember(L"name")->StringValue() == upload.name);
    const JsonValue* setAsDefault = root->GetMember(L"set_as_default");
    FUZZ_CHECK(upload.setAsDefault == (setAsDefault && setAsDefault->BoolValue()));
    CheckRules(*content);

    TimetableUpload again;
    std::wstring againMessage;
    FUZZ_CHECK(BuildTimetableContent(upload.content, again, againMessage));
    FUZZ_CHECK(again.name == upload.name && !again.setAsDefault);
    const JsonValue::Ptr againContent = JsonValue::Parse(again.content);
    FUZZ_CHECK(againContent && JsonAgrees(*content, *againContent));
    return 0;
}
