// The sample data: the calendars, the week's events, the day cells, the
// notes and the timetable it promises, dated around the day it is given.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "SampleData.h"
#include "ServiceTestSupport.h"

using devhost::CalendarDay;
using devhost::CalendarIdentity;
using devhost::EventRecord;

namespace {

std::map<std::wstring, EventRecord> ByTitle(const std::vector<EventRecord>& events)
{
    std::map<std::wstring, EventRecord> byTitle;
    for (const EventRecord& event : events) byTitle[event.line] = event;
    return byTitle;
}

bool HasCjk(const std::wstring& text)
{
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c >= 0x4E00 && c <= 0x9FFF; });
}

bool HasSurrogatePair(const std::wstring& text)
{
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) return true;
    return false;
}

}  // namespace

TEST(SampleDataTest, SeedsTheWeekAroundTheGivenDay)
{
    servicetest::TempFolder temp;
    devhost::StandInOptions options;
    options.useClipboard = false;
    devhost::StandInServices services;
    ASSERT_EQ(S_OK, devhost::CreateStandInServices(devhost::DataFolder(temp.PathOf(L"data")), options, services));
    EXPECT_FALSE(devhost::HasCalendarData(services));

    const CalendarDay today{2026, 2, 26};  // a Thursday; Monday is 23 February
    ASSERT_EQ(S_OK, devhost::SeedSampleData(services, today));
    EXPECT_TRUE(devhost::HasCalendarData(services));

    const CalendarIdentity personal{1, L"local"}, family{1, L"family"};
    const auto calendars = services.calendars->Calendars();
    ASSERT_EQ(3u, calendars.size());
    EXPECT_EQ(2, std::count_if(calendars.begin(), calendars.end(),
                               [](const devhost::CalendarEntry& entry) { return entry.identity.id == 1; }))
        << "two calendars share the number 1";
    EXPECT_TRUE(services.calendars->Has(family));
    EXPECT_TRUE(services.calendars->Current() == personal);

    // This week's tasks, one of them done, and every kind the tools show.
    std::map<LONG, int> kinds;
    int tasksThisWeek = 0;
    for (long offset = -3; offset <= 3; ++offset) {
        for (const EventRecord& event : services.events->EventsOn(devhost::AddDays(today, offset), personal))
            if (event.type == kEventTypeTask) ++tasksThisWeek;
    }
    EXPECT_GE(tasksThisWeek, 5);
    for (const EventRecord& event : services.events->Events()) ++kinds[event.type];
    EXPECT_GE(kinds[kEventTypeTask], 3);
    EXPECT_GE(kinds[kEventTypeReminder], 1);
    EXPECT_EQ(1, kinds[kEventTypeCountdown]);
    EXPECT_EQ(1, kinds[4]) << "one event of a type the tools hide";

    const auto events = ByTitle(services.events->Events());
    const EventRecord& meeting = events.at(L"Team meeting");
    EXPECT_EQ(L"WEEKLY", meeting.recurrence);
    EXPECT_EQ(-1, meeting.repeatCount);
    EXPECT_TRUE(meeting.hasReminder);
    const auto nextWeek = services.events->EventsOn(devhost::AddDays(today, 7), personal);
    EXPECT_TRUE(std::any_of(nextWeek.begin(), nextWeek.end(),
                            [](const EventRecord& e) { return e.line == L"Team meeting"; }));
    const EventRecord& newYear = events.at(L"New Year's Day");
    EXPECT_EQ(kEventTypeCountdown, newYear.type);
    EXPECT_TRUE(newYear.start == (CalendarDay{2027, 1, 1}));
    EXPECT_EQ(1u, events.at(L"Plan this week's meals").completed.count(L"2026-02-23"));

    const devhost::DayCell cell = services.dayContent->Cell(today, personal);
    EXPECT_NE(std::wstring::npos, cell.text.find(L"\n~~")) << "a done line";
    EXPECT_FALSE(cell.bgColor.empty());
    EXPECT_FALSE(services.dayContent->Cell(today, family).text.empty());

    // Local notes that show a list, CJK with an emoji (a surrogate pair) and
    // a preview that gets cut; one note of another type, between local ones.
    const auto notes = services.notes->Notes();
    ASSERT_EQ(4u, notes.size());
    bool list = false, cjkAndEmoji = false, long120 = false;
    int others = 0;
    for (const devhost::NoteRecord& note : notes) {
        if (note.type != devhost::kNoteTypeLocal) {
            ++others;
            continue;
        }
        list = list || std::count(note.content.begin(), note.content.end(), L'\n') >= 3;
        cjkAndEmoji = cjkAndEmoji || (HasCjk(note.title) && HasSurrogatePair(note.title) && HasCjk(note.content) &&
                                      HasSurrogatePair(note.content));
        long120 = long120 || note.content.size() > 120;
    }
    EXPECT_TRUE(list);
    EXPECT_TRUE(cjkAndEmoji);
    EXPECT_TRUE(long120);
    EXPECT_EQ(1, others);
    EXPECT_EQ(devhost::kNoteTypeLocal, notes.front().type);
    EXPECT_EQ(devhost::kNoteTypeLocal, notes.back().type);

    // One default school week from this week's Monday: 8 periods of 45
    // minutes with 10-minute breaks from 08:00 and 14:00, lessons across
    // the week, one in odd weeks only and one with a CJK name.
    const auto timetables = services.timetables->Timetables();
    ASSERT_EQ(1u, timetables.size());
    EXPECT_TRUE(timetables[0].isDefault);
    EXPECT_EQ(L"Class 3B", timetables[0].name);
    const JsonValue::Ptr content = JsonValue::Parse(timetables[0].content);
    ASSERT_TRUE(content);
    EXPECT_EQ(L"2026-02-23", content->GetMember(L"start_date")->StringValue());
    EXPECT_EQ(20, content->GetMember(L"week_count")->NumberValue());
    EXPECT_TRUE(content->GetMember(L"hide_weekend")->BoolValue());
    EXPECT_EQ(timetables[0].id, content->GetMember(L"timetable_id")->StringValue());
    const auto& times = content->GetMember(L"times")->Items();
    ASSERT_EQ(8u, times.size());
    const auto clock = [](const JsonValue& period, const wchar_t* part) {
        return static_cast<int>(period.GetMember(std::wstring(part) + L"_hour")->NumberValue()) * 60 +
               static_cast<int>(period.GetMember(std::wstring(part) + L"_minute")->NumberValue());
    };
    for (std::size_t i = 0; i < times.size(); ++i) {
        const int start = (i < 4 ? 8 * 60 : 14 * 60) + static_cast<int>(i % 4) * 55;
        EXPECT_EQ(static_cast<double>(i), times[i]->GetMember(L"order")->NumberValue());
        EXPECT_EQ(start, clock(*times[i], L"start")) << i;
        EXPECT_EQ(start + 45, clock(*times[i], L"end")) << i;
    }
    const auto& lessons = content->GetMember(L"lessons")->Items();
    EXPECT_GE(lessons.size(), 5u);
    EXPECT_LE(lessons.size(), 8u);
    std::set<double> weekdays;
    bool oddWeeks = false, cjkName = false;
    for (const auto& lesson : lessons) {
        EXPECT_FALSE(lesson->GetMember(L"teacher")->StringValue().empty());
        EXPECT_FALSE(lesson->GetMember(L"location")->StringValue().empty());
        weekdays.insert(lesson->GetMember(L"weekday")->NumberValue());
        oddWeeks = oddWeeks || (lesson->GetMember(L"weeks")->StringValue() == L"0,2,4" &&
                                lesson->GetMember(L"period_mode")->NumberValue() == 2);
        cjkName = cjkName || HasCjk(lesson->GetMember(L"name")->StringValue());
    }
    EXPECT_EQ((std::set<double>{1, 2, 3, 4, 5}), weekdays);
    EXPECT_TRUE(oddWeeks);
    EXPECT_TRUE(cjkName);

    // Seeding again replaces rather than adds.
    const std::size_t count = services.events->Events().size();
    ASSERT_EQ(S_OK, devhost::SeedSampleData(services, today));
    EXPECT_EQ(count, services.events->Events().size());
    EXPECT_EQ(3u, services.dayContent->CellCount());
    EXPECT_EQ(4u, services.notes->Notes().size());
    EXPECT_EQ(1u, services.timetables->Timetables().size());
}

TEST(SampleDataTest, NotesOrTimetablesAloneCountAsCalendarData)
{
    for (const bool note : {true, false}) {
        servicetest::TempFolder temp;
        devhost::StandInOptions options;
        options.useClipboard = false;
        devhost::StandInServices services;
        ASSERT_EQ(S_OK, devhost::CreateStandInServices(devhost::DataFolder(temp.PathOf(L"data")), options, services));
        if (note) {
            devhost::NoteRecord mine{L"", devhost::kNoteTypeLocal, L"mine", L""};
            ASSERT_EQ(S_OK, services.notes->Add(mine));
        } else {
            devhost::TimetableRecord mine;
            mine.content = L"{\"name\":\"mine\"}";
            ASSERT_EQ(S_OK, services.timetables->Add(mine));
        }
        EXPECT_TRUE(devhost::HasCalendarData(services))
            << "the sample must not seed over a user's " << (note ? "notes" : "timetables");
    }
}
