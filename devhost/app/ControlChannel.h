// The stand-in calendar's command channel: a local named pipe on which a
// second invocation of the program (or a test) sends one command line and
// reads one reply, in message mode. The server side runs on its own thread
// and hands each command to a handler that the program runs on its main
// thread; the reply goes back on the same connection.
#pragma once

#include <functional>
#include <string>

#include "UniqueHandle.h"

extern const wchar_t kControlPipeName[];  // \\.\pipe\TessaryDevHost-control

class ControlChannel {
public:
    // Runs one command and gives its reply; called on the channel's thread,
    // so it must carry the command over to the main thread itself.
    using Handler = std::function<std::wstring(const std::wstring& command)>;

    ControlChannel() = default;
    ~ControlChannel() { Stop(); }
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Starts serving; false (with the system error kept) when the pipe name
    // is taken or the thread cannot start.
    bool Start(Handler handler);
    // Ends serving and waits for the thread; a client in the middle of a
    // command loses its connection. While it waits it still delivers
    // messages sent to this thread's windows, so a handler that is sending
    // a command over to the main thread cannot block the join.
    void Stop();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Serve();

    Handler handler_;
    UniqueHandle stop_;
    UniqueFile pipe_;
    UniqueHandle thread_;
};

// Client side: sends one command line and gives the reply; false when no
// stand-in calendar answers (reply then says why).
bool SendControlCommand(const std::wstring& command, std::wstring& reply);
