#include "DevHostCommands.h"

#include <cstdlib>
#include <sstream>
#include <utility>

#include <psapi.h>

#include "DevHostApi.h"
#include "HandleGauge.h"
#include "HostApi.h"
#include "UniqueBstr.h"
#include "SampleData.h"

namespace {

const wchar_t kOk[] = L"ok";

std::wstring Error(const std::wstring& why)
{
    return L"error: " + why;
}

bool ParseLong(const std::wstring& text, long& value)
{
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    value = std::wcstol(text.c_str(), &end, 10);
    return errno == 0 && end && *end == L'\0';
}

// The services by the names the commands use.
struct NamedService {
    const wchar_t* name;
    GUID id;
    IUnknown* (*get)(devhost::StandInServices&);
};

const NamedService kServices[] = {
    {L"settings", SID_SettingStoreService, [](devhost::StandInServices& s) -> IUnknown* { return s.settings.get(); }},
    {L"account", SID_AccountService, [](devhost::StandInServices& s) -> IUnknown* { return s.account.get(); }},
    {L"userdata", SID_UserDataService, [](devhost::StandInServices& s) -> IUnknown* { return s.userData.get(); }},
    {L"cloud", SID_CloudConfigService, [](devhost::StandInServices& s) -> IUnknown* { return s.cloud.get(); }},
    {L"statistics", SID_StatisticsService, [](devhost::StandInServices& s) -> IUnknown* { return s.statistics.get(); }},
    {L"language", SID_LanguageService, [](devhost::StandInServices& s) -> IUnknown* { return s.language.get(); }},
    {L"application", SID_ApplicationService, [](devhost::StandInServices& s) -> IUnknown* { return s.application.get(); }},
    {L"path", SID_PathService, [](devhost::StandInServices& s) -> IUnknown* { return s.paths.get(); }},
    {L"archive", SID_ResourceArchiveService, [](devhost::StandInServices& s) -> IUnknown* { return s.archives.get(); }},
    {L"index", SID_ResourceIndexService, [](devhost::StandInServices& s) -> IUnknown* { return s.indexes.get(); }},
    {L"calendar", SID_CalendarService, [](devhost::StandInServices& s) -> IUnknown* { return s.calendars.get(); }},
    {L"event", SID_EventService, [](devhost::StandInServices& s) -> IUnknown* { return s.events.get(); }},
    {L"daycontent", SID_DayContentService, [](devhost::StandInServices& s) -> IUnknown* { return s.dayContent.get(); }},
    {L"note", SID_NoteService, [](devhost::StandInServices& s) -> IUnknown* { return s.notes.get(); }},
    {L"timetable", SID_TimetableService, [](devhost::StandInServices& s) -> IUnknown* { return s.timetables.get(); }},
    {L"layout", SID_LayoutLoaderService, [](devhost::StandInServices& s) -> IUnknown* { return s.layouts.get(); }},
    {L"builder", SID_ElementBuilderService, [](devhost::StandInServices& s) -> IUnknown* { return s.elementBuilder.get(); }},
    {L"tip", SID_TipService, [](devhost::StandInServices& s) -> IUnknown* { return s.tips.get(); }},
};

const NamedService* FindService(const std::wstring& name)
{
    for (const NamedService& s : kServices)
        if (name == s.name) return &s;
    return nullptr;
}

std::wstring Escaped(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out.push_back(L'\\');
        out.push_back(c);
    }
    return out;
}

// A day as the calendar commands take it: "today" or YYYY-MM-DD.
bool ParseCommandDay(const std::wstring& text, devhost::CalendarDay& day)
{
    if (text == L"today") {
        day = devhost::LocalToday();
        return true;
    }
    return devhost::ParseDayText(text, day);
}

// A calendar given as ID GROUP in words[at], words[at + 1].
bool ParseCalendar(const std::vector<std::wstring>& words, std::size_t at, devhost::CalendarIdentity& calendar)
{
    long id = 0;
    if (at + 2 != words.size() || !ParseLong(words[at], id)) return false;
    calendar = devhost::CalendarIdentity{static_cast<LONG>(id), words[at + 1]};
    return true;
}

