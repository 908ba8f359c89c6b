// The parameter checks of the write tools that need neither the host nor the
// platform: reading a reminder trigger, a line index, a background colour
// and the countdown fields, and deriving a note's title. The validators of
// the event, day-cell and note families (AiMcpEventWrites, AiMcpItemTools,
// AiMcpNoteTools) call them in their fixed order.
//
// Pure standard C++, safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class JsonValue;

// A reminder trigger read from "[day:]HH:MM". The text is scanned as
// "%d:%d:%d" (day offset, hour, minute) and, when that does not give three
// numbers, as "%d:%d" (hour, minute; day offset 0); white space before a
// number and anything after the last one are ignored. Valid when the hour
// is 0..23, the minute 0..59 and the day offset 0 or below. A number too
// large for 32 bits ends the scan there.
struct ReminderTrigger {
    std::int32_t dayOffset = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
};
[[nodiscard]] bool ParseTrigger(const std::wstring& text, ReminderTrigger& trigger);

// A line index: a base-10 integer by the rules of wcstol (leading white
// space and a sign allowed) that takes up the whole text and fits in 32
// bits. A value outside that range is refused rather than clamped, so it
// never names a line it was not meant to.
[[nodiscard]] bool ParseLineIndex(const std::wstring& text, int& index);

// A day cell's background colour as items_set takes it: one leading "#" is
// dropped, and what remains must be empty or 1 to 8 hexadecimal digits.
// color receives the colour without the "#" in either case.
[[nodiscard]] bool NormalizeBgColor(std::wstring& color);

// Whether a member of an object counts as given: it exists, is not null
// and, as a string, is not blank. False when object is null.
bool IsPresentMember(const JsonValue* object, const wchar_t* name);

// A whole number member of the countdown object (countdown may be null),
// compared with 0..maximum before it is narrowed. given tells whether it
// was a whole number at all (any other kind of value counts as absent);
// false when it was one but out of range. value is set only when given and
// in range.
[[nodiscard]] bool ReadCountdownField(const JsonValue* countdown, const wchar_t* name, std::int32_t maximum,
                                      bool& given, std::int32_t& value);

// Titles given to a note write, and those derived from its content, keep
// at most this many UTF-16 units.
constexpr std::size_t kAiMcpNoteTitleUnits = 200;

// The title a note without one gets: its first line (up to the first CR or
// LF), trimmed of white space, cut to kAiMcpNoteTitleUnits units.
std::wstring DeriveNoteTitle(const std::wstring& content);
