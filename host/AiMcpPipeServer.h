// The plug-in's end of the local named pipe over which tessary-mcp sends
// tool requests. One worker thread serves one client at a time, one request
// per connection: connect, read one message, answer it, wait briefly for
// the client to hang up, disconnect, repeat. The gate (HandleRequest) runs
// on the worker; real tool calls cross to the host's main thread through a
// hidden message-only window (the bridge), where the tool dispatcher runs.
//
// Threads. StartServer, StopServer and RefreshSettings are called on the
// host's main thread, which also owns the bridge window. The worker reads
// the AI access flag and the token from a snapshot under the settings lock;
// requests and answers cross under the bridge lock. The two locks are never
// held together, across a wait, or across a call out. A stop event set by
// StopServer ends every wait of the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "CriticalSection.h"
#include "UniqueHandle.h"

class CAiMcpPipeServer {
public:
    static const wchar_t kPipeName[];  // \\.\pipe\TessaryAiMcp-v1

    // What the bridge calls on the main thread with (id, method, params) to
    // get a complete answer envelope; the tool dispatcher unless a test
    // gives another.
    using DispatchFunction = std::function<std::wstring(const std::wstring&, const std::wstring&, const std::wstring&)>;

    // pipeName is the pipe to serve; tests give names of their own so that
    // they can run side by side.
    explicit CAiMcpPipeServer(std::wstring pipeName = kPipeName);
    ~CAiMcpPipeServer();  // stops the server
    CAiMcpPipeServer(const CAiMcpPipeServer&) = delete;
    CAiMcpPipeServer& operator=(const CAiMcpPipeServer&) = delete;

    // 1 when the server runs afterwards (also when it already ran), 0 when
    // it cannot be started; a failed start leaves nothing half-made.
    int StartServer();
    // Stops the worker and waits for it; nothing when not running.
    void StopServer();
    // Copies the AI access switch and the stored token into the snapshot
    // the gate checks.
    void RefreshSettings();

    bool IsRunning() const { return static_cast<bool>(worker_); }

    // The gate: one trimmed request text to its answer text (worker thread).
    std::wstring HandleRequest(const std::wstring& text);

    void SetDispatchForTest(DispatchFunction dispatch) { dispatch_ = std::move(dispatch); }

private:
    static DWORD WINAPI _WorkerEntry(void* self);
    void _Run();
    // The pipe's one instance, created as the first of its name and open to
    // the calendar's user alone; empty when the server stops first or the
    // instance cannot be made (traced).
    UniqueFile _CreatePipeInstance();
    // The worker's buffers: the request as read (65,536 bytes) and the
    // answer as written, in UTF-8 with its line feed (grown as needed).
    struct IoBuffers {
        std::vector<char> request;
        std::vector<char> reply;
    };
    void _ServeOneClient(HANDLE pipe, HANDLE event, IoBuffers& buffers);
    // Waits for an overlapped operation to settle; one that has already
    // completed gives its result at once.
    int _WaitForIo(HANDLE pipe, OVERLAPPED& overlapped, HANDLE stopEvent, DWORD timeLimitMs, DWORD& bytes);
    void _DrainClient(HANDLE pipe, HANDLE event);

    int _CreateBridgeWindow();
    void _DestroyBridgeWindow();
    std::wstring _DispatchOnMainThread(const std::wstring& id, const std::wstring& method, std::wstring params);
    // Waits up to limitMs (INFINITE: no limit) for the answer to request
    // number, or for the stop event. True with the answer moved into answer
    // when it came; false on time-out, stop or a failed wait.
    bool _WaitForAnswer(std::uint32_t number, DWORD limitMs, std::wstring& answer);
    void _OnBridgeMessage(std::uint32_t number);
    static LRESULT CALLBACK _BridgeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const std::wstring pipeName_;
    UniqueHandle worker_;     // non-null exactly while running
    UniqueHandle stopEvent_;  // manual-reset; set by StopServer
    // Set by StopServer just before the stop event: what the worker looks at
    // between connections, where asking the event would cost a system call.
    std::atomic<bool> stopping_{false};

    // Protects enabled_ and token_, the snapshot of the settings.
    CriticalSection settingsLock_;
    int enabled_ = 0;
    std::wstring token_;

    HWND bridgeWindow_ = nullptr;
    // Auto-reset: set by the main thread once an answer is stored, taken by
    // the worker's wait, so no request needs to reset it.
    UniqueHandle answerEvent_;

    // Protects sequence_, taken_, the pending request, answer_ and answerFor_.
    CriticalSection bridgeLock_;
    std::uint32_t sequence_ = 0;
    int taken_ = 0;
    std::wstring pendingId_, pendingMethod_, pendingParams_;
    std::wstring answer_;
    std::uint32_t answerFor_ = 0;  // the number of the request answer_ answers

    DispatchFunction dispatch_;
};
