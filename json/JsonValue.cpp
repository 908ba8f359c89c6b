#include "JsonValue.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <limits>
#include <mutex>
#include <stdexcept>
#include <utility>

// ---------------------------------------------------------------------------
// Object members

JsonObjectMembers::~JsonObjectMembers() = default;

void JsonObjectMembers::clear() { items_.clear(); }

JsonObjectMembers::iterator JsonObjectMembers::LowerBound(const std::wstring& name)
{
    return std::lower_bound(items_.begin(), items_.end(), name,
                            [](const value_type& member, const std::wstring& n) { return member.first < n; });
}

JsonObjectMembers::iterator JsonObjectMembers::find(const std::wstring& name)
{
    const iterator it = LowerBound(name);
    return it != items_.end() && it->first == name ? it : items_.end();
}

JsonObjectMembers::const_iterator JsonObjectMembers::find(const std::wstring& name) const
{
    return const_cast<JsonObjectMembers*>(this)->find(name);
}

JsonObjectMembers::mapped_type& JsonObjectMembers::at(const std::wstring& name)
{
    const iterator it = find(name);
    if (it == items_.end()) throw std::out_of_range("JsonObjectMembers::at: no such member");
    return it->second;
}

const JsonObjectMembers::mapped_type& JsonObjectMembers::at(const std::wstring& name) const
{
    return const_cast<JsonObjectMembers*>(this)->at(name);
}

std::pair<JsonObjectMembers::iterator, bool> JsonObjectMembers::emplace(std::wstring name, mapped_type value)
{
    // In name order, which is how members are mostly added, this appends.
    if (items_.empty() || items_.back().first < name) {
        items_.emplace_back(std::move(name), std::move(value));
        return {items_.end() - 1, true};
    }
    const iterator it = LowerBound(name);
    if (it != items_.end() && it->first == name) return {it, false};
    return {items_.emplace(it, std::move(name), std::move(value)), true};
}

std::pair<JsonObjectMembers::iterator, bool> JsonObjectMembers::insert_or_assign(std::wstring name,
                                                                                  mapped_type value)
{
    mapped_type incoming = std::move(value);
    const auto placed = emplace(std::move(name), nullptr);
    placed.first->second = std::move(incoming);
    return placed;
}

JsonObjectMembers::mapped_type& JsonObjectMembers::operator[](std::wstring name)
{
    return emplace(std::move(name), nullptr).first->second;
}

JsonObjectMembers JsonObjectMembers::FromList(std::vector<value_type> list)
{
    const auto byName = [](const value_type& a, const value_type& b) { return a.first < b.first; };
    // Already strictly in order (no name twice) is the common case.
    if (std::adjacent_find(list.begin(), list.end(), [&](const value_type& a, const value_type& b) {
            return !byName(a, b);
        }) != list.end()) {
        // Stable, so that of members of one name the last read stays last.
        std::stable_sort(list.begin(), list.end(), byName);
        auto kept = list.begin();
        for (auto it = list.begin(); it != list.end(); ++it) {
            const auto next = it + 1;
            if (next != list.end() && next->first == it->first) continue;  // a later one of this name follows
            if (kept != it) *kept = std::move(*it);
            ++kept;
        }
        list.erase(kept, list.end());
    }
    JsonObjectMembers members;
    members.items_ = std::move(list);
    return members;
}

// ---------------------------------------------------------------------------
// Values

namespace {

// Set once the kept blocks below are released at the end of the program (or
// when the module that holds them is unloaded); from then on values are
// made and freed on the heap. It has nothing to destroy, so a value freed
// by another static object's destructor after that still reads it.
std::atomic<bool> g_freeValuesClosed{false};

// Blocks of freed values, kept for reuse: a list through the blocks
// themselves, shared by all threads under one lock, holding at most
// kMaxKept blocks (a few hundred KiB); past that, freed blocks go back to
// the heap.
class FreeValues {
public:
    static constexpr std::size_t kMaxKept = 8192;

    ~FreeValues()
    {
        const std::lock_guard<std::mutex> hold(lock_);
        g_freeValuesClosed = true;
        while (first_) {
            Block* next = first_->next;
            ::operator delete(first_);
            first_ = next;
        }
    }