std::wstring CalendarText(const devhost::CalendarIdentity& calendar)
{
    return std::to_wstring(calendar.id) + L" " + (calendar.groupId.empty() ? L"\"\"" : calendar.groupId);
}

// A stored text on one line of a reply: its CR and LF shown as \r and \n,
// and a backslash doubled so that the line reads back unambiguously.
std::wstring OneLine(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\') out += L"\\\\";
        else if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else out.push_back(c);
    }
    return out;
}

// The number of items of a timetable content's "lessons" array; 0 without one.
std::size_t LessonCount(const std::wstring& content)
{
    const JsonValue::Ptr parsed = JsonValue::Parse(content);
    const JsonValue* lessons = parsed ? parsed->GetMember(L"lessons") : nullptr;
    return lessons && lessons->IsArray() ? lessons->Items().size() : 0;
}

std::wstring KindText(LONG type)
{
    if (type == kEventTypeTask) return L"task";
    if (type == kEventTypeReminder) return L"reminder";
    if (type == kEventTypeCountdown) return L"countdown";
    return L"type " + std::to_wstring(type);
}

}  // namespace

std::vector<std::wstring> SplitCommandWords(const std::wstring& line)
{
    std::vector<std::wstring> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i >= line.size()) break;
        std::wstring word;
        if (line[i] == L'"') {
            for (++i; i < line.size() && line[i] != L'"'; ++i) {
                if (line[i] == L'\\' && i + 1 < line.size() && (line[i + 1] == L'"' || line[i + 1] == L'\\')) ++i;
                word.push_back(line[i]);
            }
            ++i;  // the closing quotation mark, when there is one
        } else {
            while (i < line.size() && line[i] != L' ' && line[i] != L'\t') word.push_back(line[i++]);
        }
        words.push_back(word);
    }
    return words;
}

std::wstring DevHostCommands::Help()
{
    return L"ok\n"
           L"status                         the stand-in's state\n"
           L"setting get KEY                a stored setting\n"
           L"setting set-int KEY N          store an integer setting\n"
           L"setting set-string KEY TEXT    store a text setting (quote TEXT with spaces)\n"
           L"login USER | logout            the account's login\n"
           L"login-flag N                   the raw logged-in answer (-1 means yes)\n"
           L"cloud allow | deny | answer N  the cloud switch for AI access\n"
           L"ai on | off                    switch AI access and apply it to the plug-in\n"
           L"config                         the MCP client configuration (program path and token)\n"
           L"service remove|restore NAME    take a service away from the host or give it back\n"
           L"                               (settings account userdata cloud statistics language\n"
           L"                               application path archive index calendar event daycontent\n"
           L"                               note timetable layout builder tip)\n"
           L"calendars                      the local calendars and the current one\n"
           L"calendar current ID GROUP      switch the current calendar\n"
           L"events DAY [ID GROUP]          the events on DAY (YYYY-MM-DD or today), current calendar\n"
           L"                               unless one is given\n"
           L"event complete|reopen ID DAY   mark one occurrence of an event done or not\n"
           L"event show ID                  the event as stored, one JSON object as in events.json\n"
           L"cell DAY [ID GROUP]            the day cell of DAY: colour and numbered lines\n"
           L"notes                          the notes: id, type, content's UTF-8 bytes, title (CR, LF as \\r, \\n)\n"
           L"note ID                        the note as stored, one JSON object as in notes.json\n"
           L"timetables                     the timetables: id, default or -, number of lessons, name\n"
           L"timetable ID                   the timetable's content as the service hands it out (one JSON object)\n"
           L"fail notes|events|timetables on|off\n"
           L"                               make those writes fail (E_FAIL) or work again\n"
           L"sample [replace]               seed the sample data (replace: over existing data)\n"
           L"stats | calls | trace [N]      recorded statistics, application calls, trace lines\n"
           L"quota                          today's AI writes per kind for the logged-in user (limit 40 each)\n"
           L"audit [N]                      the last N lines of the AI audit log (default 10)\n"
           L"page open                      open the settings dialog on the AI access page\n"
           L"page window                    the plug-in's own settings window (ShowSettingWindow)\n"
           L"page click ID | page toggle    a real mouse click on that element (toggle: aimcp_enabled)\n"
           L"page state                     the open page's elements: id, kind, text, visible, disabled,\n"
           L"                               checked, read from their controls\n"
           L"page finish CODE               finish the page with CODE (1, 2 save) and close the dialog\n"
           L"clipboard                      the text last copied (CR, LF, \\ as \\r, \\n, \\\\)\n"
           L"tips                           the tips shown, oldest first (CR, LF, \\ as \\r, \\n, \\\\)\n"
           L"stall MS                       block the main thread for MS milliseconds\n"
           L"quit                           detach the plug-in and end the program\n";
}

