#include "JsonFileStore.h"

#include <utility>

namespace devhost {

JsonFileStore::JsonFileStore(DataFolder folder, std::wstring fileName)
    : folder_(std::move(folder)), fileName_(std::move(fileName))
{
}

HRESULT JsonFileStore::Load()
{
    members_.clear();
    std::wstring text;
    const HRESULT hr = folder_.ReadText(fileName_, text);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return S_OK;
    if (FAILED(hr)) return hr;
    const JsonValue::Ptr root = JsonValue::Parse(text);
    if (!root || !root->IsObject()) {
        const std::wstring path = FilePath();
        const std::wstring aside = path + L".unreadable";
        if (!MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return HRESULT_FROM_WIN32(GetLastError());
        return S_FALSE;
    }
    for (const auto& member : root->Members()) members_.emplace(member.first, member.second->Clone());
    return S_OK;
}

JsonValue::Ptr JsonFileStore::Get(const std::wstring& key) const
{
    const auto found = members_.find(key);
    return found == members_.end() ? nullptr : found->second->Clone();
}

HRESULT JsonFileStore::Set(const std::wstring& key, JsonValue::Ptr value)
{
    JsonValue::ObjectMembers one;
    one.emplace(key, std::move(value));
    return SetMany(std::move(one));
}

HRESULT JsonFileStore::SetMany(JsonValue::ObjectMembers values)
{
    // Build the next state beside the current one and swap it in only once
    // the file holds it.
    JsonValue::ObjectMembers next;
    for (const auto& member : members_) {
        if (values.find(member.first) == values.end()) next.emplace(member.first, member.second->Clone());
    }
    for (auto& member : values) next[member.first] = std::move(member.second);
    const HRESULT hr = folder_.WriteText(fileName_, Format(next));
    if (FAILED(hr)) return hr;
    members_.swap(next);
    return S_OK;
}

JsonValue::Ptr JsonFileStore::Snapshot() const
{
    JsonValue::ObjectMembers copy;
    for (const auto& member : members_) copy.emplace(member.first, member.second->Clone());
    return JsonValue::MakeObject(std::move(copy));
}

std::wstring JsonFileStore::Format(const JsonValue::ObjectMembers& members)
{
    std::wstring text = L"{";
    bool first = true;
    for (const auto& member : members) {
        if (!first) text += L',';
        first = false;
        AppendQuotedJsonString(text, member.first);
        text += L':';
        member.second->SerializeTo(text);
    }
    text += L"}\n";
    return text;
}

JsonValue::Ptr YesNoToJson(VARIANT_BOOL value)
{
    if (value == VARIANT_TRUE) return JsonValue::MakeBool(true);
    if (value == VARIANT_FALSE) return JsonValue::MakeBool(false);
    return JsonValue::MakeNumber(value);
}

bool YesNoFromJson(const JsonValue* stored, VARIANT_BOOL& value)
{
    if (!stored) return false;
    if (stored->IsBool()) {
        value = stored->BoolValue() ? VARIANT_TRUE : VARIANT_FALSE;
        return true;
    }
    if (!stored->IsNumber()) return false;
    const double number = stored->NumberValue();
    if (!(number >= -32768.0 && number <= 32767.0) || number != static_cast<double>(static_cast<int>(number)))
        return false;
    value = static_cast<VARIANT_BOOL>(number);
    return true;
}

bool LongFromJson(const JsonValue* stored, LONG& value)
{
    if (!stored || !stored->IsNumber()) return false;
    const double number = stored->NumberValue();
    if (!(number >= -2147483648.0 && number <= 2147483647.0)) return false;
    if (number != static_cast<double>(static_cast<LONG>(number))) return false;
    value = static_cast<LONG>(number);
    return true;
}

}  // namespace devhost
