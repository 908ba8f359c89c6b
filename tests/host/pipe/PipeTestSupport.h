// Support for tests of the plug-in's pipe server: the stand-in host's
// services over a scratch folder, a raw pipe client, and running client
// work on another thread while the test's main thread pumps messages (the
// bridge window belongs to the thread that started the server).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "InstallServices.h"
#include "UniqueHandle.h"

// The stand-in services over a fresh scratch folder, installed in the host
// core for the life of the object; AI access on and a known token unless a
// test changes them.
class StandInHost {
public:
    static const wchar_t kToken[];

    StandInHost();
    ~StandInHost();
    StandInHost(const StandInHost&) = delete;
    StandInHost& operator=(const StandInHost&) = delete;

    devhost::StandInServices services;
    void SetEnabled(bool on);
    void SetToken(const std::wstring& token);
};

// A pipe name no other test process uses.
std::wstring UniquePipeName();

// What a raw client got for one request.
struct PipeExchange {
    bool connected = false;
    DWORD connectError = 0;
    bool answered = false;  // a reply message arrived
    DWORD readError = 0;    // when no reply arrived
    std::string reply;
};

// Opens a client end, waiting up to waitMs for the pipe to appear or free
// up; an empty handle when it does not.
UniqueFile OpenPipeClient(const std::wstring& pipeName, DWORD waitMs, DWORD* lastError = nullptr);

// Connects (waiting up to waitMs while the pipe is busy), writes the bytes
// as one message, reads one reply message and closes.
PipeExchange ExchangeOverPipe(const std::wstring& pipeName, const std::string& request, DWORD waitMs = 5000);

// Runs work on a new thread and pumps this thread's messages until it is
// done; gives work's result.
std::string RunWhilePumping(const std::function<std::string()>& work);

// Pumps this thread's messages for the given time.
void PumpFor(DWORD ms);
