// The timetable service and its objects: course timetables (the periods of a
// school day and the lessons in them). A whole timetable travels as one JSON
// object text in the host's form ("content"), which carries at least "name"
// and "timetable_id"; an upload handed to StoreTimetable is such an object.
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. The list, timetable and lesson collection
// objects it hands out carry one reference for the caller. Out strings are
// freed by the caller.
//
// Threads. Main thread only.
//
// Failure. Callers preset out values. Delete, timetable lookup, find by name,
// content by id and store succeed only with exactly S_OK (and a non-empty
// content or id where one is returned). Listing fails on a result below zero;
// any other non-zero result, or no list object, means there are no
// timetables. A list entry whose id cannot be read (result below zero) is
// skipped.
#pragma once

#include "HostCommon.h"

// Timetable ids in the service's order.
struct IxTimetableList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    // The id of the timetable at a zero-based index.
    virtual HRESULT STDMETHODCALLTYPE GetId(LONG index, BSTR* timetableId) = 0;
};

// A timetable's lessons.
struct IxLessonCollection : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* count) = 0;
};

// Summary of one timetable.
struct IxTimetable : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetId(BSTR* timetableId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIsDefault(VARIANT_BOOL* isDefault) = 0;
    // "YYYY-MM-DD" as the timetable stores it.
    virtual HRESULT STDMETHODCALLTYPE GetStartDate(BSTR* startDate) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWeekCount(LONG* weekCount) = 0;
    // *lessons may stay null: no lessons.
    virtual HRESULT STDMETHODCALLTYPE GetLessons(IxLessonCollection** lessons) = 0;
};

// {C9630535-B4B2-48B2-922F-5625A3D13E13}
inline constexpr GUID SID_TimetableService = {0xC9630535, 0xB4B2, 0x48B2, {0x92, 0x2F, 0x56, 0x25, 0xA3, 0xD1, 0x3E, 0x13}};
inline constexpr GUID IID_IxTimetableService = SID_TimetableService;
struct IxTimetableService : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE DeleteTimetable(BSTR timetableId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimetable(BSTR timetableId, IxTimetable** timetable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTimetableList(IxTimetableList** list) = 0;
    // *count receives how many timetables have that name and, when exactly
    // one does, *content its content.
    virtual HRESULT STDMETHODCALLTYPE FindTimetableByName(BSTR name, LONG* count, BSTR* content) = 0;
    // The content of the timetable with that id; empty when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetTimetableContent(BSTR timetableId, BSTR* content) = 0;
    // Stores an upload, creating a timetable or replacing the one of the same
    // name. *replace goes in as 1 when a timetable of that name was found
    // beforehand, else 0; the service may change it, and on return non-zero
    // means replaced, 0 created. *timetableId receives the stored
    // timetable's id.
    virtual HRESULT STDMETHODCALLTYPE StoreTimetable(BSTR content, VARIANT_BOOL setAsDefault, LONG* replace,
                                                     BSTR* timetableId) = 0;
};
