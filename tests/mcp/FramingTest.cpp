// The framing rules of standard input, driven through FrameBuffer without
// any process: how bytes become message bodies in both framings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StdioFraming.h"

namespace {

struct Taken {
    std::vector<std::string> bodies;
    std::vector<FrameMode> modes;
    int droppedNoLength = 0;
    int droppedTooLarge = 0;
};

// Takes everything the buffer yields, as the transport would, without
// appending further input.
Taken TakeAll(FrameBuffer& buffer, bool endOfInput)
{
    Taken taken;
    for (;;) {
        std::string body;
        FrameMode mode = FrameMode::Line;
        const TakeResult r = buffer.Take(endOfInput, body, mode);
        if (r == TakeResult::Nothing) break;
        if (r == TakeResult::DroppedNoLength) { ++taken.droppedNoLength; continue; }
        if (r == TakeResult::DroppedLengthTooLarge) { ++taken.droppedTooLarge; continue; }
        taken.bodies.push_back(body);
        taken.modes.push_back(mode);
    }
    return taken;
}

Taken TakeAllFrom(const std::string& input, bool endOfInput)
{
    FrameBuffer buffer;
    buffer.Append(input.data(), input.size());
    return TakeAll(buffer, endOfInput);
}

const std::string kPing = R"({"jsonrpc":"2.0","id":1,"method":"ping"})";

struct FramingCase {
    const char* name;
    std::string input;
    bool endOfInput;
    std::vector<std::string> bodies;
    int droppedNoLength;
};

class FramingTable : public testing::TestWithParam<FramingCase> {};

TEST_P(FramingTable, TakesTheExpectedBodies)
{
    const FramingCase& c = GetParam();
    const Taken taken = TakeAllFrom(c.input, c.endOfInput);
    EXPECT_EQ(taken.bodies, c.bodies);
    EXPECT_EQ(taken.droppedNoLength, c.droppedNoLength);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, FramingTable,
    testing::Values(
        FramingCase{"HeaderWithCrLf", "Content-Length: 40\r\n\r\n" + kPing, false, {kPing}, 0},
        FramingCase{"HeaderInCapitals", "CONTENT-LENGTH: 40\r\n\r\n" + kPing, false, {kPing}, 0},
        FramingCase{"HeaderWithoutSpace", "content-length:40\r\n\r\n" + kPing, false, {kPing}, 0},
        FramingCase{"TabAfterColonIsNoLength", "Content-Length:\t40\r\n\r\n", false, {}, 1},
        FramingCase{"LfLfSeparator", "Content-Length: 40\n\n" + kPing, false, {kPing}, 0},
        FramingCase{"OtherHeadersIgnored",
                    "X-One: 1\r\nContent-Type: application/json\r\nContent-Length: 40\r\nX-Two: 2\r\n\r\n" + kPing,
                    false, {kPing}, 0},
        FramingCase{"FirstOfTwoLengthsCounts", "Content-Length: 2\r\nContent-Length: 40\r\n\r\n{}", false, {"{}"}, 0},
        FramingCase{"DigitsThenGarbage", "Content-Length: 2abc\r\n\r\n{}", false, {"{}"}, 0},
        FramingCase{"NameMayStandMidLine", "X-Content-Length: 2\r\n\r\n{}", false, {"{}"}, 0},
        FramingCase{"ZeroLengthGivesEmptyBody", "Content-Length: 0\r\n\r\n", false, {""}, 0},
        FramingCase{"LineWithLf", kPing + "\n", false, {kPing}, 0},
        FramingCase{"LineWithCrLf", kPing + "\r\n", false, {kPing}, 0},
        FramingCase{"LineWithManyCrs", kPing + "\r\r\n", false, {kPing}, 0},
        FramingCase{"BlankLinesBetween", "\r\n \t\n" + kPing + "\n\n\t \r\n" + kPing + "\n", false, {kPing, kPing}, 0},
        FramingCase{"WhitespaceBeforeHeader", " \r\n\tContent-Length: 2\r\n\r\n{}", false, {"{}"}, 0},
        FramingCase{"MultiLineTextIsCut", "{\"a\":\n{\"b\":1}\n", false, {"{\"a\":", "{\"b\":1}"}, 0},
        // What follows the cut is looked at afresh: not "{", so a header block.
        FramingCase{"RestOfCutTextIsAHeaderBlock", "{\"a\":\n1}\n", true, {"{\"a\":"}, 0},
        FramingCase{"UnterminatedLineAtEnd", kPing, true, {kPing}, 0},
        FramingCase{"BatchLineIsALine", "[" + kPing + "]\n" + kPing + "\n", false, {"[" + kPing + "]", kPing}, 0},
        FramingCase{"UnterminatedLineWaits", kPing, false, {}, 0},
        FramingCase{"IncompleteFrameAtEndIsDropped", "Content-Length: 41\r\n\r\n" + kPing, true, {}, 0},
        FramingCase{"HeaderWithoutSeparatorAtEnd", "Content-Length: 40\r\n", true, {}, 0},
        FramingCase{"DroppedBlockThenMessage", "X-Nothing: 1\r\n\r\n" + kPing + "\n", false, {kPing}, 1},
        FramingCase{"MixedFramings", "Content-Length: 2\r\n\r\n{}" + kPing + "\n", false, {"{}", kPing}, 0},
        // With only LF LF before the body, a CR LF CR LF inside the body is
        // the separator, because it is looked for first in the whole buffer.
        FramingCase{"CrLfCrLfInBodyWins", "Content-Length: 3\n\nab\r\n\r\nxyz", false, {"xyz"}, 0}),
    [](const testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

TEST(Framing, ModeFollowsEachMessage)
{
    const Taken taken = TakeAllFrom("Content-Length: 2\r\n\r\n{}" + kPing + "\nContent-Length: 2\n\n{}", false);
    ASSERT_EQ(taken.modes.size(), 3u);
    EXPECT_EQ(taken.modes[0], FrameMode::Framed);
    EXPECT_EQ(taken.modes[1], FrameMode::Line);
    EXPECT_EQ(taken.modes[2], FrameMode::Framed);
}

TEST(Framing, MessagesArrivingByteByByteAreAssembled)
{
    const std::string input = "Content-Length: 40\r\n\r\n" + kPing + "\r\n" + kPing + "\n" + "Content-Length: 2\n\n{}";
    FrameBuffer buffer;
    std::vector<std::string> bodies;
    for (char c : input) {
        buffer.Append(&c, 1);
        const Taken taken = TakeAll(buffer, false);
        bodies.insert(bodies.end(), taken.bodies.begin(), taken.bodies.end());
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{kPing, kPing, "{}"}));
    EXPECT_EQ(buffer.Size(), 0u);
}

TEST(Framing, SeparatorChoiceDependsOnWhatHasArrived)
{
    // The same bytes in two reads: once the LF LF frame is complete it is
    // taken; a CR LF CR LF that arrives later belongs to the next message.
    FrameBuffer buffer;
    const std::string first = "Content-Length: 2\n\n{}";
    buffer.Append(first.data(), first.size());
    Taken taken = TakeAll(buffer, false);
    EXPECT_EQ(taken.bodies, std::vector<std::string>{"{}"});
    const std::string second = "Content-Length: 2\r\n\r\n[]";
    buffer.Append(second.data(), second.size());
    taken = TakeAll(buffer, false);
    EXPECT_EQ(taken.bodies, std::vector<std::string>{"[]"});
}

TEST(Framing, ContentLengthBeyond32BitsIsNeverWrapped)
{
    // 4294967298 would wrap to 2 and take "{}" as the body.
    const Taken taken = TakeAllFrom("Content-Length: 4294967298\r\n\r\n{}\n", false);
    EXPECT_EQ(taken.droppedTooLarge, 1);
    EXPECT_EQ(taken.bodies, std::vector<std::string>{"{}"});  // looked at afresh, as a line

    std::uint32_t value = 0;
    const std::string largest = "Content-Length: 4294967295";
    EXPECT_EQ(ReadContentLength(largest.data(), largest.size(), value), ContentLength::Present);
    EXPECT_EQ(value, 4294967295u);
    const std::string zeros = "Content-Length: 00000000000000000007";
    EXPECT_EQ(ReadContentLength(zeros.data(), zeros.size(), value), ContentLength::Present);
    EXPECT_EQ(value, 7u);
}

TEST(Framing, LargeBodiesArrivingInSmallReadsAreTaken)
{
    // 24 MiB in 8 KiB reads, once as a line and once as a frame. Rescanning
    // the buffer from its start on every read would take minutes here.
    const std::string payload(24u << 20, 'x');
    const std::string line = "{\"a\":\"" + payload + "\"}\n";
    const std::string frame = "Content-Length: " + std::to_string(line.size() - 1) + "\r\n\r\n" + line.substr(0, line.size() - 1);
    for (const std::string& input : {line, frame}) {
        FrameBuffer buffer;
        std::vector<std::string> bodies;
        for (std::size_t at = 0; at < input.size(); at += 8192) {
            buffer.Append(input.data() + at, std::min<std::size_t>(8192, input.size() - at));
            const Taken taken = TakeAll(buffer, false);
            bodies.insert(bodies.end(), taken.bodies.begin(), taken.bodies.end());
        }
        ASSERT_EQ(bodies.size(), 1u);
        EXPECT_EQ(bodies[0].size(), payload.size() + 8);
    }
}

}  // namespace