std::wstring DevHostCommands::Execute(const std::wstring& line)
{
    const std::vector<std::wstring> w = SplitCommandWords(line);
    if (w.empty()) return Error(L"no command; try help");
    const std::wstring& c = w[0];
    const std::size_t n = w.size();

    if (c == L"help") return Help();
    if (c == L"status") return Status();

    if (c == L"setting" && n == 3 && w[1] == L"get") {
        LONG i = 0;
        std::wstring s;
        if (services_.settings->ReadInt(w[2], i)) return L"ok\n" + std::to_wstring(i);
        if (services_.settings->ReadString(w[2], s)) return L"ok\n" + s;
        return Error(L"no setting " + w[2]);
    }
    if (c == L"setting" && n == 4 && w[1] == L"set-int") {
        long v = 0;
        if (!ParseLong(w[3], v)) return Error(L"not an integer: " + w[3]);
        return SUCCEEDED(services_.settings->WriteInt(w[2], static_cast<LONG>(v))) ? kOk : Error(L"could not store");
    }
    if (c == L"setting" && n == 4 && w[1] == L"set-string")
        return SUCCEEDED(services_.settings->WriteString(w[2], w[3])) ? kOk : Error(L"could not store");

    if (c == L"login" && n == 2) return SUCCEEDED(services_.account->LogIn(w[1])) ? kOk : Error(L"could not store");
    if (c == L"logout" && n == 1) return SUCCEEDED(services_.account->LogOut()) ? kOk : Error(L"could not store");
    if (c == L"login-flag" && n == 2) {
        long v = 0;
        if (!ParseLong(w[1], v)) return Error(L"not an integer: " + w[1]);
        return SUCCEEDED(services_.account->SetLogin(static_cast<VARIANT_BOOL>(v), services_.account->UserId()))
                   ? kOk
                   : Error(L"could not store");
    }

    if (c == L"cloud" && n >= 2) {
        long v = 0;
        if (w[1] == L"allow" && n == 2) v = VARIANT_TRUE;
        else if (w[1] == L"deny" && n == 2) v = VARIANT_FALSE;
        else if (!(w[1] == L"answer" && n == 3 && ParseLong(w[2], v))) return Error(L"cloud allow | deny | answer N");
        return SUCCEEDED(services_.cloud->SetAiAccessAnswer(static_cast<VARIANT_BOOL>(v))) ? kOk : Error(L"could not store");
    }

    if (c == L"ai" && n == 2 && (w[1] == L"on" || w[1] == L"off")) {
        if (FAILED(services_.settings->WriteInt(L"sys_aimcp_enabled", w[1] == L"on" ? 1 : 0)))
            return Error(L"could not store");
        if (!controls_.reattachPlugin()) return L"ok\nstored; no plug-in is loaded to apply it";
        return w[1] == L"on" ? L"ok\n" + ClientConfiguration() : std::wstring(kOk);
    }
    if (c == L"config" && n == 1) {
        std::wstring token;
        if (!services_.settings->ReadString(L"sys_aimcp_token", token) || token.empty())
            return Error(L"no token yet: switch AI access on first (ai on)");
        return L"ok\n" + ClientConfiguration();
    }

    if (c == L"service" && n == 3 && (w[1] == L"remove" || w[1] == L"restore")) {
        const NamedService* s = FindService(w[2]);
        if (!s) return Error(L"no service named " + w[2]);
        DevHost::SetService(s->id, w[1] == L"remove" ? nullptr : s->get(services_));
        return kOk;
    }

    if (c == L"quota" && n == 1) {
        // The plug-in's per-user counters, as it keeps them in the settings
        // store; a stored day other than today means nothing was written yet.
        const std::wstring user = services_.account->UserKey();
        SYSTEMTIME now;
        GetLocalTime(&now);
        const LONG today = now.wYear * 10000 + now.wMonth * 100 + now.wDay;
        LONG day = 0;
        services_.settings->ReadInt(L"sys_aimcp_quota_day_" + user, day);
        std::wstring out = L"ok\nuser " + user + L", day " + std::to_wstring(today);
        for (const wchar_t* kind : {L"items", L"events", L"notes"}) {
            LONG used = 0;
            if (day == today) services_.settings->ReadInt(std::wstring(L"sys_aimcp_quota_") + kind + L"_" + user, used);
            out += std::wstring(L"\n") + kind + L": " + std::to_wstring(used) + L" of 40";
        }
        return out;
    }
    if (c == L"audit" && n <= 2) {
        long lines = 10;
        if (n == 2 && (!ParseLong(w[1], lines) || lines < 1)) return Error(L"audit [N]");
        UniqueBstr folder;
        services_.userData->GetUserDataDir(folder.put());
        std::wstring path = folder.str();
        if (!path.empty() && path.back() != L'\\') path += L'\\';
        path += L"aimcp_audit.log";
        std::wstring text;
        if (FAILED(devhost::ReadUtf8File(path, text))) return L"ok\n(no audit log yet at " + path + L")";
        std::vector<std::wstring> all;
        std::wistringstream in(text);
        for (std::wstring l; std::getline(in, l);)
            if (!l.empty()) all.push_back(l);
        std::wstring out = kOk;
        for (std::size_t i = all.size() > static_cast<std::size_t>(lines) ? all.size() - lines : 0; i < all.size(); ++i) out += L"\n" + all[i];
        return out;
    }
    if (c == L"stats" && n == 1) {
        std::wstring out = kOk;
        for (const auto& e : services_.statistics->Events()) out += L"\n" + devhost::StatisticsService::FormatLine(e);
        return out;
    }
    if (c == L"calls" && n == 1) {
        std::wstring out = kOk;
        for (const auto& call : services_.application->Calls()) {
            out += L"\n" + call.operation;
            for (const auto& argument : call.arguments) out += L" \"" + Escaped(argument) + L"\"";
        }
        return out;
    }
    if (c == L"trace" && n <= 2) {
        long lines = 20;
        if (n == 2 && (!ParseLong(w[1], lines) || lines < 1)) return Error(L"trace [N]");
        std::wstring buffer(1 << 20, L'\0');
        const int got = DevHost::CopyTraceTail(static_cast<int>(lines), &buffer[0], static_cast<int>(buffer.size()));
        buffer.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        while (!buffer.empty() && buffer.back() == L'\n') buffer.pop_back();
        return buffer.empty() ? std::wstring(kOk) : L"ok\n" + buffer;
    }

    if (c == L"calendars" && n == 1) return Calendars();
    if (c == L"calendar" && n == 4 && w[1] == L"current") {
        devhost::CalendarIdentity calendar;
        if (!ParseCalendar(w, 2, calendar)) return Error(L"calendar current ID GROUP");
        if (!services_.calendars->Has(calendar)) return Error(L"no calendar " + CalendarText(calendar));
        return SUCCEEDED(services_.calendars->SetCurrent(calendar)) ? kOk : Error(L"could not store");
    }
    if ((c == L"events" || c == L"cell") && (n == 2 || n == 4)) {
        devhost::CalendarDay day;
        devhost::CalendarIdentity calendar = services_.calendars->Current();
        if (!ParseCommandDay(w[1], day) || (n == 4 && !ParseCalendar(w, 2, calendar)))
            return Error(c + L" DAY [ID GROUP]");
        return c == L"events" ? Events(day, calendar) : Cell(day, calendar);
    }
    if (c == L"event" && n == 4 && (w[1] == L"complete" || w[1] == L"reopen")) {
        devhost::CalendarDay day;
        if (!ParseCommandDay(w[3], day)) return Error(L"event complete|reopen ID DAY");
        const HRESULT hr = services_.events->SetCompleted(w[2], day, w[1] == L"complete");
        if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return Error(L"no event " + w[2]);
        if (hr == E_INVALIDARG) return Error(L"event " + w[2] + L" does not occur on " + devhost::DayText(day));
        return SUCCEEDED(hr) ? kOk : Error(L"could not store");
    }
    if (c == L"event" && n == 3 && w[1] == L"show") {
        devhost::EventRecord event;
        if (!services_.events->Find(w[2], event)) return Error(L"no event " + w[2]);
        return L"ok\n" + devhost::EventJson(event)->Serialize();
    }
    if (c == L"notes" && n == 1) return Notes();
    if (c == L"note" && n == 2) {
        devhost::NoteRecord note;
        if (!services_.notes->Find(w[1], note)) return Error(L"no note " + w[1]);
        return L"ok\n" + devhost::NoteJson(note)->Serialize();
    }
    if (c == L"timetables" && n == 1) return Timetables();
    if (c == L"timetable" && n == 2) {
        devhost::TimetableRecord timetable;
        if (!services_.timetables->Find(w[1], timetable)) return Error(L"no timetable " + w[1]);
        return L"ok\n" + timetable.content;
    }
    if (c == L"fail") {
        if (n != 3 || (w[1] != L"notes" && w[1] != L"events" && w[1] != L"timetables") ||
            (w[2] != L"on" && w[2] != L"off"))
            return Error(L"fail notes|events|timetables on|off");
        const bool on = w[2] == L"on";
        if (w[1] == L"notes") services_.notes->SetFailWrites(on);
        else if (w[1] == L"events") services_.events->SetFailWrites(on);
        else services_.timetables->SetFailWrites(on);
        return L"ok\n" + w[1].substr(0, w[1].size() - 1) + (on ? L" writes fail" : L" writes work");
    }
    if (c == L"sample" && (n == 1 || (n == 2 && w[1] == L"replace"))) {
        if (n == 1 && devhost::HasCalendarData(services_))
            return Error(L"the data folder already holds calendar data; sample replace overwrites it");
        const devhost::CalendarDay today = devhost::LocalToday();
        if (FAILED(devhost::SeedSampleData(services_, today))) return Error(L"could not store");
        return L"ok\nsample data around " + devhost::DayText(today);
    }

    if (c == L"page") return Page(w);
    if (c == L"clipboard" && n == 1) {
        const std::vector<devhost::RecordedCall> calls = services_.application->Calls();
        for (auto call = calls.rbegin(); call != calls.rend(); ++call)
            if (call->operation == devhost::ApplicationService::kCopyText && !call->arguments.empty())
                return L"ok\n" + OneLine(call->arguments[0]);
        return Error(L"nothing was copied");
    }
    if (c == L"tips" && n == 1) {
        std::wstring out = kOk;
        for (const std::wstring& tip : services_.tips->Tips()) out += L"\n" + OneLine(tip);
        return out;
    }

    if (c == L"stall" && n == 2) {
        long ms = 0;
        if (!ParseLong(w[1], ms) || ms < 0) return Error(L"stall MS");
        controls_.stallMainThread(static_cast<unsigned long>(ms));
        return L"ok\nthe main thread stalls for " + w[1] + L" ms";
    }
    if (c == L"quit" && n == 1) {
        controls_.quit();
        return L"ok\nbye";
    }
    return Error(L"unknown command: " + line + L"; try help");
}