    void* Take()
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (Block* block = first_) {
                first_ = block->next;
                --kept_;
                return block;
            }
        }
        return ::operator new(sizeof(JsonValue));
    }

    void Give(void* memory) noexcept
    {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            if (!g_freeValuesClosed && kept_ < kMaxKept) {
                Block* block = static_cast<Block*>(memory);
                block->next = first_;
                first_ = block;
                ++kept_;
                return;
            }
        }
        ::operator delete(memory);
    }

private:
    struct Block {
        Block* next;
    };
    static_assert(sizeof(Block) <= sizeof(JsonValue), "a freed value holds the link to the next");

    // Protects first_ and kept_.
    std::mutex lock_;
    Block* first_ = nullptr;
    std::size_t kept_ = 0;
};

// Made on first use, destroyed at the end of the program.
FreeValues& TheFreeValues()
{
    static FreeValues values;
    return values;
}

}  // namespace

void* JsonValue::operator new(std::size_t size)
{
    // A class derived from JsonValue would be larger than the blocks kept.
    if (size != sizeof(JsonValue) || g_freeValuesClosed) return ::operator new(size);
    return TheFreeValues().Take();
}

void JsonValue::operator delete(void* block) noexcept
{
    if (!block) return;
    if (g_freeValuesClosed) {
        ::operator delete(block);
        return;
    }
    TheFreeValues().Give(block);
}

JsonValue::~JsonValue()
{
    switch (kind_) {
    case JsonKind::String: std::destroy_at(&string_); break;
    case JsonKind::Array: std::destroy_at(&items_); break;
    case JsonKind::Object: std::destroy_at(&members_); break;
    default: break;
    }
}

const std::wstring& JsonValue::EmptyString()
{
    static const std::wstring empty;
    return empty;
}

const JsonValue::ArrayItems& JsonValue::EmptyItems()
{
    static const ArrayItems empty;
    return empty;
}

const JsonValue::ObjectMembers& JsonValue::EmptyMembers()
{
    static const ObjectMembers empty;
    return empty;
}

JsonValue::Ptr JsonValue::MakeNull() { return Ptr(new JsonValue()); }

JsonValue::Ptr JsonValue::MakeBool(bool value) { return Ptr(new JsonValue(value)); }

JsonValue::Ptr JsonValue::MakeNumber(double value) { return Ptr(new JsonValue(value)); }

JsonValue::Ptr JsonValue::MakeString(std::wstring value) { return Ptr(new JsonValue(std::move(value))); }

JsonValue::Ptr JsonValue::MakeArray(ArrayItems items) { return Ptr(new JsonValue(std::move(items))); }

JsonValue::Ptr JsonValue::MakeObject(ObjectMembers members) { return Ptr(new JsonValue(std::move(members))); }

bool JsonValue::HasMember(const std::wstring& name) const
{
    return GetMember(name) != nullptr;
}

const JsonValue* JsonValue::GetMember(const std::wstring& name) const
{
    if (kind_ != JsonKind::Object) return nullptr;
    auto it = members_.find(name);
    return it == members_.end() ? nullptr : it->second.get();
}

void JsonValue::SetMember(std::wstring name, Ptr value)
{
    if (kind_ != JsonKind::Object || !value) return;
    members_.insert_or_assign(std::move(name), std::move(value));
}

void JsonValue::Append(Ptr value)
{
    if (kind_ != JsonKind::Array || !value) return;
    items_.push_back(std::move(value));
}

JsonValue::Ptr JsonValue::Clone() const
{
    switch (kind_) {
    case JsonKind::Null: return MakeNull();
    case JsonKind::Bool: return MakeBool(bool_);
    case JsonKind::Number: return MakeNumber(number_);
    case JsonKind::String: return MakeString(string_);
    case JsonKind::Array: {
        ArrayItems copy;
        copy.reserve(items_.size());
        for (const auto& item : items_) copy.push_back(item->Clone());
        return MakeArray(std::move(copy));
    }
    case JsonKind::Object: {
        ObjectMembers copy;
        // In order already: each copy is appended.
        for (const auto& member : members_) copy.emplace(member.first, member.second->Clone());
        return MakeObject(std::move(copy));
    }
    }
    return MakeNull();
}

// ---------------------------------------------------------------------------
// Parser

namespace {

class Parser {
public:
    Parser(const wchar_t* text, std::size_t length) : p_(text), end_(text + length) {}

