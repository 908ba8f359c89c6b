// The stand-in program's calendar commands over a set of services: listing
// and switching calendars, a day's events and cell, completing one
// occurrence, an event, the notes and the timetables as stored, the fault
// switches, and seeding the sample data.

#include <gtest/gtest.h>

#include "DevHostApi.h"
#include "DevHostCommands.h"
#include "SampleData.h"
#include "ServiceTestSupport.h"

namespace {

class CalendarCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devhost::StandInOptions options;
        options.useClipboard = false;
        ASSERT_EQ(S_OK, devhost::CreateStandInServices(devhost::DataFolder(temp.PathOf(L"data")), options, services));
        DevHostControls controls;
        controls.pluginLoaded = [] { return false; };
        controls.reattachPlugin = [] { return false; };
        controls.stallMainThread = [](unsigned long) {};
        controls.quit = [] {};
        commands.reset(new DevHostCommands(services, controls));
    }

    std::wstring Run(const std::wstring& line) { return commands->Execute(line); }

    servicetest::TempFolder temp;
    devhost::StandInServices services;
    std::unique_ptr<DevHostCommands> commands;
};

bool Has(const std::wstring& reply, const std::wstring& part) { return reply.find(part) != std::wstring::npos; }

}  // namespace

TEST_F(CalendarCommandsTest, SampleThenReadAndSwitch)
{
    EXPECT_EQ(L"ok", Run(L"calendars").substr(0, 2));
    const std::wstring seeded = Run(L"sample");
    ASSERT_EQ(L"ok", seeded.substr(0, 2)) << seeded;
    EXPECT_EQ(L"error: ", Run(L"sample").substr(0, 7)) << "does not seed over existing data";
    EXPECT_EQ(L"ok", Run(L"sample replace").substr(0, 2));
    EXPECT_EQ(L"ok\ntt-2 default 7 Class 3B", Run(L"timetables")) << "replaced, under a new id";

    const std::wstring calendars = Run(L"calendars");
    EXPECT_TRUE(Has(calendars, L"\n1 local Personal (current)")) << calendars;
    EXPECT_TRUE(Has(calendars, L"\n1 family Family\n") || Has(calendars, L"\n1 family Family")) << calendars;

    const std::wstring today = devhost::DayText(devhost::LocalToday());
    const std::wstring events = Run(L"events today");
    EXPECT_TRUE(Has(events, L" task DAILY/1 open Buy groceries")) << events;
    EXPECT_TRUE(Has(events, L" reminder WEEKLY/-1 open Team meeting")) << events;
    EXPECT_EQ(events, Run(L"events " + today));

    const std::wstring cell = Run(L"cell today");
    EXPECT_TRUE(Has(cell, L"\nbgcolor: FFE0B2\n0 Call the plumber\n1 ~~Pick up the parcel~~\n")) << cell;

    ASSERT_EQ(L"ok", Run(L"calendar current 1 family"));
    EXPECT_TRUE(Has(Run(L"cell today"), L"Dinner at grandma's")) << Run(L"cell today");
    EXPECT_FALSE(Has(Run(L"events today"), L"Buy groceries"));
    EXPECT_TRUE(Has(Run(L"events today 1 local"), L"Buy groceries"));
    EXPECT_EQ(L"error: no calendar 9 local", Run(L"calendar current 9 local"));
    EXPECT_TRUE(services.calendars->Current() == (devhost::CalendarIdentity{1, L"family"}));
}

TEST_F(CalendarCommandsTest, CompleteAndReopenOneOccurrence)
{
    ASSERT_EQ(L"ok", Run(L"sample").substr(0, 2));
    devhost::EventRecord meeting;
    for (const devhost::EventRecord& event : services.events->Events())
        if (event.line == L"Team meeting") meeting = event;
    ASSERT_FALSE(meeting.id.empty());
    const std::wstring nextWeek = devhost::DayText(devhost::AddDays(devhost::LocalToday(), 7));

    ASSERT_EQ(L"ok", Run(L"event complete " + meeting.id + L" " + nextWeek));
    EXPECT_TRUE(Has(Run(L"events " + nextWeek), L"done Team meeting"));
    EXPECT_TRUE(Has(Run(L"events today"), L"open Team meeting"));
    ASSERT_EQ(L"ok", Run(L"event reopen " + meeting.id + L" " + nextWeek));
    EXPECT_TRUE(Has(Run(L"events " + nextWeek), L"open Team meeting"));

    EXPECT_EQ(L"error: no event evt-999", Run(L"event complete evt-999 today"));
    const std::wstring tomorrow = devhost::DayText(devhost::AddDays(devhost::LocalToday(), 1));
    EXPECT_TRUE(Has(Run(L"event complete " + meeting.id + L" " + tomorrow), L"does not occur on"));
    EXPECT_EQ(L"error: events DAY [ID GROUP]", Run(L"events 2026-02-30"));
}

