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

UniqueFile OpenPipeClient(const std::wstring& pipeName, DWORD waitMs, DWORD* lastError)
{
    UniqueFile pipe;
    const DWORD deadline = GetTickCount() + waitMs;
    for (;;) {
        pipe.reset(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (pipe) return pipe;
        const DWORD error = GetLastError();
        if (lastError) *lastError = error;
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) return pipe;
        if (error == ERROR_PIPE_BUSY) WaitNamedPipeW(pipeName.c_str(), 200);
        else Sleep(20);
    }
}

PipeExchange ExchangeOverPipe(const std::wstring& pipeName, const std::string& request, DWORD waitMs)
{
    PipeExchange result;
    UniqueFile pipe = OpenPipeClient(pipeName, waitMs, &result.connectError);
    if (!pipe) return result;
    result.connected = true;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr);
    std::string buffer(70000, '\0');
    DWORD got = 0;
    if (ReadFile(pipe.get(), &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
        result.answered = true;
        result.reply.assign(buffer.data(), got);
    } else {
        result.readError = GetLastError();
    }
    return result;
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
