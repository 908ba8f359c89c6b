// Writes waiting for the user's confirmation.
//
// A write tool that runs without trusted writing does not write: its family
// validates the request into a PendingWrite, which is parked here under a
// random confirm token. A later event_confirm takes it out again, to carry
// it out or to drop it. Parked writes expire five minutes after parking.
//
// The store is process-wide and lives only in memory: it is empty when the
// module loads, gone when it unloads, and never written to disk. Entries
// leave it when they are taken or, once expired, at the purge that starts
// every Park, Peek and Take.
//
// Expiry runs on AiMcpTickMs, a monotonic count, so setting the machine's
// clock back or forward neither keeps a parked write alive nor cuts it short;
// tests move that count with SetAiMcpClockForTest.
//
// Threads: the host's main thread only (every tool handler runs there), so
// the store has no lock.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "AiMcpToolDispatcher.h"

// What an event write carries (event_create, event_update, event_delete).
struct PendingEventFields {
    std::wstring eventId;  // the event to change or delete; empty for event_create
    bool titleGiven = false;
    bool dateGiven = false;
    std::wstring title;
    std::wstring date;        // "YYYY-MM-DD"
    LONG eventType = 0;       // 1 task, 2 reminder, 3 countdown
    std::wstring recurrence;  // the tools' recurrence word; empty keeps the event's own
    std::wstring trigger;     // reminder trigger "%d:%02d:%02d", or empty
    LONG countdownType = 0;
    LONG showType = 0;
};

// What a day-cell write carries (items_set ... item_line_set_done).
struct PendingItemFields {
    std::wstring date;  // "YYYY-MM-DD" as the caller sent it
    LONG calendarId = 0;
    std::wstring calendarGroup;  // the calendar's groupid
    // items_set: the new cell text; items_append_line, item_line_update: the
    // new line; item_line_delete, item_line_set_done: the target line's text.
    std::wstring text;
    bool hasText = false;
    std::wstring bgcolor;  // items_set only
    bool hasBgcolor = false;
    int lineIndex = -1;  // -1 for the tools without one
    bool done = false;   // item_line_set_done only
    // The target line's text when the request was validated; a parked line
    // write is refused on acceptance when the line no longer holds it.
    std::wstring expectedLine;
    bool hasExpected = false;
};

// What a note write carries (notes_create, notes_update, notes_delete).
struct PendingNoteFields {
    std::wstring noteId;
    std::wstring title;
    std::wstring content;
    bool hasTitle = false;
    bool hasContent = false;
};

// What a timetable write carries (timetable_upsert, timetable_delete).
struct PendingTimetableFields {
    std::wstring timetableId;
    std::wstring name;
    std::wstring content;
    bool setAsDefault = false;
    bool replaced = false;  // an existing timetable is replaced
};

// One validated write, ready to be carried out. Only the fields of its
// kind's family are used. Copied by value into and out of the store.
struct PendingWrite {
    AiMcpWriteKind kind = AiMcpWriteKind::EventCreate;
    PendingEventFields event;
    PendingItemFields item;
    PendingNoteFields note;
    PendingTimetableFields timetable;
};

class AiMcpPendingStore {
public:
    // A parked write lives this long.
    static constexpr std::uint64_t kLifetimeMs = 300000;

    // The process-wide store.
    static AiMcpPendingStore& Instance();

    // Parks a copy of the write under a new confirm token and returns the
    // token; empty (and nothing stored) when no token could be made.
    std::wstring Park(const PendingWrite& write);

    // A copy of the write parked under the token, left in the store. False
    // for a token never issued, already taken, or expired.
    bool Peek(const std::wstring& token, PendingWrite& write);

    // Like Peek, but removes the entry: a token can be taken only once.
    bool Take(const std::wstring& token, PendingWrite& write);

    // Removes every entry whose expiry has come.
    void Purge();

    // The number of entries, expired ones included until the next purge.
    std::size_t Count() const { return entries_.size(); }

    // Empties the store (tests only).
    void ClearForTest() { entries_.clear(); }

    // 16 bytes from the platform's cryptographic random generator as 32
    // lower-case hexadecimal digits; empty (and traced) when it fails.
    static std::wstring _GenerateConfirmToken();

    // Replaces the token maker used by Park (tests only); an empty function
    // restores _GenerateConfirmToken.
    static void SetTokenSourceForTest(std::function<std::wstring()> source);

private:
    struct Entry {
        std::uint64_t expiresMs = 0;  // on AiMcpTickMs; expired when now >= expiresMs
        PendingWrite write;
    };

    std::wstring _MakeToken() const;

    std::map<std::wstring, Entry> entries_;
};
