// The timetable tools: the upload's rules one by one (tables of uploads,
// each rule's boundaries on both sides, wrong JSON types, missing members,
// members that disagree), what the upload hands to the host, and the four
// tools against a timetable service of the test's own that can hold two
// timetables of one name, odd results and failing operations.
#include <map>
#include <string>
#include <vector>

#include "AiMcpEnvelope.h"
#include "AiMcpTimetableTools.h"
#include "AiMcpTimetableUpload.h"
#include "AiMcpText.h"
#include "AiMcpWritePath.h"
#include "CallRecorder.h"
#include "WritesTestHost.h"

namespace {

using writetest::Error;
using writetest::Ok;
using writetest::WriteHost;

// ---- The upload ------------------------------------------------------------

std::wstring Refusal(const std::wstring& params)
{
    TimetableUpload upload;
    std::wstring message;
    if (BuildTimetableContent(params, upload, message)) return L"<accepted> " + upload.content;
    return message;
}

const wchar_t kPeriod[] = L"{\"order\":0,\"start_hour\":8,\"start_minute\":0,\"end_hour\":8,\"end_minute\":45}";
const wchar_t kLesson[] = L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1}";

// A name and one member.
std::wstring With(const std::wstring& members)
{
    return L"{\"name\":\"3B\"," + members + L"}";
}
std::wstring Times(const std::wstring& item)
{
    return With(L"\"times\":[" + item + L"]");
}
std::wstring Lessons(const std::wstring& item)
{
    return With(L"\"lessons\":[" + item + L"]");
}

