// Support for tests of the plug-in's pipe server: the stand-in host's
// services over a scratch folder, a unique pipe name, and running client
// work on another thread while the test's main thread pumps messages (the
// bridge window belongs to the thread that started the server).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "InstallServices.h"
#include "RawPipeClient.h"
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

// Runs work on a new thread and pumps this thread's messages until it is
// done; gives work's result.
std::string RunWhilePumping(const std::function<std::string()>& work);

// Pumps this thread's messages for the given time.
void PumpFor(DWORD ms);
