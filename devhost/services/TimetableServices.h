// The stand-in calendar's course timetables (timetable service), kept in one
// JSON file of the data folder, written through (atomically, whole) before a
// change returns; memory changes only once the file did:
//
//   timetables.json  {"nextId":N,"timetables":[{"content":{...},"default":true,
//                                               "id":"tt-1"},...]}
//
// "content" is the whole timetable in the host's form: the JSON object that
// was stored (an upload as the plug-in builds it, every member kept as
// given) with the member "timetable_id" set to the timetable's id. Content
// texts are that object written by the project's JSON writer (compact,
// members in name order, everything outside printable ASCII \u-escaped), so
// the file is plain ASCII and a text comes back byte for byte after a
// restart.
//
// A missing file stands for no timetables. A file that does not have this
// layout (every entry with a non-empty unique id, "default" true or false,
// and a content object with a non-empty string "name"; at most one default) is
// renamed to "<file>.unreadable" (as JsonFileStore does for one that is no
// JSON object) and the service starts empty, so the next write cannot
// destroy what it held. A stored content whose "timetable_id" differs from
// its entry's id is read with the entry's id.
//
// Timetables keep the order in which they were stored. New ones get the id
// "tt-<n>" with n = nextId, skipping any id that is already taken; nextId
// only grows, so an id is never handed out twice, not even after a delete.
// Names are compared exactly (code unit by code unit, case-sensitive).
//
// Default timetable: at most one. Storing with setAsDefault exactly
// VARIANT_TRUE makes the stored one the default (and no other); a new
// timetable also becomes the default when none is; a replaced one otherwise
// keeps its state. Deleting the default makes the first remaining timetable
// the default.
//
// The service also has a plain C++ side for the stand-in program, the sample
// data and tests. Both sides may be used from any thread; one lock
// serialises them.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ComObject.h"
#include "DataFolder.h"
#include "JsonFileStore.h"
#include "Timetables.h"

namespace devhost {

struct TimetableRecord {
    std::wstring id;
    bool isDefault = false;
    // The content's "name"; set by the service, ignored when adding.
    std::wstring name;
    // The content text as the service hands it out.
    std::wstring content;
};

class TimetableService final : public ComObject<IxTimetableService, IID_IxTimetableService> {
public:
    static constexpr const wchar_t* kFileName = L"timetables.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<TimetableService>& service);

    // C++ side.
    std::vector<TimetableRecord> Timetables() const;
    bool Find(const std::wstring& id, TimetableRecord& timetable) const;
    // Stores timetable.content as a new timetable under a new id, even when
    // one of that name exists (so tests can make two of one name, which
    // StoreTimetable never does). timetable.isDefault true makes it the
    // default; false leaves the default as it is unless there is none. On
    // success the record holds what was stored (id, default flag, name and
    // content text with "timetable_id"). E_INVALIDARG when the content is not
    // a JSON object with a non-empty string "name";
    // HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) once the numbers that fit in
    // nextId are used up.
    [[nodiscard]] HRESULT Add(TimetableRecord& timetable);
    // Removes every timetable (ids are not reused afterwards).
    [[nodiscard]] HRESULT Clear();
    // A fault switch for tests and the stand-in program: while on,
    // StoreTimetable (which then hands out no id) and DeleteTimetable fail
    // with E_FAIL and change nothing. The C++ side above keeps working.
    void SetFailWrites(bool fail) noexcept { failWrites_ = fail; }
    bool FailsWrites() const noexcept { return failWrites_; }

    // IxTimetableService. DeleteTimetable, GetTimetable and
    // GetTimetableContent fail with HRESULT_FROM_WIN32(ERROR_NOT_FOUND) for an
    // unknown id. GetTimetable hands out a snapshot: start date is the
    // content's "start_date" when it is a string, else empty; week count its
    // "week_count" when that is a whole number within LONG, else 0; the lesson
    // collection counts the items of its "lessons" array and is null when
    // there is no such array. StoreTimetable refuses content that is not a
    // JSON object with a non-empty string "name" (or is nested deeper than
    // the plug-in's messages may be) with E_INVALIDARG; it replaces the first
    // timetable of exactly that name whole (same id, *replace = 1) or adds a
    // new one (*replace = 0), whatever *replace held before. Out values are
    // null (and *replace untouched) on failure.
    HRESULT STDMETHODCALLTYPE DeleteTimetable(BSTR timetableId) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTimetable(BSTR timetableId, IxTimetable** timetable) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTimetableList(IxTimetableList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE FindTimetableByName(BSTR name, LONG* count, BSTR* content) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTimetableContent(BSTR timetableId, BSTR* content) noexcept override;
    HRESULT STDMETHODCALLTYPE StoreTimetable(BSTR content, VARIANT_BOOL setAsDefault, LONG* replace,
                                             BSTR* timetableId) noexcept override;

    explicit TimetableService(const DataFolder& folder);

private:
    // The number of the next new timetable (lock_ held); false when none is
    // left.
    bool _NextNumber(LONG& number) const;
    // The timetables with content (a checked one, see ParseContent) stored
    // under id: in place of the timetable of that id, else appended; the
    // default moves as the header comment says (lock_ held).
    std::vector<TimetableRecord> _WithStored(JsonValue& content, const std::wstring& id, bool makeDefault) const;
    // Writes the timetables (and the next id) and, once written, keeps them
    // (lock_ held).
    HRESULT _Store(std::vector<TimetableRecord> timetables, LONG nextId);

    // Protects store_, timetables_ and nextId_.
    mutable std::mutex lock_;
    JsonFileStore store_;
    std::vector<TimetableRecord> timetables_;
    LONG nextId_ = 1;
    std::atomic<bool> failWrites_{false};
};

}  // namespace devhost