    JsonValue::Ptr ParseDocument()
    {
        SkipWhitespace();
        if (AtEnd()) return nullptr;
        JsonValue::Ptr value = ReadValue();
        if (!value) return nullptr;
        SkipWhitespace();
        if (!AtEnd()) return nullptr;
        return value;
    }

private:
    const wchar_t* p_;
    const wchar_t* end_;
    int depth_ = 0;  // containers open around the current position
    // The elements of every array open around the current position, the
    // innermost last: an array takes its own off the end when it closes, so
    // that its list is allocated once, at its final size.
    JsonValue::ArrayItems pending_;
    // Likewise the members of every object open around the current position.
    std::vector<JsonObjectMembers::value_type> pendingMembers_;

    bool AtEnd() const { return p_ >= end_; }

    void SkipWhitespace()
    {
        while (p_ < end_ && (*p_ == L' ' || *p_ == L'\n' || *p_ == L'\r' || *p_ == L'\t')) ++p_;
    }

    // Compares the next code units with an ASCII word, ignoring letter case.
    bool StartsWithWord(const char* word) const
    {
        const wchar_t* q = p_;
        for (; *word; ++word, ++q) {
            if (q >= end_) return false;
            wchar_t c = *q;
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != static_cast<wchar_t>(*word)) return false;
        }
        return true;
    }

    static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

    JsonValue::Ptr ReadValue()
    {
        if (AtEnd()) return nullptr;
        switch (*p_) {
        case L'"': {
            ++p_;
            std::wstring s;
            if (!ReadStringBody(s)) return nullptr;
            return JsonValue::MakeString(std::move(s));
        }
        case L'-': case L'0': case L'1': case L'2': case L'3': case L'4':
        case L'5': case L'6': case L'7': case L'8': case L'9':
            return ReadNumber();
        case L'{':
        case L'[': {
            // One level of recursion per level of nesting: past the bound the
            // text is refused before the stack can run out.
            if (depth_ >= kMaxJsonParseDepth) return nullptr;
            const bool object = *p_ == L'{';
            ++p_;
            ++depth_;
            JsonValue::Ptr container = object ? ReadObject() : ReadArray();
            --depth_;
            return container;
        }
        case L't': case L'T':
            if (!StartsWithWord("true")) return nullptr;
            p_ += 4;
            return JsonValue::MakeBool(true);
        case L'f': case L'F':
            if (!StartsWithWord("false")) return nullptr;
            p_ += 5;
            return JsonValue::MakeBool(false);
        case L'n': case L'N':
            if (!StartsWithWord("null")) return nullptr;
            p_ += 4;
            return JsonValue::MakeNull();
        default:
            return nullptr;
        }
    }

    // Reads digits into a double, v = v * 10 + d; false when there is none.
    bool ReadDigits(double& v)
    {
        if (AtEnd() || !IsDigit(*p_)) return false;
        while (!AtEnd() && IsDigit(*p_)) {
            v = v * 10.0 + static_cast<double>(*p_ - L'0');
            ++p_;
        }
        return true;
    }

    JsonValue::Ptr ReadNumber()
    {
        bool negative = false;
        if (*p_ == L'-') { negative = true; ++p_; }
        if (AtEnd() || !IsDigit(*p_)) return nullptr;
        double v = 0.0;
        if (*p_ == L'0') {
            ++p_;
            // After a leading zero the integer part is over; another digit can
            // never be valid in any context.
            if (!AtEnd() && IsDigit(*p_)) return nullptr;
        } else {
            ReadDigits(v);
        }
        if (!AtEnd() && *p_ == L'.') {
            ++p_;
            if (AtEnd() || !IsDigit(*p_)) return nullptr;
            double f = 0.0, x = 0.1;
            while (!AtEnd() && IsDigit(*p_)) {
                f = f + static_cast<double>(*p_ - L'0') * x;
                x = x * 0.1;
                ++p_;
            }
            v = v + f;
        }
        if (!AtEnd() && (*p_ == L'e' || *p_ == L'E')) {
            ++p_;
            bool down = false;
            if (!AtEnd() && (*p_ == L'+' || *p_ == L'-')) { down = (*p_ == L'-'); ++p_; }
            double n = 0.0;
            if (!ReadDigits(n)) return nullptr;
            // n steps of ten, one at a time; the value is what those steps
            // give. Zero and infinity are fixed points of both steps, so the
            // loop stops at the first of them: every finite non-zero v reaches
            // one within about 650 steps, however large n is (n may itself
            // be infinite after a few hundred exponent digits).
            for (double i = 0.0; i < n; i += 1.0) {
                if (v == 0.0 || !std::isfinite(v)) break;
                v = down ? v / 10.0 : v * 10.0;
            }
        }
        if (negative) v = v * -1.0;
        return JsonValue::MakeNumber(v);
    }

