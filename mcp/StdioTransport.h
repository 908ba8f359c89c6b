// Reads message bodies from standard input and writes replies to standard
// output with synchronous ReadFile/WriteFile. The framing rules themselves
// live in FrameBuffer; this class only moves bytes.
#pragma once

#include <windows.h>

#include <string>

#include "StdioFraming.h"

class StdioTransport {
public:
    // Takes the process's standard handles; they are not checked, an unusable
    // input handle simply makes the first read fail.
    StdioTransport();
    StdioTransport(HANDLE input, HANDLE output);

    // Blocks until the next body can be taken; false once input has ended and
    // no further message can be taken.
    bool ReadMessage(std::string& body);

    // Writes one reply in the framing of the message read last. Failures are
    // not reported: a client that stopped reading gets nothing more.
    void WriteMessage(const std::wstring& reply);

    // One read of at most 8192 bytes into the receive buffer.
    bool ReadChunk();

    FrameMode Mode() const { return mode_; }

private:
    HANDLE input_;
    HANDLE output_;
    FrameBuffer buffer_;
    bool endOfInput_ = false;
    FrameMode mode_ = FrameMode::Line;
};
