// The default web browser. Every address is recorded (the last one in
// memory for DevHost::CopyLastBrowserUrl, all of them in browser.log in the
// data folder, and in the trace) before the shell is asked to open it, so a
// test or a user can see what would have been opened even where no browser
// exists or launching is turned off.

#include "CoreFiles.h"
#include "DevHostApi.h"

#include <shellapi.h>

#include <mutex>
#include <string>

namespace {

struct BrowserState {
    std::mutex lock;
    std::wstring lastUrl;
    bool launching = true;
};

BrowserState& Browser()
{
    static BrowserState* state = new BrowserState;
    return *state;
}

}  // namespace

void Util::System::LaunchDefaultBrowser(wchar_t* url)
{
    const std::wstring address = url ? url : L"";
    bool launch = false;
    {
        BrowserState& state = Browser();
        std::lock_guard<std::mutex> guard(state.lock);
        state.lastUrl = address;
        launch = state.launching;
    }
    tsycore::AppendToDataFile(L"browser.log", tsycore::LocalTimestamp() + L'\t' + address + L"\r\n");
    __NTrace(TEXT(__FILE__), L"void Util::System::LaunchDefaultBrowser(wchar_t*)", __LINE__,
             L"tsycore: LaunchDefaultBrowser %s%s", address.c_str(), launch ? L"" : L" (launching is off)");

    if (!launch || address.empty()) return;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result <= 32) {
        __NTrace(TEXT(__FILE__), L"void Util::System::LaunchDefaultBrowser(wchar_t*)", __LINE__,
                 L"tsycore: no browser opened (ShellExecute %d)", static_cast<int>(result));
    }
}

int DevHost::CopyLastBrowserUrl(wchar_t* buffer, int capacity)
{
    std::wstring url;
    {
        BrowserState& state = Browser();
        std::lock_guard<std::mutex> guard(state.lock);
        url = state.lastUrl;
    }
    return tsycore::CopyOut(url, buffer, capacity);
}

void DevHost::SetBrowserLaunching(BOOL launch)
{
    BrowserState& state = Browser();
    std::lock_guard<std::mutex> guard(state.lock);
    state.launching = launch != FALSE;
}
