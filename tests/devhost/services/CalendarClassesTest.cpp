// The classes the stand-in host makes for the calendar's data, created as the
// plug-in creates them (CreateInstanceFromClassFactory after installing the
// services): the item line's done marker, the date's text forms, and an event
// built wholly from such objects and stored through the installed service.

#include <gtest/gtest.h>

#include "DevHostApi.h"
#include "InstallServices.h"
#include "ServiceTestSupport.h"

using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

template <typename T>
ComPtr<T> Make(const GUID& classId)
{
    ComPtr<T> made;
    EXPECT_EQ(S_OK, CreateInstanceFromClassFactory(classId, made.put_void(), nullptr));
    return made;
}

class CalendarClassesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        devhost::StandInOptions options;
        options.useClipboard = false;
        ASSERT_EQ(S_OK, devhost::InstallStandInServices(devhost::DataFolder(temp.PathOf(L"data")), options, services));
    }
    void TearDown() override { devhost::UninstallStandInServices(services); }

    TempFolder temp;
    devhost::StandInServices services;
};

struct LineState {
    std::wstring text;
    VARIANT_BOOL done;
    std::wstring line;
};

LineState Read(IxItemLine* item)
{
    LineState state{L"", 1, L""};
    UniqueBstr text, line;
    item->GetPlainText(text.put());
    item->GetDone(&state.done);
    item->GetLine(line.put());
    state.text = text.str();
    state.line = line.str();
    return state;
}

}  // namespace

TEST_F(CalendarClassesTest, EveryClassIsMadeFreshAndRefusesAggregation)
{
    const GUID classes[] = {CLSID_Date, CLSID_ItemLine, CLSID_Event, CLSID_Reminder, CLSID_Trigger, CLSID_TriggerList};
    for (const GUID& classId : classes) {
        ComPtr<IUnknown> first = Make<IUnknown>(classId);
        ComPtr<IUnknown> second = Make<IUnknown>(classId);
        ASSERT_TRUE(first && second);
        EXPECT_NE(first.get(), second.get());
        EXPECT_EQ(2u, first->AddRef()) << "a new object holds only its creator's reference";
        first->Release();
        ComPtr<IUnknown> outer = Make<IUnknown>(CLSID_Date);
        void* aggregated = reinterpret_cast<void*>(1);
        EXPECT_EQ(CLASS_E_NOAGGREGATION, CreateInstanceFromClassFactory(classId, &aggregated, outer.get()));
        EXPECT_EQ(nullptr, aggregated);
    }
}

TEST_F(CalendarClassesTest, ItemLineReadsAndAppliesStrikethrough)
{
    const struct {
        const wchar_t* line;
        LineState expected;
    } parsed[] = {
        {L"Buy milk", {L"Buy milk", VARIANT_FALSE, L"Buy milk"}},
        {L"~~Buy milk~~", {L"Buy milk", VARIANT_TRUE, L"~~Buy milk~~"}},
        {L"~~a~~b~~", {L"a~~b", VARIANT_TRUE, L"~~a~~b~~"}},
        {L"~~x~~ ", {L"~~x~~ ", VARIANT_FALSE, L"~~x~~ "}},  // not wrapped: a blank follows
        {L"~~Buy milk", {L"~~Buy milk", VARIANT_FALSE, L"~~Buy milk"}},
        {L"~~~~", {L"~~~~", VARIANT_FALSE, L"~~~~"}},  // nothing struck through
        {L"~~~", {L"~~~", VARIANT_FALSE, L"~~~"}},
        {L"", {L"", VARIANT_FALSE, L""}},
    };
    for (const auto& c : parsed) {
        ComPtr<IxItemLine> item = Make<IxItemLine>(CLSID_ItemLine);
        ASSERT_TRUE(item);
        item->SetLine(Bstr(c.line).get());
        const LineState got = Read(item.get());
        EXPECT_EQ(c.expected.text, got.text) << c.line;
        EXPECT_EQ(c.expected.done, got.done) << c.line;
        EXPECT_EQ(c.expected.line, got.line) << c.line;
    }

    ComPtr<IxItemLine> item = Make<IxItemLine>(CLSID_ItemLine);
    item->SetLine(Bstr(L"Pick up the parcel").get());
    item->SetDone(VARIANT_TRUE);
    EXPECT_EQ(L"~~Pick up the parcel~~", Read(item.get()).line);
    item->SetDone(1);  // only VARIANT_TRUE means yes
    EXPECT_EQ(L"Pick up the parcel", Read(item.get()).line);
    item->SetLine(Bstr(L"~~Call~~").get());
    item->SetDone(VARIANT_FALSE);
    EXPECT_EQ(L"Call", Read(item.get()).line);
    // A new plain text keeps the done state; an empty one cannot be done.
    item->SetDone(VARIANT_TRUE);
    item->SetPlainText(Bstr(L"Write").get());
    EXPECT_EQ(L"~~Write~~", Read(item.get()).line);
    item->SetPlainText(nullptr);
    EXPECT_EQ(VARIANT_FALSE, Read(item.get()).done);
    EXPECT_EQ(L"", Read(item.get()).line);
}