TEST(TimetableUpload, EachRuleRefusesWithTheMemberItNames)
{
    const std::wstring weekCount = L"\"week_count\" must be an integer from 1 to 60";
    const std::wstring weeks = L"\"weeks\" must be empty or comma-separated non-negative integers, for example \"0,1,2\"";
    const struct {
        std::wstring params, message;
    } cases[] = {
        {L"", L"malformed request: \"params\" must be an object"},
        {L"[1]", L"malformed request: \"params\" must be an object"},
        {L"{}", L"timetable name is required; ask the user when the source has no name"},
        {L"{\"name\":5}", L"timetable name is required; ask the user when the source has no name"},
        {L"{\"name\":\" \\t\\n \"}", L"timetable name is required; ask the user when the source has no name"},
        {With(L"\"week_count\":0"), weekCount},
        {With(L"\"week_count\":61"), weekCount},
        {With(L"\"week_count\":2.5"), weekCount},
        {With(L"\"week_count\":\"12\""), weekCount},
        {With(L"\"week_count\":null"), weekCount},
        {With(L"\"week_count\":1e300"), weekCount},
        {With(L"\"week_count\":0,\"count_class_day\":0"), weekCount},  // checked in their order
        {With(L"\"count_class_day\":0"), L"\"count_class_day\" must be an integer from 1 to 100"},
        {With(L"\"count_class_day\":101"), L"\"count_class_day\" must be an integer from 1 to 100"},
        {With(L"\"count_class_am\":-1"), L"\"count_class_am\" must be an integer from 0 to 100"},
        {With(L"\"class_time_long\":0"), L"\"class_time_long\" must be an integer from 1 to 1440"},
        {With(L"\"class_time_long\":1441"), L"\"class_time_long\" must be an integer from 1 to 1440"},
        {With(L"\"break_time_long\":-1"), L"\"break_time_long\" must be an integer from 0 to 1440"},
        {With(L"\"start_am_hour\":24"), L"\"start_am_hour\" must be an integer from 0 to 23"},
        {With(L"\"start_am_minute\":60"), L"\"start_am_minute\" must be an integer from 0 to 59"},
        {With(L"\"start_pm_hour\":-1"), L"\"start_pm_hour\" must be an integer from 0 to 23"},
        {With(L"\"start_pm_minute\":59.5"), L"\"start_pm_minute\" must be an integer from 0 to 59"},
        {With(L"\"start_date\":\"2026/09/01\""), L"\"start_date\" must match YYYY-MM-DD"},
        {With(L"\"start_date\":\"2026-9-01\""), L"\"start_date\" must match YYYY-MM-DD"},
        {With(L"\"start_date\":20260901"), L"\"start_date\" must match YYYY-MM-DD"},
        {With(L"\"hide_weekend\":\"true\""), L"\"hide_weekend\" has the wrong JSON type"},
        {With(L"\"count_class_day\":4,\"count_class_am\":5"),
         L"\"count_class_am\" (5) must not be more than \"count_class_day\" (4)"},
        {With(L"\"times\":{}"), L"\"times\" must be an array"},
        {With(L"\"lessons\":\"Maths\""), L"\"lessons\" must be an array"},
        {Times(L"1"), L"every \"times\" item must be an object"},
        {Times(L"{}"), L"\"order\" is required"},
        {Times(L"{\"order\":-1,\"start_hour\":8,\"start_minute\":0,\"end_hour\":9,\"end_minute\":0}"),
         L"\"order\" must be a non-negative integer"},
        {Times(L"{\"order\":2147483648,\"start_hour\":8,\"start_minute\":0,\"end_hour\":9,\"end_minute\":0}"),
         L"\"order\" must be a non-negative integer"},
        {Times(L"{\"order\":0,\"start_hour\":24,\"start_minute\":0,\"end_hour\":9,\"end_minute\":0}"),
         L"\"start_hour\" must be an integer from 0 to 23"},
        {Times(L"{\"order\":0,\"start_hour\":8,\"start_minute\":0,\"end_hour\":9}"), L"\"end_minute\" is required"},
        {Times(L"{\"order\":0,\"start_hour\":8,\"start_minute\":0,\"end_hour\":9,\"end_minute\":\"00\"}"),
         L"\"end_minute\" must be an integer from 0 to 59"},
        {Lessons(L"[]"), L"every \"lessons\" item must be an object"},
        {Lessons(L"{\"name\":5,\"order\":0,\"weekday\":1}"), L"\"name\" must be a string"},
        {Lessons(L"{\"name\":\"Maths\",\"teacher\":7,\"order\":0,\"weekday\":1}"), L"\"teacher\" must be a string"},
        {Lessons(L"{\"name\":\"Maths\",\"location\":{},\"order\":0,\"weekday\":1}"), L"\"location\" must be a string"},
        {Lessons(L"{\"name\":\"Maths\",\"weeks\":[0,1],\"order\":0,\"weekday\":1}"), L"\"weeks\" must be a string"},
        {Lessons(L"{\"name\":\"   \",\"order\":0,\"weekday\":1}"), L"\"name\" is required"},
        {Lessons(L"{\"order\":0,\"weekday\":1}"), L"\"name\" is required"},
        {Lessons(L"{\"name\":\"Maths\",\"weekday\":1}"), L"\"order\" is required"},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0}"), L"\"weekday\" is required"},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":0}"), L"\"weekday\" must be an integer from 1 to 7"},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":8}"), L"\"weekday\" must be an integer from 1 to 7"},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"period_mode\":4}"),
         L"\"period_mode\" must be an integer from 0 to 3"},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"0,,1\"}"), weeks},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\",0\"}"), weeks},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"0,\"}"), weeks},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"0, 1\"}"), weeks},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"-1\"}"), weeks},
        {Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"1-3\"}"), weeks},
        // "times" is checked before "lessons", and both before the default flag.
        {With(L"\"lessons\":[1],\"times\":[1]"), L"every \"times\" item must be an object"},
        {With(L"\"lessons\":[1],\"set_as_default\":\"yes\""), L"every \"lessons\" item must be an object"},
        {With(L"\"set_as_default\":\"true\""), L"\"set_as_default\" must be true or false"},
        // Members that disagree.
        {With(L"\"times\":[" + std::wstring(kPeriod) + L"," + kPeriod + L"]"),
         L"\"times\" has more than one item with \"order\" 0"},
        {Times(L"{\"order\":3,\"start_hour\":9,\"start_minute\":30,\"end_hour\":9,\"end_minute\":30}"),
         L"the \"times\" item with \"order\" 3 must end after it starts"},
        {With(L"\"count_class_day\":8,\"times\":[{\"order\":8,\"start_hour\":16,\"start_minute\":0,\"end_hour\":16,"
              L"\"end_minute\":45}]"),
         L"the \"times\" item with \"order\" 8 lies outside the day's periods: \"order\" counts from 0 and must be "
         L"below \"count_class_day\" (8)"},
        {With(L"\"count_class_day\":8,\"lessons\":[{\"name\":\"PE\",\"order\":8,\"weekday\":5}]"),
         L"the \"lessons\" item \"PE\" has \"order\" 8, outside the day's periods: \"order\" counts from 0 and must "
         L"be below \"count_class_day\" (8)"},
        {With(L"\"week_count\":20,\"lessons\":[{\"name\":\"Art\",\"order\":1,\"weekday\":2,\"weeks\":\"0,19,20\"}]"),
         L"the \"lessons\" item \"Art\" has week 20 in \"weeks\", outside the term: weeks count from 0 and must be "
         L"below \"week_count\" (20)"},
    };
    for (const auto& c : cases) EXPECT_EQ(Refusal(c.params), c.message) << testing::PrintToString(c.params);
}

