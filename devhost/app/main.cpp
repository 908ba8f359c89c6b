// tessary-devhost: the stand-in calendar program. It looks like the running
// calendar to tessary-mcp (the named mutex and the titled top-level window),
// loads the AI plug-in from its own folder and attaches it, and runs the
// message loop on its main thread. A user or a test drives it with commands,
// typed at its console or sent from a second invocation:
//
//   tessary-devhost.exe [--data DIR] [--no-plugin] [--sample]
//                                           run the calendar (state in DIR;
//                                           --sample seeds the sample data
//                                           when DIR holds no calendar data)
//   tessary-devhost.exe --send COMMAND...   send one command to the running one
//
// "help" lists the commands.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ControlChannel.h"
#include "DataFolder.h"
#include "DevHostApi.h"
#include "DevHostCommands.h"
#include "DevHostUi.h"
#include "InstallServices.h"
#include "PageHost.h"
#include "PluginLoader.h"
#include "SampleData.h"
#include "UniqueHandle.h"

namespace {

const wchar_t kMutexName[] = L"__MUTEX_TESSARY_EXE__";
const wchar_t kWindowTitle[] = L"tsyexecute_tessary_title-{DF169E84-E4BA-4eb0-A2CA-F39D25F7C3D7}";
const wchar_t kWindowClass[] = L"TessaryDevHostMainWindow";

constexpr UINT kRunCommandMessage = WM_APP + 1;  // lParam: CommandJob*
constexpr UINT kStallMessage = WM_APP + 2;       // wParam: milliseconds
constexpr UINT kQuitMessage = WM_APP + 3;

struct CommandJob {
    const std::wstring* command;
    std::wstring reply;
};

std::mutex g_printLock;

void Print(const std::wstring& text)
{
    const std::lock_guard<std::mutex> hold(g_printLock);
    const std::string bytes = devhost::WideToUtf8(text + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// The object handed to the plug-in as its host; the plug-in only keeps a
// reference to it.
class HostObject final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *out = this;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() noexcept override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

private:
    LONG refs_ = 1;
};

// Runs on the main thread: the window procedure of the titled window.
class MainWindow {
public:
    DevHostCommands* commands = nullptr;

    bool Create()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &MainWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kWindowClass;
        if (!RegisterClassW(&wc)) return false;
        hwnd = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                               nullptr, nullptr, wc.hInstance, this);
        return hwnd != nullptr;
    }
    void Destroy()
    {
        if (hwnd) DestroyWindow(hwnd);
        hwnd = nullptr;
        UnregisterClassW(kWindowClass, GetModuleHandleW(nullptr));
    }

    // Called on any thread: carries the command to the main thread and waits
    // for its reply.
    std::wstring Run(const std::wstring& command)
    {
        CommandJob job{&command, std::wstring()};
        if (!hwnd || !SendMessageW(hwnd, kRunCommandMessage, 0, reinterpret_cast<LPARAM>(&job)))
            return L"error: the stand-in calendar is closing";
        return job.reply;
    }

    HWND hwnd = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (message) {
        case kRunCommandMessage: {
            auto* job = reinterpret_cast<CommandJob*>(lParam);
            job->reply = self && self->commands ? self->commands->Execute(*job->command) : L"error: not ready";
            return 1;
        }
        case kStallMessage:
            Sleep(static_cast<DWORD>(wParam));
            return 0;
        case kQuitMessage:
        case WM_CLOSE:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }
};

// Reads command lines typed at the console (or piped in) and prints their
// replies. Ends quietly when input ends; the program keeps running.
DWORD WINAPI ConsoleReader(void* param)
{
    auto* window = static_cast<MainWindow*>(param);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        pending.append(chunk, got);
        std::size_t lf;
        while ((lf = pending.find('\n')) != std::string::npos) {
            std::wstring line = devhost::Utf8ToWide(pending.substr(0, lf));
            pending.erase(0, lf + 1);
            while (!line.empty() && line.back() == L'\r') line.pop_back();
            if (!line.empty()) Print(window->Run(line));
        }
    }
    return 0;
}

std::wstring QuoteWord(const std::wstring& word)
{
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
    std::wstring out = L"\"";
    for (wchar_t c : word) {
        if (c == L'"' || c == L'\\') out.push_back(L'\\');
        out.push_back(c);
    }
    return out + L"\"";
}

int SendMode(const std::vector<std::wstring>& words)
{
    std::wstring command;
    for (const auto& w : words) command += (command.empty() ? L"" : L" ") + QuoteWord(w);
    std::wstring reply;
    const bool sent = SendControlCommand(command, reply);
    Print(sent ? reply : L"error: " + reply);
    return sent && reply.compare(0, 2, L"ok") == 0 ? 0 : 1;
}

