// The layout XML reader: the documents it takes and what it makes of them,
// and the ones it refuses.
#include <gtest/gtest.h>

#include "XmlReader.h"

using layout::ParseXml;
using layout::XmlElement;

namespace {

XmlElement Parse(const std::string& text)
{
    XmlElement root;
    std::string error;
    EXPECT_TRUE(ParseXml(text, root, error)) << text << "\n" << error;
    return root;
}

}  // namespace

TEST(XmlReader, ReadsTheLayoutSubset)
{
    const std::string text =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- head -->\n"
        "<layout>\n  <view name='v1'>\n    <panel id=\"p\" x=\"1\"><text id=\"t\"/></panel>\n  </view>\n"
        "  <!-- between -->\n  <view name=\"v2\"/>\n</layout>\n<!-- tail -->\n";
    const XmlElement root = Parse(text);
    EXPECT_EQ(root.name, L"layout");
    ASSERT_EQ(root.children.size(), 2u);
    const XmlElement& v1 = root.children[0];
    ASSERT_NE(v1.Attribute(L"name"), nullptr);
    EXPECT_EQ(*v1.Attribute(L"name"), L"v1");
    EXPECT_EQ(v1.Attribute(L"id"), nullptr);
    ASSERT_EQ(v1.children.size(), 1u);
    EXPECT_EQ(v1.children[0].name, L"panel");
    EXPECT_EQ(v1.children[0].attributes.size(), 2u);
    EXPECT_EQ(v1.children[0].children[0].name, L"text");
    // Source offsets give back the element's own text.
    EXPECT_EQ(text.substr(v1.sourceBegin, v1.sourceEnd - v1.sourceBegin),
              "<view name='v1'>\n    <panel id=\"p\" x=\"1\"><text id=\"t\"/></panel>\n  </view>");
    const XmlElement& v2 = root.children[1];
    EXPECT_EQ(text.substr(v2.sourceBegin, v2.sourceEnd - v2.sourceBegin), "<view name=\"v2\"/>");
}

TEST(XmlReader, DecodesEntitiesReferencesAndUtf8)
{
    const struct {
        const char* value;  // inside a="..."
        std::wstring expected;
    } cases[] = {
        {"&lt;&gt;&amp;&apos;&quot;", L"<>&'\""},
        {"&#65;&#x42;&#x6a;", L"ABj"},
        {"caf\xC3\xA9 \xE4\xB8\x96", L"caf\u00E9 \u4E16"},
        {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},          // U+1F600 as a surrogate pair
        {"&#x1F600;", L"\xD83D\xDE00"},
        {"a\tb\nc\r\nd", L"a b c d"},                    // white space in a value reads as spaces
        {"&#10;&#9;", L"\n\t"},                          // but references stay as they are
        {"it's", L"it's"},
        {">", L">"},
    };
    for (const auto& c : cases) {
        const XmlElement root = Parse(std::string("<e a=\"") + c.value + "\"/>");
        ASSERT_NE(root.Attribute(L"a"), nullptr) << c.value;
        EXPECT_EQ(*root.Attribute(L"a"), c.expected) << c.value;
    }
    EXPECT_EQ(Parse("<e>x &amp; y\r\nz\r</e>").text, L"x & y\nz\n");
}

TEST(XmlReader, RefusesMalformedDocumentsWithoutATree)
{
    const char* refused[] = {
        "",
        "   ",
        "<!-- only a comment -->",
        "text before <a/>",
        "<a>",
        "<a></b>",
        "<a><b></a></b>",
        "<a/><b/>",
        "<a/>text after",
        "<a b=\"1\" b=\"2\"/>",
        "<a b=1/>",
        "<a b=\"1\"c=\"2\"/>",
        "<a b=\"x<y\"/>",
        "<a b=\"unterminated/>",
        "<a b/>",
        "<1a/>",
        "<a>&unknown;</a>",
        "<a>&amp</a>",
        "<a>&#;</a>",
        "<a>&#x;</a>",
        "<a>&#0;</a>",
        "<a>&#xD800;</a>",
        "<a>&#x110000;</a>",
        "<a>&#99999999999;</a>",
        "<a><!-- a -- b --></a>",
        "<a><!-- unterminated </a>",
        "<a><![CDATA[x]]></a>",
        "<!DOCTYPE a><a/>",
        "<?pi x?><a/>",
        "<a><?pi x?></a>",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
        "<?xml encoding=\"utf-8\"?><a/>",
        "<?xml version=\"1.0\"><a/>",
        " <?xml version=\"1.0\"?><a/>",                 // the declaration comes first
        "<a>\xC3</a>",                                  // cut sequence
        "<a>\xC0\xAF</a>",                              // overlong
        "<a>\xED\xA0\x80</a>",                          // an encoded surrogate
        "<a>\xF4\x90\x80\x80</a>",                      // above U+10FFFF
        "<a>\x01</a>",                                  // a control character
        "<a>\xEF\xBF\xBE</a>",                          // U+FFFE
    };
    for (const char* text : refused) {
        XmlElement root;
        root.name = L"stale";
        std::string error;
        EXPECT_FALSE(ParseXml(text, root, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_TRUE(root.name.empty() && root.children.empty()) << text;
    }
}

TEST(XmlReader, RefusesNestingBeyondTheLimitWithoutExhaustingTheStack)
{
    const auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += "<e>";
        for (int i = 0; i < depth; ++i) text += "</e>";
        return text;
    };
    XmlElement root;
    std::string error;
    EXPECT_TRUE(ParseXml(nested(layout::kMaxDepth), root, error)) << error;
    EXPECT_FALSE(ParseXml(nested(layout::kMaxDepth + 1), root, error));
    EXPECT_FALSE(ParseXml(nested(100000), root, error));
}

TEST(XmlReader, ConvertsBetweenUtf8AndUtf16Strictly)
{
    std::wstring wide;
    std::string narrow;
    ASSERT_TRUE(layout::Utf8ToUtf16("a\xC3\xA9\xE4\xB8\x96\xF0\x9F\x98\x80", wide));
    EXPECT_EQ(wide, L"a\u00E9\u4E16\xD83D\xDE00");
    ASSERT_TRUE(layout::Utf16ToUtf8(wide, narrow));
    EXPECT_EQ(narrow, "a\xC3\xA9\xE4\xB8\x96\xF0\x9F\x98\x80");
    for (const char* bad : {"\x80", "\xC3", "\xE0\x80\x80", "\xED\xBF\xBF", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(layout::Utf8ToUtf16(bad, wide)) << testing::PrintToString(std::string(bad));
    for (const std::wstring& bad : {std::wstring(L"\xD800"), std::wstring(L"\xDC00x"), std::wstring(L"a\xD83D")})
        EXPECT_FALSE(layout::Utf16ToUtf8(bad, narrow));
}