TEST_F(CalendarCommandsTest, StoredNotesAndEventsAndTheFaultSwitches)
{
    devhost::NoteRecord note{L"", devhost::kNoteTypeLocal, L"\u4EAC\u90FD \U0001F338\nday 2",
                             L"\u4EAC\U0001F338\r\n\"/\\"};
    devhost::NoteRecord shared{L"", 2, L"Shared", L""};
    ASSERT_EQ(S_OK, services.notes->Add(note));
    ASSERT_EQ(S_OK, services.notes->Add(shared));
    // Content bytes in UTF-8: 3 (CJK) + 4 (emoji) + 2 (CR LF) + 3 (quote, slash, backslash).
    EXPECT_EQ(L"ok\nnote-1 1 12 \u4EAC\u90FD \U0001F338\\nday 2\nnote-2 2 0 Shared", Run(L"notes"));
    EXPECT_EQ(L"ok\n{\"content\":\"\\u4EAC\\uD83C\\uDF38\\r\\n\\\"\\/\\\\\",\"id\":\"note-1\","
              L"\"title\":\"\\u4EAC\\u90FD \\uD83C\\uDF38\\nday 2\",\"type\":1}",
              Run(L"note note-1"));
    EXPECT_EQ(L"error: no note note-9", Run(L"note note-9"));

    ASSERT_EQ(S_OK, services.calendars->SetCalendars({{{1, L"local"}, L"Personal"}}, {1, L"local"}));
    devhost::EventRecord event;
    event.calendar = {1, L"local"};
    event.line = L"Call mum";
    ASSERT_TRUE(devhost::ParseDayText(L"2026-08-20", event.start));
    ASSERT_EQ(S_OK, services.events->Add(event));
    EXPECT_EQ(L"ok\n{\"calendar\":{\"groupid\":\"local\",\"id\":1},\"completed\":[],\"countdownType\":0,"
              L"\"id\":\"" + event.id + L"\",\"line\":\"Call mum\",\"recurrence\":\"DAILY\",\"repeat\":1,"
              L"\"showType\":0,\"start\":\"2026-08-20\",\"type\":1}",
              Run(L"event show " + event.id));
    EXPECT_EQ(L"error: no event evt-99", Run(L"event show evt-99"));

    // The switches reach the services, and status tells which are on.
    const wchar_t* const usage = L"error: fail notes|events|timetables on|off";
    const struct {
        const wchar_t* command;
        const wchar_t* reply;
        bool notesFail, eventsFail, timetablesFail;
        const wchar_t* status;
    } cases[] = {
        {L"fail notes on", L"ok\nnote writes fail", true, false, false, L"\nfailing writes: notes\n"},
        {L"fail events on", L"ok\nevent writes fail", true, true, false, L"\nfailing writes: events, notes\n"},
        {L"fail timetables on", L"ok\ntimetable writes fail", true, true, true,
         L"\nfailing writes: events, notes, timetables\n"},
        {L"fail notes off", L"ok\nnote writes work", false, true, true, L"\nfailing writes: events, timetables\n"},
        {L"fail events off", L"ok\nevent writes work", false, false, true, L"\nfailing writes: timetables\n"},
        {L"fail timetables off", L"ok\ntimetable writes work", false, false, false, L"\nfailing writes: none\n"},
        {L"fail notes maybe", usage, false, false, false, L"\nfailing writes: none\n"},
        {L"fail cells on", usage, false, false, false, L"\nfailing writes: none\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.reply, Run(c.command));
        EXPECT_EQ(c.notesFail, services.notes->FailsWrites()) << c.command;
        EXPECT_EQ(c.eventsFail, services.events->FailsWrites()) << c.command;
        EXPECT_EQ(c.timetablesFail, services.timetables->FailsWrites()) << c.command;
        EXPECT_TRUE(Has(Run(L"status"), c.status)) << c.command << "\n" << Run(L"status");
    }
    EXPECT_TRUE(Has(Run(L"status"), L" 1 events, 0 day cells, 2 notes, 0 timetables\n")) << Run(L"status");
}

TEST_F(CalendarCommandsTest, TimetablesAsTheServiceHandsThemOut)
{
    EXPECT_EQ(L"ok", Run(L"timetables"));
    devhost::TimetableRecord first, second;
    first.content = L"{\"name\":\"\u4E09\u73ED\\nB\",\"lessons\":[{},{}]}";
    second.content = L"{\"name\":\"Evening\"}";
    second.isDefault = true;
    ASSERT_EQ(S_OK, services.timetables->Add(first));
    ASSERT_EQ(S_OK, services.timetables->Add(second));
    EXPECT_EQ(L"ok\ntt-1 - 2 \u4E09\u73ED\\nB\ntt-2 default 0 Evening", Run(L"timetables"));

    UniqueBstr content;
    ASSERT_EQ(S_OK, services.timetables->GetTimetableContent(servicetest::Bstr(L"tt-1").get(), content.put()));
    EXPECT_EQ(L"ok\n{\"lessons\":[{},{}],\"name\":\"\\u4E09\\u73ED\\nB\",\"timetable_id\":\"tt-1\"}",
              Run(L"timetable tt-1"));
    EXPECT_EQ(L"ok\n" + content.str(), Run(L"timetable tt-1"));
    EXPECT_EQ(L"error: no timetable tt-9", Run(L"timetable tt-9"));
    EXPECT_TRUE(Has(Run(L"status"), L", 2 timetables\n")) << Run(L"status");

    // The service's name for remove and restore reaches the host's lookup.
    const auto installed = [] {
        ComPtr<IUnknown> service;
        Util::Service::GetService(SID_TimetableService, service.put_void());
        return service;
    };
    ASSERT_EQ(L"ok", Run(L"service restore timetable"));
    EXPECT_EQ(static_cast<IUnknown*>(services.timetables.get()), installed().get());
    ASSERT_EQ(L"ok", Run(L"service remove timetable"));
    EXPECT_FALSE(installed());
}
