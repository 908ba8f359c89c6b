#include "RawPipeClient.h"

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
