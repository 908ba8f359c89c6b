#include "TimetableServices.h"

#include <algorithm>
#include <climits>
#include <set>

#include "CallRecorder.h"
#include "UniqueBstr.h"

namespace devhost {

namespace {

constexpr const wchar_t* kTimetableIdPrefix = L"tt-";
constexpr const wchar_t* kIdMember = L"timetable_id";
// As deep as a message to the plug-in may nest. Deeper content is refused
// before the parser, which recurses once per level, can run out of stack.
constexpr int kMaxContentDepth = 1000;
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

std::wstring TimetableId(LONG number) { return kTimetableIdPrefix + std::to_wstring(number); }

// The name of a content: it must be a JSON object with a non-empty string
// "name".
bool ContentName(const JsonValue* content, std::wstring& name)
{
    if (!content || !content->IsObject()) return false;
    const JsonValue* member = content->GetMember(L"name");
    if (!member || !member->IsString() || member->StringValue().empty()) return false;
    name = member->StringValue();
    return true;
}

// A content text as an object with a name; null when it is none. The parser
// would stop at a U+0000 and take what stands before it, so a text holding
// one is refused whole.
JsonValue::Ptr ParseContent(const std::wstring& text)
{
    if (text.find(L'\0') != std::wstring::npos || ExceedsJsonDepth(text, kMaxContentDepth)) return nullptr;
    JsonValue::Ptr parsed = JsonValue::Parse(text);
    std::wstring name;
    if (!ContentName(parsed.get(), name)) return nullptr;
    return parsed;
}

// The record of a checked content stored under id: the content gets the id
// member and is written out as the service hands it out.
TimetableRecord MakeRecord(JsonValue& content, const std::wstring& id, bool isDefault)
{
    TimetableRecord record;
    ContentName(&content, record.name);
    content.SetMember(kIdMember, JsonValue::MakeString(id));
    record.id = id;
    record.isDefault = isDefault;
    record.content = content.Serialize();
    return record;
}

// A timetable's lessons as the snapshot found them.
class LessonCollectionObject final : public ComObject<IxLessonCollection, IID_IUnknown> {
public:
    explicit LessonCollectionObject(ULONG count) : count_(count) {}

    HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) noexcept override
    {
        if (!count) return E_POINTER;
        *count = count_;
        return S_OK;
    }

private:
    const ULONG count_;
};

struct TimetableSummary {
    std::wstring id;
    std::wstring name;
    bool isDefault = false;
    std::wstring startDate;
    LONG weekCount = 0;
};

// A timetable as the service found it: later changes to the stored timetable
// do not show through.
class TimetableObject final : public ComObject<IxTimetable, IID_IUnknown> {
public:
    TimetableObject(TimetableSummary summary, ComPtr<LessonCollectionObject> lessons)
        : summary_(std::move(summary)), lessons_(std::move(lessons))
    {
    }

