// The commands of the stand-in calendar, as typed at its console or sent
// through its command channel: read and set the stand-in state, switch AI
// access, read and switch the calendar's data, show the notes and the
// timetables, make the event, note or timetable writes fail, seed the sample
// data, open and click the settings page, show the copied text and the
// tips, stall the main thread, quit. Every command runs on the main thread
// and gives a reply text whose first line is "ok" or "error: <why>".
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CalendarServices.h"
#include "PageHost.h"
#include "StandInServices.h"

// Splits a command line into words: runs of non-blank characters, or text
// in double quotes (where \" and \\ stand for " and \).
std::vector<std::wstring> SplitCommandWords(const std::wstring& line);

// What the commands need from the program around them.
struct DevHostControls {
    std::function<bool()> pluginLoaded;
    std::function<bool()> reattachPlugin;  // false without a plug-in
    std::function<void(unsigned long)> stallMainThread;  // after the reply is sent
    std::function<void()> quit;                          // after the reply is sent
    // The plug-in's main component (its IxAiMcp, through IDispatch); empty
    // without a plug-in.
    std::function<ComPtr<IDispatch>()> pluginComponent;
    PageHost* pages = nullptr;  // the settings dialog and windows; null: none
    std::wstring dataFolder;
    std::wstring programFolder;
};

class DevHostCommands {
public:
    DevHostCommands(devhost::StandInServices& services, DevHostControls controls)
        : services_(services), controls_(std::move(controls))
    {
    }

    std::wstring Execute(const std::wstring& line);

    // The text of "help".
    static std::wstring Help();

private:
    std::wstring Status();
    std::wstring Calendars();
    std::wstring Events(const devhost::CalendarDay& day, const devhost::CalendarIdentity& calendar);
    std::wstring Cell(const devhost::CalendarDay& day, const devhost::CalendarIdentity& calendar);
    std::wstring Notes();
    std::wstring Timetables();
    std::wstring ClientConfiguration();
    std::wstring Page(const std::vector<std::wstring>& words);

    devhost::StandInServices& services_;
    DevHostControls controls_;
};
