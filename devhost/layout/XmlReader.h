// A small XML reader for the host's layout files. It reads the subset the
// layouts use: an optional XML declaration (version 1.0 or 1.1, encoding
// UTF-8 when named), comments, one root element with nested elements,
// attributes in double or single quotes, self-closing tags, character data,
// the five predefined entities and numeric character references. The input
// is UTF-8 (an optional byte-order mark first); names, values and text come
// out as UTF-16.
//
// Refused, with no tree handed out: ill-formed UTF-8, characters XML does
// not allow, a DOCTYPE, CDATA sections and processing instructions other
// than the declaration, unknown entities, mismatched or unclosed tags, a
// repeated attribute, '<' in an attribute value, "--" inside a comment,
// anything but comments and white space around the root, and elements
// nested deeper than kMaxDepth.
//
// Line ends are normalised as XML says: CR LF and lone CR read as LF in
// text, and TAB, CR and LF in attribute values read as a space (character
// references are taken as they are).
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace layout {

struct XmlElement {
    std::wstring name;
    std::vector<std::pair<std::wstring, std::wstring>> attributes;  // in document order
    std::vector<XmlElement> children;
    std::wstring text;  // the character data directly inside, concatenated
    // Byte offsets into the parsed input: the '<' of the start tag, and one
    // past the '>' that ends the element.
    std::size_t sourceBegin = 0;
    std::size_t sourceEnd = 0;

    // The attribute's value, or null when the element has none by that name.
    const std::wstring* Attribute(const std::wstring& attributeName) const;
};

inline constexpr int kMaxDepth = 256;

// Reads a whole document. On success root holds the root element; on
// failure root is left empty and error says what and at which byte offset.
bool ParseXml(const std::string& utf8, XmlElement& root, std::string& error);

// Strict conversions: false (and out emptied) for ill-formed UTF-8 (overlong
// forms, surrogates, values above U+10FFFF, cut sequences) or unpaired
// surrogates in UTF-16.
bool Utf8ToUtf16(const std::string& utf8, std::wstring& out);
bool Utf16ToUtf8(const std::wstring& utf16, std::string& out);

}  // namespace layout