    static int HexValue(wchar_t c)
    {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    }

    // The position is just past the opening quotation mark. Runs of plain
    // units are copied whole; a string without escapes is copied once, into
    // a string of its exact length.
    bool ReadStringBody(std::wstring& out)
    {
        const wchar_t* runStart = p_;
        for (;;) {
            // The plain run: everything up to a quotation mark, a backslash,
            // a control character or the end.
            while (p_ < end_ && *p_ != L'"' && *p_ != L'\\' && (*p_ >= 0x20 || *p_ == L'\t')) ++p_;
            if (AtEnd()) return false;
            const wchar_t c = *p_;
            if (c == L'"') {
                out.append(runStart, p_);
                ++p_;
                return true;
            }
            if (c != L'\\') return false;  // a raw control character
            out.append(runStart, p_);
            ++p_;
            if (AtEnd()) return false;
            const wchar_t e = *p_++;
            switch (e) {
            case L'"': out.push_back(L'"'); break;
            case L'\\': out.push_back(L'\\'); break;
            case L'/': out.push_back(L'/'); break;
            case L'b': out.push_back(L'\b'); break;
            case L'f': out.push_back(L'\f'); break;
            case L'n': out.push_back(L'\n'); break;
            case L'r': out.push_back(L'\r'); break;
            case L't': out.push_back(L'\t'); break;
            case L'u': {
                unsigned unit = 0;
                for (int i = 0; i < 4; ++i) {
                    if (AtEnd()) return false;
                    const int h = HexValue(*p_++);
                    if (h < 0) return false;
                    unit = unit * 16 + static_cast<unsigned>(h);
                }
                out.push_back(static_cast<wchar_t>(unit));
                break;
            }
            default: return false;
            }
            runStart = p_;
        }
    }

    JsonValue::Ptr ReadArray()
    {
        if (AtEnd()) return nullptr;
        const std::size_t first = pending_.size();
        bool any = false;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (!any && *p_ == L']') { ++p_; break; }
            JsonValue::Ptr item = ReadValue();
            if (!item) return nullptr;
            pending_.push_back(std::move(item));
            any = true;
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (*p_ == L']') { ++p_; break; }
            if (*p_ != L',') return nullptr;
            ++p_;
            if (AtEnd()) return nullptr;
            // Past a comma an element must follow; a closing bracket no longer
            // counts as an empty array because an element has been read.
        }
        JsonValue::ArrayItems items(std::make_move_iterator(pending_.begin() + static_cast<std::ptrdiff_t>(first)),
                                    std::make_move_iterator(pending_.end()));
        pending_.resize(first);
        return JsonValue::MakeArray(std::move(items));
    }

    JsonValue::Ptr ReadObject()
    {
        if (AtEnd()) return nullptr;
        const std::size_t first = pendingMembers_.size();
        bool any = false;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (!any && *p_ == L'}') { ++p_; break; }
            if (*p_ != L'"') return nullptr;
            ++p_;
            const std::size_t slot = pendingMembers_.size();
            pendingMembers_.emplace_back();
            if (!ReadStringBody(pendingMembers_.back().first)) return nullptr;
            SkipWhitespace();
            if (AtEnd() || *p_ != L':') return nullptr;
            ++p_;
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            // Objects inside the value use the list behind this member and
            // may move it, so the member is found again by its index.
            JsonValue::Ptr value = ReadValue();
            if (!value) return nullptr;
            pendingMembers_[slot].second = std::move(value);
            any = true;
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (*p_ == L'}') { ++p_; break; }
            if (*p_ != L',') return nullptr;
            ++p_;
            if (AtEnd()) return nullptr;
        }
        std::vector<JsonObjectMembers::value_type> list(
            std::make_move_iterator(pendingMembers_.begin() + static_cast<std::ptrdiff_t>(first)),
            std::make_move_iterator(pendingMembers_.end()));
        pendingMembers_.resize(first);
        return JsonValue::MakeObject(JsonObjectMembers::FromList(std::move(list)));
    }
};

}  // namespace

