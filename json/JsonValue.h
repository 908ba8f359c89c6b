// The JSON document model shared by both deliverables: an owned tree of
// values, a parser from UTF-16 text and a compact, pure-ASCII writer.
//
// Ownership: every value owns its payload and children outright; Parse and
// Clone hand the caller a new root. GetMember lends a child that stays owned
// by its parent. Objects keep their members ordered by name (code unit by
// code unit, unsigned), so the writer emits them in that order.
//
// The parser follows RFC 8259 with two liberties: true, false and null are
// recognised in any letter case, and a TAB may stand unescaped in a string.
// It recurses once per level of nesting and refuses a text nested deeper
// than kMaxJsonParseDepth, so that no input can exhaust the stack; callers
// that take untrusted text still bound the depth first, lower and with a
// message of their own (ExceedsJsonDepth).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The deepest nesting of arrays and objects that Parse accepts; one level
// deeper and it gives nothing. Half as much again as the deepest bound any
// caller checks first (1000), and about half of the 1 MiB stack of a default
// Windows thread: parsing, writing, copying or destroying such a tree takes
// roughly 330 bytes of stack per level in an optimised build.
constexpr int kMaxJsonParseDepth = 1500;

enum class JsonKind : std::int32_t { Null = 0, String = 1, Bool = 2, Number = 3, Array = 4, Object = 5 };

class JsonValue;

// The members of an object: unique names with their values, kept in name
// order (std::wstring's <, which compares code units as unsigned 16-bit
// numbers) in one contiguous list. It offers the part of a sorted map's
// interface that the code base uses, with the same meaning: emplace keeps
// a member that is there already, operator[] and insert_or_assign replace
// it, iteration goes in name order. A name must not be changed through an
// iterator. Adding members in name order appends; adding one in between
// moves the members after it.
class JsonObjectMembers {
public:
    using key_type = std::wstring;
    using mapped_type = std::unique_ptr<JsonValue>;
    using value_type = std::pair<std::wstring, mapped_type>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    JsonObjectMembers() = default;
    JsonObjectMembers(JsonObjectMembers&&) noexcept = default;
    JsonObjectMembers& operator=(JsonObjectMembers&&) noexcept = default;
    ~JsonObjectMembers();

    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    bool empty() const { return items_.empty(); }
    std::size_t size() const { return items_.size(); }
    void clear();
    void swap(JsonObjectMembers& other) noexcept { items_.swap(other.items_); }

    iterator find(const std::wstring& name);
    const_iterator find(const std::wstring& name) const;
    // Throws std::out_of_range when there is no such member.
    mapped_type& at(const std::wstring& name);
    const mapped_type& at(const std::wstring& name) const;

    // Adds the member unless one of that name is there; the value given is
    // then dropped. Gives the member of that name and whether it was added.
    std::pair<iterator, bool> emplace(std::wstring name, mapped_type value);
    // Adds the member or replaces the value of the one of that name.
    std::pair<iterator, bool> insert_or_assign(std::wstring name, mapped_type value);
    // The value of the member of that name, added empty when missing.
    mapped_type& operator[](std::wstring name);

    // Takes over a list of members in any order, names possibly repeated:
    // sorts it by name, and of members of one name keeps the last.
    static JsonObjectMembers FromList(std::vector<value_type> list);

private:
    // The first member whose name is not before the given one.
    iterator LowerBound(const std::wstring& name);

    std::vector<value_type> items_;
};

class JsonValue {
public:
    using Ptr = std::unique_ptr<JsonValue>;
    using ArrayItems = std::vector<Ptr>;
    using ObjectMembers = JsonObjectMembers;

    // Scalars are made directly from their payload.
    static Ptr MakeNull();
    static Ptr MakeBool(bool value);
    static Ptr MakeNumber(double value);
    static Ptr MakeString(std::wstring value);
    static Ptr MakeArray(ArrayItems items);
    static Ptr MakeObject(ObjectMembers members);

    // Parses text up to its first U+0000 (or its end). Gives null when the
    // text is not exactly one complete JSON value, surrounded by whitespace,
    // or when it nests deeper than kMaxJsonParseDepth.
    static Ptr Parse(const std::wstring& text);
    static Ptr Parse(const wchar_t* text, std::size_t length);

    // Compact JSON; every code unit outside U+0020..U+007E is \u-escaped.
    std::wstring Serialize() const;
    void SerializeTo(std::wstring& out) const;
    // The compact text as it stands inside a JSON string: the same text with
    // a backslash before each of its quotation marks and backslashes (the
    // text is printable ASCII, so nothing else needs escaping). Written in
    // one pass; the compact text itself is never built.
    void SerializeEscapedTo(std::wstring& out) const;

