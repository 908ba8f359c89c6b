// The stdio framing (FrameBuffer). The input is a byte stream and the points
// at which it arrives in pieces:
//
//   byte 0        n, the number of cut points (taken modulo 32)
//   byte 1        r: the stream is the rest repeated r + 1 times (at most
//                 32 KiB in all), so that small inputs make streams long
//                 enough for the buffer to drop its consumed bytes
//   2n bytes      the sizes of the first n pieces, 16 bits each, little-endian
//   the rest      the stream; what the sizes leave over is the last piece
//
// The pieces are fed as StdioTransport feeds its reads: take messages until
// none is left, then append the next piece, and at the end of the stream take
// with the end-of-input flag set. Every step must match a plain model of the
// framing rules that keeps no scan positions and never compacts its buffer:
// the same outcome, body, mode and bytes left. And the messages must not
// depend on where the stream was cut, unless it holds both separators
// (CR LF CR LF and LF LF): the rule that CR LF CR LF anywhere in the buffer
// wins over an earlier LF LF then makes the outcome depend on what has
// arrived, by design.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "StdioFraming.h"

namespace {

constexpr std::size_t kMaxStream = 32768;

// The framing rules, written for clarity: every search starts afresh at the
// first unconsumed byte, and consumed bytes are only skipped, never dropped.
class ModelBuffer {
public:
    void Append(const std::string& bytes) { data_ += bytes; }
    std::size_t Size() const { return data_.size() - start_; }

    TakeResult Take(bool endOfInput, std::string& body, FrameMode& mode)
    {
        while (start_ < data_.size() && (data_[start_] == '\r' || data_[start_] == '\n' || data_[start_] == ' ' ||
                                         data_[start_] == '\t'))
            ++start_;
        if (start_ == data_.size()) return TakeResult::Nothing;

        if (data_[start_] == '{' || data_[start_] == '[') {
            const std::size_t lf = data_.find('\n', start_);
            if (lf == std::string::npos && !endOfInput) return TakeResult::Nothing;
            const std::size_t end = lf == std::string::npos ? data_.size() : lf;
            body = data_.substr(start_, end - start_);
            start_ = lf == std::string::npos ? data_.size() : lf + 1;
            while (!body.empty() && body.back() == '\r') body.pop_back();
            mode = FrameMode::Line;
            return TakeResult::Message;
        }

        std::size_t separator = data_.find("\r\n\r\n", start_);
        std::size_t separatorSize = 4;
        if (separator == std::string::npos) {
            separator = data_.find("\n\n", start_);
            separatorSize = 2;
        }
        if (separator == std::string::npos) return TakeResult::Nothing;

        std::string lower = data_.substr(start_, separator - start_);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        const std::size_t name = lower.find("content-length:");
        std::uint64_t length = 0;
        bool digits = false;
        if (name != std::string::npos) {
            std::size_t at = name + 15;
            while (at < lower.size() && lower[at] == ' ') ++at;
            for (; at < lower.size() && lower[at] >= '0' && lower[at] <= '9'; ++at) {
                digits = true;
                if (length <= 0xFFFFFFFFull) length = length * 10 + static_cast<std::uint64_t>(lower[at] - '0');
            }
        }
        const std::size_t bodyStart = separator + separatorSize;
        if (!digits || length > 0xFFFFFFFFull) {
            start_ = bodyStart;
            return digits ? TakeResult::DroppedLengthTooLarge : TakeResult::DroppedNoLength;
        }
        if (data_.size() - bodyStart < length) return TakeResult::Nothing;
        body = data_.substr(bodyStart, length);
        start_ = bodyStart + length;
        mode = FrameMode::Framed;
        return TakeResult::Message;
    }

private:
    std::string data_;
    std::size_t start_ = 0;  // bytes before it are consumed
};

struct Event {
    TakeResult result;
    std::string body;
    FrameMode mode;
    bool operator==(const Event& other) const
    {
        return result == other.result && body == other.body && mode == other.mode;
    }
};

// Feeds the pieces like StdioTransport::ReadMessage and its reads, checking
// every step against the model; gives what was taken and dropped.
std::vector<Event> Feed(const std::vector<std::string>& pieces)
{
    FrameBuffer buffer;
    ModelBuffer model;
    std::vector<Event> events;
    std::size_t next = 0;
    bool endOfInput = false;
    for (;;) {
        Event got{TakeResult::Nothing, std::string(), FrameMode::Line};
        Event expected = got;
        got.result = buffer.Take(endOfInput, got.body, got.mode);
        expected.result = model.Take(endOfInput, expected.body, expected.mode);
        FUZZ_CHECK(got == expected);
        FUZZ_CHECK(buffer.Size() == model.Size());
        if (got.result == TakeResult::Message && got.mode == FrameMode::Line) {
            FUZZ_CHECK(got.body.find('\n') == std::string::npos);
            FUZZ_CHECK(got.body.empty() || got.body.back() != '\r');
        }
        if (got.result != TakeResult::Nothing) {
            events.push_back(got);
            continue;
        }
        if (endOfInput) break;
        if (next < pieces.size()) {
            buffer.Append(pieces[next].data(), pieces[next].size());
            model.Append(pieces[next]);
            ++next;
        } else {
            endOfInput = true;
        }
    }
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::size_t cuts = data[0] % 32;
    const std::size_t repeats = static_cast<std::size_t>(data[1]) + 1;
    std::size_t at = 2;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < cuts && at + 1 < size; ++i, at += 2)
        sizes.push_back(static_cast<std::size_t>(data[at] | (data[at + 1] << 8)));
    if (at > size) at = size;
    const std::string once(reinterpret_cast<const char*>(data) + at, size - at);
    std::string stream;
    for (std::size_t i = 0; i < repeats && stream.size() + once.size() <= kMaxStream; ++i) stream += once;

    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t piece : sizes) {
        if (from >= stream.size()) break;
        pieces.push_back(stream.substr(from, piece));
        from += pieces.back().size();
    }
    if (from < stream.size()) pieces.push_back(stream.substr(from));

    const std::vector<Event> cut = Feed(pieces);
    const std::vector<Event> whole = Feed(std::vector<std::string>{stream});
    const bool bothSeparators =
        stream.find("\r\n\r\n") != std::string::npos && stream.find("\n\n") != std::string::npos;
    if (!bothSeparators) FUZZ_CHECK(cut == whole);
    return 0;
}
