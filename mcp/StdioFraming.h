// The pure half of the stdio transport: a receive buffer that cuts the byte
// stream into message bodies, in line framing (a JSON text on one line) or
// header framing (a Content-Length header block, a blank line, the body).
// It does no I/O, so the framing rules are tested without processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class FrameMode : std::int32_t { Line = 0, Framed = 1 };

// What one attempt to take a message from the buffer found.
enum class TakeResult {
    Nothing,              // no complete message yet
    Message,              // a body was taken
    DroppedNoLength,      // a header block without Content-Length was removed
    DroppedLengthTooLarge // a header block whose Content-Length exceeds 32 bits was removed
};

// Reads the Content-Length of a header block: the first "content-length:"
// in any letter case and anywhere in the block, spaces (not tabs) after the
// colon, then decimal digits up to the first other byte.
enum class ContentLength { Absent, Present, TooLarge };
ContentLength ReadContentLength(const char* block, std::size_t size, std::uint32_t& value);

class FrameBuffer {
public:
    void Append(const char* data, std::size_t size);

    // Drops leading CR, LF, space and TAB, then tries to take one message.
    // At the end of input an unterminated line that begins with "{" or "[" counts
    // as a message; an incomplete header-framed message does not.
    TakeResult Take(bool endOfInput, std::string& body, FrameMode& mode);

    void Clear();
    std::size_t Size() const { return data_.size() - start_; }

private:
    void Consume(std::size_t count);
    std::size_t Find(const char* pattern, std::size_t patternSize, std::size_t& scannedTo) const;

    // Bytes [start_, data_.size()) are unconsumed; the consumed prefix is
    // dropped once it outweighs the rest, so taking is linear overall.
    std::string data_;
    std::size_t start_ = 0;

    // Positions before which a pattern is known not to start, so that a
    // message arriving in many reads is not rescanned from its beginning.
    // They stay valid as bytes are appended and the start moves forward.
    std::size_t lfScanned_ = 0;
    std::size_t crlfcrlfScanned_ = 0;
    std::size_t lflfScanned_ = 0;
};
