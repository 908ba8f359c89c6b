#include "StandInServices.h"

namespace devhost {

std::vector<std::pair<GUID, IUnknown*>> StandInServices::Entries() const
{
    return {
        {SID_SettingStoreService, settings.get()},
        {SID_AccountService, account.get()},
        {SID_UserDataService, userData.get()},
        {SID_CloudConfigService, cloud.get()},
        {SID_StatisticsService, statistics.get()},
        {SID_LanguageService, language.get()},
        {SID_ApplicationService, application.get()},
        {SID_PathService, paths.get()},
        {SID_ResourceArchiveService, archives.get()},
        {SID_ResourceIndexService, indexes.get()},
        {SID_CalendarService, calendars.get()},
        {SID_EventService, events.get()},
        {SID_DayContentService, dayContent.get()},
        {SID_NoteService, notes.get()},
        {SID_TimetableService, timetables.get()},
        {SID_LayoutLoaderService, layouts.get()},
        {SID_TipService, tips.get()},
    };
}

HRESULT CreateStandInServices(const DataFolder& folder, const StandInOptions& options, StandInServices& services)
{
    services.Reset();
    return Guarded([&] {
        HRESULT hr = folder.Prepare();
        if (FAILED(hr)) return hr;
        StandInServices made;
        hr = SettingStoreService::Create(folder, made.settings);
        if (FAILED(hr)) return hr;
        hr = AccountService::Create(folder, made.account);
        if (FAILED(hr)) return hr;
        hr = CloudConfigService::Create(folder, made.cloud);
        if (FAILED(hr)) return hr;
        hr = CalendarService::Create(folder, made.calendars);
        if (FAILED(hr)) return hr;
        hr = EventService::Create(folder, made.calendars, made.events);
        if (FAILED(hr)) return hr;
        hr = DayContentService::Create(folder, made.dayContent);
        if (FAILED(hr)) return hr;
        hr = NoteService::Create(folder, made.notes);
        if (FAILED(hr)) return hr;
        hr = TimetableService::Create(folder, made.timetables);
        if (FAILED(hr)) return hr;
        made.userData = UserDataService::Create(folder, made.account);
        made.statistics = StatisticsService::Create(folder);
        made.application = ApplicationService::Create(options.useClipboard);
        made.paths = PathService::Create(options.applicationFolder);
        made.language = LanguageService::Create(made.paths, options.language);
        made.archives = ResourceArchiveService::Create();
        made.indexes = ResourceIndexService::Create();
        made.layouts = LayoutLoaderService::Create(made.paths);
        made.tips = TipService::Create();
        for (const auto& entry : made.Entries())
            if (!entry.second) return E_OUTOFMEMORY;
        services = std::move(made);
        return S_OK;
    });
}

}  // namespace devhost
