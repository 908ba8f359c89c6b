// The stand-in calendar's sticky notes (note service), kept in one JSON file
// of the data folder, written through (atomically, whole) before a change
// returns; memory changes only once the file did:
//
//   notes.json  {"nextId":N,"notes":[{"id":"note-1","type":1,"title":"...",
//                                     "content":"..."},...]}
//
// A missing file stands for no notes. A file that does not have this layout
// is renamed to "<file>.unreadable" (as JsonFileStore does for one that is no
// JSON object) and the service starts empty, so the next write cannot destroy
// what it held.
//
// Notes keep the order in which they were stored; the list hands out every
// note, local or not (type 1 marks a local note; the sample data also holds
// one of another type). New notes get the id "note-<n>" with n = nextId,
// skipping any id that is already taken; nextId only grows, so an id is
// never handed out twice, not even after a delete. Titles and contents are
// stored exactly as given: any UTF-16 text, line breaks and U+0000 included
// (the file holds them \u-escaped, so it is plain ASCII).
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
#include "Notes.h"

namespace devhost {

// The type value of a local note; any other value is a note the current
// account did not write here (shared from another account, say).
constexpr LONG kNoteTypeLocal = 1;

struct NoteRecord {
    std::wstring id;
    LONG type = kNoteTypeLocal;
    std::wstring title;
    std::wstring content;
};

// The note as notes.json holds it (one entry of "notes").
JsonValue::Ptr NoteJson(const NoteRecord& note);

class NoteService final : public ComObject<IxNoteService, IID_IxNoteService> {
public:
    static constexpr const wchar_t* kFileName = L"notes.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<NoteService>& service);

    // C++ side.
    std::vector<NoteRecord> Notes() const;
    bool Find(const std::wstring& id, NoteRecord& note) const;
    // Stores a new note of any type under a new id (note.id is ignored and
    // set). HRESULT_FROM_WIN32(ERROR_NO_MORE_ITEMS) once the numbers that fit
    // in nextId are used up.
    [[nodiscard]] HRESULT Add(NoteRecord& note);
    // Removes every note (ids are not reused afterwards).
    [[nodiscard]] HRESULT Clear();
    // A fault switch for tests and the stand-in program: while on,
    // CreateNote (which then hands out no id), UpdateNote and DeleteNote fail
    // with E_FAIL and change nothing. The C++ side above keeps working.
    void SetFailWrites(bool fail) noexcept { failWrites_ = fail; }
    bool FailsWrites() const noexcept { return failWrites_; }

    // IxNoteService. FindNote hands out a snapshot that answers IID_IxNote;
    // FindNote, UpdateNote and DeleteNote fail with
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND) for an unknown id. CreateNote
    // stores a local note. UpdateNote changes the title only when
    // changeTitle is exactly VARIANT_TRUE and the content only when
    // changeContent is; any other flag value keeps what the note has.
    HRESULT STDMETHODCALLTYPE GetNoteList(IxNoteList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE FindNote(BSTR noteId, IUnknown** note) noexcept override;
    HRESULT STDMETHODCALLTYPE DeleteNote(BSTR noteId) noexcept override;
    HRESULT STDMETHODCALLTYPE CreateNote(BSTR title, BSTR content, BSTR* noteId) noexcept override;
    HRESULT STDMETHODCALLTYPE UpdateNote(BSTR noteId, VARIANT_BOOL changeTitle, BSTR title,
                                         VARIANT_BOOL changeContent, BSTR content) noexcept override;

    explicit NoteService(const DataFolder& folder);

private:
    // The number of the next new note (lock_ held); false when none is left.
    bool _NextNumber(LONG& number) const;
    // Writes the notes (and the next id) and, once written, keeps them
    // (lock_ held).
    HRESULT _Store(std::vector<NoteRecord> notes, LONG nextId);

    // Protects store_, notes_ and nextId_.
    mutable std::mutex lock_;
    JsonFileStore store_;
    std::vector<NoteRecord> notes_;
    LONG nextId_ = 1;
    std::atomic<bool> failWrites_{false};
};

}  // namespace devhost