TEST(TimetableUpload, BoundariesInsideTheRangesAreTaken)
{
    const std::wstring accepted[] = {
        With(L"\"week_count\":1"),
        With(L"\"week_count\":60"),
        With(L"\"week_count\":60.0"),
        With(L"\"count_class_day\":100,\"count_class_am\":100"),
        With(L"\"count_class_am\":0,\"break_time_long\":0,\"class_time_long\":1440"),
        With(L"\"start_am_hour\":0,\"start_am_minute\":0,\"start_pm_hour\":23,\"start_pm_minute\":59"),
        With(L"\"start_date\":\"2026-13-45\""),  // the shape alone is checked
        With(L"\"hide_weekend\":false,\"set_as_default\":false"),
        Times(L"{\"order\":2147483647,\"start_hour\":0,\"start_minute\":0,\"end_hour\":23,\"end_minute\":59}"),
        Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":7,\"period_mode\":0,\"weeks\":\"\"}"),
        Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"period_mode\":3,\"weeks\":\"0\"}"),
        Lessons(L"{\"name\":\"Maths\",\"order\":0,\"weekday\":1,\"weeks\":\"0,1,2,99999999999\"}"),
        With(L"\"week_count\":20,\"lessons\":[{\"name\":\"Art\",\"order\":7,\"weekday\":2,\"weeks\":\"19\"}],"
             L"\"count_class_day\":8"),
    };
    for (const std::wstring& params : accepted)
        EXPECT_EQ(Refusal(params).rfind(L"<accepted> ", 0), 0u) << testing::PrintToString(params);
}

