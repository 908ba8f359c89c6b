// The upload of timetable_upsert: the params an assistant built from a
// picture or a spreadsheet of a timetable, checked member by member and
// turned into the object the host's timetable service stores. Nothing that
// fails a rule reaches the host, so a refused upload changes nothing.
//
// The upload object holds the trimmed "name", the period settings that were
// given (week_count, count_class_day, count_class_am, class_time_long,
// break_time_long, start_am_hour, start_am_minute, start_pm_hour,
// start_pm_minute, start_date, hide_weekend), and the "times" and "lessons"
// arrays copied whole (empty when absent), written compactly with members in
// key order. Other top-level members, and "set_as_default", are not copied;
// members inside items are.
//
// Every refusal is one English sentence that names the member that is
// wrong, for the assistant to correct its upload. Besides each member's own
// rule, the members must agree with each other: no more morning periods
// than periods a day, no two periods with the same number, a period ends
// after it starts, periods and lessons lie within the day's periods, and a
// lesson's weeks within the week count.
//
// Pure: no host calls; safe on any thread.
#pragma once

#include <string>

struct TimetableUpload {
    std::wstring content;  // the upload object as compact JSON
    std::wstring name;     // the trimmed name
    bool setAsDefault = false;
};

// The upload of the params; false with the refusal's message.
[[nodiscard]] bool BuildTimetableContent(const std::wstring& params, TimetableUpload& upload, std::wstring& message);