JsonValue::Ptr JsonValue::Parse(const wchar_t* text, std::size_t length)
{
    if (!text) return nullptr;
    // The first U+0000 ends the input.
    const wchar_t* nul = std::wmemchr(text, L'\0', length);
    if (nul) length = static_cast<std::size_t>(nul - text);
    return Parser(text, length).ParseDocument();
}

JsonValue::Ptr JsonValue::Parse(const std::wstring& text)
{
    return Parse(text.data(), text.size());
}

// ---------------------------------------------------------------------------
// Writer

namespace {

// The writer's output: text is written through a pointer into a small
// buffer of its own and appended to the string a buffer at a time, so that
// each piece written costs a check of the room left and a copy, not a call
// into the string.
class Output {
public:
    // The most any one piece asks room for.
    static constexpr std::size_t kMaxPiece = 2048;

    explicit Output(std::wstring& out) : out_(out) {}
    ~Output() { Flush(); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Where to write up to n (at most kMaxPiece) more units; Commit tells
    // where they ended.
    wchar_t* Room(std::size_t n)
    {
        if (static_cast<std::size_t>(buffer_ + kSize - cursor_) < n) Flush();
        return cursor_;
    }
    void Commit(wchar_t* end) { cursor_ = end; }

private:
    static constexpr std::size_t kSize = 4 * kMaxPiece;

    void Flush()
    {
        out_.append(buffer_, static_cast<std::size_t>(cursor_ - buffer_));
        cursor_ = buffer_;
    }

    std::wstring& out_;
    wchar_t buffer_[kSize];
    wchar_t* cursor_ = buffer_;
};

// The printable ASCII units that a string holds as they are: all but the
// quotation mark, the backslash and the solidus.
struct PlainUnits {
    bool plain[128] = {};
    constexpr PlainUnits()
    {
        for (unsigned c = 0x20; c < 0x7F; ++c) plain[c] = c != '"' && c != '\\' && c != '/';
    }
};
constexpr PlainUnits kPlain;

constexpr char kUpperHex[] = "0123456789ABCDEF";

// Copies narrow ASCII text into wide units.
wchar_t* Widen(const char* from, const char* to, wchar_t* d)
{
    while (from < to) *d++ = static_cast<wchar_t>(*from++);
    return d;
}

// The %.15g form of a number: its first 15 significant digits, rounded to
// nearest with ties to even on the exact value of the double, trailing
// zeros dropped, then laid out in fixed or exponent form. Three ways to the
// digits, the quickest that applies first; the tests hold all of them to
// the C library's %.15g.

// The high and low halves of a 64 x 64-bit product.
void MultiplyWide(std::uint64_t a, std::uint64_t b, std::uint64_t& high, std::uint64_t& low)
{
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    low = (middle << 32) | (p00 & 0xFFFFFFFFu);
    high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
}

// (high:low) / 2^shift, rounded to nearest with ties to even; 0 < shift <
// 128, and the quotient must fit in 64 bits.
std::uint64_t ShiftRounded(std::uint64_t high, std::uint64_t low, int shift)
{
    std::uint64_t quotient, restHigh, restLow, halfHigh, halfLow;
    if (shift < 64) {
        quotient = (low >> shift) | (high << (64 - shift));
        restHigh = 0;
        restLow = low & ((std::uint64_t{1} << shift) - 1);
        halfHigh = 0;
        halfLow = std::uint64_t{1} << (shift - 1);
    } else if (shift == 64) {
        quotient = high;
        restHigh = 0;
        restLow = low;
        halfHigh = 0;
        halfLow = std::uint64_t{1} << 63;
    } else {
        quotient = high >> (shift - 64);
        restHigh = high & ((std::uint64_t{1} << (shift - 64)) - 1);
        restLow = low;
        halfHigh = std::uint64_t{1} << (shift - 65);
        halfLow = 0;
    }
    const bool above = restHigh > halfHigh || (restHigh == halfHigh && restLow > halfLow);
    const bool half = restHigh == halfHigh && restLow == halfLow;
    if (above || (half && (quotient & 1))) ++quotient;
    return quotient;
}

struct PowersOfFive {
    std::uint64_t value[28] = {};  // 5^27 < 2^63
    constexpr PowersOfFive()
    {
        value[0] = 1;
        for (int i = 1; i < 28; ++i) value[i] = value[i - 1] * 5;
    }
};
constexpr PowersOfFive kFive;

constexpr std::uint64_t kTenToTheFifteen = 1000000000000000u;

// Exact integer arithmetic, for magnitudes from 1e-13 up to 1e15. With the
// double as m * 2^(e-52) (m of 53 bits) and its decimal exponent X, the
// digits are m * 10^(14-X) * 2^(e-52) = m * 5^k * 2^(e-52+k), k = 14-X
// from 0 to 27: a product of at most 116 bits shifted right and rounded.
// X is estimated from e as floor(e * log10 2), which is X or X-1; when the
// digits come out as 10^15, one more step of X settles it (that also covers
// 9.99...95 rounding up to the next power of ten). Gives false outside
// that range.
bool DigitsByIntegers(double magnitude, char* digits, int& count, int& exponent)
{
    if (!(magnitude >= 1e-13 && magnitude < 1e15)) return false;
    std::uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int e = static_cast<int>(bits >> 52) - 1023;
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    int decimal = static_cast<int>(std::floor(e * 0.30102999566398120));
    for (int attempt = 0; attempt < 2; ++attempt, ++decimal) {
        const int k = 14 - decimal;
        const int shift = 52 - e - k;
        if (k < 0 || k > 27 || shift <= 0 || shift >= 128) return false;
        std::uint64_t high, low;
        MultiplyWide(m, kFive.value[k], high, low);
        std::uint64_t n = ShiftRounded(high, low, shift);
        if (n >= kTenToTheFifteen) continue;
        for (int i = 14; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + n % 10);
            n /= 10;
        }
        count = 15;
        while (count > 1 && digits[count - 1] == '0') --count;
        exponent = decimal;
        return true;
    }
    return false;
}

// From the shortest form that reads back to the same double (digits d1 d2
// ... dn, n <= 17), for normal magnitudes outside that range:
// - n <= 15: rounding the double to 15 digits gives those same digits, since
//   the double lies within half a unit in its last place of them, far less
//   than half a step of the 15th digit;
// - n = 17: no 16-digit decimal reads back to the double, so no point half
//   way between two 15-digit decimals lies between the double and its
//   shortest form (that point would read back to the double too), and the
//   form rounds to 15 digits the way the double does;
// - n = 16: the same holds unless d16 is 5, when the shortest form may be
//   that half-way point itself: false then. Subnormal magnitudes, whose unit
//   in the last place is no longer small next to 15 digits: false too.
bool DigitsFromShortest(double magnitude, char* digits, int& count, int& exponent)
{
    if (magnitude < std::numeric_limits<double>::min()) return false;
    // d[.ddd]e(+|-)dd[d]; the digits are gathered at the front of it.
    char text[32];
    const char* const end = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific).ptr;
    const char* p = text;
    count = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') digits[count++] = *p;
    const bool exponentNegative = p[1] == '-';
    exponent = 0;
    for (p += 2; p < end; ++p) exponent = exponent * 10 + (*p - '0');
    if (exponentNegative) exponent = -exponent;
    if (count <= 15) return true;
    if (count == 16 && digits[15] == '5') return false;
    const bool up = digits[15] >= '5';  // with 17 digits the 17th is never 0, so 5 is past half way
    count = 15;
    if (up) {
        int i = 14;
        while (i >= 0 && digits[i] == '9') digits[i--] = '0';
        if (i >= 0) {
            ++digits[i];
        } else {  // 9.99...9 rounded up to 10
            digits[0] = '1';
            count = 1;
            ++exponent;
        }
    }
    while (count > 1 && digits[count - 1] == '0') --count;
    return true;
}

