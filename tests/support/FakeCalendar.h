// A stand-in for the running calendar application, for tests of the MCP
// server's pipe client. It makes the calendar look running the way the client
// checks for it (the named mutex, or a hidden top-level window with the
// calendar's title), and it can serve the calendar's AI pipe on a worker
// thread: one instance, message mode, 65,536-byte buffers, local clients only.
// Each connection gets the next step of a script; every request message that
// arrives is kept byte for byte.
//
// The fake lives in the test process; the client under test may run in the
// same process or in a child process. The names are machine-wide (per
// wineserver under Wine), so tests that use the fake must not run in
// parallel with each other.
//
// The destructor stops everything promptly, whether or not a client is
// connected or ever came.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstddef>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "UniqueHandle.h"

class FakeCalendar {
public:
    static const wchar_t kPipeName[];
    static const wchar_t kMutexName[];
    static const wchar_t kWindowTitle[];

    // How the application shows that it runs.
    enum class Presence { kNone, kMutex, kWindow };

    // The pipe's type. kByte exists only to see a client fail to switch to
    // message read mode.
    enum class PipeType { kMessage, kByte };

    // What the fake does with one connection.
    struct Step {
        enum class Action {
            kReply,       // read the request, answer with `bytes` as one message
            kHangUp,      // read the request, disconnect without answering
            kDropUnread,  // once the client has begun to send, disconnect without reading
        };
        Action action = Action::kHangUp;
        std::string bytes;
    };
    static Step Reply(std::string bytes) { return Step{Step::Action::kReply, std::move(bytes)}; }
    static Step HangUp() { return Step{Step::Action::kHangUp, {}}; }
    static Step DropUnread() { return Step{Step::Action::kDropUnread, {}}; }

    explicit FakeCalendar(Presence presence);
    ~FakeCalendar();
    FakeCalendar(const FakeCalendar&) = delete;
    FakeCalendar& operator=(const FakeCalendar&) = delete;

    // Empty when the presence and the pipe (if any) came up; else what failed.
    const std::string& error() const { return error_; }

    // Creates the pipe instance and serves it until destruction. The n-th
    // connection (counting from 0) gets script[n]; connections past the end
    // of the script are hung up on. Can be called once; false on failure,
    // with error() telling why.
    // bufferBytes sizes the pipe's buffers (65,536 bytes, as the calendar's,
    // unless a test needs a write that cannot complete before a read).
    bool Serve(std::vector<Step> script, PipeType type = PipeType::kMessage, unsigned long bufferBytes = 65536);

    // Whether the pipe was created with PIPE_REJECT_REMOTE_CLIENTS (it is
    // left out only where the platform refuses the flag).
    bool rejectsRemoteClients() const { return rejectsRemote_; }

    // Clients that connected so far, including those that sent nothing.
    std::size_t Connections() const;
    // Stops serving and waits until the serving thread has ended: a client
    // that connected before then has been counted.
    void StopServing();
    // Waits until at least `count` clients have connected; false on time-out.
    bool WaitForConnections(std::size_t count, DWORD timeoutMs) const;
    // The request messages received so far, in order, exactly as sent.
    std::vector<std::string> Requests() const;

private:
    enum class IoStatus { kDone, kFailed, kStopped };
    struct IoResult {
        IoStatus status;
        DWORD bytes;
        DWORD error;
    };

    void HoldMutex();
    void ShowWindowOnOwnThread();
    void WindowThread(std::promise<DWORD>& ready);

    void ServeLoop();
    bool ServeOneClient(HANDLE ioEvent);  // false once the stop event is set
    IoResult Finish(BOOL started, DWORD error, OVERLAPPED& ov, DWORD timeoutMs);
    IoResult ReadMessage(HANDLE ioEvent, std::string& message, DWORD timeoutMs);
    bool WaitUntilClientSends();

    std::string error_;

    UniqueHandle mutex_;

    std::thread windowThread_;
    HWND window_ = nullptr;

    UniqueFile pipe_;
    UniqueHandle stop_;
    std::thread server_;
    std::vector<Step> script_;
    bool rejectsRemote_ = false;

    mutable std::mutex lock_;
    mutable std::condition_variable changed_;
    std::size_t connections_ = 0;
    std::vector<std::string> requests_;
};
