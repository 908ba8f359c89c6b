#include "FakeCalendar.h"

#include <chrono>
#include <string>
#include <utility>

// Spelled out here rather than taken from the client, so that a wrong name
// on either side shows up as a failing test.
const wchar_t FakeCalendar::kPipeName[] = L"\\\\.\\pipe\\TessaryAiMcp-v1";
const wchar_t FakeCalendar::kMutexName[] = L"__MUTEX_TESSARY_EXE__";
const wchar_t FakeCalendar::kWindowTitle[] = L"tsyexecute_tessary_title-{DF169E84-E4BA-4eb0-A2CA-F39D25F7C3D7}";

namespace {

const wchar_t kWindowClass[] = L"TessaryFakeCalendarWindow";

constexpr DWORD kBufferBytes = 65536;
// The calendar's own limits for writing an answer and for waiting for the
// client to hang up afterwards.
constexpr DWORD kAnswerTimeoutMs = 10000;
constexpr DWORD kDrainTimeoutMs = 10000;

std::string Failed(const char* call, DWORD error)
{
    return std::string(call) + " failed, err " + std::to_string(error);
}

LRESULT CALLBACK FakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

FakeCalendar::FakeCalendar(Presence presence)
{
    if (presence == Presence::kMutex) HoldMutex();
    if (presence == Presence::kWindow) ShowWindowOnOwnThread();
}

FakeCalendar::~FakeCalendar()
{
    StopServing();
    if (windowThread_.joinable()) {
        if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
        windowThread_.join();
    }
}

void FakeCalendar::StopServing()
{
    if (stop_) SetEvent(stop_.get());
    if (server_.joinable()) server_.join();
}

void FakeCalendar::HoldMutex()
{
    mutex_.reset(CreateMutexW(nullptr, FALSE, kMutexName));
    if (!mutex_) error_ = Failed("CreateMutexW", GetLastError());
}

void FakeCalendar::ShowWindowOnOwnThread()
{
    std::promise<DWORD> ready;
    std::future<DWORD> created = ready.get_future();
    windowThread_ = std::thread([this, &ready] { WindowThread(ready); });
    const DWORD error = created.get();
    if (window_ == nullptr) error_ = Failed("CreateWindowExW", error);
}

void FakeCalendar::WindowThread(std::promise<DWORD>& ready)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FakeWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    // Another fake may have registered the class already; then it is shared.
    const bool registered = RegisterClassW(&windowClass) != 0;
    if (!registered && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ready.set_value(GetLastError());
        return;
    }
    // Top-level and never shown: WS_VISIBLE is left out.
    window_ = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, instance,
                              nullptr);
    ready.set_value(window_ != nullptr ? 0 : GetLastError());  // `ready` is gone after this
    if (window_ != nullptr) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (registered) UnregisterClassW(kWindowClass, instance);
}

bool FakeCalendar::Serve(std::vector<Step> script, PipeType type, unsigned long bufferBytes)
{
    if (stop_) {
        error_ = "Serve called twice";
        return false;
    }
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop_) {
        error_ = Failed("CreateEventW", GetLastError());
        return false;
    }
    const DWORD typeBits =
        type == PipeType::kMessage ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE : PIPE_TYPE_BYTE | PIPE_READMODE_BYTE;
    const auto create = [&](DWORD extra) {
        return CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, typeBits | PIPE_WAIT | extra, 1,
                                bufferBytes, bufferBytes, 0, nullptr);
    };
    pipe_.reset(create(PIPE_REJECT_REMOTE_CLIENTS));
    rejectsRemote_ = static_cast<bool>(pipe_);
    if (!pipe_ && GetLastError() == ERROR_INVALID_PARAMETER) pipe_.reset(create(0));
    if (!pipe_) {
        error_ = Failed("CreateNamedPipeW", GetLastError());
        return false;
    }
    script_ = std::move(script);
    server_ = std::thread([this] { ServeLoop(); });
    return true;
}

std::size_t FakeCalendar::Connections() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return connections_;
}

bool FakeCalendar::WaitForConnections(std::size_t count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return connections_ >= count; });
}

std::vector<std::string> FakeCalendar::Requests() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void FakeCalendar::ServeLoop()
{
    UniqueHandle ioEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ioEvent) return;
    while (WaitForSingleObject(stop_.get(), 0) == WAIT_TIMEOUT) {
        const bool goOn = ServeOneClient(ioEvent.get());
        // Also throws away whatever the client did not read.
        DisconnectNamedPipe(pipe_.get());
        if (!goOn) break;
    }
}

