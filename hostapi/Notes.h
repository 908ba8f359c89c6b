// The note service and its objects: the sticky notes of the current account.
// Only notes whose type value is 1 are local notes.
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. The note list and note objects it hands out
// carry one reference for the caller. Find hands out a plain object that is
// asked for IID_IxNote. Out strings are freed by the caller.
//
// Threads. Main thread only.
//
// Failure. Callers preset out values. Listing fails on a result below zero or
// no list object; find, delete, create and update succeed only with exactly
// S_OK (create also needs a non-empty id, find an object); a list entry whose
// id cannot be read (result below zero) is skipped.
#pragma once

#include "HostCommon.h"

// Note ids in the service's order.
struct IxNoteList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    // The id of the note at a zero-based index.
    virtual HRESULT STDMETHODCALLTYPE GetId(LONG index, BSTR* noteId) = 0;
};

// One note.
// {46C0433B-0BE2-4E58-A7A9-B48A28012A27}
inline constexpr GUID IID_IxNote = {0x46C0433B, 0x0BE2, 0x4E58, {0xA7, 0xA9, 0xB4, 0x8A, 0x28, 0x01, 0x2A, 0x27}};
struct IxNote : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTitle(BSTR* title) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContent(BSTR* content) = 0;
    // 1 marks a local note.
    virtual HRESULT STDMETHODCALLTYPE GetType(LONG* type) = 0;
};

// {004A3D67-0DC0-4873-8B83-55B7295C3BC8}
inline constexpr GUID SID_NoteService = {0x004A3D67, 0x0DC0, 0x4873, {0x8B, 0x83, 0x55, 0xB7, 0x29, 0x5C, 0x3B, 0xC8}};
inline constexpr GUID IID_IxNoteService = SID_NoteService;
struct IxNoteService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetNoteList(IxNoteList** list) = 0;
    // The note with that id, as a plain object (ask it for IID_IxNote).
    virtual HRESULT STDMETHODCALLTYPE FindNote(BSTR noteId, IUnknown** note) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteNote(BSTR noteId) = 0;
    // A new note; *noteId receives its id.
    virtual HRESULT STDMETHODCALLTYPE CreateNote(BSTR title, BSTR content, BSTR* noteId) = 0;
    // Changes the title when changeTitle is VARIANT_TRUE and the content when
    // changeContent is. A value whose flag is off is still passed (the
    // caller's copy) and must be left as the note has it.
    virtual HRESULT STDMETHODCALLTYPE UpdateNote(BSTR noteId, VARIANT_BOOL changeTitle, BSTR title,
                                                 VARIANT_BOOL changeContent, BSTR content) = 0;
};
