#include "Inflate.h"

#include <new>

namespace layout {

namespace {

constexpr int kMaxBits = 15;
constexpr int kMaxLengthCodes = 286;
constexpr int kMaxDistanceCodes = 30;
constexpr int kFixedLengthCodes = 288;

// The input, read least significant bit first.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    // The next count bits (count <= 16), or -1 when the input ends first.
    int Bits(int count)
    {
        while (held_ < count) {
            if (pos_ >= size_) return -1;
            buffer_ |= static_cast<std::uint32_t>(data_[pos_++]) << held_;
            held_ += 8;
        }
        const int value = static_cast<int>(buffer_ & ((1u << count) - 1));
        buffer_ >>= count;
        held_ -= count;
        return value;
    }

    // Drops the bits left of the current byte (a stored block starts on a
    // byte boundary).
    void AlignToByte()
    {
        buffer_ = 0;
        held_ = 0;
    }

    bool Bytes(std::size_t count, const std::uint8_t*& at)
    {
        if (size_ - pos_ < count) return false;
        at = data_ + pos_;
        pos_ += count;
        return true;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint32_t buffer_ = 0;
    int held_ = 0;
};

// A canonical Huffman code: how many codes there are of each length, and
// the symbols ordered by code.
struct Huffman {
    std::uint16_t count[kMaxBits + 1]{};
    std::uint16_t symbol[kFixedLengthCodes]{};
};

// Builds the code from the code lengths of n symbols. Returns 0 for a
// complete code, a positive number for an incomplete one and a negative one
// for an over-subscribed one (which can never be decoded).
int Build(Huffman& h, const std::uint8_t* lengths, int n)
{
    for (auto& c : h.count) c = 0;
    for (int s = 0; s < n; ++s) ++h.count[lengths[s]];
    if (h.count[0] == n) return 0;  // no codes: complete, but any decode fails
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
        left <<= 1;
        left -= h.count[len];
        if (left < 0) return left;
    }
    std::uint16_t offsets[kMaxBits + 1]{};
    for (int len = 1; len < kMaxBits; ++len) offsets[len + 1] = static_cast<std::uint16_t>(offsets[len] + h.count[len]);
    for (int s = 0; s < n; ++s)
        if (lengths[s] != 0) h.symbol[offsets[lengths[s]]++] = static_cast<std::uint16_t>(s);
    return left;
}

// The next symbol, or -1 (input ended, or a code the table lacks).
int Decode(BitReader& in, const Huffman& h)
{
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
        const int bit = in.Bits(1);
        if (bit < 0) return -2;
        code |= bit;
        const int count = h.count[len];
        if (code - count < first) return h.symbol[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return -1;
}

const std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                         193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

class Inflater {
public:
    Inflater(BitReader& in, std::size_t maxOutput, std::vector<std::uint8_t>& out)
        : in_(in), max_(maxOutput), out_(out)
    {
    }

    InflateResult Run()
    {
        for (;;) {
            const int last = in_.Bits(1);
            const int type = in_.Bits(2);
            if (last < 0 || type < 0) return InflateResult::Truncated;
            InflateResult result = InflateResult::BadData;
            if (type == 0) result = Stored();
            else if (type == 1) result = Fixed();
            else if (type == 2) result = Dynamic();
            if (result != InflateResult::Ok) return result;
            if (last == 1) return InflateResult::Ok;
        }
    }

private:
    InflateResult Stored()
    {
        in_.AlignToByte();
        const std::uint8_t* header = nullptr;
        if (!in_.Bytes(4, header)) return InflateResult::Truncated;
        const unsigned length = header[0] | (header[1] << 8u);
        const unsigned complement = header[2] | (header[3] << 8u);
        if ((length ^ 0xFFFFu) != complement) return InflateResult::BadData;
        const std::uint8_t* bytes = nullptr;
        if (!in_.Bytes(length, bytes)) return InflateResult::Truncated;
        if (max_ - out_.size() < length) return InflateResult::TooLarge;
        out_.insert(out_.end(), bytes, bytes + length);
        return InflateResult::Ok;
    }

    InflateResult Fixed()
    {
        std::uint8_t lengths[kFixedLengthCodes];
        int s = 0;
        for (; s < 144; ++s) lengths[s] = 8;
        for (; s < 256; ++s) lengths[s] = 9;
        for (; s < 280; ++s) lengths[s] = 7;
        for (; s < kFixedLengthCodes; ++s) lengths[s] = 8;
        Huffman lengthCode, distanceCode;
        Build(lengthCode, lengths, kFixedLengthCodes);
        for (s = 0; s < kMaxDistanceCodes; ++s) lengths[s] = 5;
        Build(distanceCode, lengths, kMaxDistanceCodes);
        return Codes(lengthCode, distanceCode);
    }

    InflateResult Dynamic()
    {
        const int lengthCount = in_.Bits(5);
        const int distanceCount = in_.Bits(5);
        const int codeLengthCount = in_.Bits(4);
        if (lengthCount < 0 || distanceCount < 0 || codeLengthCount < 0) return InflateResult::Truncated;
        const int nlen = lengthCount + 257, ndist = distanceCount + 1, ncode = codeLengthCount + 4;
        if (nlen > kMaxLengthCodes || ndist > kMaxDistanceCodes) return InflateResult::BadData;

        static const std::uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::uint8_t lengths[kMaxLengthCodes + kMaxDistanceCodes]{};
        for (int i = 0; i < ncode; ++i) {
            const int bits = in_.Bits(3);
            if (bits < 0) return InflateResult::Truncated;
            lengths[kOrder[i]] = static_cast<std::uint8_t>(bits);
        }
        Huffman codeLengthCode;
        if (Build(codeLengthCode, lengths, 19) != 0) return InflateResult::BadData;  // must be complete

        for (int i = 0; i < 19; ++i) lengths[i] = 0;
        for (int index = 0; index < nlen + ndist;) {
            const int symbol = Decode(in_, codeLengthCode);
            if (symbol == -2) return InflateResult::Truncated;
            if (symbol < 0) return InflateResult::BadData;
            if (symbol < 16) {
                lengths[index++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            std::uint8_t repeated = 0;
            int times = 0;
            if (symbol == 16) {
                if (index == 0) return InflateResult::BadData;  // nothing to repeat
                repeated = lengths[index - 1];
                times = in_.Bits(2);
                if (times >= 0) times += 3;
            } else if (symbol == 17) {
                times = in_.Bits(3);
                if (times >= 0) times += 3;
            } else {
                times = in_.Bits(7);
                if (times >= 0) times += 11;
            }
            if (times < 0) return InflateResult::Truncated;
            if (index + times > nlen + ndist) return InflateResult::BadData;
            while (times-- > 0) lengths[index++] = repeated;
        }
        if (lengths[256] == 0) return InflateResult::BadData;  // no end-of-block code

        // An incomplete code is allowed only when it has a single code of
        // one bit (the others could never be told apart from it).
        Huffman lengthCode, distanceCode;
        int left = Build(lengthCode, lengths, nlen);
        if (left < 0 || (left > 0 && nlen - lengthCode.count[0] != 1)) return InflateResult::BadData;
        left = Build(distanceCode, lengths + nlen, ndist);
        if (left < 0 || (left > 0 && ndist - distanceCode.count[0] != 1)) return InflateResult::BadData;
        return Codes(lengthCode, distanceCode);
    }

    InflateResult Codes(const Huffman& lengthCode, const Huffman& distanceCode)
    {
        for (;;) {
            int symbol = Decode(in_, lengthCode);
            if (symbol == -2) return InflateResult::Truncated;
            if (symbol < 0) return InflateResult::BadData;
            if (symbol < 256) {
                if (out_.size() >= max_) return InflateResult::TooLarge;
                out_.push_back(static_cast<std::uint8_t>(symbol));
                continue;
            }
            if (symbol == 256) return InflateResult::Ok;
            symbol -= 257;
            if (symbol >= 29) return InflateResult::BadData;
            int extra = in_.Bits(kLengthExtra[symbol]);
            if (extra < 0) return InflateResult::Truncated;
            const std::size_t length = kLengthBase[symbol] + static_cast<std::size_t>(extra);

            symbol = Decode(in_, distanceCode);
            if (symbol == -2) return InflateResult::Truncated;
            if (symbol < 0 || symbol >= kMaxDistanceCodes) return InflateResult::BadData;
            extra = in_.Bits(kDistanceExtra[symbol]);
            if (extra < 0) return InflateResult::Truncated;
            const std::size_t distance = kDistanceBase[symbol] + static_cast<std::size_t>(extra);
            if (distance > out_.size()) return InflateResult::BadData;  // before the start
            if (max_ - out_.size() < length) return InflateResult::TooLarge;
            // Byte by byte: the copy may overlap what it writes.
            std::size_t from = out_.size() - distance;
            for (std::size_t i = 0; i < length; ++i) out_.push_back(out_[from++]);
        }
    }

    BitReader& in_;
    std::size_t max_;
    std::vector<std::uint8_t>& out_;
};

}  // namespace

InflateResult Inflate(const std::uint8_t* data, std::size_t size, std::size_t maxOutput,
                      std::vector<std::uint8_t>& out)
{
    out.clear();
    BitReader in(data, size);
    Inflater inflater(in, maxOutput, out);
    InflateResult result = InflateResult::TooLarge;
    try {
        result = inflater.Run();
    } catch (const std::bad_alloc&) {
        // Memory ran out before the limit was reached: too large all the same.
    }
    if (result != InflateResult::Ok) out.clear();
    return result;
}

}  // namespace layout
