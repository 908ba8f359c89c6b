#include "AiMcpPipeServer.h"

#include <sddl.h>

#include <mutex>
#include <vector>

#include "AiMcpEnvelope.h"
#include "AiMcpSettingHelper.h"
#include "AiMcpToolDispatcher.h"
#include "AiMcpUtf8.h"
#include "HostAccess.h"
#include "ProcessUser.h"

const wchar_t CAiMcpPipeServer::kPipeName[] = L"\\\\.\\pipe\\TessaryAiMcp-v1";

namespace {

const wchar_t kBridgeClassName[] = L"TessaryAiMcpBridge";
constexpr UINT kBridgeMessage = WM_APP + 1;

constexpr DWORD kPipeBufferBytes = 65536;
constexpr DWORD kIoTimeLimitMs = 10000;
constexpr DWORD kJoinStepMs = 5000;
constexpr DWORD kHandOverLimitMs = 15000;
// How often the worker tries again while another instance holds the name.
constexpr DWORD kNameRetryMs = 250;

// _WaitForIo outcomes.
constexpr int kIoDone = 0;
constexpr int kIoStopped = 1;
constexpr int kIoFailed = 2;

const wchar_t kNotReady[] = L"the calendar is not ready to serve requests";
const wchar_t kNoMainThread[] = L"could not reach the calendar's main thread";
const wchar_t kNoAnswerInTime[] = L"the calendar did not answer in time";

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

bool IsTrimmed(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

std::wstring Trim(const std::wstring& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && IsTrimmed(text[begin])) ++begin;
    while (end > begin && IsTrimmed(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

// Full access for SYSTEM and for the user the calendar runs as, nothing for
// anyone else, and no entries inherited from above: another user's process
// can neither open the pipe nor add an instance of its own to it.
bool MakePipeSecurity(UniqueLocal<PSECURITY_DESCRIPTOR>& descriptor)
{
    std::vector<unsigned char> user = ProcessUserSid(GetCurrentProcess());
    if (user.empty()) return false;
    UniqueLocal<wchar_t*> userText;
    if (!ConvertSidToStringSidW(user.data(), userText.put())) return false;
    const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;" + std::wstring(userText.get()) + L")";
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, descriptor.put(),
                                                                nullptr) != FALSE;
}

}  // namespace

CAiMcpPipeServer::CAiMcpPipeServer(std::wstring pipeName)
    : pipeName_(std::move(pipeName)), dispatch_(&AiMcpToolDispatcher::Dispatch)
{
}

CAiMcpPipeServer::~CAiMcpPipeServer()
{
    StopServer();
}

// --- Start and stop (main thread) -------------------------------------------

void CAiMcpPipeServer::RefreshSettings()
{
    // Read outside the lock: these call into the host's settings store.
    const int enabled = IsAiMcpEnabled() ? 1 : 0;
    std::wstring token = GetAiMcpToken();
    const std::lock_guard<CriticalSection> hold(settingsLock_);
    enabled_ = enabled;
    token_.swap(token);
}

int CAiMcpPipeServer::StartServer()
{
    RefreshSettings();
    if (worker_) return 1;

    // The error reported is the one of the step that failed; later calls
    // would overwrite it.
    DWORD setupError = ERROR_SUCCESS;
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (stopEvent_) {
        answerEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!answerEvent_) setupError = GetLastError();
    } else {
        setupError = GetLastError();
    }
    const bool setUp = stopEvent_ && answerEvent_ && _CreateBridgeWindow();
    if (!setUp) {
        if (setupError == ERROR_SUCCESS) setupError = GetLastError();
        AIMCP_TRACE(L"CAiMcpPipeServer: setup failed err = %u", static_cast<unsigned>(setupError));
        _DestroyBridgeWindow();
        answerEvent_.reset();
        stopEvent_.reset();
        return 0;
    }
    ResetEvent(stopEvent_.get());
    stopping_.store(false);
    worker_.reset(CreateThread(nullptr, 0, &CAiMcpPipeServer::_WorkerEntry, this, 0, nullptr));
    if (!worker_) {
        AIMCP_TRACE(L"CAiMcpPipeServer: CreateThread failed err = %u", static_cast<unsigned>(GetLastError()));
        _DestroyBridgeWindow();
        answerEvent_.reset();
        stopEvent_.reset();
        return 0;
    }
    AIMCP_TRACE(L"CAiMcpPipeServer: starting on %ls", pipeName_.c_str());
    return 1;
}