bool FakeCalendar::ServeOneClient(HANDLE ioEvent)
{
    OVERLAPPED ov{};
    ov.hEvent = ioEvent;
    ResetEvent(ioEvent);
    const BOOL connected = ConnectNamedPipe(pipe_.get(), &ov);
    const DWORD connectError = connected ? 0 : GetLastError();
    // ERROR_PIPE_CONNECTED: the client came before the connect was started;
    // ERROR_NO_DATA: it came and has left again.
    if (connectError != ERROR_PIPE_CONNECTED && connectError != ERROR_NO_DATA) {
        const IoResult result = Finish(connected, connectError, ov, INFINITE);
        if (result.status == IoStatus::kStopped) return false;
        // Try again, but do not spin if the failure repeats at once.
        if (result.status == IoStatus::kFailed) return WaitForSingleObject(stop_.get(), 10) == WAIT_TIMEOUT;
    }

    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        index = connections_++;
    }
    changed_.notify_all();
    if (connectError == ERROR_NO_DATA) return true;
    const Step step = index < script_.size() ? script_[index] : HangUp();

    if (step.action == Step::Action::kDropUnread) return WaitUntilClientSends();

    // No time limit here: a test may hold the only instance as long as it likes.
    std::string request;
    IoResult result = ReadMessage(ioEvent, request, INFINITE);
    if (result.status != IoStatus::kDone) return result.status != IoStatus::kStopped;
    {
        std::lock_guard<std::mutex> hold(lock_);
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();
    if (step.action == Step::Action::kHangUp) return true;

    ov = OVERLAPPED{};
    ov.hEvent = ioEvent;
    ResetEvent(ioEvent);
    const BOOL wrote =
        WriteFile(pipe_.get(), step.bytes.data(), static_cast<DWORD>(step.bytes.size()), nullptr, &ov);
    result = Finish(wrote, wrote ? 0 : GetLastError(), ov, kAnswerTimeoutMs);
    if (result.status != IoStatus::kDone) return result.status != IoStatus::kStopped;

    // Disconnecting now would discard the answer before the client read it,
    // so wait until the client hangs up (or sends anything).
    char scratch[64];
    ov = OVERLAPPED{};
    ov.hEvent = ioEvent;
    ResetEvent(ioEvent);
    const BOOL drained = ReadFile(pipe_.get(), scratch, sizeof scratch, nullptr, &ov);
    result = Finish(drained, drained ? 0 : GetLastError(), ov, kDrainTimeoutMs);
    return result.status != IoStatus::kStopped;
}

FakeCalendar::IoResult FakeCalendar::Finish(BOOL started, DWORD error, OVERLAPPED& ov, DWORD timeoutMs)
{
    DWORD bytes = 0;
    // Completed at once, in full or with more of the message left.
    if (started || error == ERROR_MORE_DATA) {
        if (GetOverlappedResult(pipe_.get(), &ov, &bytes, FALSE)) return {IoStatus::kDone, bytes, 0};
        return {IoStatus::kFailed, bytes, GetLastError()};
    }
    if (error != ERROR_IO_PENDING) return {IoStatus::kFailed, 0, error};

    const HANDLE waits[] = {ov.hEvent, stop_.get()};
    const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    if (waited == WAIT_OBJECT_0) {
        if (GetOverlappedResult(pipe_.get(), &ov, &bytes, FALSE)) return {IoStatus::kDone, bytes, 0};
        return {IoStatus::kFailed, bytes, GetLastError()};
    }
    // Stopped or timed out: the operation still refers to the caller's
    // buffer, so cancel it and let it settle before returning.
    CancelIo(pipe_.get());
    GetOverlappedResult(pipe_.get(), &ov, &bytes, TRUE);
    return {waited == WAIT_OBJECT_0 + 1 ? IoStatus::kStopped : IoStatus::kFailed, 0, WAIT_TIMEOUT};
}

FakeCalendar::IoResult FakeCalendar::ReadMessage(HANDLE ioEvent, std::string& message, DWORD timeoutMs)
{
    message.clear();
    std::string chunk(kBufferBytes, '\0');
    for (;;) {
        OVERLAPPED ov{};
        ov.hEvent = ioEvent;
        ResetEvent(ioEvent);
        const BOOL read = ReadFile(pipe_.get(), &chunk[0], kBufferBytes, nullptr, &ov);
        const IoResult result = Finish(read, read ? 0 : GetLastError(), ov, timeoutMs);
        if (result.status == IoStatus::kDone || result.error == ERROR_MORE_DATA) message.append(chunk, 0, result.bytes);
        if (result.status == IoStatus::kFailed && result.error == ERROR_MORE_DATA) continue;
        return result;
    }
}

bool FakeCalendar::WaitUntilClientSends()
{
    for (;;) {
        DWORD available = 0;
        // A failed peek means the client has gone.
        if (!PeekNamedPipe(pipe_.get(), nullptr, 0, nullptr, &available, nullptr) || available > 0) return true;
        if (WaitForSingleObject(stop_.get(), 5) == WAIT_OBJECT_0) return false;
    }
}