TEST(TimetableUpload, BuildsTheObjectTheHostStores)
{
    TimetableUpload upload;
    std::wstring message;
    ASSERT_TRUE(BuildTimetableContent(L"{\"name\":\"  Class 3B\\t\"}", upload, message)) << message;
    EXPECT_EQ(upload.content, L"{\"lessons\":[],\"name\":\"Class 3B\",\"times\":[]}");
    EXPECT_EQ(upload.name, L"Class 3B");
    EXPECT_FALSE(upload.setAsDefault);

    ASSERT_TRUE(BuildTimetableContent(
        L"{\"school\":\"dropped\",\"set_as_default\":true,\"week_count\":18.0,\"name\":\"\u4e09\u5e74\u7ea7 \U0001F4DA\","
        L"\"hide_weekend\":true,\"start_date\":\"2026-09-01\",\"count_class_day\":2,"
        L"\"times\":[{\"order\":1,\"start_hour\":9,\"start_minute\":0,\"end_hour\":9,\"end_minute\":45,\"label\":\"kept\"}],"
        L"\"lessons\":[{\"name\":\"  Maths \",\"order\":1,\"weekday\":3,\"teacher\":\"Ms Li\",\"room_color\":\"red\"}]}",
        upload, message))
        << message;
    EXPECT_EQ(upload.content,
              L"{\"count_class_day\":2,\"hide_weekend\":true,\"lessons\":[{\"name\":\"  Maths \",\"order\":1,"
              L"\"room_color\":\"red\",\"teacher\":\"Ms Li\",\"weekday\":3}],\"name\":\"\\u4E09\\u5E74\\u7EA7 "
              L"\\uD83D\\uDCDA\",\"start_date\":\"2026-09-01\",\"times\":[{\"end_hour\":9,\"end_minute\":45,"
              L"\"label\":\"kept\",\"order\":1,\"start_hour\":9,\"start_minute\":0}],\"week_count\":18}");
    EXPECT_EQ(upload.name, L"\u4e09\u5e74\u7ea7 \U0001F4DA");
    EXPECT_TRUE(upload.setAsDefault);

    // A large but well-formed upload goes through whole.
    std::wstring lessons;
    for (int i = 0; i < 700; ++i) {
        if (i) lessons += L",";
        lessons += L"{\"name\":\"L" + std::to_wstring(i) + L"\",\"order\":" + std::to_wstring(i % 10) +
                   L",\"weekday\":" + std::to_wstring(i % 7 + 1) + L"}";
    }
    ASSERT_TRUE(BuildTimetableContent(L"{\"name\":\"Big\",\"lessons\":[" + lessons + L"]}", upload, message)) << message;
    EXPECT_NE(upload.content.find(L"\"name\":\"L699\""), std::wstring::npos);
}

// ---- The tools against a timetable service ---------------------------------

class FakeLessons final : public devhost::ComObject<IxLessonCollection, IID_IUnknown> {
public:
    explicit FakeLessons(ULONG count) : count_(count) {}
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) noexcept override
    {
        *count = count_;
        return S_OK;
    }

private:
    ULONG count_;
};

struct StoredTimetable {
    std::wstring content;
    bool isDefault = false;
};

