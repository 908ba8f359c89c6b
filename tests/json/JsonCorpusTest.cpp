// The JSONTestSuite parsing corpus (tests/json/corpus), each file taken the
// way a deliverable takes untrusted text (DeliverableRoad.h): the bytes
// converted to UTF-16 by the deliverable's own conversion, nesting checked by
// its own check, then JsonValue::Parse. Every y_ file must be accepted; every
// n_ file refused, but for the parser's documented liberties listed below;
// every i_ file must finish, with the answer recorded below.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include "DeliverableRoad.h"
#include "JsonValue.h"
#include "UniqueHandle.h"

// Built once per deliverable: the suite is named after it (JsonCorpusMcp,
// JsonCorpusPlugin) so that the two runs can be told apart.
#define TESSARY_WIDEN2(text) L##text
#define TESSARY_WIDEN(text) TESSARY_WIDEN2(text)

namespace {

const wchar_t kCorpusDir[] = TESSARY_WIDEN(TESSARY_JSON_CORPUS_DIR);

// The corpus as committed; a missing or partial folder fails every test.
constexpr std::size_t kAcceptFiles = 95;
constexpr std::size_t kRefuseFiles = 188;
constexpr std::size_t kEitherFiles = 35;

struct CorpusFile {
    std::wstring name;
    std::string bytes;
};

class FindOwner {
public:
    explicit FindOwner(HANDLE h) : h_(h) {}
    ~FindOwner()
    {
        if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
    }
    FindOwner(const FindOwner&) = delete;
    FindOwner& operator=(const FindOwner&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// Unlike a reader that gives empty text on failure, this one says so: a file
// that cannot be read must fail the test, not pass as an empty n_ text
// (n_structure_no_data.json really is empty).
bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!ReadFile(file.get(), &bytes[done], want, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

// Every file of the corpus whose name starts with prefix, in name order.
std::vector<CorpusFile> LoadFiles(const wchar_t* prefix)
{
    std::vector<CorpusFile> files;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = std::wstring(kCorpusDir) + L"/" + prefix + L"*.json";
    FindOwner find(FindFirstFileW(pattern.c_str(), &found));
    if (find.get() == INVALID_HANDLE_VALUE) return files;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CorpusFile file{found.cFileName, {}};
        if (!ReadWholeFile(std::wstring(kCorpusDir) + L"/" + file.name, file.bytes)) {
            ADD_FAILURE() << "cannot read " << testing::PrintToString(file.name);
            continue;
        }
        files.push_back(std::move(file));
    } while (FindNextFileW(find.get(), &found));
    std::sort(files.begin(), files.end(), [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
    return files;
}

std::string Shown(const std::wstring& name) { return std::string(name.begin(), name.end()); }

// What the deliverable makes of one file.
struct RoadResult {
    std::wstring text;         // after the conversion
    bool withinDepth = false;  // the depth check let it through
    JsonValue::Ptr value;      // the parser's answer; null when refused anywhere on the way
};

RoadResult TakeRoad(const CorpusFile& file)
{
    RoadResult result;
    result.text = kDeliverableRoad.toText(file.bytes);
    result.withinDepth = kDeliverableRoad.withinDepth(result.text);
    if (result.withinDepth) result.value = JsonValue::Parse(result.text);
    return result;
}

TEST(TESSARY_JSON_CORPUS_SUITE, AcceptsEveryYFile)
{
    const std::vector<CorpusFile> files = LoadFiles(L"y_");
    ASSERT_EQ(files.size(), kAcceptFiles) << "corpus folder " << Shown(kCorpusDir);
    for (const CorpusFile& file : files) {
        const RoadResult result = TakeRoad(file);
        EXPECT_TRUE(result.withinDepth) << Shown(file.name) << " refused by the depth check of "
                                        << kDeliverableRoad.name;
        EXPECT_NE(result.value, nullptr) << Shown(file.name) << " refused";
    }
}

// The n_ files the parser accepts on purpose, each with its reason and what
// it reads as. Every other n_ file must be refused.
struct Liberty {
    const wchar_t* file;
    const char* reason;
    const wchar_t* readAs;
};

const Liberty kLiberties[] = {
    {L"n_structure_capitalized_True.json", "true, false and null are recognised in any letter case", L"[true]"},
    {L"n_string_unescaped_tab.json", "a TAB may stand unescaped inside a string", LR"(["\t"])"},
    {L"n_multidigit_number_then_00.json", "the first U+0000 ends the input, so 123 is all there is", L"123"},
};

const Liberty* FindLiberty(const std::wstring& name)
{
    for (const Liberty& liberty : kLiberties)
        if (name == liberty.file) return &liberty;
    return nullptr;
}

TEST(TESSARY_JSON_CORPUS_SUITE, RefusesEveryNFileButTheLiberties)
{
    const std::vector<CorpusFile> files = LoadFiles(L"n_");
    ASSERT_EQ(files.size(), kRefuseFiles) << "corpus folder " << Shown(kCorpusDir);
    std::size_t libertiesSeen = 0;
    for (const CorpusFile& file : files) {
        const RoadResult result = TakeRoad(file);
        if (const Liberty* liberty = FindLiberty(file.name)) {
            ++libertiesSeen;
            ASSERT_NE(result.value, nullptr) << Shown(file.name) << " is listed as accepted: " << liberty->reason;
            EXPECT_EQ(result.value->Serialize(), liberty->readAs) << Shown(file.name);
        } else {
            EXPECT_EQ(result.value, nullptr)
                << Shown(file.name) << " accepted, read as " << testing::PrintToString(result.value->Serialize());
        }
    }
    EXPECT_EQ(libertiesSeen, std::size(kLiberties)) << "a liberty names a file that is not in the corpus";
}

TEST(TESSARY_JSON_CORPUS_SUITE, ParserAloneAgreesWithTheRoad)
{
    // A caller that forgot the depth check gets the same answers: the deep n_
    // files (100,000 opening brackets, 50,000 nested objects) are refused by
    // the parser's own bound without exhausting the stack.
    for (const wchar_t* prefix : {L"y_", L"n_"}) {
        const std::vector<CorpusFile> files = LoadFiles(prefix);
        ASSERT_EQ(files.size(), prefix[0] == L'y' ? kAcceptFiles : kRefuseFiles);
        for (const CorpusFile& file : files) {
            const bool expected = prefix[0] == L'y' || FindLiberty(file.name) != nullptr;
            const JsonValue::Ptr value = JsonValue::Parse(kDeliverableRoad.toText(file.bytes));
            EXPECT_EQ(value != nullptr, expected) << Shown(file.name);
        }
    }
}

// The one-pass rewrite, by which tessary-mcp passes the calendar's replies
// on, gives for every file what parsing and writing give, in both forms.
TEST(TESSARY_JSON_CORPUS_SUITE, RewriteAgreesWithParseAndWrite)
{
    for (const wchar_t* prefix : {L"y_", L"n_", L"i_"}) {
        for (const CorpusFile& file : LoadFiles(prefix)) {
            const std::wstring text = kDeliverableRoad.toText(file.bytes);
            const JsonValue::Ptr tree = JsonValue::Parse(text);
            for (const bool escaped : {false, true}) {
                std::wstring expected, written;
                if (tree) escaped ? tree->SerializeEscapedTo(expected) : tree->SerializeTo(expected);
                EXPECT_EQ(RewriteJson(text.data(), text.size(), escaped, written).ok, tree != nullptr) << Shown(file.name);
                EXPECT_EQ(written, expected) << Shown(file.name);
            }
        }
    }
}

// What the parser makes of each i_ file after the conversion, written back
// compactly; null when it is refused. How many U+FFFD a run of ill-formed
// bytes turns into is the platform conversion's business, so runs of them
// are compared as one.
const wchar_t kWrittenAsRead[] = L"(written back exactly as the file reads)";

struct EitherCase {
    const wchar_t* file;
    const wchar_t* readAs;
};

const EitherCase kEither[] = {
    // Numbers: no range check; overflow gives infinity (written as null),
    // underflow gives zero, big integers lose precision.
    {L"i_number_double_huge_neg_exp.json", L"[0]"},
    {L"i_number_huge_exp.json", L"[null]"},
    {L"i_number_neg_int_huge_exp.json", L"[null]"},
    {L"i_number_pos_double_huge_exp.json", L"[null]"},
    {L"i_number_real_neg_overflow.json", L"[null]"},
    {L"i_number_real_pos_overflow.json", L"[null]"},
    {L"i_number_real_underflow.json", L"[0]"},
    {L"i_number_too_big_neg_int.json", L"[-1.23123123123123e+29]"},
    {L"i_number_too_big_pos_int.json", L"[1e+20]"},
    {L"i_number_very_big_negative_int.json", L"[-2.37462374673277e+47]"},
    // Escaped surrogates: each \u escape gives one code unit, paired or not.
    {L"i_object_key_lone_2nd_surrogate.json", LR"({"\uDFAA":0})"},
    {L"i_string_1st_surrogate_but_2nd_missing.json", LR"(["\uDADA"])"},
    {L"i_string_1st_valid_surrogate_2nd_invalid.json", LR"(["\uD888\u1234"])"},
    {L"i_string_incomplete_surrogate_and_escape_valid.json", LR"(["\uD800\n"])"},
    {L"i_string_incomplete_surrogate_pair.json", LR"(["\uDD1Ea"])"},
    {L"i_string_incomplete_surrogates_escape_valid.json", LR"(["\uD800\uD800\n"])"},
    {L"i_string_invalid_lonely_surrogate.json", LR"(["\uD800"])"},
    {L"i_string_invalid_surrogate.json", LR"(["\uD800abc"])"},
    {L"i_string_inverted_surrogates_U+1D11E.json", LR"(["\uDD1E\uD834"])"},
    {L"i_string_lone_second_surrogate.json", LR"(["\uDFAA"])"},
    // Ill-formed UTF-8 is replaced by U+FFFD at the conversion, never refused.
    {L"i_string_UTF-8_invalid_sequence.json", LR"(["\u65E5\u0448\uFFFD"])"},
    {L"i_string_UTF8_surrogate_U+D800.json", LR"(["\uFFFD"])"},
    {L"i_string_invalid_utf-8.json", LR"(["\uFFFD"])"},
    {L"i_string_iso_latin_1.json", LR"(["\uFFFD"])"},
    {L"i_string_lone_utf8_continuation_byte.json", LR"(["\uFFFD"])"},
    {L"i_string_not_in_unicode_range.json", LR"(["\uFFFD"])"},
    {L"i_string_overlong_sequence_2_bytes.json", LR"(["\uFFFD"])"},
    {L"i_string_overlong_sequence_6_bytes.json", LR"(["\uFFFD"])"},
    {L"i_string_overlong_sequence_6_bytes_null.json", LR"(["\uFFFD"])"},
    {L"i_string_truncated-utf-8.json", LR"(["\uFFFD"])"},
    // UTF-16 is not converted as such: its zero bytes become U+0000, and the
    // first U+0000 ends the input (before the text is complete).
    {L"i_string_UTF-16LE_with_BOM.json", nullptr},
    {L"i_string_utf16BE_no_BOM.json", nullptr},
    {L"i_string_utf16LE_no_BOM.json", nullptr},
    // A byte order mark is U+FEFF, which is not whitespace.
    {L"i_structure_UTF-8_BOM_empty_object.json", nullptr},
    // Within the parser's bound and tessary-mcp's check (1000); the plug-in's
    // check (64) refuses it before parsing.
    {L"i_structure_500_nested_arrays.json", kWrittenAsRead},
};

std::wstring OneReplacementPerRun(std::wstring written)
{
    const std::wstring two = L"\\uFFFD\\uFFFD";
    for (std::size_t at; (at = written.find(two)) != std::wstring::npos;) written.erase(at, two.size() / 2);
    return written;
}

TEST(TESSARY_JSON_CORPUS_SUITE, EveryIFileFinishesAsRecorded)
{
    const std::vector<CorpusFile> files = LoadFiles(L"i_");
    ASSERT_EQ(files.size(), kEitherFiles) << "corpus folder " << Shown(kCorpusDir);
    ASSERT_EQ(std::size(kEither), kEitherFiles);
    for (const EitherCase& c : kEither) {
        const auto file =
            std::find_if(files.begin(), files.end(), [&](const CorpusFile& f) { return f.name == c.file; });
        ASSERT_NE(file, files.end()) << Shown(c.file) << " is not in the corpus";

        const RoadResult result = TakeRoad(*file);
        const JsonValue::Ptr parsed = JsonValue::Parse(result.text);
        if (c.readAs == nullptr) {
            EXPECT_EQ(parsed, nullptr) << Shown(c.file) << " accepted, read as "
                                       << testing::PrintToString(parsed->Serialize());
        } else {
            ASSERT_NE(parsed, nullptr) << Shown(c.file) << " refused";
            const std::wstring expected = c.readAs == kWrittenAsRead ? result.text : std::wstring(c.readAs);
            EXPECT_EQ(OneReplacementPerRun(parsed->Serialize()), expected) << Shown(c.file);
        }
        // The whole road gives the parser's answer unless its depth check
        // stopped the text first.
        if (result.withinDepth) EXPECT_EQ(result.value != nullptr, parsed != nullptr) << Shown(c.file);
        else EXPECT_STREQ(c.file, L"i_structure_500_nested_arrays.json") << " refused by the depth check";
    }
}

}  // namespace
