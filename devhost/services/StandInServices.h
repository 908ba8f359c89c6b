// The whole set of stand-in services over one data folder, made together so
// that the ones that depend on each other share state: user data follows
// the account's login, and the language service and the layout loader
// resolve their folders through the path service.
//
// The data folder afterwards holds:
//     settings.json     settings store (JSON object: key -> integer or string)
//     account.json      {"loggedIn":<yes/no>,"userId":"..."}
//     cloud.json        {"aiAccessAllowed":<yes/no>}
//     statistics.log    one line per statistics event
//     calendars.json    the local calendars and the current one
//     events.json       the calendar events
//     daycells.json     the day cells' texts and colours
//     (the last three: see CalendarServices.h)
//     notes.json        the notes (see NoteServices.h)
//     timetables.json   the course timetables (see TimetableServices.h)
//     user\<user key>\  each user's data directory (made when asked for)
// (<yes/no> is true, false, or a number for any other VARIANT_BOOL.) Files
// that do not exist yet stand for the defaults: no settings, nobody logged
// in, AI access allowed, no calendars, events, day cells, notes or
// timetables.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ApplicationServices.h"
#include "CalendarServices.h"
#include "DataFolder.h"
#include "LanguageService.h"
#include "LayoutServices.h"
#include "NoteServices.h"
#include "ResourceServices.h"
#include "SettingsServices.h"
#include "TimetableServices.h"

namespace devhost {

struct StandInOptions {
    // The language whose texts the language service reads.
    std::wstring language = LanguageService::kDefaultLanguage;
    // The folder "app:\" stands for; empty for the running program's.
    std::wstring applicationFolder;
    // Whether CopyText uses the real clipboard.
    bool useClipboard = true;
};

struct StandInServices {
    ComPtr<SettingStoreService> settings;
    ComPtr<AccountService> account;
    ComPtr<UserDataService> userData;
    ComPtr<CloudConfigService> cloud;
    ComPtr<StatisticsService> statistics;
    ComPtr<LanguageService> language;
    ComPtr<ApplicationService> application;
    ComPtr<PathService> paths;
    ComPtr<ResourceArchiveService> archives;
    ComPtr<ResourceIndexService> indexes;
    ComPtr<CalendarService> calendars;
    ComPtr<EventService> events;
    ComPtr<DayContentService> dayContent;
    ComPtr<NoteService> notes;
    ComPtr<TimetableService> timetables;
    ComPtr<LayoutLoaderService> layouts;
    ComPtr<TipService> tips;
    // Made by tsyui.dll, so only InstallStandInServices makes it; it is not
    // one of Entries().
    ComPtr<IxElementBuilderService> elementBuilder;

    // Every service with the identifier it is installed under (borrowed
    // pointers; empty until made).
    std::vector<std::pair<GUID, IUnknown*>> Entries() const;
    void Reset() { *this = StandInServices(); }
};

// Prepares the data folder (creating it and removing stale temporary files)
// and makes every service over it. On failure services is left empty.
[[nodiscard]] HRESULT CreateStandInServices(const DataFolder& folder, const StandInOptions& options,
                                            StandInServices& services);

}  // namespace devhost
