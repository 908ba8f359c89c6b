// A small key-value store kept as one JSON object in one file of the data
// folder: each member is a key and its JSON value. The services that keep
// state (settings, account, cloud configuration) each own one.
//
// Every change is written through before the call returns, as a whole new
// file replaced atomically; the values in memory change only when the file
// did, so memory and disk never disagree after a failed write.
//
// Not thread-safe: the owning service serialises calls with its own lock.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "DataFolder.h"
#include "JsonValue.h"

namespace devhost {

class JsonFileStore {
public:
    JsonFileStore(DataFolder folder, std::wstring fileName);

    // Reads the file. A missing file is an empty store (S_OK). A file that
    // does not hold a JSON object is renamed to "<file>.unreadable"
    // (replacing an older one), so the next write cannot destroy what it
    // held, and the store starts empty: S_FALSE. Any other read failure is
    // returned and the store stays empty.
    [[nodiscard]] HRESULT Load();

    // A copy of the value under key; null when there is none.
    JsonValue::Ptr Get(const std::wstring& key) const;

    // Stores value under key (replacing what was there) and writes the file.
    // On failure nothing changes, in memory or on disk.
    [[nodiscard]] HRESULT Set(const std::wstring& key, JsonValue::Ptr value);

    // Several members in one write; on failure none of them changes.
    [[nodiscard]] HRESULT SetMany(JsonValue::ObjectMembers values);

    // A copy of the whole store as a JSON object.
    JsonValue::Ptr Snapshot() const;

    std::wstring FilePath() const { return folder_.PathOf(fileName_); }

    // The file's text for the given members: compact JSON and a line feed.
    static std::wstring Format(const JsonValue::ObjectMembers& members);

private:
    DataFolder folder_;
    std::wstring fileName_;
    JsonValue::ObjectMembers members_;
};

// Loads a store whose members must have one layout: parse reads the loaded
// store into its owner's state and says whether the layout was right (it
// must accept an empty store). A file whose content parse refuses is set
// aside as "<file>.unreadable" like one that is no JSON object, and the
// owner starts empty: S_FALSE. Read failures are returned as Load gives them.
template <typename Parse>
[[nodiscard]] HRESULT LoadLayout(JsonFileStore& store, Parse parse)
{
    HRESULT hr = store.Load();
    if (FAILED(hr)) return hr;
    if (parse()) return hr;
    const std::wstring path = store.FilePath();
    const std::wstring aside = path + L".unreadable";
    if (!MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return HRESULT_FROM_WIN32(GetLastError());
    hr = store.Load();
    if (FAILED(hr)) return hr;
    return parse() ? S_FALSE : E_UNEXPECTED;
}

// Stored forms of the host's yes/no and integer values. A yes/no value is
// kept as true for VARIANT_TRUE, false for VARIANT_FALSE and as a number for
// any other value a test wants the host to answer (say 1, which callers must
// not take for yes).
JsonValue::Ptr YesNoToJson(VARIANT_BOOL value);
// False (and value untouched) when stored is null or no yes/no value.
bool YesNoFromJson(const JsonValue* stored, VARIANT_BOOL& value);
// False (and value untouched) unless stored is a whole number within LONG.
bool LongFromJson(const JsonValue* stored, LONG& value);

}  // namespace devhost