    HRESULT STDMETHODCALLTYPE GetId(BSTR* timetableId) noexcept override { return OutText(summary_.id, timetableId); }
    HRESULT STDMETHODCALLTYPE GetName(BSTR* name) noexcept override { return OutText(summary_.name, name); }
    HRESULT STDMETHODCALLTYPE GetIsDefault(VARIANT_BOOL* isDefault) noexcept override
    {
        if (!isDefault) return E_POINTER;
        *isDefault = summary_.isDefault ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStartDate(BSTR* startDate) noexcept override
    {
        return OutText(summary_.startDate, startDate);
    }
    HRESULT STDMETHODCALLTYPE GetWeekCount(LONG* weekCount) noexcept override
    {
        if (!weekCount) return E_POINTER;
        *weekCount = summary_.weekCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLessons(IxLessonCollection** lessons) noexcept override
    {
        if (!lessons) return E_POINTER;
        *lessons = ComPtr<LessonCollectionObject>(lessons_).detach();
        return S_OK;
    }

private:
    const TimetableSummary summary_;
    const ComPtr<LessonCollectionObject> lessons_;
};

// The snapshot of a stored timetable; empty when memory ran out.
ComPtr<TimetableObject> MakeSnapshot(const TimetableRecord& record)
{
    TimetableSummary summary;
    summary.id = record.id;
    summary.name = record.name;
    summary.isDefault = record.isDefault;
    ComPtr<LessonCollectionObject> lessons;
    // Stored contents are the writer's own output and always parse.
    if (const JsonValue::Ptr content = JsonValue::Parse(record.content)) {
        const JsonValue* date = content->GetMember(L"start_date");
        if (date && date->IsString()) summary.startDate = date->StringValue();
        LongFromJson(content->GetMember(L"week_count"), summary.weekCount);
        const JsonValue* listed = content->GetMember(L"lessons");
        if (listed && listed->IsArray()) {
            lessons = MakeComObject<LessonCollectionObject>(static_cast<ULONG>(listed->Items().size()));
            if (!lessons) return ComPtr<TimetableObject>();
        }
    }
    return MakeComObject<TimetableObject>(std::move(summary), std::move(lessons));
}

// The ids of the timetables in stored order, as they were when it was made.
class TimetableListObject final : public ComObject<IxTimetableList, IID_IUnknown> {
public:
    explicit TimetableListObject(std::vector<std::wstring> ids) : ids_(std::move(ids)) {}

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(ids_.size());
        return S_OK;
    }
    // E_INVALIDARG (and no id) for an index outside the list.
    HRESULT STDMETHODCALLTYPE GetId(LONG index, BSTR* timetableId) noexcept override
    {
        if (!timetableId) return E_POINTER;
        if (index < 0 || static_cast<std::size_t>(index) >= ids_.size()) return E_INVALIDARG;
        return OutText(ids_[static_cast<std::size_t>(index)], timetableId);
    }

private:
    const std::vector<std::wstring> ids_;
};

}  // namespace

TimetableService::TimetableService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT TimetableService::Create(const DataFolder& folder, ComPtr<TimetableService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<TimetableService> made = MakeComObject<TimetableService>(folder);
        if (!made) return E_OUTOFMEMORY;
        TimetableService& self = *made.get();
        const HRESULT hr = LoadLayout(self.store_, [&self] {
            std::vector<TimetableRecord> timetables;
            LONG nextId = 1;
            if (const JsonValue::Ptr listed = self.store_.Get(L"timetables")) {
                if (!listed->IsArray()) return false;
                std::set<std::wstring> ids;
                int defaults = 0;
                for (const auto& item : listed->Items()) {
                    const JsonValue* id = item->GetMember(L"id");
                    const JsonValue* isDefault = item->GetMember(L"default");
                    const JsonValue* content = item->GetMember(L"content");
                    std::wstring name;
                    if (!id || !id->IsString() || id->StringValue().empty() || !ids.insert(id->StringValue()).second ||
                        !isDefault || !isDefault->IsBool() || !ContentName(content, name))
                        return false;
                    if (isDefault->BoolValue()) ++defaults;
                    const JsonValue::Ptr copy = content->Clone();
                    timetables.push_back(MakeRecord(*copy, id->StringValue(), isDefault->BoolValue()));
                }
                if (defaults > 1) return false;
            }
            if (const JsonValue::Ptr stored = self.store_.Get(L"nextId")) {
                if (!LongFromJson(stored.get(), nextId) || nextId < 1) return false;
            }
            self.timetables_ = std::move(timetables);
            self.nextId_ = nextId;
            return true;
        });
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

std::vector<TimetableRecord> TimetableService::Timetables() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return timetables_;
}

bool TimetableService::Find(const std::wstring& id, TimetableRecord& timetable) const
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const TimetableRecord& stored : timetables_) {
        if (stored.id != id) continue;
        timetable = stored;
        return true;
    }
    return false;
}

HRESULT TimetableService::Add(TimetableRecord& timetable)
{
    const JsonValue::Ptr content = ParseContent(timetable.content);
    if (!content) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    LONG number = 0;
    if (!_NextNumber(number)) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    std::vector<TimetableRecord> next = _WithStored(*content, TimetableId(number), timetable.isDefault);
    const TimetableRecord added = next.back();
    const HRESULT hr = _Store(std::move(next), number + 1);
    if (SUCCEEDED(hr)) timetable = added;
    return hr;
}

HRESULT TimetableService::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(std::vector<TimetableRecord>(), nextId_);
}

bool TimetableService::_NextNumber(LONG& number) const
{
    // The number after it must still fit in the stored nextId.
    for (number = nextId_; number < LONG_MAX; ++number) {
        const std::wstring id = TimetableId(number);
        if (std::none_of(timetables_.begin(), timetables_.end(), [&](const TimetableRecord& t) { return t.id == id; }))
            return true;
    }
    return false;
}

std::vector<TimetableRecord> TimetableService::_WithStored(JsonValue& content, const std::wstring& id,
                                                           bool makeDefault) const
{
    std::vector<TimetableRecord> next = timetables_;
    const auto same = std::find_if(next.begin(), next.end(), [&](const TimetableRecord& t) { return t.id == id; });
    const bool anyDefault =
        std::any_of(next.begin(), next.end(), [](const TimetableRecord& t) { return t.isDefault; });
    if (same != next.end()) {
        *same = MakeRecord(content, id, makeDefault || same->isDefault);
    } else {
        next.push_back(MakeRecord(content, id, makeDefault || !anyDefault));
    }
    if (makeDefault)
        for (TimetableRecord& t : next) t.isDefault = t.id == id;
    return next;
}