std::wstring DevHostCommands::Page(const std::vector<std::wstring>& w)
{
    const std::size_t n = w.size();
    const wchar_t kUsage[] = L"page open | window | click ID | toggle | state | finish CODE";
    if (n < 2) return Error(kUsage);
    if (!controls_.pages) return Error(L"this host has no settings dialog");
    PageHost& pages = *controls_.pages;
    const std::wstring& what = w[1];
    if (what == L"open" && n == 2) {
        if (!controls_.pluginLoaded()) return Error(L"the plug-in is not loaded");
        return pages.Open();
    }
    if (what == L"window" && n == 2) {
        const ComPtr<IDispatch> component = controls_.pluginComponent ? controls_.pluginComponent() : nullptr;
        if (!component) return Error(L"the plug-in is not loaded");
        return pages.ShowWindow(component.get());
    }
    if (what == L"click" && n == 3) return pages.Click(w[2]);
    if (what == L"toggle" && n == 2) return pages.Click(L"aimcp_enabled");
    if (what == L"state" && n == 2) return pages.State();
    if (what == L"finish" && n == 3) {
        long code = 0;
        if (!ParseLong(w[2], code)) return Error(L"not an integer: " + w[2]);
        return pages.Finish(code);
    }
    return Error(kUsage);
}