void CAiMcpPipeServer::StopServer()
{
    if (!worker_) return;
    stopping_.store(true);
    SetEvent(stopEvent_.get());
    DWORD wait;
    while ((wait = WaitForSingleObject(worker_.get(), kJoinStepMs)) == WAIT_TIMEOUT)
        AIMCP_TRACE(L"CAiMcpPipeServer: still waiting for the worker thread to exit");
    if (wait != WAIT_OBJECT_0)
        AIMCP_TRACE(L"CAiMcpPipeServer: join failed wait = %u err = %u", static_cast<unsigned>(wait),
                    static_cast<unsigned>(GetLastError()));
    worker_.reset();
    _DestroyBridgeWindow();
    answerEvent_.reset();
    stopEvent_.reset();
    AIMCP_TRACE(L"CAiMcpPipeServer: stopped");
}

// --- Worker thread ------------------------------------------------------------

DWORD WINAPI CAiMcpPipeServer::_WorkerEntry(void* self)
{
    if (self) static_cast<CAiMcpPipeServer*>(self)->_Run();
    return 0;
}

void CAiMcpPipeServer::_Run()
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        AIMCP_TRACE(L"CAiMcpPipeServer: worker CreateEvent failed err = %u", static_cast<unsigned>(GetLastError()));
        return;
    }
    UniqueFile pipe = _CreatePipeInstance();
    if (!pipe) return;
    // Made once for the worker's life and reused by every connection.
    IoBuffers buffers;
    buffers.request.resize(kPipeBufferBytes);
    while (!stopping_.load()) {
        _ServeOneClient(pipe.get(), event.get(), buffers);
        DisconnectNamedPipe(pipe.get());
    }
}

UniqueFile CAiMcpPipeServer::_CreatePipeInstance()
{
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    if (!MakePipeSecurity(descriptor)) {
        AIMCP_TRACE(L"CAiMcpPipeServer: pipe security failed err = %u", static_cast<unsigned>(GetLastError()));
        return UniqueFile();
    }
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;

    // Only the first instance of the name is ours to serve: a process that
    // holds the name already (one that squats it, or a client still holding
    // the instance of this server's previous run) must not be joined by a
    // second instance, or clients could reach either. While the name is
    // held, try again until it is free or the server stops.
    bool waitingForName = false;
    for (;;) {
        UniqueFile pipe(CreateNamedPipeW(pipeName_.c_str(),
                                         PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_REJECT_REMOTE_CLIENTS | PIPE_WAIT,
                                         1, kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
        if (pipe) {
            if (waitingForName) AIMCP_TRACE(L"CAiMcpPipeServer: the pipe name is free, serving");
            return pipe;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_PIPE_BUSY) {
            AIMCP_TRACE(L"CAiMcpPipeServer: CreateNamedPipe failed err = %u", static_cast<unsigned>(error));
            return UniqueFile();
        }
        if (!waitingForName) {
            AIMCP_TRACE(L"CAiMcpPipeServer: the pipe name is already taken, waiting for it err = %u",
                        static_cast<unsigned>(error));
            waitingForName = true;
        }
        if (WaitForSingleObject(stopEvent_.get(), kNameRetryMs) == WAIT_OBJECT_0) return UniqueFile();
    }
}

int CAiMcpPipeServer::_WaitForIo(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stopEvent, DWORD timeLimitMs, DWORD& bytes)
{
    bytes = 0;
    // An operation that completed when it was started (or since) has its
    // result in the OVERLAPPED already: no wait needed.
    if (HasOverlappedIoCompleted(&overlapped))
        return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) ? kIoDone : kIoFailed;
    HANDLE waits[2] = {overlapped.hEvent, stopEvent};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, timeLimitMs);
    if (w == WAIT_OBJECT_0) return GetOverlappedResult(pipe, &overlapped, &bytes, FALSE) ? kIoDone : kIoFailed;
    // Stopped, timed out or failed: the operation is cancelled and settled
    // before its OVERLAPPED and buffer can go away.
    CancelIo(pipe);
    DWORD ignored = 0;
    GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
    return w == WAIT_OBJECT_0 + 1 ? kIoStopped : kIoFailed;
}

