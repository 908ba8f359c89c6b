#include "StdioTransport.h"

#include <cstdio>
#include <cstring>

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
    // The reply is converted straight into the output, after the header or
    // before the line feed, rather than converted and then copied.
    std::string out;
    if (mode_ == FrameMode::Framed) {
        const std::string bytes = WideToUtf8(reply);
        char header[64];
        std::snprintf(header, sizeof header, "Content-Length: %u\r\n\r\n", static_cast<unsigned>(bytes.size()));
        out.reserve(std::strlen(header) + bytes.size());
        out = header;
        out += bytes;
    } else {
        AppendUtf8(out, reply, 1);
        out.push_back('\n');
    }
    DWORD written = 0;
    WriteFile(output_, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}
