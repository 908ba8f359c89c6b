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

// The grammar, once for every use of it: the parser reads the text and tells
// a handler what it meets, in order; the handler builds a tree of it
// (TreeBuilder) or writes it again (Rewriter, after the writer). A handler
// has:
//   Null(), Bool(b), Number(v)   a scalar value;
//   StringTarget()               where a string value's units go, one
//                                append(first, last) or push_back(unit) at
//                                a time; StringDone() once it is whole;
//   BeginArray(), Item(), EndArray()   Item() before each element;
//   BeginObject(), NameTarget(), NameDone(), EndObject()   a member's name
//                                goes to NameTarget() as a string does,
//                                then its value follows.
// Once the parser has given up, nothing the handler made is looked at.
template <class Handler>
class Parser {
public:
    Parser(const wchar_t* text, std::size_t length, Handler& handler, int maxDepth = kMaxJsonParseDepth)
        : p_(text), end_(text + length), handler_(handler), maxDepth_(std::min(maxDepth, kMaxJsonParseDepth))
    {
    }

    // True when the text is exactly one value, with whitespace around it.
    bool ParseDocument()
    {
        SkipWhitespace();
        if (AtEnd()) return false;
        if (!ReadValue()) return false;
        SkipWhitespace();
        return AtEnd();
    }

private:
    const wchar_t* p_;
    const wchar_t* end_;
    Handler& handler_;
    const int maxDepth_;  // the deepest nesting taken, at most kMaxJsonParseDepth
    int depth_ = 0;       // containers open around the current position

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

    bool ReadValue()
    {
        if (AtEnd()) return false;
        switch (*p_) {
        case L'"':
            ++p_;
            if (!ReadStringBody(handler_.StringTarget())) return false;
            handler_.StringDone();
            return true;
        case L'-': case L'0': case L'1': case L'2': case L'3': case L'4':
        case L'5': case L'6': case L'7': case L'8': case L'9':
            return ReadNumber();
        case L'{':
        case L'[': {
            // One level of recursion per level of nesting: past the bound the
            // text is refused before the stack can run out.
            if (depth_ >= maxDepth_) return false;
            const bool object = *p_ == L'{';
            ++p_;
            ++depth_;
            const bool read = object ? ReadObject() : ReadArray();
            --depth_;
            return read;
        }
        case L't': case L'T':
            if (!StartsWithWord("true")) return false;
            p_ += 4;
            handler_.Bool(true);
            return true;
        case L'f': case L'F':
            if (!StartsWithWord("false")) return false;
            p_ += 5;
            handler_.Bool(false);
            return true;
        case L'n': case L'N':
            if (!StartsWithWord("null")) return false;
            p_ += 4;
            handler_.Null();
            return true;
        default:
            return false;
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

    bool ReadNumber()
    {
        bool negative = false;
        if (*p_ == L'-') { negative = true; ++p_; }
        if (AtEnd() || !IsDigit(*p_)) return false;
        double v = 0.0;
        if (*p_ == L'0') {
            ++p_;
            // After a leading zero the integer part is over; another digit can
            // never be valid in any context.
            if (!AtEnd() && IsDigit(*p_)) return false;
        } else {
            ReadDigits(v);
        }
        if (!AtEnd() && *p_ == L'.') {
            ++p_;
            if (AtEnd() || !IsDigit(*p_)) return false;
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
            if (!ReadDigits(n)) return false;
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
        handler_.Number(v);
        return true;
    }

    static int HexValue(wchar_t c)
    {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    }

    // The position is just past the opening quotation mark. The target takes
    // runs of units it keeps as they are, as long as it likes, but never a
    // quotation mark, a backslash or a control character other than TAB;
    // whatever unit it stops at is read here.
    template <class Target>
    bool ReadStringBody(Target&& out)
    {
        for (;;) {
            p_ = out.TakeRun(p_, end_);
            if (AtEnd()) return false;
            const wchar_t c = *p_++;
            if (c == L'"') return true;
            if (c != L'\\') {
                if (c < 0x20 && c != L'\t') return false;  // a raw control character
                out.push_back(c);
                continue;
            }
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
        }
    }

    bool ReadArray()
    {
        if (AtEnd()) return false;
        handler_.BeginArray();
        bool any = false;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return false;
            if (!any && *p_ == L']') { ++p_; break; }
            handler_.Item();
            if (!ReadValue()) return false;
            any = true;
            SkipWhitespace();
            if (AtEnd()) return false;
            if (*p_ == L']') { ++p_; break; }
            if (*p_ != L',') return false;
            ++p_;
            if (AtEnd()) return false;
            // Past a comma an element must follow; a closing bracket no longer
            // counts as an empty array because an element has been read.
        }
        handler_.EndArray();
        return true;
    }

    bool ReadObject()
    {
        if (AtEnd()) return false;
        handler_.BeginObject();
        bool any = false;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return false;
            if (!any && *p_ == L'}') { ++p_; break; }
            if (*p_ != L'"') return false;
            ++p_;
            if (!ReadStringBody(handler_.NameTarget())) return false;
            handler_.NameDone();
            SkipWhitespace();
            if (AtEnd() || *p_ != L':') return false;
            ++p_;
            SkipWhitespace();
            if (AtEnd()) return false;
            if (!ReadValue()) return false;
            any = true;
            SkipWhitespace();
            if (AtEnd()) return false;
            if (*p_ == L'}') { ++p_; break; }
            if (*p_ != L',') return false;
            ++p_;
            if (AtEnd()) return false;
        }
        handler_.EndObject();
        return true;
    }
};

// The parser's text: up to the first U+0000, where the input ends.
std::size_t ParsedLength(const wchar_t* text, std::size_t length)
{
    const wchar_t* nul = std::wmemchr(text, L'\0', length);
    return nul ? static_cast<std::size_t>(nul - text) : length;
}

// A string of the tree as the parser reads it: everything up to a quotation
// mark, a backslash or a control character other than TAB is taken as it is.
struct TextTarget {
    std::wstring& text;
    const wchar_t* TakeRun(const wchar_t* p, const wchar_t* end)
    {
        const wchar_t* q = p;
        while (q < end && *q != L'"' && *q != L'\\' && (*q >= 0x20 || *q == L'\t')) ++q;
        text.append(p, q);
        return q;
    }
    void push_back(wchar_t c) { text.push_back(c); }
};

// Builds the tree. The values finished inside the arrays and objects open
// around the parser's position wait in lists, the innermost last; a
// container takes its own off the end when it closes, so that each is
// allocated once, at its final size.
class TreeBuilder {
public:
    JsonValue::Ptr TakeRoot() { return std::move(root_); }

