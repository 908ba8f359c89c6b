// The stand-in timetable service: storing an upload as a new timetable or in
// place of the one of that name, finding by name, the snapshot object, the
// default timetable, contents that come back byte for byte after a restart,
// refused contents, the fault switch, and files of another layout.

#include <gtest/gtest.h>

#include <algorithm>

#include "ServiceTestSupport.h"
#include "TimetableServices.h"

using devhost::DataFolder;
using devhost::TimetableRecord;
using devhost::TimetableService;
using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

struct Stored {
    HRESULT hr = E_UNEXPECTED;
    LONG replace = 0;
    std::wstring id;
    bool idHandedOut = false;
};

struct Snapshot {
    std::wstring id, name, startDate;
    VARIANT_BOOL isDefault = 0x55;
    LONG weekCount = -1;
    bool hasLessons = false;
    ULONG lessonCount = 0;
};

class TimetableServicesTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open()
    {
        service.reset();
        ASSERT_EQ(S_OK, TimetableService::Create(DataFolder(temp.Path()), service));
    }

    Stored Store(const std::wstring& content, VARIANT_BOOL setAsDefault = VARIANT_FALSE, LONG replaceIn = 0)
    {
        Stored result;
        result.replace = replaceIn;
        UniqueBstr id;
        result.hr = service->StoreTimetable(Bstr(content).get(), setAsDefault, &result.replace, id.put());
        result.idHandedOut = id.get() != nullptr;
        result.id = id.str();
        return result;
    }

    // Adds through the C++ side, which never replaces.
    std::wstring Add(const std::wstring& content, bool isDefault = false)
    {
        TimetableRecord record;
        record.content = content;
        record.isDefault = isDefault;
        EXPECT_EQ(S_OK, service->Add(record)) << content;
        return record.id;
    }

    std::wstring Content(const std::wstring& id)
    {
        UniqueBstr content;
        EXPECT_EQ(S_OK, service->GetTimetableContent(Bstr(id).get(), content.put())) << id;
        return content.str();
    }

    std::vector<std::wstring> Listed()
    {
        ComPtr<IxTimetableList> list;
        EXPECT_EQ(S_OK, service->GetTimetableList(list.put()));
        return servicetest::ListedIds(list.get());
    }

    // The timetable read through IxTimetable, as the plug-in reads it.
    Snapshot Read(const std::wstring& id)
    {
        Snapshot read;
        ComPtr<IxTimetable> timetable;
        EXPECT_EQ(S_OK, service->GetTimetable(Bstr(id).get(), timetable.put())) << id;
        if (!timetable) return read;
        UniqueBstr readId, name, startDate;
        EXPECT_EQ(S_OK, timetable->GetId(readId.put()));
        EXPECT_EQ(S_OK, timetable->GetName(name.put()));
        EXPECT_EQ(S_OK, timetable->GetStartDate(startDate.put()));
        EXPECT_EQ(S_OK, timetable->GetIsDefault(&read.isDefault));
        EXPECT_EQ(S_OK, timetable->GetWeekCount(&read.weekCount));
        ComPtr<IxLessonCollection> lessons;
        EXPECT_EQ(S_OK, timetable->GetLessons(lessons.put()));
        read.hasLessons = static_cast<bool>(lessons);
        if (lessons) {
            EXPECT_EQ(S_OK, lessons->GetCount(&read.lessonCount));
        }
        read.id = readId.str();
        read.name = name.str();
        read.startDate = startDate.str();
        return read;
    }

    // The ids whose snapshot says they are the default.
    std::vector<std::wstring> Defaults()
    {
        std::vector<std::wstring> ids;
        for (const std::wstring& id : Listed()) {
            const VARIANT_BOOL isDefault = Read(id).isDefault;
            EXPECT_TRUE(isDefault == VARIANT_TRUE || isDefault == VARIANT_FALSE) << id;
            if (isDefault == VARIANT_TRUE) ids.push_back(id);
        }
        return ids;
    }

    std::wstring File() const { return temp.PathOf(TimetableService::kFileName); }

    TempFolder temp;
    ComPtr<TimetableService> service;
};