// Every overlapped call below resets the OVERLAPPED's event when it starts
// the operation (connect, read and write alike), so the event needs no reset
// of its own between them.
void CAiMcpPipeServer::_ServeOneClient(HANDLE pipe, HANDLE event, IoBuffers& buffers)
{
    DWORD bytes = 0;
    OVERLAPPED ov{};
    ov.hEvent = event;
    if (!ConnectNamedPipe(pipe, &ov)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            if (_WaitForIo(pipe, ov, stopEvent_.get(), INFINITE, bytes) != kIoDone) return;
        } else if (error != ERROR_PIPE_CONNECTED) {
            AIMCP_TRACE(L"CAiMcpPipeServer: ConnectNamedPipe failed err = %u", static_cast<unsigned>(error));
            return;
        }
    }

    // One request message. A longer one fails the read (more data) and is
    // not answered.
    ov = OVERLAPPED{};
    ov.hEvent = event;
    if (!ReadFile(pipe, buffers.request.data(), kPipeBufferBytes, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
        return;
    if (_WaitForIo(pipe, ov, stopEvent_.get(), kIoTimeLimitMs, bytes) != kIoDone || bytes == 0) return;

    const std::wstring answer = HandleRequest(Trim(Utf8ToWide(buffers.request.data(), bytes)));
    const std::size_t replyBytes = WideToUtf8Line(answer.data(), answer.size(), buffers.reply);

    ov = OVERLAPPED{};
    ov.hEvent = event;
    if (!WriteFile(pipe, buffers.reply.data(), static_cast<DWORD>(replyBytes), nullptr, &ov)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            AIMCP_TRACE(L"CAiMcpPipeServer: WriteFile failed err = %u", static_cast<unsigned>(error));
            return;
        }
    }
    if (_WaitForIo(pipe, ov, stopEvent_.get(), kIoTimeLimitMs, bytes) == kIoDone) _DrainClient(pipe, event);
}

void CAiMcpPipeServer::_DrainClient(HANDLE pipe, HANDLE event)
{
    // Gives the client time to read its answer before the disconnect throws
    // away what it has not read: ends when it hangs up, sends anything, the
    // server stops, or 10 seconds pass.
    char scratch[64] = {};
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD bytes = 0;
    if (ReadFile(pipe, scratch, sizeof scratch, nullptr, &ov) || GetLastError() == ERROR_IO_PENDING ||
        GetLastError() == ERROR_MORE_DATA)
        _WaitForIo(pipe, ov, stopEvent_.get(), kIoTimeLimitMs, bytes);
}

// --- The gate (worker thread) ---------------------------------------------------

std::wstring CAiMcpPipeServer::HandleRequest(const std::wstring& text)
{
    if (!CheckJsonDepth(text))
        return BuildErrorAnswer(L"", kInvalidParams, L"malformed request: the JSON is nested too deeply");
    AiMcpRequest request = ParseRequest(text);
    if (!request.valid) return BuildErrorAnswer(L"", kInvalidParams, L"malformed request: expected a JSON object");

    int enabled;
    {
        const std::lock_guard<CriticalSection> hold(settingsLock_);
        enabled = enabled_;
    }
    if (enabled == 0) return BuildErrorAnswer(request.id, kFeatureDisabled, L"AI access to the local calendar is turned off");

    std::wstring token;
    {
        const std::lock_guard<CriticalSection> hold(settingsLock_);
        token = token_;
    }
    if (token.empty() || !TokensMatch(request.token, token))
        return BuildErrorAnswer(request.id, kUnauthorized, L"missing or invalid token");

    if (request.method.empty())
        return BuildErrorAnswer(request.id, kInvalidParams, L"malformed request: missing \"method\" string");
    if (request.method == L"ping") return BuildOkAnswer(request.id, L"{\"pong\":true}");
    return _DispatchOnMainThread(request.id, request.method, std::move(request.params));
}

// --- The bridge ---------------------------------------------------------------