    void Null() { Put(JsonValue::MakeNull()); }
    void Bool(bool value) { Put(JsonValue::MakeBool(value)); }
    void Number(double value) { Put(JsonValue::MakeNumber(value)); }
    TextTarget StringTarget()
    {
        string_.clear();
        return TextTarget{string_};
    }
    void StringDone() { Put(JsonValue::MakeString(std::move(string_))); }

    void BeginArray() { open_.push_back({false, items_.size()}); }
    void Item() {}
    void EndArray()
    {
        const std::size_t first = open_.back().first;
        open_.pop_back();
        JsonValue::ArrayItems items(std::make_move_iterator(items_.begin() + static_cast<std::ptrdiff_t>(first)),
                                    std::make_move_iterator(items_.end()));
        items_.resize(first);
        Put(JsonValue::MakeArray(std::move(items)));
    }

    void BeginObject() { open_.push_back({true, members_.size()}); }
    TextTarget NameTarget()
    {
        members_.emplace_back();
        return TextTarget{members_.back().first};
    }
    void NameDone() {}
    void EndObject()
    {
        const std::size_t first = open_.back().first;
        open_.pop_back();
        std::vector<JsonObjectMembers::value_type> list(
            std::make_move_iterator(members_.begin() + static_cast<std::ptrdiff_t>(first)),
            std::make_move_iterator(members_.end()));
        members_.resize(first);
        Put(JsonValue::MakeObject(JsonObjectMembers::FromList(std::move(list))));
    }

private:
    struct Open {
        bool object;
        std::size_t first;  // its first entry in items_ or members_
    };

    // A finished value goes to the container around it: the end of an
    // array's items, or the member last named (the members of objects
    // inside that member's value have been taken off by now).
    void Put(JsonValue::Ptr value)
    {
        if (open_.empty()) root_ = std::move(value);
        else if (open_.back().object) members_.back().second = std::move(value);
        else items_.push_back(std::move(value));
    }

    JsonValue::Ptr root_;
    std::vector<Open> open_;
    JsonValue::ArrayItems items_;
    std::vector<JsonObjectMembers::value_type> members_;
    std::wstring string_;
};

}  // namespace

