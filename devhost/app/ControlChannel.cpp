#include "ControlChannel.h"

#include <vector>

#include "DataFolder.h"

const wchar_t kControlPipeName[] = L"\\\\.\\pipe\\TessaryDevHost-control";

namespace {

constexpr DWORD kBufferBytes = 1 << 20;
constexpr DWORD kReadTimeoutMs = 10000;

// Waits for an overlapped operation or the stop event; true when the
// operation finished successfully. A stopped or timed-out operation is
// cancelled and settled before its buffer can go away.
bool Finish(HANDLE pipe, OVERLAPPED& ov, HANDLE stop, DWORD timeoutMs, DWORD& bytes)
{
    HANDLE waits[2] = {ov.hEvent, stop};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    if (w == WAIT_OBJECT_0) return GetOverlappedResult(pipe, &ov, &bytes, FALSE) != FALSE;
    CancelIo(pipe);
    GetOverlappedResult(pipe, &ov, &bytes, TRUE);
    return false;
}

bool Started(BOOL ok)
{
    return ok || GetLastError() == ERROR_IO_PENDING;
}

}  // namespace

bool ControlChannel::Start(Handler handler)
{
    if (thread_) return true;
    handler_ = std::move(handler);
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) return false;
    pipe_.reset(CreateNamedPipeW(kControlPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 kBufferBytes, kBufferBytes, 0, nullptr));
    if (!pipe_) return false;
    thread_.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

DWORD WINAPI ControlChannel::ThreadMain(void* self)
{
    static_cast<ControlChannel*>(self)->Serve();
    return 0;
}

void ControlChannel::Stop()
{
    if (!thread_) return;
    SetEvent(stop_.get());
    HANDLE thread = thread_.get();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // delivers messages sent from other threads
    }
    thread_.reset();
    pipe_.reset();
    stop_.reset();
}

void ControlChannel::Serve()
{
    UniqueHandle ioEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent) return;
    std::vector<char> buffer(kBufferBytes);
    while (WaitForSingleObject(stop_.get(), 0) != WAIT_OBJECT_0) {
        OVERLAPPED ov{};
        ov.hEvent = ioEvent.get();
        ResetEvent(ioEvent.get());
        DWORD bytes = 0;
        const BOOL connected = ConnectNamedPipe(pipe_.get(), &ov);
        const DWORD error = connected ? 0 : GetLastError();
        bool ready = error == ERROR_PIPE_CONNECTED || connected;
        if (!ready && error == ERROR_IO_PENDING) ready = Finish(pipe_.get(), ov, stop_.get(), INFINITE, bytes);
        if (ready) {
            ov = OVERLAPPED{};
            ov.hEvent = ioEvent.get();
            ResetEvent(ioEvent.get());
            if (Started(ReadFile(pipe_.get(), buffer.data(), kBufferBytes, nullptr, &ov)) &&
                Finish(pipe_.get(), ov, stop_.get(), kReadTimeoutMs, bytes)) {
                std::wstring command = devhost::Utf8ToWide(std::string(buffer.data(), bytes));
                while (!command.empty() && (command.back() == L'\n' || command.back() == L'\r')) command.pop_back();
                const std::string reply = devhost::WideToUtf8(handler_(command));
                ov = OVERLAPPED{};
                ov.hEvent = ioEvent.get();
                ResetEvent(ioEvent.get());
                if (Started(WriteFile(pipe_.get(), reply.data(), static_cast<DWORD>(reply.size()), nullptr, &ov)))
                    Finish(pipe_.get(), ov, stop_.get(), kReadTimeoutMs, bytes);
                FlushFileBuffers(pipe_.get());
            }
        }
        DisconnectNamedPipe(pipe_.get());
    }
}

bool SendControlCommand(const std::wstring& command, std::wstring& reply)
{
    UniqueFile pipe;
    for (int attempt = 0; attempt < 50; ++attempt) {
        pipe.reset(CreateFileW(kControlPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (pipe || GetLastError() != ERROR_PIPE_BUSY) break;
        WaitNamedPipeW(kControlPipeName, 200);
    }
    if (!pipe) {
        reply = L"no stand-in calendar is running (its command channel cannot be opened, err " +
                std::to_wstring(GetLastError()) + L")";
        return false;
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    const std::string request = devhost::WideToUtf8(command);
    DWORD written = 0;
    if (!WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr)) {
        reply = L"the command could not be sent";
        return false;
    }
    std::string bytes;
    std::vector<char> chunk(kBufferBytes);
    for (;;) {
        DWORD got = 0;
        const BOOL ok = ReadFile(pipe.get(), chunk.data(), kBufferBytes, &got, nullptr);
        bytes.append(chunk.data(), got);
        if (ok || GetLastError() != ERROR_MORE_DATA) break;
    }
    reply = devhost::Utf8ToWide(bytes);
    return true;
}