class FakeTimetable final : public devhost::ComObject<IxTimetable, IID_IUnknown> {
public:
    FakeTimetable(std::wstring id, const StoredTimetable& stored) : id_(std::move(id)), stored_(stored) {}
    HRESULT STDMETHODCALLTYPE GetId(BSTR* id) noexcept override { return Out(id_, id); }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) noexcept override { return Out(Member(L"name"), name); }
    HRESULT STDMETHODCALLTYPE GetIsDefault(VARIANT_BOOL* isDefault) noexcept override
    {
        *isDefault = stored_.isDefault ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStartDate(BSTR* date) noexcept override { return Out(Member(L"start_date"), date); }
    HRESULT STDMETHODCALLTYPE GetWeekCount(LONG* weeks) noexcept override
    {
        std::wstring text = Member(L"week_count");
        *weeks = text.empty() ? 0 : std::stol(text);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLessons(IxLessonCollection** lessons) noexcept override
    {
        const auto root = JsonValue::Parse(stored_.content);
        const JsonValue* items = root ? root->GetMember(L"lessons") : nullptr;
        if (items) *lessons = new FakeLessons(static_cast<ULONG>(items->Items().size()));
        return S_OK;
    }

private:
    static HRESULT Out(const std::wstring& text, BSTR* out)
    {
        *out = devhost::AllocBstr(text);
        return S_OK;
    }
    std::wstring Member(const wchar_t* name) const
    {
        std::wstring value;
        GetStringParam(stored_.content, name, value);
        return value;
    }
    std::wstring id_;
    StoredTimetable stored_;
};

using FakeTimetableList = writetest::FakeIdList<IxTimetableList>;

// Timetables by id; names are read from the contents. "!unreadable" and
// "!gone" in listed stand for entries whose id cannot be read and ids whose
// timetable cannot be had.
class FakeTimetableService final : public devhost::ComObject<IxTimetableService, IID_IxTimetableService> {
public:
    std::map<std::wstring, StoredTimetable> timetables;
    std::vector<std::wstring> extraListed;
    HRESULT listResult = S_OK;
    HRESULT storeResult = S_OK;
    HRESULT deleteResult = S_OK;
    LONG replaceAnswer = -1;  // what the store puts in *replace; -1: what it found itself
    int nextId = 1, stores = 0;
    LONG lastReplaceIn = -1;
    bool lastDefault = false;

    static std::wstring NameOf(const std::wstring& content)
    {
        std::wstring name;
        GetStringParam(content, L"name", name);
        return name;
    }
    void Put(const std::wstring& id, const std::wstring& name, const std::wstring& members = L"")
    {
        timetables[id] = StoredTimetable{L"{\"name\":\"" + name + L"\",\"timetable_id\":\"" + id + L"\"" + members + L"}"};
    }

    HRESULT STDMETHODCALLTYPE DeleteTimetable(BSTR id) noexcept override
    {
        if (deleteResult != S_OK) return deleteResult;
        timetables.erase(devhost::BstrText(id));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTimetable(BSTR id, IxTimetable** timetable) noexcept override
    {
        const auto found = timetables.find(devhost::BstrText(id));
        if (found == timetables.end()) return E_FAIL;
        *timetable = new FakeTimetable(found->first, found->second);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTimetableList(IxTimetableList** list) noexcept override
    {
        if (listResult != S_OK) return listResult;
        std::vector<std::wstring> ids = extraListed;
        for (const auto& t : timetables) ids.push_back(t.first);
        *list = new FakeTimetableList(ids);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindTimetableByName(BSTR name, LONG* count, BSTR* content) noexcept override
    {
        std::vector<const StoredTimetable*> matches;
        for (const auto& t : timetables)
            if (NameOf(t.second.content) == devhost::BstrText(name)) matches.push_back(&t.second);
        *count = static_cast<LONG>(matches.size());
        if (matches.size() == 1) *content = devhost::AllocBstr(matches[0]->content);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTimetableContent(BSTR id, BSTR* content) noexcept override
    {
        const auto found = timetables.find(devhost::BstrText(id));
        if (found == timetables.end()) return E_FAIL;
        *content = devhost::AllocBstr(found->second.content);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StoreTimetable(BSTR content, VARIANT_BOOL setAsDefault, LONG* replace,
                                             BSTR* timetableId) noexcept override
    {
        ++stores;
        lastReplaceIn = *replace;
        lastDefault = setAsDefault == VARIANT_TRUE;
        if (storeResult != S_OK) {
            *timetableId = devhost::AllocBstr(L"tt-failed");
            return storeResult;
        }
        std::wstring id;
        for (const auto& t : timetables)
            if (NameOf(t.second.content) == NameOf(devhost::BstrText(content))) id = t.first;
        *replace = id.empty() ? 0 : 1;
        while (id.empty() || (*replace == 0 && timetables.count(id))) {
            id = L"tt-" + std::to_wstring(nextId++);
            *replace = 0;
        }
        if (replaceAnswer >= 0) *replace = replaceAnswer;
        std::wstring stored = devhost::BstrText(content);
        stored.insert(stored.size() - 1, L",\"timetable_id\":\"" + id + L"\"");
        timetables[id] = StoredTimetable{stored, lastDefault};
        *timetableId = devhost::AllocBstr(id);
        return S_OK;
    }
};

class TimetableTools : public WriteHost {
protected:
    ComPtr<FakeTimetableService> service;

    void SetUp() override
    {
        WriteHost::SetUp();
        service = ComPtr<FakeTimetableService>::Attach(new FakeTimetableService());
        DevHost::SetService(SID_TimetableService, service.get());
        SetTrusted(true);
    }
    void TearDown() override
    {
        DevHost::SetService(SID_TimetableService, nullptr);
        WriteHost::TearDown();
    }

    static std::wstring Write(AiMcpWriteKind kind, const std::wstring& params, const std::wstring& id = L"1")
    {
        return TimetableWriteEntry(id, params, kind);
    }
    static std::wstring Upsert(const std::wstring& params) { return Write(AiMcpWriteKind::TimetableUpsert, params); }
    static std::wstring Delete(const std::wstring& params) { return Write(AiMcpWriteKind::TimetableDelete, params); }
};

TEST_F(TimetableTools, ListSummarisesEachTimetableItCanRead)
{
    EXPECT_EQ(TimetableList(L"1"), Ok(L"{\"timetables\":[]}"));
    service->Put(L"tt-1", L"Class 3B", L",\"start_date\":\"2026-09-01\",\"week_count\":20,\"lessons\":[{},{}]");
    service->timetables[L"tt-1"].isDefault = true;
    service->Put(L"tt-2", L"\u79cb\u5b63 \\\"B\\\"");
    service->extraListed = {L"!unreadable", L"!gone"};
    EXPECT_EQ(TimetableList(L"1"),
              Ok(L"{\"timetables\":[{\"id\":\"tt-1\",\"name\":\"Class 3B\",\"is_default\":true,\"start_date\":"
                 L"\"2026-09-01\",\"week_count\":20,\"lesson_count\":2},{\"id\":\"tt-2\",\"name\":\"\u79cb\u5b63 "
                 L"\\\"B\\\"\",\"is_default\":false,\"start_date\":\"\",\"week_count\":0,\"lesson_count\":0}]}"));

    service->listResult = S_FALSE;  // no timetables
    EXPECT_EQ(TimetableList(L"1"), Ok(L"{\"timetables\":[]}"));
    service->listResult = E_FAIL;
    EXPECT_EQ(TimetableList(L"1"), Error(L"INTERNAL", L"the timetable service could not list timetables"));
    service->listResult = S_OK;

    // A list that does not fit is refused, never cut short.
    for (int i = 0; i < 600; ++i) service->Put(L"t" + std::to_wstring(i), std::wstring(100, L'n'));
    EXPECT_EQ(TimetableList(L"1"), Error(L"INVALID_PARAMS", L"the timetable list is too large for one AI MCP response"));
    DevHost::SetService(SID_TimetableService, nullptr);
    EXPECT_EQ(TimetableList(L"1"), Error(L"INTERNAL", L"the timetable service is not available"));
}

TEST_F(TimetableTools, GetFindsByIdOrElseByName)
{
    service->Put(L"tt-1", L"Class 3B", L",\"times\":[]");
    service->Put(L"tt-2", L"Twin");
    service->Put(L"tt-3", L"Twin");
    service->timetables[L"tt-4"] = StoredTimetable{L"not json"};
    service->timetables[L"tt-5"] = StoredTimetable{L"{\"name\":\"Huge\",\"pad\":\"" + std::wstring(61440, L'x') + L"\"}"};
    const std::wstring first = L"{\"name\":\"Class 3B\",\"timetable_id\":\"tt-1\",\"times\":[]}";
    const struct {
        std::wstring params, answer;
    } cases[] = {
        {L"{\"id\":\"tt-1\"}", Ok(L"{\"timetable\":" + first + L"}")},
        {L"{\"name\":\"  Class 3B \"}", Ok(L"{\"timetable\":" + first + L"}")},
        {L"{\"id\":\"tt-1\",\"name\":\"Twin\"}", Ok(L"{\"timetable\":" + first + L"}")},  // the id wins
        {L"{\"id\":\"tt-2\"}", Ok(L"{\"timetable\":{\"name\":\"Twin\",\"timetable_id\":\"tt-2\"}}")},
        {L"{\"name\":\"Twin\"}", Error(L"INVALID_PARAMS", L"more than one local timetable has that name; use an id")},
        {L"{\"id\":\"tt-9\",\"name\":\"Class 3B\"}", Error(L"NOT_FOUND", L"no local timetable with that id")},
        {L"{\"name\":\"Nope\"}", Error(L"NOT_FOUND", L"no local timetable with that name")},
        {L"{\"id\":\"\",\"name\":\"  \"}",
         Error(L"INVALID_PARAMS", L"malformed request: \\\"params\\\" needs an \\\"id\\\" or \\\"name\\\" string")},
        {L"{\"id\":\"tt-4\"}", Error(L"INTERNAL", L"the timetable service returned invalid content")},
        {L"{\"id\":\"tt-5\"}", Error(L"INVALID_PARAMS", L"the timetable is too large for one AI MCP response")},
    };
    for (const auto& c : cases) EXPECT_EQ(TimetableGet(L"1", c.params), c.answer) << testing::PrintToString(c.params);
}

TEST_F(TimetableTools, UpsertCreatesOrReplacesByName)
{
    EXPECT_EQ(Upsert(L"{\"name\":\" Class 3B \",\"week_count\":20,\"set_as_default\":true}"),
              Ok(L"{\"status\":\"ok\",\"id\":\"tt-1\",\"action\":\"created\"}"));
    EXPECT_EQ(service->lastReplaceIn, 0);
    EXPECT_TRUE(service->lastDefault);
    EXPECT_EQ(service->timetables[L"tt-1"].content,
              L"{\"lessons\":[],\"name\":\"Class 3B\",\"times\":[],\"week_count\":20,\"timetable_id\":\"tt-1\"}");

    EXPECT_EQ(Upsert(L"{\"name\":\"Class 3B\",\"week_count\":18}"),
              Ok(L"{\"status\":\"ok\",\"id\":\"tt-1\",\"action\":\"replaced\"}"));
    EXPECT_EQ(service->lastReplaceIn, 1);
    EXPECT_FALSE(service->lastDefault);
    EXPECT_NE(service->timetables[L"tt-1"].content.find(L"\"week_count\":18"), std::wstring::npos);

    // The store has the last word on whether it replaced.
    service->replaceAnswer = 0;
    EXPECT_EQ(Upsert(L"{\"name\":\"Class 3B\"}"), Ok(L"{\"status\":\"ok\",\"id\":\"tt-1\",\"action\":\"created\"}"));
    EXPECT_EQ(Used(L"events"), 3);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "timetable_upsert\tid=tt-1\ttrust=1\tok\tClass 3B",
                                "timetable_upsert\tid=tt-1\ttrust=1\tok\tClass 3B",
                                "timetable_upsert\tid=tt-1\ttrust=1\tok\tClass 3B",
                            }));
}

TEST_F(TimetableTools, RefusedUploadsReachNoStore)
{
    service->Put(L"tt-1", L"Twin");
    service->Put(L"tt-2", L"Twin");
    const std::wstring big = L"{\"name\":\"Big\",\"lessons\":[{\"name\":\"" + std::wstring(59400, L'x') +
                             L"\",\"order\":0,\"weekday\":1}]}";
    const struct {
        std::wstring params, code, message;
    } cases[] = {
        {L"{\"name\":\"Twin\"}", L"INVALID_PARAMS",
         L"more than one local timetable has that name; resolve duplicates first"},
        {L"{\"week_count\":3}", L"INVALID_PARAMS", L"timetable name is required; ask the user when the source has no name"},
        {L"{\"name\":\"A\",\"lessons\":[{\"name\":\"Maths\",\"order\":0,\"weekday\":9}]}", L"INVALID_PARAMS",
         L"\"weekday\" must be an integer from 1 to 7"},
        {big, L"INVALID_PARAMS", L"the timetable content is too large for one AI MCP request"},
    };
    for (bool trusted : {false, true}) {
        SetTrusted(trusted);
        for (const auto& c : cases)
            EXPECT_EQ(Upsert(c.params), Error(c.code, EscapeJsonString(c.message))) << testing::PrintToString(c.params.substr(0, 60));
    }
    EXPECT_EQ(service->stores, 0);
    EXPECT_EQ(service->timetables.size(), 2u);
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
    EXPECT_EQ(Used(L"events"), 0);
    EXPECT_EQ(AuditLines().size(), 8u);

    // Both twins can still be read and removed by id.
    EXPECT_EQ(Delete(L"{\"name\":\"Twin\"}"),
              Error(L"INVALID_PARAMS", L"more than one local timetable has that name; use an id"));
    EXPECT_EQ(Delete(L"{\"id\":\"tt-2\",\"name\":\"Twin\"}"), Ok(L"{\"status\":\"ok\"}"));
    EXPECT_EQ(service->timetables.count(L"tt-2"), 0u);
}

TEST_F(TimetableTools, DeleteByIdOrNameAndItsFailures)
{
    service->Put(L"tt-1", L"Class 3B");
    service->Put(L"tt-2", L"Class 4A");
    EXPECT_EQ(Delete(L"{\"name\":\"Class 3B\"}"), Ok(L"{\"status\":\"ok\"}"));
    EXPECT_EQ(Delete(L"{\"id\":\"tt-1\"}"), Error(L"NOT_FOUND", L"no local timetable with that id"));
    EXPECT_EQ(Delete(L"{\"name\":\"Class 3B\"}"), Error(L"NOT_FOUND", L"no local timetable with that name"));
    EXPECT_EQ(Delete(L"{}"),
              Error(L"INVALID_PARAMS", L"malformed request: \\\"params\\\" needs an \\\"id\\\" or \\\"name\\\" string"));
    service->deleteResult = S_FALSE;
    EXPECT_EQ(Delete(L"{\"id\":\"tt-2\"}"),
              Error(L"INTERNAL", L"the timetable service could not delete the timetable"));
    service->storeResult = E_FAIL;
    EXPECT_EQ(Upsert(L"{\"name\":\"New\"}"),
              Error(L"INTERNAL", L"the timetable service could not store the timetable"));
    EXPECT_EQ(service->timetables.count(L"tt-2"), 1u);
    EXPECT_EQ(Used(L"events"), 1);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "timetable_delete\tid=tt-1\ttrust=1\tok\tClass 3B",
                                "timetable_delete\tid=tt-1\ttrust=0\terror\tno local timetable with that id",
                                "timetable_delete\tid=\ttrust=0\terror\tno local timetable with that name",
                                "timetable_delete\tid=\ttrust=0\terror\tmalformed request: \"params\" needs an \"id\" or \"name\" string",
                                "timetable_delete\tid=tt-2\ttrust=1\terror\tthe timetable service could not delete the timetable",
                                "timetable_upsert\tid=tt-failed\ttrust=1\terror\tthe timetable service could not store the timetable",
                            }));
}