int RunCalendar(const std::wstring& dataPath, bool loadPlugin, bool seedSample, const std::wstring& language)
{
    UniqueHandle mutex(CreateMutexW(nullptr, TRUE, kMutexName));
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        Print(L"tessary-devhost: another calendar is already running");
        return 1;
    }
    const HRESULT comInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring programFolder = ProgramFolder();

    devhost::DataFolder folder(dataPath);
    DevHost::SetDataFolder(folder.Path().c_str());
    devhost::StandInServices services;
    devhost::StandInOptions options;
    if (!language.empty()) options.language = language;
    if (FAILED(devhost::InstallStandInServices(folder, options, services))) {
        Print(L"tessary-devhost: the data folder " + folder.Path() + L" cannot be used");
        if (SUCCEEDED(comInit)) CoUninitialize();
        return 1;
    }
    if (seedSample && devhost::HasCalendarData(services)) {
        Print(L"tessary-devhost: the data folder already holds calendar data; no sample data seeded");
    } else if (seedSample) {
        const devhost::CalendarDay today = devhost::LocalToday();
        if (FAILED(devhost::SeedSampleData(services, today)))
            Print(L"tessary-devhost: the sample data could not be stored");
        else
            Print(L"tessary-devhost: sample data seeded around " + devhost::DayText(today));
    }

    MainWindow window;
    PluginLoader plugin;
    ComPtr<IUnknown> host = ComPtr<IUnknown>::Attach(new HostObject());
    DevHostControls controls;
    controls.pluginLoaded = [&] { return plugin.Loaded(); };
    controls.reattachPlugin = [&] { return plugin.Reattach(host.get()); };
    controls.stallMainThread = [&](unsigned long ms) { PostMessageW(window.hwnd, kStallMessage, ms, 0); };
    controls.quit = [&] { PostMessageW(window.hwnd, kQuitMessage, 0, 0); };
    controls.pluginComponent = [&] { return plugin.MainDispatch(); };
    PageHost pages(PageHost::kAiMcpPageClassId);
    controls.pages = &pages;
    controls.dataFolder = folder.Path();
    controls.programFolder = programFolder;
    DevHostCommands commands(services, controls);
    window.commands = &commands;

    int exitCode = 0;
    ControlChannel channel;
    if (!window.Create()) {
        Print(L"tessary-devhost: the main window cannot be created, err " + std::to_wstring(GetLastError()));
        exitCode = 1;
    } else {
        // The main window as the plug-in meets it: a window factory.
        ComPtr<IDispatch> factory;
        if (SUCCEEDED(DevHost::Ui::CreateWindowFactory(window.hwnd, factory.put()))) pages.SetFactory(factory.get());
        std::wstring report = L"running without the plug-in, as asked";
        if (loadPlugin) plugin.Load(programFolder, host.get(), report);
        Print(L"tessary-devhost: " + report);
    }
    // Commands are taken only once the plug-in is attached: the channel
    // answering is how a user or a test knows the calendar is ready, and a
    // command handled while the plug-in attaches (say "ai on") would change
    // settings it has already read.
    if (exitCode == 0 && !channel.Start([&](const std::wstring& command) { return window.Run(command); })) {
        Print(L"tessary-devhost: the command channel cannot be opened, err " + std::to_wstring(GetLastError()));
        exitCode = 1;
    }
    if (exitCode == 0) {
        UniqueHandle reader(CreateThread(nullptr, 0, ConsoleReader, &window, 0, nullptr));
        Print(L"tessary-devhost: ready; data folder " + folder.Path() + L"; type help for commands");

        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // The console reader may sit in a read that never ends; the process
        // ends it when it exits.
    }

    pages.CloseAll();
    plugin.Unload();
    window.commands = nullptr;
    window.Destroy();
    channel.Stop();
    devhost::UninstallStandInServices(services);
    services.Reset();
    if (SUCCEEDED(comInit)) CoUninitialize();
    Print(L"tessary-devhost: stopped");
    return exitCode;
}

}  // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    LocalFree(argv);

    std::wstring dataPath = ProgramFolder() + L"devhost-data";
    bool loadPlugin = true;
    bool seedSample = false;
    std::wstring language;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"--send") return SendMode(std::vector<std::wstring>(args.begin() + static_cast<long>(i) + 1, args.end()));
        if (args[i] == L"--data" && i + 1 < args.size()) {
            dataPath = args[++i];
        } else if (args[i] == L"--no-plugin") {
            loadPlugin = false;
        } else if (args[i] == L"--sample") {
            seedSample = true;
        } else if (args[i] == L"--language" && i + 1 < args.size()) {
            language = args[++i];
        } else {
            Print(L"usage: tessary-devhost.exe [--data DIR] [--no-plugin] [--sample] [--language LANG] | --send COMMAND...");
            return 2;
        }
    }
    return RunCalendar(dataPath, loadPlugin, seedSample, language);
}
