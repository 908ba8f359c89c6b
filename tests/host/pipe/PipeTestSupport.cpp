#include "PipeTestSupport.h"

#include <atomic>
#include <future>
#include <thread>

#include "DevHostApi.h"
#include "UniqueHandle.h"

const wchar_t StandInHost::kToken[] = L"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

namespace {

std::wstring ScratchFolder()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"aimcp-pipe-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
}

}  // namespace

StandInHost::StandInHost()
{
    devhost::DataFolder folder(ScratchFolder());
    devhost::StandInOptions options;
    options.useClipboard = false;
    if (FAILED(devhost::InstallStandInServices(folder, options, services))) return;
    SetEnabled(true);
    SetToken(kToken);
}

StandInHost::~StandInHost()
{
    devhost::UninstallStandInServices(services);
}

void StandInHost::SetEnabled(bool on)
{
    (void)services.settings->WriteInt(L"sys_aimcp_enabled", on ? 1 : 0);
}

void StandInHost::SetToken(const std::wstring& token)
{
    (void)services.settings->WriteString(L"sys_aimcp_token", token);
}

std::wstring UniquePipeName()
{
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\aimcp-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

std::string RunWhilePumping(const std::function<std::string()>& work)
{
    std::packaged_task<std::string()> task(work);
    std::future<std::string> done = task.get_future();
    UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread worker([&] {
        task();
        SetEvent(finished.get());
    });
    HANDLE h = finished.get();
    for (;;) {
        const DWORD w = MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT);
        if (w == WAIT_OBJECT_0) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    worker.join();
    return done.get();
}

void PumpFor(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        const LONG left = static_cast<LONG>(end - GetTickCount());
        if (left <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