using Ids = std::vector<std::wstring>;

}  // namespace

TEST_F(TimetableServicesTest, StoreCreatesOrReplacesTheTimetableOfThatName)
{
    EXPECT_TRUE(Listed().empty());
    // The replace flag goes in as the caller guessed; the service sets it.
    const Stored first = Store(LR"({"name":"Class 3B","week_count":20,"extra":{"b":[1,true,null],"a":"x"},)"
                               LR"("lessons":[{"name":"Maths","weekday":1,"order":0}]})",
                               VARIANT_FALSE, 1);
    ASSERT_EQ(S_OK, first.hr);
    EXPECT_EQ(L"tt-1", first.id);
    EXPECT_EQ(0, first.replace);
    EXPECT_EQ(LR"({"extra":{"a":"x","b":[1,true,null]},"lessons":[{"name":"Maths","order":0,"weekday":1}],)"
              LR"("name":"Class 3B","timetable_id":"tt-1","week_count":20})",
              Content(L"tt-1"));

    const Stored other = Store(LR"({"name":"Class 3C"})", VARIANT_FALSE, 7);
    EXPECT_EQ(L"tt-2", other.id);
    EXPECT_EQ(0, other.replace);

    // Same name: the whole content is replaced under the same id, whatever
    // "timetable_id" the upload carried.
    const Stored again = Store(LR"({"name":"Class 3B","timetable_id":"tt-9","hide_weekend":true})");
    ASSERT_EQ(S_OK, again.hr);
    EXPECT_EQ(L"tt-1", again.id);
    EXPECT_EQ(1, again.replace);
    EXPECT_EQ(LR"({"hide_weekend":true,"name":"Class 3B","timetable_id":"tt-1"})", Content(L"tt-1"));

    // Names are compared exactly.
    EXPECT_EQ(L"tt-3", Store(LR"({"name":"class 3b"})").id);
    EXPECT_EQ(L"tt-4", Store(LR"({"name":"Class 3B "})").id);
    EXPECT_EQ((Ids{L"tt-1", L"tt-2", L"tt-3", L"tt-4"}), Listed()) << "a replaced timetable keeps its place";

    UniqueBstr none;
    EXPECT_EQ(kNotFound, service->GetTimetableContent(Bstr(L"tt-9").get(), none.put()));
    EXPECT_FALSE(none.get());
    EXPECT_EQ(kNotFound, service->GetTimetableContent(nullptr, none.put()));
}

TEST_F(TimetableServicesTest, FindByNameCountsExactMatches)
{
    const std::wstring twin1 = Add(LR"({"name":"Twin","n":1})");
    const std::wstring twin2 = Add(LR"({"name":"Twin","n":2})");
    const std::wstring solo = Add(LR"({"name":"Solo"})");
    const struct {
        const wchar_t* name;
        LONG count;
        std::wstring content;
    } cases[] = {
        {L"Solo", 1, Content(solo)},
        {L"Twin", 2, L""},
        {L"solo", 0, L""},
        {L"", 0, L""},
    };
    for (const auto& c : cases) {
        LONG count = -1;
        UniqueBstr content;
        EXPECT_EQ(S_OK, service->FindTimetableByName(Bstr(c.name).get(), &count, content.put())) << c.name;
        EXPECT_EQ(c.count, count) << c.name;
        EXPECT_EQ(c.content, content.str()) << c.name;
        EXPECT_EQ(c.count == 1, content.get() != nullptr) << c.name;
    }

    // A store by a name two timetables share replaces the first of them.
    const Stored stored = Store(LR"({"name":"Twin","n":3})");
    EXPECT_EQ(twin1, stored.id);
    EXPECT_EQ(1, stored.replace);
    EXPECT_EQ(LR"({"n":2,"name":"Twin","timetable_id":"tt-2"})", Content(twin2));
}