int CAiMcpPipeServer::_CreateBridgeWindow()
{
    const HINSTANCE module = ThisModule();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CAiMcpPipeServer::_BridgeWindowProc;
    wc.hInstance = module;
    wc.lpszClassName = kBridgeClassName;
    if (!RegisterClassExW(&wc)) {
        const DWORD error = GetLastError();
        if (error != ERROR_CLASS_ALREADY_EXISTS) {
            AIMCP_TRACE(L"CAiMcpPipeServer: RegisterClassEx failed err = %u", static_cast<unsigned>(error));
            return 0;
        }
    }
    bridgeWindow_ = CreateWindowExW(0, kBridgeClassName, kBridgeClassName, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (!bridgeWindow_) {
        AIMCP_TRACE(L"CAiMcpPipeServer: CreateWindowEx failed err = %u", static_cast<unsigned>(GetLastError()));
        return 0;
    }
    SetWindowLongPtrW(bridgeWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return 1;
}

void CAiMcpPipeServer::_DestroyBridgeWindow()
{
    if (bridgeWindow_) {
        DestroyWindow(bridgeWindow_);
        bridgeWindow_ = nullptr;
    }
    UnregisterClassW(kBridgeClassName, ThisModule());
}

LRESULT CALLBACK CAiMcpPipeServer::_BridgeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kBridgeMessage) return DefWindowProcW(window, message, wParam, lParam);
    auto* server = reinterpret_cast<CAiMcpPipeServer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (server) server->_OnBridgeMessage(static_cast<std::uint32_t>(wParam));
    return 0;
}

std::wstring CAiMcpPipeServer::_DispatchOnMainThread(const std::wstring& id, const std::wstring& method,
                                                     std::wstring params)
{
    if (!bridgeWindow_ || !answerEvent_) return BuildErrorAnswer(id, kInternal, kNotReady);

    std::uint32_t number;
    {
        const std::lock_guard<CriticalSection> hold(bridgeLock_);
        number = ++sequence_;
        taken_ = 0;
        pendingId_ = id;
        pendingMethod_ = method;
        pendingParams_.swap(params);
        answer_.clear();
    }
    if (!PostMessageW(bridgeWindow_, kBridgeMessage, static_cast<WPARAM>(number), 0)) {
        AIMCP_TRACE(L"CAiMcpPipeServer: PostMessage failed err = %u", static_cast<unsigned>(GetLastError()));
        return BuildErrorAnswer(id, kInternal, kNoMainThread);
    }

    std::wstring answer;
    if (_WaitForAnswer(number, kHandOverLimitMs, answer)) return answer;
    {
        const std::lock_guard<CriticalSection> hold(bridgeLock_);
        if (!(taken_ && sequence_ == number)) {
            // Not begun in time: move the number on so the posted message
            // is ignored when the main thread gets to it.
            ++sequence_;
            return BuildErrorAnswer(id, kInternal, kNoAnswerInTime);
        }
    }
    // The main thread is running the tool: wait for it however long it takes,
    // or until the server stops.
    if (_WaitForAnswer(number, INFINITE, answer)) return answer;
    const std::lock_guard<CriticalSection> hold(bridgeLock_);
    if (sequence_ == number) ++sequence_;
    return BuildErrorAnswer(id, kInternal, kNoAnswerInTime);
}

bool CAiMcpPipeServer::_WaitForAnswer(std::uint32_t number, DWORD limitMs, std::wstring& answer)
{
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    HANDLE waits[2] = {answerEvent_.get(), stopEvent_.get()};
    DWORD wait = limitMs;
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, wait) != WAIT_OBJECT_0) return false;
        {
            const std::lock_guard<CriticalSection> hold(bridgeLock_);
            if (answerFor_ == number) {
                answer.swap(answer_);
                return true;
            }
        }
        // The signal of an answer that came after its request was given up
        // (the answer event keeps it until a wait takes it): wait on.
        if (limitMs != INFINITE) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            wait = static_cast<DWORD>(deadline - now);
        }
    }
}

void CAiMcpPipeServer::_OnBridgeMessage(std::uint32_t number)
{
    std::wstring id, method, params;
    {
        const std::lock_guard<CriticalSection> hold(bridgeLock_);
        if (number != sequence_) return;  // the worker gave up on that request
        taken_ = 1;
        id = pendingId_;
        method = pendingMethod_;
        params.swap(pendingParams_);  // read once: one message is posted per number
    }
    std::wstring answer = dispatch_(id, method, params);  // no lock while the tool runs
    {
        const std::lock_guard<CriticalSection> hold(bridgeLock_);
        if (sequence_ != number) return;  // abandoned meanwhile: the answer is dropped
        answer_.swap(answer);
        answerFor_ = number;
    }
    // Set with the lock free, so the worker it wakes does not find the lock
    // still held. Should the worker have given up on the request in the
    // meantime, the signal stays with the event and the worker's next wait
    // passes over it, since the stored answer carries this number.
    SetEvent(answerEvent_.get());
}
