#include "NoteServices.h"

#include <algorithm>
#include <climits>
#include <set>

#include "CallRecorder.h"
#include "UniqueBstr.h"

namespace devhost {

namespace {

constexpr const wchar_t* kNoteIdPrefix = L"note-";
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

std::wstring NoteId(LONG number) { return kNoteIdPrefix + std::to_wstring(number); }

bool ReadText(const JsonValue& object, const wchar_t* name, std::wstring& value)
{
    const JsonValue* member = object.GetMember(name);
    if (!member || !member->IsString()) return false;
    value = member->StringValue();
    return true;
}

bool ReadNoteJson(const JsonValue* object, NoteRecord& note)
{
    if (!object || !object->IsObject()) return false;
    note = NoteRecord();
    return ReadText(*object, L"id", note.id) && !note.id.empty() &&
           LongFromJson(object->GetMember(L"type"), note.type) && ReadText(*object, L"title", note.title) &&
           ReadText(*object, L"content", note.content);
}

// A note as the service found it: later changes to the stored note do not
// show through.
class NoteObject final : public ComObject<IxNote, IID_IxNote> {
public:
    explicit NoteObject(NoteRecord note) : note_(std::move(note)) {}

    HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) noexcept override { return OutText(note_.title, title); }
    HRESULT STDMETHODCALLTYPE GetContent(BSTR* content) noexcept override { return OutText(note_.content, content); }
    HRESULT STDMETHODCALLTYPE GetType(LONG* type) noexcept override
    {
        if (!type) return E_POINTER;
        *type = note_.type;
        return S_OK;
    }

private:
    const NoteRecord note_;
};

// The ids of the notes in stored order, as they were when it was made.
class NoteListObject final : public ComObject<IxNoteList, IID_IUnknown> {
public:
    explicit NoteListObject(std::vector<std::wstring> ids) : ids_(std::move(ids)) {}

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(ids_.size());
        return S_OK;
    }
    // E_INVALIDARG (and no id) for an index outside the list.
    HRESULT STDMETHODCALLTYPE GetId(LONG index, BSTR* noteId) noexcept override
    {
        if (!noteId) return E_POINTER;
        if (index < 0 || static_cast<std::size_t>(index) >= ids_.size()) return E_INVALIDARG;
        return OutText(ids_[static_cast<std::size_t>(index)], noteId);
    }

private:
    const std::vector<std::wstring> ids_;
};

}  // namespace

JsonValue::Ptr NoteJson(const NoteRecord& note)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"id", JsonValue::MakeString(note.id));
    members.emplace(L"type", JsonValue::MakeNumber(note.type));
    members.emplace(L"title", JsonValue::MakeString(note.title));
    members.emplace(L"content", JsonValue::MakeString(note.content));
    return JsonValue::MakeObject(std::move(members));
}

NoteService::NoteService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT NoteService::Create(const DataFolder& folder, ComPtr<NoteService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<NoteService> made = MakeComObject<NoteService>(folder);
        if (!made) return E_OUTOFMEMORY;
        NoteService& self = *made.get();
        const HRESULT hr = LoadLayout(self.store_, [&self] {
            std::vector<NoteRecord> notes;
            LONG nextId = 1;
            if (const JsonValue::Ptr listed = self.store_.Get(L"notes")) {
                if (!listed->IsArray()) return false;
                std::set<std::wstring> ids;
                for (const auto& item : listed->Items()) {
                    NoteRecord note;
                    if (!ReadNoteJson(item.get(), note) || !ids.insert(note.id).second) return false;
                    notes.push_back(std::move(note));
                }
            }
            if (const JsonValue::Ptr stored = self.store_.Get(L"nextId")) {
                if (!LongFromJson(stored.get(), nextId) || nextId < 1) return false;
            }
            self.notes_ = std::move(notes);
            self.nextId_ = nextId;
            return true;
        });
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

std::vector<NoteRecord> NoteService::Notes() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return notes_;
}

bool NoteService::Find(const std::wstring& id, NoteRecord& note) const
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const NoteRecord& stored : notes_) {
        if (stored.id != id) continue;
        note = stored;
        return true;
    }
    return false;
}