TEST_F(TimetableServicesTest, TheSnapshotReportsTheContentsValues)
{
    const struct {
        const wchar_t* content;
        const wchar_t* startDate;
        LONG weekCount;
        bool hasLessons;
        ULONG lessonCount;
    } cases[] = {
        {LR"({"name":"A","start_date":"2026-02-23","week_count":20,"lessons":[{},{},{}]})", L"2026-02-23", 20, true, 3},
        {LR"({"name":"B"})", L"", 0, false, 0},
        {LR"({"name":"C","start_date":5,"week_count":"20","lessons":{}})", L"", 0, false, 0},
        {LR"({"name":"D","week_count":2.5,"lessons":[]})", L"", 0, true, 0},
        {LR"({"name":"E","week_count":-3,"start_date":""})", L"", -3, false, 0},
    };
    for (const auto& c : cases) {
        const std::wstring id = Add(c.content);
        const Snapshot read = Read(id);
        EXPECT_EQ(id, read.id) << c.content;
        EXPECT_EQ(c.startDate, read.startDate) << c.content;
        EXPECT_EQ(c.weekCount, read.weekCount) << c.content;
        EXPECT_EQ(c.hasLessons, read.hasLessons) << c.content;
        EXPECT_EQ(c.lessonCount, read.lessonCount) << c.content;
    }
    EXPECT_EQ(L"A", Read(L"tt-1").name);
    EXPECT_EQ(VARIANT_TRUE, Read(L"tt-1").isDefault);
    EXPECT_EQ(VARIANT_FALSE, Read(L"tt-2").isDefault);

    // A snapshot keeps what it found.
    ComPtr<IxTimetable> before;
    ASSERT_EQ(S_OK, service->GetTimetable(Bstr(L"tt-1").get(), before.put()));
    ASSERT_EQ(S_OK, Store(LR"({"name":"A","week_count":30})", VARIANT_FALSE).hr);
    LONG weeks = 0;
    EXPECT_EQ(S_OK, before->GetWeekCount(&weeks));
    EXPECT_EQ(20, weeks);
    EXPECT_EQ(30, Read(L"tt-1").weekCount);

    ComPtr<IxTimetable> missing;
    EXPECT_EQ(kNotFound, service->GetTimetable(Bstr(L"tt-99").get(), missing.put()));
    EXPECT_FALSE(missing);
}

TEST_F(TimetableServicesTest, OneDefaultThatMovesOnlyWhenAsked)
{
    // Each step stores (or deletes) and leaves exactly these defaults.
    const struct {
        const wchar_t* name;  // null: delete `id`
        VARIANT_BOOL setAsDefault;
        const wchar_t* id;
        Ids defaults;
    } steps[] = {
        {L"A", VARIANT_FALSE, L"tt-1", {L"tt-1"}},  // the first one becomes the default
        {L"B", VARIANT_FALSE, L"tt-2", {L"tt-1"}},
        {L"C", VARIANT_TRUE, L"tt-3", {L"tt-3"}},
        {L"A", VARIANT_FALSE, L"tt-1", {L"tt-3"}},  // replaced, stays what it was
        {L"C", VARIANT_FALSE, L"tt-3", {L"tt-3"}},
        {L"B", 1, L"tt-2", {L"tt-3"}},              // only VARIANT_TRUE asks
        {L"A", VARIANT_TRUE, L"tt-1", {L"tt-1"}},
        {nullptr, 0, L"tt-1", {L"tt-2"}},           // the first remaining one takes over
        {nullptr, 0, L"tt-3", {L"tt-2"}},
        {nullptr, 0, L"tt-2", {}},
        {L"D", VARIANT_FALSE, L"tt-4", {L"tt-4"}},
    };
    for (const auto& step : steps) {
        if (step.name) {
            const Stored stored = Store(L"{\"name\":\"" + std::wstring(step.name) + L"\"}", step.setAsDefault);
            ASSERT_EQ(S_OK, stored.hr) << step.name;
            EXPECT_EQ(step.id, stored.id) << step.name;
        } else {
            ASSERT_EQ(S_OK, service->DeleteTimetable(Bstr(step.id).get())) << step.id;
        }
        EXPECT_EQ(step.defaults, Defaults()) << (step.name ? step.name : L"delete") << " " << step.id;
    }
    EXPECT_EQ(kNotFound, service->DeleteTimetable(Bstr(L"tt-1").get()));
    EXPECT_EQ(L"tt-5", Store(LR"({"name":"A"})").id) << "ids are not reused after a delete";

    // The C++ side follows the same rule.
    const std::wstring added = Add(LR"({"name":"E"})", true);
    EXPECT_EQ(Ids{added}, Defaults());
    Add(LR"({"name":"F"})", false);
    EXPECT_EQ(Ids{added}, Defaults());
}