    Ptr Clone() const;

    JsonKind Kind() const { return kind_; }
    bool IsNull() const { return kind_ == JsonKind::Null; }
    bool IsString() const { return kind_ == JsonKind::String; }
    bool IsBool() const { return kind_ == JsonKind::Bool; }
    bool IsNumber() const { return kind_ == JsonKind::Number; }
    bool IsArray() const { return kind_ == JsonKind::Array; }
    bool IsObject() const { return kind_ == JsonKind::Object; }

    // Payload readers; each gives an empty or zero payload for another kind.
    const std::wstring& StringValue() const { return kind_ == JsonKind::String ? string_ : EmptyString(); }
    bool BoolValue() const { return kind_ == JsonKind::Bool && bool_; }
    double NumberValue() const { return kind_ == JsonKind::Number ? number_ : 0.0; }
    const ArrayItems& Items() const { return kind_ == JsonKind::Array ? items_ : EmptyItems(); }
    const ObjectMembers& Members() const { return kind_ == JsonKind::Object ? members_ : EmptyMembers(); }

    bool HasMember(const std::wstring& name) const;
    const JsonValue* GetMember(const std::wstring& name) const;  // null when absent or not an object

    // Inserts or replaces a member; only for Object values.
    void SetMember(std::wstring name, Ptr value);
    // Appends an element; only for Array values.
    void Append(Ptr value);

    JsonValue() : number_(0.0) {}
    ~JsonValue();

    // Values are made and freed in large numbers, one per element: freed
    // ones are kept (a bounded number, for all threads) for the next ones
    // to be made, so that parsing a message after another costs few calls
    // into the heap.
    static void* operator new(std::size_t size);
    static void operator delete(void* block) noexcept;
    JsonValue(const JsonValue&) = delete;
    JsonValue& operator=(const JsonValue&) = delete;

private:
    explicit JsonValue(bool value) : kind_(JsonKind::Bool), bool_(value), number_(0.0) {}
    explicit JsonValue(double value) : kind_(JsonKind::Number), number_(value) {}
    explicit JsonValue(std::wstring&& value) : kind_(JsonKind::String), string_(std::move(value)) {}
    explicit JsonValue(ArrayItems&& items) : kind_(JsonKind::Array), items_(std::move(items)) {}
    explicit JsonValue(ObjectMembers&& members) : kind_(JsonKind::Object), members_(std::move(members)) {}

    static const std::wstring& EmptyString();
    static const ArrayItems& EmptyItems();
    static const ObjectMembers& EmptyMembers();

    // One payload per value, chosen by kind_ and destroyed by ~JsonValue: a
    // value is the size of its largest payload, not of all of them.
    JsonKind kind_ = JsonKind::Null;
    bool bool_ = false;
    union {
        double number_;
        std::wstring string_;
        ArrayItems items_;
        ObjectMembers members_;
    };
};

// The writer's quoted form of a string, used for string values and names.
std::wstring QuoteJsonString(const std::wstring& text);
void AppendQuotedJsonString(std::wstring& out, const std::wstring& text);

// The writer's form of a number: like printf's %.15g, null when not finite.
std::wstring FormatJsonNumber(double value);

// What RewriteJson found: whether the text parsed, the kind of its outermost
// value, and when that is an object, its members as written: each name
// with where its value's text lies in the output, in name order, one per
// name.
struct JsonWrittenMember {
    std::wstring name;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};
struct JsonRewrite {
    bool ok = false;
    JsonKind rootKind = JsonKind::Null;
    std::vector<JsonWrittenMember> rootMembers;
};

// Appends to out what Parse followed by SerializeTo (escaped: followed by
// SerializeEscapedTo) appends, in one pass and without making the tree:
// the way to pass a text on in the writer's form. Where Parse gives nothing
// the result is not ok and out is left as it was. A text nested deeper than
// maxDepth (or kMaxJsonParseDepth, if that is lower) is refused too: for a
// text that parses, that is what ExceedsJsonDepth tells beforehand.
JsonRewrite RewriteJson(const wchar_t* text, std::size_t length, bool escaped, std::wstring& out,
                        int maxDepth = kMaxJsonParseDepth);

// True when brackets outside strings nest deeper than maxDepth at some point.
// Walks the text once, up to the first U+0000 where the parser stops too,
// and stops at the first level past the limit; it does not check that
// brackets balance (the parser does that).
bool ExceedsJsonDepth(const std::wstring& text, int maxDepth);