// Integers below 10^15 in magnitude, which %.15g writes as their plain
// digits, are written directly; the rest of the time the digits come from
// one of the ways above, or else from to_chars with precision 15, which
// rounds the double's exact value. Gives the end of the form.
wchar_t* WriteFinite(wchar_t* d, double value)
{
    char text[32];
    if (value > -1e15 && value < 1e15) {
        const long long whole = static_cast<long long>(value);
        if (static_cast<double>(whole) == value) {
            if (std::signbit(value)) *d++ = L'-';
            std::uint64_t rest = static_cast<std::uint64_t>(whole < 0 ? -whole : whole);
            wchar_t reversed[16];
            wchar_t* r = reversed;
            do {
                *r++ = static_cast<wchar_t>(L'0' + rest % 10);
                rest /= 10;
            } while (rest != 0);
            while (r > reversed) *d++ = *--r;
            return d;
        }
    }

    char digits[24];
    int count = 0, exponent = 0;
    const double magnitude = std::fabs(value);
    if (!DigitsByIntegers(magnitude, digits, count, exponent) &&
        !DigitsFromShortest(magnitude, digits, count, exponent))
        return Widen(text, std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr, d);

    if (std::signbit(value)) *d++ = L'-';
    if (exponent < -4 || exponent >= 15) {
        *d++ = static_cast<wchar_t>(digits[0]);
        if (count > 1) {
            *d++ = L'.';
            d = Widen(digits + 1, digits + count, d);
        }
        *d++ = L'e';
        *d++ = exponent < 0 ? L'-' : L'+';
        const int magnitudeOfExponent = exponent < 0 ? -exponent : exponent;
        if (magnitudeOfExponent >= 100) *d++ = static_cast<wchar_t>(L'0' + magnitudeOfExponent / 100);
        *d++ = static_cast<wchar_t>(L'0' + magnitudeOfExponent / 10 % 10);
        *d++ = static_cast<wchar_t>(L'0' + magnitudeOfExponent % 10);
        return d;
    }
    if (exponent < 0) {
        *d++ = L'0';
        *d++ = L'.';
        d = std::fill_n(d, -exponent - 1, L'0');
        return Widen(digits, digits + count, d);
    }
    const int whole = exponent + 1;  // digits before the point
    if (count <= whole) {
        d = Widen(digits, digits + count, d);
        return std::fill_n(d, whole - count, L'0');
    }
    d = Widen(digits, digits + whole, d);
    *d++ = L'.';
    return Widen(digits + whole, digits + count, d);
}