TEST_F(TimetableServicesTest, ARestartGivesBackTheContentsExactly)
{
    // CJK, an emoji (a surrogate pair), a lone surrogate, line breaks and
    // characters the writer escapes.
    const std::wstring name = L"\u4E09\u5E74\u7EA7\u4E8C\u73ED \U0001F4DA";
    const std::wstring lesson = std::wstring(L"\u8BED\u6587 \"q\" \\ /\r\n") + L'\xD800';
    JsonValue::ObjectMembers members;
    members.emplace(L"name", JsonValue::MakeString(name));
    JsonValue::ArrayItems lessons;
    JsonValue::ObjectMembers item;
    item.emplace(L"name", JsonValue::MakeString(lesson));
    lessons.push_back(JsonValue::MakeObject(std::move(item)));
    members.emplace(L"lessons", JsonValue::MakeArray(std::move(lessons)));
    const std::wstring upload = JsonValue::MakeObject(std::move(members))->Serialize();

    ASSERT_EQ(S_OK, Store(LR"({"name":"plain"})").hr);
    const Stored mixed = Store(upload, VARIANT_TRUE);
    ASSERT_EQ(S_OK, mixed.hr);
    ASSERT_EQ(S_OK, Store(LR"({"name":"gone"})").hr);
    ASSERT_EQ(S_OK, service->DeleteTimetable(Bstr(L"tt-3").get()));
    const std::wstring content = Content(mixed.id);

    // The file has the documented layout and is plain ASCII.
    const std::string bytes = servicetest::ReadBytes(File());
    EXPECT_EQ(0u, bytes.find("{\"nextId\":4,\"timetables\":[{\"content\":{\"name\":\"plain\",\"timetable_id\":\"tt-1\"},"
                             "\"default\":false,\"id\":\"tt-1\"},{\"content\":{"))
        << bytes.substr(0, 200);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7F; }));

    Open();
    EXPECT_EQ((Ids{L"tt-1", mixed.id}), Listed());
    EXPECT_EQ(content, Content(mixed.id));
    const JsonValue::Ptr parsed = JsonValue::Parse(content);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(lesson, parsed->GetMember(L"lessons")->Items()[0]->GetMember(L"name")->StringValue());
    EXPECT_EQ(name, Read(mixed.id).name);
    EXPECT_EQ(Ids{mixed.id}, Defaults());
    LONG count = 0;
    UniqueBstr found;
    ASSERT_EQ(S_OK, service->FindTimetableByName(Bstr(name).get(), &count, found.put()));
    EXPECT_EQ(1, count);
    EXPECT_EQ(content, found.str());
    EXPECT_EQ(L"tt-4", Store(LR"({"name":"after the restart"})").id);
}

TEST_F(TimetableServicesTest, RefusedContentStoresNothing)
{
    ASSERT_EQ(S_OK, Store(LR"({"name":"kept"})").hr);
    const std::string before = servicetest::ReadBytes(File());
    std::wstring deep = LR"({"name":"deep","x":)";
    for (int i = 0; i < 2000; ++i) deep += L'[';
    deep += std::wstring(2000, L']') + L'}';
    const std::wstring contents[] = {
        L"",
        L"[]",
        LR"("name")",
        L"{}",
        LR"({"name":""})",
        LR"({"name":5})",
        LR"({"name":null})",
        LR"({"name":"kept")",
        LR"({"name":"kept"} x)",
        std::wstring(LR"({"name":"kept"})") + L'\0' + L"rest",
        deep,
    };
    for (const std::wstring& content : contents) {
        const Stored refused = Store(content, VARIANT_TRUE, 5);
        EXPECT_EQ(E_INVALIDARG, refused.hr) << content.substr(0, 40);
        EXPECT_FALSE(refused.idHandedOut);
        EXPECT_EQ(5, refused.replace) << "left as it came in";
        TimetableRecord record;
        record.content = content;
        EXPECT_EQ(E_INVALIDARG, service->Add(record)) << content.substr(0, 40);
    }
    EXPECT_EQ(Ids{L"tt-1"}, Listed());
    EXPECT_EQ(LR"({"name":"kept","timetable_id":"tt-1"})", Content(L"tt-1"));
    EXPECT_EQ(before, servicetest::ReadBytes(File()));
}