std::wstring DevHostCommands::Status()
{
    std::wostringstream out;
    LONG enabled = 0, trust = 0;
    std::wstring token;
    services_.settings->ReadInt(L"sys_aimcp_enabled", enabled);
    services_.settings->ReadInt(L"sys_aimcp_trust_write", trust);
    services_.settings->ReadString(L"sys_aimcp_token", token);
    out << L"ok\n";
    out << L"data folder: " << controls_.dataFolder << L"\n";
    out << L"plug-in: " << (controls_.pluginLoaded() ? L"attached" : L"not loaded") << L"\n";
    out << L"ai access: " << (enabled != 0 ? L"on" : L"off") << L"\n";
    out << L"trusted writing: " << (trust != 0 ? L"on" : L"off") << L"\n";
    out << L"token: " << (token.empty() ? L"(none)" : token) << L"\n";
    const VARIANT_BOOL cloud = services_.cloud->AiAccessAnswer();
    out << L"cloud switch: " << (cloud == VARIANT_TRUE ? L"allow" : cloud == VARIANT_FALSE ? L"deny" : L"answer " + std::to_wstring(cloud)) << L"\n";
    out << L"account: " << (services_.account->LoggedInAnswer() == VARIANT_TRUE ? L"logged in as " + services_.account->UserId() : L"nobody logged in")
        << L" (user key " << services_.account->UserKey() << L")\n";
    out << L"statistics events: " << services_.statistics->Events().size() << L"\n";
    out << L"calendar: current " << CalendarText(services_.calendars->Current()) << L"; "
        << services_.calendars->Calendars().size() << L" calendars, " << services_.events->Events().size()
        << L" events, " << services_.dayContent->CellCount() << L" day cells, " << services_.notes->Notes().size()
        << L" notes, " << services_.timetables->Timetables().size() << L" timetables\n";
    std::wstring failing;
    const std::pair<const wchar_t*, bool> switches[] = {
        {L"events", services_.events->FailsWrites()},
        {L"notes", services_.notes->FailsWrites()},
        {L"timetables", services_.timetables->FailsWrites()},
    };
    for (const auto& fault : switches)
        if (fault.second) failing += (failing.empty() ? L"" : L", ") + std::wstring(fault.first);
    out << L"failing writes: " << (failing.empty() ? L"none" : failing) << L"\n";
    PROCESS_MEMORY_COUNTERS memory{};
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    out << L"process: " << OpenHandleGauge() << L" handles, " << memory.PagefileUsage / 1024 << L" KiB committed, "
        << memory.WorkingSetSize / 1024 << L" KiB working set";
    return out.str();
}

