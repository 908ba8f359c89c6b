// The day content service, which stores the free-text cell of each day of the
// month grid (Markdown text, lines separated by LF or CR LF) and its optional
// background colour, and the item line object, which recognises and applies
// the done marker of one such line. The item line object also serves as an
// event's content (its title line).
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. An item line object is made fresh for each use
// with CreateInstanceFromClassFactory(CLSID_ItemLine, ..., nullptr), which
// hands out IxItemLine with one reference, and released after use. Out
// strings are freed by the caller.
//
// Threads. Main thread only.
//
// Failure. A result below zero is a failure; callers preset out values, and
// nothing returned reads as the empty text. Item line results are not
// checked: callers rely on the out values alone.
#pragma once

#include "HostCommon.h"

// A day cell is addressed by the day as "YYYY-MM-DD" and the calendar's
// number and group identifier.
// {290011D3-1287-45E6-BD5C-DFADEDECDD27}
inline constexpr GUID SID_DayContentService = {0x290011D3, 0x1287, 0x45E6, {0xBD, 0x5C, 0xDF, 0xAD, 0xED, 0xEC, 0xDD, 0x27}};
inline constexpr GUID IID_IxDayContentService = SID_DayContentService;
struct IxDayContentService : public IUnknown {
    // The cell text; may be empty.
    virtual HRESULT STDMETHODCALLTYPE GetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR* text) = 0;
    // Replaces the cell text; afterwards the cell holds exactly that text.
    virtual HRESULT STDMETHODCALLTYPE SetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR text) = 0;
    // The cell's background colour in the host's hexadecimal form; empty
    // means no custom background.
    virtual HRESULT STDMETHODCALLTYPE GetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR* color) = 0;
    // Stores the background colour; an empty text removes it.
    virtual HRESULT STDMETHODCALLTYPE SetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR color) = 0;
};

// One Markdown line of a day cell, or an event's content. The object parses
// a line into its plain text and its done state and writes it back.
// {B5CF1668-EF5A-420C-8905-8FC5F9DA458B}
inline constexpr GUID CLSID_ItemLine = {0xB5CF1668, 0xEF5A, 0x420C, {0x89, 0x05, 0x8F, 0xC5, 0xF9, 0xDA, 0x45, 0x8B}};
struct IxItemLine : public IUnknown {
    // Parses one Markdown line (without line end).
    virtual HRESULT STDMETHODCALLTYPE SetLine(BSTR line) = 0;
    // Sets the item's text without any marker.
    virtual HRESULT STDMETHODCALLTYPE SetPlainText(BSTR text) = 0;
    // The item's text without its marker.
    virtual HRESULT STDMETHODCALLTYPE GetPlainText(BSTR* text) = 0;
    // Adds (VARIANT_TRUE) or removes the done marker.
    virtual HRESULT STDMETHODCALLTYPE SetDone(VARIANT_BOOL done) = 0;
    // Whether the line is done; only VARIANT_TRUE counts as done.
    virtual HRESULT STDMETHODCALLTYPE GetDone(VARIANT_BOOL* done) = 0;
    // The Markdown line with the current text and done state applied.
    virtual HRESULT STDMETHODCALLTYPE GetLine(BSTR* line) = 0;
};