HRESULT NoteService::Add(NoteRecord& note)
{
    std::lock_guard<std::mutex> guard(lock_);
    LONG number = 0;
    if (!_NextNumber(number)) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
    NoteRecord added = note;
    added.id = NoteId(number);
    std::vector<NoteRecord> next = notes_;
    next.push_back(added);
    const HRESULT hr = _Store(std::move(next), number + 1);
    if (SUCCEEDED(hr)) note.id = added.id;
    return hr;
}

HRESULT NoteService::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(std::vector<NoteRecord>(), nextId_);
}

bool NoteService::_NextNumber(LONG& number) const
{
    // The number after it must still fit in the stored nextId.
    for (number = nextId_; number < LONG_MAX; ++number) {
        const std::wstring id = NoteId(number);
        if (std::none_of(notes_.begin(), notes_.end(), [&](const NoteRecord& n) { return n.id == id; })) return true;
    }
    return false;
}

HRESULT NoteService::_Store(std::vector<NoteRecord> notes, LONG nextId)
{
    JsonValue::ArrayItems items;
    for (const NoteRecord& note : notes) items.push_back(NoteJson(note));
    JsonValue::ObjectMembers members;
    members.emplace(L"notes", JsonValue::MakeArray(std::move(items)));
    members.emplace(L"nextId", JsonValue::MakeNumber(nextId));
    const HRESULT hr = store_.SetMany(std::move(members));
    if (FAILED(hr)) return hr;
    notes_ = std::move(notes);
    nextId_ = nextId;
    return S_OK;
}

HRESULT NoteService::GetNoteList(IxNoteList** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    return Guarded([&] {
        std::vector<std::wstring> ids;
        for (const NoteRecord& note : Notes()) ids.push_back(note.id);
        ComPtr<NoteListObject> made = MakeComObject<NoteListObject>(std::move(ids));
        if (!made) return E_OUTOFMEMORY;
        *list = made.detach();
        return S_OK;
    });
}

HRESULT NoteService::FindNote(BSTR noteId, IUnknown** note) noexcept
{
    if (!note) return E_POINTER;
    *note = nullptr;
    return Guarded([&] {
        NoteRecord found;
        if (!Find(BstrText(noteId), found)) return kNotFound;
        ComPtr<NoteObject> made = MakeComObject<NoteObject>(std::move(found));
        if (!made) return E_OUTOFMEMORY;
        *note = static_cast<IxNote*>(made.detach());
        return S_OK;
    });
}

HRESULT NoteService::DeleteNote(BSTR noteId) noexcept
{
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const std::wstring id = BstrText(noteId);
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<NoteRecord> next = notes_;
        const auto gone = std::remove_if(next.begin(), next.end(), [&](const NoteRecord& n) { return n.id == id; });
        if (gone == next.end()) return kNotFound;
        next.erase(gone, next.end());
        return _Store(std::move(next), nextId_);
    });
}

HRESULT NoteService::CreateNote(BSTR title, BSTR content, BSTR* noteId) noexcept
{
    if (!noteId) return E_POINTER;
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        NoteRecord note;
        note.title = BstrText(title);
        note.content = BstrText(content);
        std::lock_guard<std::mutex> guard(lock_);
        LONG number = 0;
        if (!_NextNumber(number)) return HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS);
        note.id = NoteId(number);
        // Made before the write, so a stored note always reaches its caller.
        UniqueBstr id(note.id);
        if (!id.get()) return E_OUTOFMEMORY;
        std::vector<NoteRecord> next = notes_;
        next.push_back(std::move(note));
        const HRESULT hr = _Store(std::move(next), number + 1);
        if (FAILED(hr)) return hr;
        *noteId = id.release();
        return S_OK;
    });
}

HRESULT NoteService::UpdateNote(BSTR noteId, VARIANT_BOOL changeTitle, BSTR title, VARIANT_BOOL changeContent,
                                BSTR content) noexcept
{
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const std::wstring id = BstrText(noteId);
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<NoteRecord> next = notes_;
        for (NoteRecord& stored : next) {
            if (stored.id != id) continue;
            if (changeTitle == VARIANT_TRUE) stored.title = BstrText(title);
            if (changeContent == VARIANT_TRUE) stored.content = BstrText(content);
            return _Store(std::move(next), nextId_);
        }
        return kNotFound;
    });
}

}  // namespace devhost