TEST_F(TimetableServicesTest, FailingWritesChangeNothing)
{
    ASSERT_EQ(S_OK, Store(LR"({"name":"keep","v":1})").hr);
    const std::string before = servicetest::ReadBytes(File());
    service->SetFailWrites(true);

    for (const wchar_t* content : {LR"({"name":"new"})", LR"({"name":"keep","v":2})"}) {
        const Stored failed = Store(content, VARIANT_TRUE, 3);
        EXPECT_EQ(E_FAIL, failed.hr) << content;
        EXPECT_FALSE(failed.idHandedOut) << content;
        EXPECT_EQ(3, failed.replace) << content;
    }
    EXPECT_EQ(E_FAIL, service->DeleteTimetable(Bstr(L"tt-1").get()));
    // Reads go on working.
    EXPECT_EQ(Ids{L"tt-1"}, Listed());
    EXPECT_EQ(LR"({"name":"keep","timetable_id":"tt-1","v":1})", Content(L"tt-1"));
    EXPECT_EQ(before, servicetest::ReadBytes(File()));

    service->SetFailWrites(false);
    EXPECT_EQ(L"tt-2", Store(LR"({"name":"new"})").id) << "the failed store took no number";
}

TEST_F(TimetableServicesTest, StoredFilesOfAnotherLayoutAreSetAside)
{
    const char* const foreign[] = {
        "{\"timetables\":",
        "[]",
        "{\"timetables\":{}}",
        "{\"timetables\":[{\"id\":\"tt-1\",\"default\":true}]}",
        "{\"timetables\":[{\"id\":\"tt-1\",\"default\":true,\"content\":{\"n\":1}}]}",
        "{\"timetables\":[{\"id\":\"tt-1\",\"default\":1,\"content\":{\"name\":\"a\"}}]}",
        "{\"timetables\":[{\"id\":\"\",\"default\":true,\"content\":{\"name\":\"a\"}}]}",
        "{\"timetables\":[{\"id\":\"a\",\"default\":false,\"content\":{\"name\":\"a\"}},"
        "{\"id\":\"a\",\"default\":false,\"content\":{\"name\":\"b\"}}]}",
        "{\"timetables\":[{\"id\":\"a\",\"default\":true,\"content\":{\"name\":\"a\"}},"
        "{\"id\":\"b\",\"default\":true,\"content\":{\"name\":\"b\"}}]}",
        "{\"nextId\":0,\"timetables\":[]}",
    };
    for (const char* text : foreign) {
        service.reset();
        ASSERT_TRUE(servicetest::WriteBytes(File(), text));
        ASSERT_EQ(S_FALSE, TimetableService::Create(DataFolder(temp.Path()), service)) << text;
        EXPECT_TRUE(service->Timetables().empty()) << text;
        EXPECT_EQ(text, servicetest::ReadBytes(File() + L".unreadable"));
        EXPECT_FALSE(servicetest::Exists(File())) << text;
    }

    // A readable file: a content that names another id is read with its
    // entry's, and new ids skip those already taken.
    service.reset();
    ASSERT_TRUE(servicetest::WriteBytes(
        File(), "{\"nextId\":1,\"timetables\":[{\"id\":\"tt-1\",\"default\":false,"
                "\"content\":{\"name\":\"a\",\"timetable_id\":\"tt-7\"}}]}"));
    Open();
    EXPECT_EQ(LR"({"name":"a","timetable_id":"tt-1"})", Content(L"tt-1"));
    EXPECT_EQ(L"tt-2", Store(LR"({"name":"b"})").id);
    EXPECT_EQ(foreign[9], servicetest::ReadBytes(File() + L".unreadable")) << "a write leaves the set-aside file";
}