HRESULT TimetableService::_Store(std::vector<TimetableRecord> timetables, LONG nextId)
{
    JsonValue::ArrayItems items;
    for (const TimetableRecord& timetable : timetables) {
        JsonValue::Ptr content = JsonValue::Parse(timetable.content);
        if (!content) return E_UNEXPECTED;
        JsonValue::ObjectMembers entry;
        entry.emplace(L"id", JsonValue::MakeString(timetable.id));
        entry.emplace(L"default", JsonValue::MakeBool(timetable.isDefault));
        entry.emplace(L"content", std::move(content));
        items.push_back(JsonValue::MakeObject(std::move(entry)));
    }
    JsonValue::ObjectMembers members;
    members.emplace(L"timetables", JsonValue::MakeArray(std::move(items)));
    members.emplace(L"nextId", JsonValue::MakeNumber(nextId));
    const HRESULT hr = store_.SetMany(std::move(members));
    if (FAILED(hr)) return hr;
    timetables_ = std::move(timetables);
    nextId_ = nextId;
    return S_OK;
}

HRESULT TimetableService::DeleteTimetable(BSTR timetableId) noexcept
{
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const std::wstring id = BstrText(timetableId);
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<TimetableRecord> next = timetables_;
        const auto gone = std::find_if(next.begin(), next.end(), [&](const TimetableRecord& t) { return t.id == id; });
        if (gone == next.end()) return kNotFound;
        const bool wasDefault = gone->isDefault;
        next.erase(gone);
        if (wasDefault && !next.empty()) next.front().isDefault = true;
        return _Store(std::move(next), nextId_);
    });
}

HRESULT TimetableService::GetTimetable(BSTR timetableId, IxTimetable** timetable) noexcept
{
    if (!timetable) return E_POINTER;
    *timetable = nullptr;
    return Guarded([&] {
        TimetableRecord found;
        if (!Find(BstrText(timetableId), found)) return kNotFound;
        ComPtr<TimetableObject> made = MakeSnapshot(found);
        if (!made) return E_OUTOFMEMORY;
        *timetable = made.detach();
        return S_OK;
    });
}

HRESULT TimetableService::GetTimetableList(IxTimetableList** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    return Guarded([&] {
        std::vector<std::wstring> ids;
        for (const TimetableRecord& timetable : Timetables()) ids.push_back(timetable.id);
        ComPtr<TimetableListObject> made = MakeComObject<TimetableListObject>(std::move(ids));
        if (!made) return E_OUTOFMEMORY;
        *list = made.detach();
        return S_OK;
    });
}

HRESULT TimetableService::FindTimetableByName(BSTR name, LONG* count, BSTR* content) noexcept
{
    if (!count || !content) return E_POINTER;
    *count = 0;
    *content = nullptr;
    return Guarded([&] {
        const std::wstring wanted = BstrText(name);
        LONG matches = 0;
        std::wstring only;
        for (const TimetableRecord& timetable : Timetables()) {
            if (timetable.name != wanted) continue;
            ++matches;
            only = timetable.content;
        }
        if (matches == 1) {
            const HRESULT hr = OutText(only, content);
            if (FAILED(hr)) return hr;
        }
        *count = matches;
        return S_OK;
    });
}

HRESULT TimetableService::GetTimetableContent(BSTR timetableId, BSTR* content) noexcept
{
    if (!content) return E_POINTER;
    *content = nullptr;
    return Guarded([&] {
        TimetableRecord found;
        if (!Find(BstrText(timetableId), found)) return kNotFound;
        return OutText(found.content, content);
    });
}

HRESULT TimetableService::StoreTimetable(BSTR content, VARIANT_BOOL setAsDefault, LONG* replace,
                                         BSTR* timetableId) noexcept
{
    if (!replace || !timetableId) return E_POINTER;
    *timetableId = nullptr;
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const JsonValue::Ptr parsed = ParseContent(BstrText(content));
        if (!parsed) return E_INVALIDARG;
        std::wstring name;
        ContentName(parsed.get(), name);
        std::lock_guard<std::mutex> guard(lock_);
        const auto same = std::find_if(timetables_.begin(), timetables_.end(),
                                       [&](const TimetableRecord& t) { return t.name == name; });
        const bool replaced = same != timetables_.end();
        std::wstring id;
        LONG nextId = nextId_;
        if (replaced) {
            id = same->id;
        } else {
            LONG number = 0;
            if (!_NextNumber(number)) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
            id = TimetableId(number);
            nextId = number + 1;
        }
        // Made before the write, so a stored timetable always reaches its
        // caller.
        UniqueBstr out(id);
        if (!out.get()) return E_OUTOFMEMORY;
        const HRESULT hr = _Store(_WithStored(*parsed, id, setAsDefault == VARIANT_TRUE), nextId);
        if (FAILED(hr)) return hr;
        *replace = replaced ? 1 : 0;
        *timetableId = out.release();
        return S_OK;
    });
}

}  // namespace devhost