JsonValue::Ptr JsonValue::Parse(const wchar_t* text, std::size_t length)
{
    if (!text) return nullptr;
    TreeBuilder builder;
    if (!Parser<TreeBuilder>(text, ParsedLength(text, length), builder).ParseDocument()) return nullptr;
    return builder.TakeRoot();
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

// How the writer writes a string's units. With kEscaped, the text as it
// stands inside a JSON string: a backslash before every quotation mark and
// every backslash of it.
template <bool kEscaped>
struct StringEscaping {
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

    // One unit of a string's text.
    static wchar_t* Unit(wchar_t* d, wchar_t c)
    {
        if (c < 0x80 && kPlain.plain[c]) {
            *d++ = c;
            return d;
        }
        return Escape(d, c);
    }
};

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
        constexpr std::size_t kRoom = kPiece * Escaping::kMaxUnitsPerUnit + 8;
        static_assert(kRoom <= Output::kMaxPiece, "a piece must fit the output's buffer");
        const wchar_t* p = text.data();
        const wchar_t* const end = p + text.size();
        wchar_t* d = out_.Room(kRoom);
        if (before) *d++ = before;
        d = Escaping::Quote(d);
        for (;;) {
            const wchar_t* const pieceEnd = p + std::min<std::size_t>(static_cast<std::size_t>(end - p), kPiece);
            for (; p < pieceEnd; ++p) d = Escaping::Unit(d, *p);
            if (p == end) break;
            out_.Commit(d);
            d = out_.Room(kRoom);
        }
        d = Escaping::Quote(d);
        if (after) *d++ = after;
        out_.Commit(d);
    }

private:
    using Escaping = StringEscaping<kEscaped>;

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

// Parse followed by the writer, in one pass: writes what the writer writes
// of the tree the text parses to, without making the tree. A member of an
// object is written as it comes, as ',"name":value'; when the object closes
// its members are put in name order, keeping the last of each name, unless
// they are in that order already (as a writer's own output is), and the
// first comma becomes the opening brace. Names are kept, as read, until
// their object closes.
template <bool kEscaped>
class Rewriter {
public:
    Rewriter(std::wstring& out, JsonRewrite& result)
        : out_(out), begin_(out.size()), length_(out.size()), result_(result)
    {
    }

    // Cuts the output to what was written, or back to what it was.
    void Finish(bool parsed)
    {
        out_.resize(parsed ? length_ : begin_);
        if (!parsed) result_ = JsonRewrite{};
        result_.ok = parsed;
    }

    void Null()
    {
        Root(JsonKind::Null);
        Word(L"null", 4);
    }
    void Bool(bool value)
    {
        Root(JsonKind::Bool);
        if (value) Word(L"true", 4);
        else Word(L"false", 5);
    }
    void Number(double value)
    {
        Root(JsonKind::Number);
        Commit(WriteNumber(Room(kNumberUnits), value));
    }

    // Writes each unit of a string as the writer does; takes runs of the
    // units it writes as they are, copying them straight across.
    struct UnitWriter {
        Rewriter& to;
        const wchar_t* TakeRun(const wchar_t* p, const wchar_t* end) { return to.CopyPlain(p, end, nullptr); }
        void push_back(wchar_t c) { to.Unit(c); }
    };
    UnitWriter StringTarget()
    {
        Root(JsonKind::String);
        Commit(Escaping::Quote(Room(2)));
        return UnitWriter{*this};
    }
    void StringDone() { Commit(Escaping::Quote(Room(2))); }

    void BeginArray()
    {
        Root(JsonKind::Array);
        open_.push_back({length_, 0, 0, false});
        Commit(Put(Room(1), L'['));
    }
    void Item()
    {
        if (open_.back().any) Commit(Put(Room(1), L','));
        open_.back().any = true;
    }
    void EndArray()
    {
        open_.pop_back();
        Commit(Put(Room(1), L']'));
    }