// The configuration an MCP client needs, in the form the AI access page
// copies: the program beside the plug-in's folder and the token.
std::wstring DevHostCommands::ClientConfiguration()
{
    std::wstring token;
    services_.settings->ReadString(L"sys_aimcp_token", token);
    const std::wstring program = controls_.programFolder + L"tsyappaimcp\\tessary-mcp.exe";
    return L"{\n  \"mcpServers\": {\n    \"Tessary\": {\n      \"command\": \"" + Escaped(program) +
           L"\",\n      \"args\": [],\n      \"env\": {\n        \"TESSARY_AIMCP_TOKEN\": \"" + Escaped(token) +
           L"\"\n      }\n    }\n  }\n}";
}

std::wstring DevHostCommands::Calendars()
{
    const devhost::CalendarIdentity current = services_.calendars->Current();
    std::wstring out = kOk;
    for (const devhost::CalendarEntry& entry : services_.calendars->Calendars())
        out += L"\n" + CalendarText(entry.identity) + L" " + entry.name +
               (entry.identity == current ? L" (current)" : L"");
    if (!services_.calendars->Has(current)) out += L"\ncurrent: " + CalendarText(current) + L" (not listed)";
    return out;
}

// One line per event: id, kind, recurrence word and repeat count, whether
// this occurrence is done, and the content line.
std::wstring DevHostCommands::Events(const devhost::CalendarDay& day, const devhost::CalendarIdentity& calendar)
{
    std::wstring out = kOk;
    for (const devhost::EventRecord& event : services_.events->EventsOn(day, calendar)) {
        const bool done = event.completed.count(devhost::DayText(day)) != 0;
        out += L"\n" + event.id + L" " + KindText(event.type) + L" " + event.recurrence + L"/" +
               std::to_wstring(event.repeatCount) + (done ? L" done " : L" open ") + event.line;
    }
    return out;
}

