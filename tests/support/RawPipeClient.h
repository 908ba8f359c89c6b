// A raw client of a message-mode named pipe, for tests that talk to a pipe
// server byte for byte (the plug-in's, in-process or in a running stand-in
// calendar) instead of through tessary-mcp's pipe client.
#pragma once

#include <windows.h>

#include <string>

#include "UniqueHandle.h"

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