    void BeginObject()
    {
        Root(JsonKind::Object);
        open_.push_back({length_, members_.size(), names_.size(), false});
    }
    // A name is kept as read, for the order, and written as it comes.
    struct NameWriter {
        Rewriter& to;
        const wchar_t* TakeRun(const wchar_t* p, const wchar_t* end) { return to.CopyPlain(p, end, &to.names_); }
        void push_back(wchar_t c)
        {
            to.names_.push_back(c);
            to.Unit(c);
        }
    };
    NameWriter NameTarget()
    {
        members_.push_back({names_.size(), 0, length_, 0, 0});
        Commit(Escaping::Quote(Put(Room(3), L',')));
        return NameWriter{*this};
    }
    void NameDone()
    {
        Member& member = members_.back();
        member.nameLength = names_.size() - member.nameBegin;
        Commit(Put(Escaping::Quote(Room(3)), L':'));
        member.valueBegin = length_;
    }
    void EndObject()
    {
        const Open open = open_.back();
        open_.pop_back();
        Member* const members = members_.data() + open.firstMember;
        std::size_t count = members_.size() - open.firstMember;
        for (std::size_t i = 0; i < count; ++i) members[i].end = i + 1 < count ? members[i + 1].textBegin : length_;
        if (count == 0) {
            Commit(Put(Put(Room(2), L'{'), L'}'));
        } else {
            if (!InNameOrder(members, count)) count = PutInNameOrder(open.start, members, count);
            out_[open.start] = L'{';
            Commit(Put(Room(1), L'}'));
        }
        if (open_.empty()) {
            result_.rootMembers.clear();
            for (std::size_t i = 0; i < count; ++i)
                result_.rootMembers.push_back({Name(members[i]), members[i].valueBegin, members[i].end});
        }
        members_.resize(open.firstMember);
        names_.resize(open.namesBegin);
    }

private:
    using Escaping = StringEscaping<kEscaped>;

    struct Open {
        std::size_t start;        // where the container's text begins
        std::size_t firstMember;  // an object's first entry in members_
        std::size_t namesBegin;   // an object's first unit in names_
        bool any;                 // an array has an element already
    };
    // A member of an open object: its name in names_, and its text
    // (',"name":value') in the output.
    struct Member {
        std::size_t nameBegin, nameLength;
        std::size_t textBegin, valueBegin, end;
    };

    // The kind of the outermost value, set by its first event.
    void Root(JsonKind kind)
    {
        if (open_.empty()) result_.rootKind = kind;
    }

    // Room for n more units at the end of the output; Commit sets the end.
    wchar_t* Room(std::size_t n)
    {
        if (out_.size() < length_ + n) out_.resize(std::max({length_ + n, out_.capacity(), out_.size() * 2}));
        return &out_[length_];
    }
    void Commit(wchar_t* end) { length_ = static_cast<std::size_t>(end - &out_[0]); }
    static wchar_t* Put(wchar_t* d, wchar_t c)
    {
        *d++ = c;
        return d;
    }
    void Word(const wchar_t* word, std::size_t length) { Commit(std::copy(word, word + length, Room(length))); }

    // One unit of a string, as the writer writes it.
    void Unit(wchar_t c) { Commit(Escaping::Unit(Room(Escaping::kMaxUnitsPerUnit), c)); }

    // Copies the units from p on that are written as they are, up to the
    // first that is not, a piece at a time; also to name when given. Gives
    // where it stopped.
    const wchar_t* CopyPlain(const wchar_t* p, const wchar_t* end, std::wstring* name)
    {
        constexpr std::size_t kPiece = 1024;
        for (;;) {
            const wchar_t* const stop = p + std::min<std::size_t>(static_cast<std::size_t>(end - p), kPiece);
            wchar_t* d = Room(static_cast<std::size_t>(stop - p));
            const wchar_t* q = p;
            while (q < stop && *q < 0x80 && kPlain.plain[*q]) *d++ = *q++;
            Commit(d);
            if (name) name->append(p, q);
            if (q < stop || q == end) return q;
            p = q;
        }
    }

    std::wstring Name(const Member& member) const { return names_.substr(member.nameBegin, member.nameLength); }

    // How two names compare: below, at or above zero as a's is before, the
    // same as or after b's, by code unit as std::wstring compares them.
    // Written out, since names mostly differ in their first unit or two.
    int CompareNames(const Member& a, const Member& b) const
    {
        const wchar_t* p = names_.data() + a.nameBegin;
        const wchar_t* q = names_.data() + b.nameBegin;
        const std::size_t common = std::min(a.nameLength, b.nameLength);
        for (std::size_t i = 0; i < common; ++i)
            if (p[i] != q[i]) return std::char_traits<wchar_t>::lt(p[i], q[i]) ? -1 : 1;
        return a.nameLength < b.nameLength ? -1 : a.nameLength > b.nameLength ? 1 : 0;
    }

    // Whether every name comes after the one before it (so none repeats).
    bool InNameOrder(const Member* members, std::size_t count) const
    {
        for (std::size_t i = 1; i < count; ++i)
            if (CompareNames(members[i - 1], members[i]) >= 0) return false;
        return true;
    }