// Room for any number's form: sign, 15 digits, point, exponent.
constexpr std::size_t kNumberUnits = 32;

// Writes a number's form; null when it is not finite.
wchar_t* WriteNumber(wchar_t* d, double value)
{
    if (std::isfinite(value)) return WriteFinite(d, value);
    for (const char* c = "null"; *c; ++c) *d++ = static_cast<wchar_t>(*c);
    return d;
}

// Writes compact JSON. With kEscaped it writes the same text as it stands
// inside a JSON string: a backslash before every quotation mark and every
// backslash of it.
template <bool kEscaped>
class Writer {
public:
    explicit Writer(std::wstring& out) : out_(out) {}

    void Value(const JsonValue& value)
    {
        switch (value.Kind()) {
        case JsonKind::Null: Word(L"null", 4); break;
        case JsonKind::Bool:
            if (value.BoolValue()) Word(L"true", 4);
            else Word(L"false", 5);
            break;
        case JsonKind::Number: out_.Commit(WriteNumber(out_.Room(kNumberUnits), value.NumberValue())); break;
        case JsonKind::String: String(value.StringValue()); break;
        case JsonKind::Array: {
            wchar_t separator = L'[';
            for (const auto& item : value.Items()) {
                Punctuation(separator);
                separator = L',';
                Value(*item);
            }
            if (separator == L'[') Punctuation(L'[');
            Punctuation(L']');
            break;
        }
        case JsonKind::Object: {
            wchar_t separator = L'{';
            for (const auto& member : value.Members()) {
                String(member.first, separator, L':');
                separator = L',';
                Value(*member.second);
            }
            if (separator == L'{') Punctuation(L'{');
            Punctuation(L'}');
            break;
        }
        }
    }