TEST_F(TimetableTools, ParkedWritesShowTheirSummaryAndWaitForAcceptance)
{
    SetTrusted(false);
    service->Put(L"tt-1", L"Class 3B");
    std::wstring parked = Upsert(L"{\"name\":\"Class 3B\",\"week_count\":12}");
    EXPECT_NE(parked.find(L"\"summary\":{\"op\":\"timetable_upsert\",\"name\":\"Class 3B\",\"action\":\"replaced\"}"),
              std::wstring::npos)
        << parked;
    EXPECT_EQ(EventConfirm(L"2", L"{\"confirm_token\":\"" + TokenOf(parked) + L"\",\"accept\":false}"),
              Ok(L"{\"status\":\"cancelled\"}", L"2"));
    EXPECT_EQ(service->stores, 0);

    parked = Upsert(L"{\"name\":\"Class 4A\"}");
    EXPECT_NE(parked.find(L"\"action\":\"created\"}"), std::wstring::npos) << parked;
    EXPECT_EQ(EventConfirm(L"3", L"{\"confirm_token\":\"" + TokenOf(parked) + L"\",\"accept\":true}"),
              Ok(L"{\"status\":\"ok\",\"id\":\"tt-2\",\"action\":\"created\"}", L"3"));
    EXPECT_EQ(service->timetables.size(), 2u);

    // A parked delete whose timetable is gone by then.
    parked = Delete(L"{\"name\":\"Class 4A\"}");
    EXPECT_NE(parked.find(L"\"summary\":{\"op\":\"timetable_delete\",\"name\":\"Class 4A\",\"action\":\"delete\"}"),
              std::wstring::npos)
        << parked;
    service->timetables.erase(L"tt-2");
    EXPECT_EQ(EventConfirm(L"4", L"{\"confirm_token\":\"" + TokenOf(parked) + L"\",\"accept\":true}"),
              Error(L"NOT_FOUND", L"no local timetable with that id", L"4"));
    EXPECT_EQ(Used(L"events"), 1);
}

}  // namespace
