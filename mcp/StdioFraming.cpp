#include "StdioFraming.h"

#include <cstring>

namespace {

bool IsSkippedBetweenMessages(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '\t';
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

ContentLength ReadContentLength(const char* block, std::size_t size, std::uint32_t& value)
{
    static const char kName[] = "content-length:";
    const std::size_t nameSize = sizeof kName - 1;
    value = 0;
    if (size < nameSize) return ContentLength::Absent;
    for (std::size_t at = 0; at + nameSize <= size; ++at) {
        std::size_t k = 0;
        while (k < nameSize && LowerAscii(block[at + k]) == kName[k]) ++k;
        if (k != nameSize) continue;
        std::size_t p = at + nameSize;
        while (p < size && block[p] == ' ') ++p;
        std::uint64_t v = 0;
        bool anyDigit = false, tooLarge = false;
        for (; p < size && block[p] >= '0' && block[p] <= '9'; ++p) {
            anyDigit = true;
            v = v * 10 + static_cast<std::uint64_t>(block[p] - '0');
            if (v > 0xFFFFFFFFull) { tooLarge = true; v = 0xFFFFFFFFull + 1; }
        }
        if (!anyDigit) return ContentLength::Absent;
        if (tooLarge) return ContentLength::TooLarge;
        value = static_cast<std::uint32_t>(v);
        return ContentLength::Present;
    }
    return ContentLength::Absent;
}

void FrameBuffer::Append(const char* data, std::size_t size)
{
    data_.append(data, size);
}

void FrameBuffer::Clear()
{
    data_.clear();
    start_ = lfScanned_ = crlfcrlfScanned_ = lflfScanned_ = 0;
}

void FrameBuffer::Consume(std::size_t count)
{
    start_ += count;
    if (start_ == data_.size()) {
        Clear();
    } else if (start_ > data_.size() / 2 && start_ > 4096) {
        data_.erase(0, start_);
        auto shift = [this](std::size_t& pos) { pos = pos > start_ ? pos - start_ : 0; };
        shift(lfScanned_);
        shift(crlfcrlfScanned_);
        shift(lflfScanned_);
        start_ = 0;
    }
}

// Finds the first occurrence of pattern at or after start_, remembering how
// far the search got so the next call resumes there.
std::size_t FrameBuffer::Find(const char* pattern, std::size_t patternSize, std::size_t& scannedTo) const
{
    std::size_t from = scannedTo > start_ ? scannedTo : start_;
    const std::size_t at = data_.find(pattern, from, patternSize);
    if (at == std::string::npos) {
        scannedTo = data_.size() >= patternSize ? data_.size() - patternSize + 1 : 0;
        return std::string::npos;
    }
    scannedTo = at;
    return at;
}

TakeResult FrameBuffer::Take(bool endOfInput, std::string& body, FrameMode& mode)
{
    while (start_ < data_.size() && IsSkippedBetweenMessages(data_[start_])) ++start_;
    if (start_ == data_.size()) {
        Clear();
        return TakeResult::Nothing;
    }

    // A JSON text on one line begins with "{"; a batch (an array) is taken
    // the same way so that it is answered instead of being read as a header
    // block that swallows the lines after it.
    if (data_[start_] == '{' || data_[start_] == '[') {
        std::size_t end;
        std::size_t consumed;
        const std::size_t lf = Find("\n", 1, lfScanned_);
        if (lf != std::string::npos) {
            end = lf;
            consumed = lf + 1 - start_;
        } else if (endOfInput) {
            end = data_.size();
            consumed = data_.size() - start_;
        } else {
            return TakeResult::Nothing;
        }
        while (end > start_ && data_[end - 1] == '\r') --end;
        body.assign(data_, start_, end - start_);
        Consume(consumed);
        mode = FrameMode::Line;
        return TakeResult::Message;
    }

    // Header framing. CR LF CR LF anywhere in the buffer wins over LF LF,
    // even when the LF LF comes first.
    std::size_t separator = Find("\r\n\r\n", 4, crlfcrlfScanned_);
    std::size_t separatorSize = 4;
    if (separator == std::string::npos) {
        separator = Find("\n\n", 2, lflfScanned_);
        separatorSize = 2;
        if (separator == std::string::npos) return TakeResult::Nothing;
    }

    const std::size_t headerSize = separator - start_;
    std::uint32_t length = 0;
    const ContentLength found = ReadContentLength(data_.data() + start_, headerSize, length);
    if (found != ContentLength::Present) {
        // Only the header block and its separator go; what follows is looked
        // at afresh as the start of further messages.
        Consume(headerSize + separatorSize);
        return found == ContentLength::Absent ? TakeResult::DroppedNoLength : TakeResult::DroppedLengthTooLarge;
    }
    const std::size_t bodyStart = separator + separatorSize;
    if (data_.size() - bodyStart < length) return TakeResult::Nothing;
    body.assign(data_, bodyStart, length);
    Consume(bodyStart + length - start_);
    mode = FrameMode::Framed;
    return TakeResult::Message;
}