    // The quoted form of a string, with a unit before and after it if given
    // (a member's name goes with its separator and its colon).
    void String(const std::wstring& text, wchar_t before = 0, wchar_t after = 0)
    {
        // A piece at a time, each with room for its worst case and for what
        // goes around the string.
        constexpr std::size_t kPiece = 256;
        constexpr std::size_t kRoom = kPiece * kMaxUnitsPerUnit + 8;
        static_assert(kRoom <= Output::kMaxPiece, "a piece must fit the output's buffer");
        const wchar_t* p = text.data();
        const wchar_t* const end = p + text.size();
        wchar_t* d = out_.Room(kRoom);
        if (before) *d++ = before;
        d = Quote(d);
        for (;;) {
            const wchar_t* const pieceEnd = p + std::min<std::size_t>(static_cast<std::size_t>(end - p), kPiece);
            for (; p < pieceEnd; ++p) {
                const wchar_t c = *p;
                if (c < 0x80 && kPlain.plain[c]) {
                    *d++ = c;
                    continue;
                }
                d = Escape(d, c);
            }
            if (p == end) break;
            out_.Commit(d);
            d = out_.Room(kRoom);
        }
        d = Quote(d);
        if (after) *d++ = after;
        out_.Commit(d);
    }

private:
    // The most one code unit of a string can take: \uXXXX, itself escaped.
    static constexpr std::size_t kMaxUnitsPerUnit = kEscaped ? 7 : 6;

    static wchar_t* Backslash(wchar_t* d)
    {
        if (kEscaped) *d++ = L'\\';
        *d++ = L'\\';
        return d;
    }

    static wchar_t* Quote(wchar_t* d)
    {
        if (kEscaped) *d++ = L'\\';
        *d++ = L'"';
        return d;
    }

    // A unit that a string does not hold as it is.
    static wchar_t* Escape(wchar_t* d, wchar_t c)
    {
        switch (c) {
        case L'"': return Quote(Backslash(d));
        case L'\\': return Backslash(Backslash(d));
        case L'/': d = Backslash(d); *d++ = L'/'; return d;
        case L'\b': d = Backslash(d); *d++ = L'b'; return d;
        case L'\f': d = Backslash(d); *d++ = L'f'; return d;
        case L'\n': d = Backslash(d); *d++ = L'n'; return d;
        case L'\r': d = Backslash(d); *d++ = L'r'; return d;
        case L'\t': d = Backslash(d); *d++ = L't'; return d;
        default: {
            const unsigned u = static_cast<unsigned>(c) & 0xFFFFu;
            d = Backslash(d);
            *d++ = L'u';
            *d++ = static_cast<wchar_t>(kUpperHex[(u >> 12) & 0xF]);
            *d++ = static_cast<wchar_t>(kUpperHex[(u >> 8) & 0xF]);
            *d++ = static_cast<wchar_t>(kUpperHex[(u >> 4) & 0xF]);
            *d++ = static_cast<wchar_t>(kUpperHex[u & 0xF]);
            return d;
        }
        }
    }

    void Punctuation(wchar_t c)
    {
        wchar_t* d = out_.Room(1);
        *d++ = c;
        out_.Commit(d);
    }

    void Word(const wchar_t* word, std::size_t length)
    {
        wchar_t* d = out_.Room(length);
        d = std::copy(word, word + length, d);
        out_.Commit(d);
    }

    Output out_;
};

}  // namespace

void AppendQuotedJsonString(std::wstring& out, const std::wstring& text)
{
    Writer<false>(out).String(text);
}

std::wstring QuoteJsonString(const std::wstring& text)
{
    std::wstring out;
    AppendQuotedJsonString(out, text);
    return out;
}

std::wstring FormatJsonNumber(double value)
{
    wchar_t buffer[kNumberUnits];
    return std::wstring(buffer, WriteNumber(buffer, value));
}

void JsonValue::SerializeTo(std::wstring& out) const
{
    Writer<false>(out).Value(*this);
}

void JsonValue::SerializeEscapedTo(std::wstring& out) const
{
    Writer<true>(out).Value(*this);
}

std::wstring JsonValue::Serialize() const
{
    std::wstring out;
    SerializeTo(out);
    return out;
}

bool ExceedsJsonDepth(const std::wstring& text, int maxDepth)
{
    long depth = 0;
    bool inString = false, escaped = false;
    for (wchar_t c : text) {
        // The parser stops at the first U+0000, so nothing after it nests.
        if (c == L'\0') break;
        if (inString) {
            if (escaped) escaped = false;
            else if (c == L'\\') escaped = true;
            else if (c == L'"') inString = false;
            continue;
        }
        if (c == L'"') inString = true;
        else if (c == L'{' || c == L'[') {
            if (++depth > maxDepth) return true;
        } else if (c == L'}' || c == L']') --depth;
    }
    return false;
}