    // Which members to write, in which order: for each name the last member
    // of it, by name. The objects of a list mostly have the same names in
    // the same order, so the order found for the last object put in order
    // is kept, and used again while the names are the same.
    const std::vector<std::size_t>& WritingOrder(const Member* members, std::size_t count)
    {
        const wchar_t* const names = names_.data() + members[0].nameBegin;
        const std::size_t namesLength = names_.size() - members[0].nameBegin;
        bool same = count == lastLengths_.size() && namesLength == lastNames_.size() &&
                    std::equal(names, names + namesLength, lastNames_.data());
        for (std::size_t i = 0; same && i < count; ++i) same = members[i].nameLength == lastLengths_[i];
        if (same) return lastOrder_;

        order_.resize(count);
        for (std::size_t i = 0; i < count; ++i) order_[i] = i;
        const auto before = [&](std::size_t a, std::size_t b) { return CompareNames(members[a], members[b]) < 0; };
        // Objects are mostly small: sorting them by insertion needs no memory
        // of its own, where a stable sort asks the heap for some each time.
        if (count <= 32) {
            for (std::size_t i = 1; i < count; ++i) {
                const std::size_t moving = order_[i];
                std::size_t j = i;
                for (; j > 0 && before(moving, order_[j - 1]); --j) order_[j] = order_[j - 1];
                order_[j] = moving;
            }
        } else {
            std::stable_sort(order_.begin(), order_.end(), before);
        }
        lastOrder_.clear();
        for (std::size_t i = 0; i < count; ++i)
            if (i + 1 == count || CompareNames(members[order_[i]], members[order_[i + 1]]) != 0)  // no later one
                lastOrder_.push_back(order_[i]);
        lastNames_.assign(names, namesLength);
        lastLengths_.resize(count);
        for (std::size_t i = 0; i < count; ++i) lastLengths_[i] = members[i].nameLength;
        return lastOrder_;
    }

    // Rewrites the object's members from start on in writing order, and
    // gives how many are left; members then lists them as they now lie. The
    // members are copied in order past the end of the output, then back.
    std::size_t PutInNameOrder(std::size_t start, Member* members, std::size_t count)
    {
        const std::vector<std::size_t>& order = WritingOrder(members, count);
        std::size_t total = 0;
        for (const std::size_t i : order) total += members[i].end - members[i].textBegin;
        wchar_t* const scratch = Room(total);
        const wchar_t* const text = out_.data();
        wchar_t* d = scratch;
        kept_.clear();
        for (const std::size_t i : order) {
            const Member& m = members[i];
            const std::size_t at = start + static_cast<std::size_t>(d - scratch);
            kept_.push_back({m.nameBegin, m.nameLength, at, at + (m.valueBegin - m.textBegin), at + (m.end - m.textBegin)});
            d = std::copy(text + m.textBegin, text + m.end, d);
        }
        // The object's text ends where the copies begin, and they are no
        // longer than it: the two do not overlap.
        std::copy(scratch, d, &out_[start]);
        length_ = start + total;
        std::copy(kept_.begin(), kept_.end(), members);
        return kept_.size();
    }

    std::wstring& out_;
    const std::size_t begin_;
    std::size_t length_;  // the output's end; out_ may be longer meanwhile
    JsonRewrite& result_;
    std::vector<Open> open_;
    std::vector<Member> members_;  // of every object open, the innermost last
    std::wstring names_;
    // Scratch for putting members in order, and the last order found.
    std::vector<std::size_t> order_;
    std::vector<Member> kept_;
    std::wstring lastNames_;
    std::vector<std::size_t> lastLengths_;
    std::vector<std::size_t> lastOrder_;
};

template <bool kEscaped>
JsonRewrite Rewrite(const wchar_t* text, std::size_t length, std::wstring& out, int maxDepth)
{
    JsonRewrite result;
    // Room for about what a compact text comes to, so that the output is
    // not moved as it grows.
    out.reserve(out.size() + length + length / 4 + 256);
    Rewriter<kEscaped> rewriter(out, result);
    const bool parsed =
        text && Parser<Rewriter<kEscaped>>(text, ParsedLength(text, length), rewriter, maxDepth).ParseDocument();
    rewriter.Finish(parsed);
    return result;
}

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

JsonRewrite RewriteJson(const wchar_t* text, std::size_t length, bool escaped, std::wstring& out, int maxDepth)
{
    return escaped ? Rewrite<true>(text, length, out, maxDepth) : Rewrite<false>(text, length, out, maxDepth);
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
