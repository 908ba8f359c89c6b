#include "XmlReader.h"

#include <cstdint>

namespace layout {

static_assert(sizeof(wchar_t) == 2, "text is UTF-16");

namespace {

// Decodes one UTF-8 sequence at pos; false when it is ill-formed or cut.
bool DecodeUtf8(const std::string& s, std::size_t pos, char32_t& cp, std::size_t& length)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
    const std::uint8_t b0 = byte(pos);
    if (b0 < 0x80) {
        cp = b0;
        length = 1;
        return true;
    }
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1Fu;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0Fu;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07u;
        min = 0x10000;
    } else {
        return false;
    }
    if (s.size() - pos < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t b = byte(pos + i);
        if ((b & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    return cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
}

void AppendUtf16(std::wstring& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<wchar_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    }
}

bool IsXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || u >= 0x80;
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

class Parser {
public:
    explicit Parser(const std::string& s) : s_(s) {}

    bool Document(XmlElement& root)
    {
        if (!CheckCharacters()) return false;
        if (s_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
        if (s_.compare(pos_, 5, "<?xml") == 0 && pos_ + 5 < s_.size() && IsSpace(s_[pos_ + 5])) {
            if (!Declaration()) return false;
        }
        if (!Misc()) return false;
        if (!At("<") || pos_ + 1 >= s_.size() || !IsNameStart(s_[pos_ + 1])) return Fail("no root element");
        if (!Element(root, 1)) return false;
        if (!Misc()) return false;
        if (pos_ != s_.size()) return Fail("content after the root element");
        return true;
    }

    std::string error;

private:
    bool Fail(const char* what)
    {
        if (error.empty()) error = std::string(what) + " at byte " + std::to_string(pos_);
        return false;
    }
    bool At(const char* text) const { return s_.compare(pos_, std::char_traits<char>::length(text), text) == 0; }
    void SkipSpace()
    {
        while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
    }

    // Every character of the input is well-formed UTF-8 and allowed in XML;
    // afterwards the parser can look at bytes only.
    bool CheckCharacters()
    {
        for (std::size_t i = 0; i < s_.size();) {
            char32_t cp = 0;
            std::size_t length = 0;
            if (!DecodeUtf8(s_, i, cp, length)) {
                pos_ = i;
                return Fail("ill-formed UTF-8");
            }
            if (!IsXmlChar(cp)) {
                pos_ = i;
                return Fail("a character XML does not allow");
            }
            i += length;
        }
        return true;
    }

    bool Name(std::wstring& name)
    {
        if (pos_ >= s_.size() || !IsNameStart(s_[pos_])) return Fail("a name expected");
        const std::size_t start = pos_;
        while (pos_ < s_.size() && IsNameChar(s_[pos_])) ++pos_;
        return Utf8ToUtf16(s_.substr(start, pos_ - start), name) || Fail("a bad name");
    }

    // "&...;" at pos_, appended to out.
    bool Reference(std::wstring& out)
    {
        const std::size_t semicolon = s_.find(';', pos_);
        if (semicolon == std::string::npos || semicolon - pos_ > 12) return Fail("an unterminated reference");
        const std::string body = s_.substr(pos_ + 1, semicolon - pos_ - 1);
        char32_t cp = 0;
        if (body == "lt") cp = '<';
        else if (body == "gt") cp = '>';
        else if (body == "amp") cp = '&';
        else if (body == "apos") cp = '\'';
        else if (body == "quot") cp = '"';
        else if (body.size() >= 2 && body[0] == '#') {
            const bool hex = body[1] == 'x';
            const std::size_t first = hex ? 2 : 1;
            if (first >= body.size()) return Fail("an empty character reference");
            std::uint32_t value = 0;
            for (std::size_t i = first; i < body.size(); ++i) {
                const char c = body[i];
                std::uint32_t digit = 0;
                if (c >= '0' && c <= '9') digit = static_cast<std::uint32_t>(c - '0');
                else if (hex && c >= 'a' && c <= 'f') digit = static_cast<std::uint32_t>(c - 'a' + 10);
                else if (hex && c >= 'A' && c <= 'F') digit = static_cast<std::uint32_t>(c - 'A' + 10);
                else return Fail("a bad character reference");
                value = value * (hex ? 16 : 10) + digit;
                if (value > 0x10FFFF) return Fail("a character reference out of range");
            }
            cp = value;
            if (!IsXmlChar(cp)) return Fail("a character reference XML does not allow");
        } else {
            return Fail("an unknown entity");
        }
        AppendUtf16(out, cp);
        pos_ = semicolon + 1;
        return true;
    }

    // Appends the UTF-8 character at pos_ (known to be well-formed) and
    // moves past it.
    void Character(std::wstring& out)
    {
        char32_t cp = 0;
        std::size_t length = 0;
        DecodeUtf8(s_, pos_, cp, length);
        AppendUtf16(out, cp);
        pos_ += length;
    }

    bool AttributeValue(std::wstring& value)
    {
        if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) return Fail("a quoted value expected");
        const char quote = s_[pos_++];
        for (;;) {
            if (pos_ >= s_.size()) return Fail("an unterminated attribute value");
            const char c = s_[pos_];
            if (c == quote) break;
            if (c == '<') return Fail("'<' in an attribute value");
            if (c == '&') {
                if (!Reference(value)) return false;
            } else if (c == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') {
                value.push_back(L' ');
                pos_ += 2;
            } else if (c == '\t' || c == '\r' || c == '\n') {
                value.push_back(L' ');
                ++pos_;
            } else {
                Character(value);
            }
        }
        ++pos_;
        return true;
    }

    // Attributes up to (not including) the end of a tag.
    bool Attributes(std::vector<std::pair<std::wstring, std::wstring>>& attributes, const char* end)
    {
        for (;;) {
            const std::size_t before = pos_;
            SkipSpace();
            if (pos_ >= s_.size()) return Fail("an unterminated tag");
            if (At(end) || At("/>") || At(">")) return true;
            if (pos_ == before) return Fail("white space expected before an attribute");
            std::wstring name, value;
            if (!Name(name)) return false;
            SkipSpace();
            if (!At("=")) return Fail("'=' expected");
            ++pos_;
            SkipSpace();
            if (!AttributeValue(value)) return false;
            for (const auto& existing : attributes)
                if (existing.first == name) return Fail("a repeated attribute");
            attributes.emplace_back(std::move(name), std::move(value));
        }
    }

    bool Declaration()
    {
        pos_ += 5;
        std::vector<std::pair<std::wstring, std::wstring>> pseudo;
        if (!Attributes(pseudo, "?>")) return false;
        if (!At("?>")) return Fail("a bad XML declaration");
        pos_ += 2;
        if (pseudo.empty() || pseudo[0].first != L"version" ||
            (pseudo[0].second != L"1.0" && pseudo[0].second != L"1.1"))
            return Fail("the XML declaration lacks version 1.0");
        for (std::size_t i = 1; i < pseudo.size(); ++i) {
            const auto& p = pseudo[i];
            if (p.first == L"encoding") {
                std::wstring lower;
                for (wchar_t c : p.second) lower.push_back(c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c);
                if (lower != L"utf-8" && lower != L"utf8") return Fail("an encoding other than UTF-8");
            } else if (p.first != L"standalone") {
                return Fail("a bad XML declaration");
            }
        }
        return true;
    }

    bool Comment()
    {
        pos_ += 4;  // "<!--"
        const std::size_t end = s_.find("--", pos_);
        if (end == std::string::npos) return Fail("an unterminated comment");
        pos_ = end;
        if (!At("-->")) return Fail("\"--\" inside a comment");
        pos_ += 3;
        return true;
    }

    // White space and comments outside the root element.
    bool Misc()
    {
        for (;;) {
            SkipSpace();
            if (At("<!--")) {
                if (!Comment()) return false;
            } else if (At("<?") || At("<!")) {
                return Fail("a declaration or instruction this reader does not take");
            } else {
                return true;
            }
        }
    }

    bool Element(XmlElement& element, int depth)
    {
        if (depth > kMaxDepth) return Fail("elements nested too deeply");
        element.sourceBegin = pos_;
        ++pos_;  // '<'
        if (!Name(element.name)) return false;
        if (!Attributes(element.attributes, ">")) return false;
        if (At("/>")) {
            pos_ += 2;
            element.sourceEnd = pos_;
            return true;
        }
        ++pos_;  // '>'
        for (;;) {
            if (pos_ >= s_.size()) return Fail("an unclosed element");
            const char c = s_[pos_];
            if (c == '<') {
                if (At("</")) break;
                if (At("<!--")) {
                    if (!Comment()) return false;
                    continue;
                }
                if (At("<!") || At("<?")) return Fail("a declaration or instruction this reader does not take");
                element.children.emplace_back();
                if (!Element(element.children.back(), depth + 1)) return false;
            } else if (c == '&') {
                if (!Reference(element.text)) return false;
            } else if (c == '\r') {
                element.text.push_back(L'\n');
                pos_ += pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n' ? 2 : 1;
            } else {
                Character(element.text);
            }
        }
        pos_ += 2;  // "</"
        std::wstring closing;
        if (!Name(closing)) return false;
        if (closing != element.name) return Fail("a closing tag that does not match");
        SkipSpace();
        if (!At(">")) return Fail("'>' expected");
        ++pos_;
        element.sourceEnd = pos_;
        return true;
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

}  // namespace

const std::wstring* XmlElement::Attribute(const std::wstring& attributeName) const
{
    for (const auto& attribute : attributes)
        if (attribute.first == attributeName) return &attribute.second;
    return nullptr;
}

bool ParseXml(const std::string& utf8, XmlElement& root, std::string& error)
{
    root = XmlElement();
    error.clear();
    try {
        Parser parser(utf8);
        XmlElement parsed;
        if (!parser.Document(parsed)) {
            error = parser.error;
            return false;
        }
        root = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        error = "out of memory";
        return false;
    }
}

bool Utf8ToUtf16(const std::string& utf8, std::wstring& out)
{
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (!DecodeUtf8(utf8, i, cp, length)) {
            out.clear();
            return false;
        }
        AppendUtf16(out, cp);
        i += length;
    }
    return true;
}

bool Utf16ToUtf8(const std::wstring& utf16, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = static_cast<char16_t>(utf16[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 >= utf16.size()) return out.clear(), false;
            const char32_t low = static_cast<char16_t>(utf16[i + 1]);
            if (low < 0xDC00 || low > 0xDFFF) return out.clear(), false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            out.clear();
            return false;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return true;
}

}  // namespace layout
