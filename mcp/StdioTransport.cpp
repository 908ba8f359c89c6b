#include "StdioTransport.h"

#include <cstdio>

#include "TextConv.h"

StdioTransport::StdioTransport()
    : StdioTransport(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE))
{
}

StdioTransport::StdioTransport(HANDLE input, HANDLE output) : input_(input), output_(output) {}

bool StdioTransport::ReadChunk()
{
    if (endOfInput_) return false;
    char chunk[8192];
    DWORD got = 0;
    if (ReadFile(input_, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        buffer_.Append(chunk, got);
        return true;
    }
    endOfInput_ = true;
    return false;
}

bool StdioTransport::ReadMessage(std::string& body)
{
    for (;;) {
        const TakeResult result = buffer_.Take(endOfInput_, body, mode_);
        if (result == TakeResult::Message) return true;
        if (result == TakeResult::DroppedNoLength) {
            LogLine(L"dropping a frame whose headers carry no Content-Length");
            continue;  // bytes after the dropped block may hold a whole message
        }
        if (result == TakeResult::DroppedLengthTooLarge) {
            LogLine(L"dropping a frame whose Content-Length does not fit in 32 bits");
            continue;
        }
        if (endOfInput_) {
            buffer_.Clear();
            return false;
        }
        ReadChunk();
    }
}

void StdioTransport::WriteMessage(const std::wstring& reply)
{
    std::string out;
    const std::string bytes = WideToUtf8(reply);
    if (mode_ == FrameMode::Framed) {
        char header[64];
        std::snprintf(header, sizeof header, "Content-Length: %u\r\n\r\n", static_cast<unsigned>(bytes.size()));
        out = header;
        out += bytes;
    } else {
        out = bytes;
        out.push_back('\n');
    }
    DWORD written = 0;
    WriteFile(output_, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}