TEST_F(CalendarClassesTest, DateTakesValidDaysAndFormats)
{
    ComPtr<IxDate> date = Make<IxDate>(CLSID_Date);
    ASSERT_TRUE(date);
    UniqueBstr text;
    EXPECT_EQ(E_UNEXPECTED, date->Format(Bstr(L"%Y-%m-%d").get(), text.put())) << "never set";
    EXPECT_FALSE(text.get());

    ASSERT_EQ(S_OK, date->SetFromText(Bstr(L"2028-02-29").get()));
    for (const wchar_t* bad : {L"2027-02-29", L"2028-13-01", L"2028-2-29", L"28-02-29", L"2028-02-29T00"})
        EXPECT_EQ(E_INVALIDARG, date->SetFromText(Bstr(bad).get())) << bad;
    const struct {
        const wchar_t* format;
        const wchar_t* expected;
    } formats[] = {
        {L"%Y-%m-%d", L"2028-02-29"},
        {L"%d.%m.%Y", L"29.02.2028"},
        {L"100%% on %Y", L"100% on 2028"},
        {L"%H %", L"%H %"},
    };
    for (const auto& f : formats) {
        ASSERT_EQ(S_OK, date->Format(Bstr(f.format).get(), text.put()));
        EXPECT_EQ(f.expected, text.str()) << f.format;
    }
}

// An event put together from made objects, as a write tool does, and
// stored through the service the host hands out.
TEST_F(CalendarClassesTest, AnEventOfMadeObjectsIsStoredThroughTheInstalledService)
{
    ASSERT_EQ(S_OK, services.calendars->SetCalendars({{{1, L"local"}, L"Personal"}}, {1, L"local"}));
    ComPtr<IxDate> date = Make<IxDate>(CLSID_Date);
    ComPtr<IxItemLine> content = Make<IxItemLine>(CLSID_ItemLine);
    ComPtr<IxEvent> event = Make<IxEvent>(CLSID_Event);
    ComPtr<IxTrigger> primary = Make<IxTrigger>(CLSID_Trigger);
    ComPtr<IxTrigger> listed = Make<IxTrigger>(CLSID_Trigger);
    ComPtr<IxTriggerList> list = Make<IxTriggerList>(CLSID_TriggerList);
    ComPtr<IxReminder> reminder = Make<IxReminder>(CLSID_Reminder);
    ASSERT_TRUE(date && content && event && primary && listed && list && reminder);

    date->SetFromText(Bstr(L"2026-08-20").get());
    content->SetPlainText(Bstr(L"Dentist").get());
    UniqueBstr line;
    content->GetLine(line.put());
    primary->SetHour(9);
    primary->SetMinute(5);
    listed->SetHour(9);
    listed->SetMinute(5);
    list->AddItem(IID_IxTrigger, listed.get());
    reminder->SetPrimaryTrigger(primary.get());
    reminder->SetTriggerList(list.get());
    reminder->SetState(VARIANT_TRUE);
    event->SetContent(content.get());
    event->SetRepeatCount(1);
    event->SetStartDate(date.get());
    event->SetCompleted(VARIANT_FALSE);
    event->SetEventType(kEventTypeReminder);
    event->SetReminder(reminder.get());

    ComPtr<IxEventService> service;
    Util::Service::GetService(SID_EventService, service.put_void());
    ASSERT_TRUE(service);
    UniqueBstr id;
    ASSERT_EQ(S_OK, service->AddEvent(line.get(), date.get(), kRecurDaily, event.get(), id.put()));
    ASSERT_FALSE(id.empty());

    ComPtr<IxEventList> day;
    ASSERT_EQ(S_OK, service->GetEventsOfDay(Bstr(L"2026-08-20").get(), day.put()));
    LONG count = 0;
    day->GetCount(&count);
    ASSERT_EQ(1, count);
    ComPtr<IxEvent> stored;
    day->GetItem(0, IID_IxEvent, stored.put_void());
    ASSERT_TRUE(stored);
    UniqueBstr storedId;
    stored->GetId(storedId.put());
    EXPECT_EQ(id.str(), storedId.str());
    LONG type = 0;
    stored->GetEventType(&type);
    EXPECT_EQ(kEventTypeReminder, type);
    ComPtr<IxEventList> nextDay;
    ASSERT_EQ(S_OK, service->GetEventsOfDay(Bstr(L"2026-08-21").get(), nextDay.put()));
    nextDay->GetCount(&count);
    EXPECT_EQ(0, count) << "a one-time event";
}