// The colour, then each line of the text with its index.
std::wstring DevHostCommands::Cell(const devhost::CalendarDay& day, const devhost::CalendarIdentity& calendar)
{
    const devhost::DayCell cell = services_.dayContent->Cell(day, calendar);
    std::wstring out = L"ok\nbgcolor: " + cell.bgColor;
    if (cell.text.empty()) return out;
    std::size_t start = 0;
    for (int index = 0;; ++index) {
        const std::size_t lf = cell.text.find(L'\n', start);
        const std::size_t length = lf == std::wstring::npos ? std::wstring::npos : lf - start;
        out += L"\n" + std::to_wstring(index) + L" " + cell.text.substr(start, length);
        if (lf == std::wstring::npos) break;
        start = lf + 1;
    }
    return out;
}

// One line per note in stored order: id, type, the content's length in UTF-8
// bytes, and the title on one line.
std::wstring DevHostCommands::Notes()
{
    std::wstring out = kOk;
    for (const devhost::NoteRecord& note : services_.notes->Notes())
        out += L"\n" + note.id + L" " + std::to_wstring(note.type) + L" " +
               std::to_wstring(devhost::WideToUtf8(note.content).size()) + L" " + OneLine(note.title);
    return out;
}

// One line per timetable in stored order: id, "default" or "-", the number
// of lessons, and the name on one line.
std::wstring DevHostCommands::Timetables()
{
    std::wstring out = kOk;
    for (const devhost::TimetableRecord& timetable : services_.timetables->Timetables())
        out += L"\n" + timetable.id + (timetable.isDefault ? L" default " : L" - ") +
               std::to_wstring(LessonCount(timetable.content)) + L" " + OneLine(timetable.name);
    return out;
}
