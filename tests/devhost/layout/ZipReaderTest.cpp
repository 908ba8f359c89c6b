// Inflate and the zip reader: the archive CMake makes (deflated entries with
// data descriptors), stored entries and stored deflate blocks, and broken
// archives and streams, which are refused without reading outside the
// bytes given.
#include <gtest/gtest.h>

#include <cstring>

#include "FixtureFiles.h"
#include "Inflate.h"
#include "ZipReader.h"

using layout::InflateResult;
using layout::ZipArchive;
using layout::ZipStatus;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }
std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Member {
    std::string name;
    std::uint16_t method;
    Bytes data;        // as stored in the archive
    Bytes contents;    // what it holds
};

// A zip of the members, sizes and CRC in both headers (no data descriptor).
Bytes MakeZip(const std::vector<Member>& members)
{
    Bytes zip, directory;
    for (const Member& m : members) {
        const std::uint32_t offset = static_cast<std::uint32_t>(zip.size());
        const std::uint32_t crc = layout::Crc32(m.contents.data(), m.contents.size());
        for (Bytes* header : {&zip, &directory}) {
            const bool central = header == &directory;
            Put32(*header, central ? 0x02014B50 : 0x04034B50);
            if (central) Put16(*header, 20);
            Put16(*header, 20);
            Put16(*header, 0);
            Put16(*header, m.method);
            Put32(*header, 0);  // time and date
            Put32(*header, crc);
            Put32(*header, static_cast<std::uint32_t>(m.data.size()));
            Put32(*header, static_cast<std::uint32_t>(m.contents.size()));
            Put16(*header, static_cast<unsigned>(m.name.size()));
            Put16(*header, 0);
            if (central) {
                Put16(*header, 0);
                Put16(*header, 0);
                Put16(*header, 0);
                Put32(*header, 0);
                Put32(*header, offset);
            }
            header->insert(header->end(), m.name.begin(), m.name.end());
        }
        zip.insert(zip.end(), m.data.begin(), m.data.end());
    }
    const std::uint32_t directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip.insert(zip.end(), directory.begin(), directory.end());
    Put32(zip, 0x06054B50);
    Put32(zip, 0);
    Put16(zip, static_cast<unsigned>(members.size()));
    Put16(zip, static_cast<unsigned>(members.size()));
    Put32(zip, static_cast<std::uint32_t>(directory.size()));
    Put32(zip, directoryOffset);
    Put16(zip, 0);
    return zip;
}

// The contents as one final stored deflate block.
Bytes StoredBlock(const Bytes& contents)
{
    Bytes block{0x01};
    Put16(block, static_cast<unsigned>(contents.size()));
    Put16(block, static_cast<unsigned>(~contents.size() & 0xFFFF));
    block.insert(block.end(), contents.begin(), contents.end());
    return block;
}

const layout::ZipEntry* EntryNamed(const ZipArchive& zip, const std::string& name)
{
    for (const auto& entry : zip.Entries())
        if (entry.name == name) return &entry;
    return nullptr;
}

// Where an entry's data starts in the archive.
std::size_t DataOffset(const Bytes& zip, const layout::ZipEntry& entry)
{
    const std::size_t local = entry.localHeaderOffset;
    return local + 30 + (zip[local + 26] | (zip[local + 27] << 8)) + (zip[local + 28] | (zip[local + 29] << 8));
}

class CMakeArchive : public testing::Test {
protected:
    void SetUp() override
    {
        bytes = ReadFixture(L"resource.zip");
        ASSERT_FALSE(bytes.empty()) << "no fixture archive beside the test program";
        ASSERT_EQ(zip.Open(bytes), ZipStatus::Ok);
    }
    Bytes bytes;
    ZipArchive zip;
};

}  // namespace

TEST(Inflate, DecodesStoredFixedAndBrokenStreams)
{
    const struct {
        Bytes stream;
        InflateResult result;
        std::string out;
    } cases[] = {
        {{0x4B, 0x04, 0x00}, InflateResult::Ok, "a"},                               // fixed codes
        {{0x03, 0x00}, InflateResult::Ok, ""},                                      // fixed, empty
        {StoredBlock(Of("abc")), InflateResult::Ok, "abc"},
        // A non-final stored block, then a final fixed one.
        {{0x00, 0x02, 0x00, 0xFD, 0xFF, 'x', 'y', 0x4B, 0x04, 0x00}, InflateResult::Ok, "xya"},
        {{0x07}, InflateResult::BadData, ""},                                       // block type 3
        {{0x01, 0x03, 0x00, 0xFC, 0xFE, 'a', 'b', 'c'}, InflateResult::BadData, ""},  // NLEN is not ~LEN
        {{0x01, 0x05, 0x00, 0xFA, 0xFF, 'a'}, InflateResult::Truncated, ""},        // stored data cut
        {{0x4B, 0x04}, InflateResult::Truncated, ""},                               // no end of block
        {{0x02}, InflateResult::Truncated, ""},                                     // a non-final block, then nothing
        {{0x03, 0x02, 0x00, 0x00}, InflateResult::BadData, ""},  // a match before any output
    };
    for (const auto& c : cases) {
        Bytes out{'s', 't', 'a', 'l', 'e'};
        EXPECT_EQ(layout::Inflate(c.stream.data(), c.stream.size(), 1 << 20, out), c.result)
            << testing::PrintToString(c.stream);
        EXPECT_EQ(Text(out), c.out) << testing::PrintToString(c.stream);
    }
    Bytes out;
    const Bytes three = StoredBlock(Of("abc"));
    EXPECT_EQ(layout::Inflate(three.data(), three.size(), 2, out), InflateResult::TooLarge);
}

TEST_F(CMakeArchive, ListsAndExtractsEveryDeflatedEntry)
{
    std::vector<std::string> names;
    for (const auto& entry : zip.Entries()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"frame.xml", "res.xml", "big.txt", "one.txt", "nested/deep.xml"}));
    for (const auto& entry : zip.Entries()) {
        EXPECT_EQ(entry.method, 8) << entry.name;
        EXPECT_NE(entry.flags & 0x0008, 0) << entry.name << " has its sizes in a data descriptor";
    }

    Bytes data;
    ASSERT_EQ(zip.Extract("frame.xml", data), ZipStatus::Ok);
    EXPECT_EQ(data, ReadFixture(L"frame.xml"));
    ASSERT_EQ(zip.Extract("one.txt", data), ZipStatus::Ok);
    EXPECT_EQ(Text(data), "a");
    ASSERT_EQ(zip.Extract("nested/deep.xml", data), ZipStatus::Ok);
    EXPECT_EQ(Text(data), "<layout/>");
    ASSERT_EQ(zip.Extract("big.txt", data), ZipStatus::Ok);
    const std::string big = Text(data);
    EXPECT_EQ(big.compare(0, 43, "line 1: 1 the quick brown fox 1 jumps\nline "), 0);
    EXPECT_NE(big.find("line 1500: "), std::string::npos);

    // The archive does exercise both Huffman block kinds: the first block
    // type is in bits 1-2 of an entry's first byte.
    const auto firstBlockType = [&](const char* name) {
        const layout::ZipEntry* entry = EntryNamed(zip, name);
        return entry ? (bytes[DataOffset(bytes, *entry)] >> 1) & 3 : -1;
    };
    EXPECT_EQ(firstBlockType("big.txt"), 2) << "dynamic Huffman codes";
    EXPECT_EQ(firstBlockType("one.txt"), 1) << "fixed Huffman codes";

    EXPECT_EQ(zip.Extract("missing.xml", data), ZipStatus::NoSuchEntry);
    EXPECT_EQ(zip.Extract("FRAME.XML", data), ZipStatus::NoSuchEntry);
    EXPECT_EQ(zip.Extract("deep.xml", data), ZipStatus::NoSuchEntry);
}

TEST(ZipReader, ExtractsStoredEntriesAndStoredDeflateBlocks)
{
    const Bytes text = Of("<layout><view name=\"v\"/></layout>");
    const Bytes zip = MakeZip({
        {"stored.xml", 0, text, text},
        {"empty.txt", 0, {}, {}},
        {"block.xml", 8, StoredBlock(text), text},
    });
    ZipArchive archive;
    ASSERT_EQ(archive.Open(zip), ZipStatus::Ok);
    for (const char* name : {"stored.xml", "block.xml"}) {
        Bytes data;
        ASSERT_EQ(archive.Extract(name, data), ZipStatus::Ok) << name;
        EXPECT_EQ(data, text) << name;
    }
    Bytes data{1};
    EXPECT_EQ(archive.Extract("empty.txt", data), ZipStatus::Ok);
    EXPECT_TRUE(data.empty());
}

TEST_F(CMakeArchive, RefusesBrokenCopies)
{
    const layout::ZipEntry* frame = EntryNamed(zip, "frame.xml");
    ASSERT_NE(frame, nullptr);
    const std::size_t data = DataOffset(bytes, *frame);
    // The central directory record of frame.xml is the first one.
    const std::size_t end = bytes.size() - 22;
    const std::size_t directory = bytes[end + 16] | (bytes[end + 17] << 8) | (bytes[end + 18] << 16) |
                                  (static_cast<std::size_t>(bytes[end + 19]) << 24);
    const struct {
        const char* what;
        void (*change)(Bytes& b, std::size_t data, std::size_t directory, std::size_t end);
        ZipStatus open;     // what Open says
        ZipStatus extract;  // then what extracting frame.xml says
    } cases[] = {
        {"a byte of the data flipped", [](Bytes& b, std::size_t d, std::size_t, std::size_t) { b[d + 40] ^= 0x55; },
         ZipStatus::Ok, ZipStatus::Corrupt},
        {"the CRC changed", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { b[c + 16] ^= 1; },
         ZipStatus::Ok, ZipStatus::Corrupt},
        {"the size one larger", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { ++b[c + 24]; },
         ZipStatus::Ok, ZipStatus::Corrupt},
        {"the compressed size cut", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { Set32(b, c + 20, 20); },
         ZipStatus::Ok, ZipStatus::Corrupt},
        {"the compressed size past the end",
         [](Bytes& b, std::size_t, std::size_t c, std::size_t) { Set32(b, c + 20, 0x7FFFFFFF); }, ZipStatus::Ok,
         ZipStatus::Corrupt},
        {"the local header offset past the end",
         [](Bytes& b, std::size_t, std::size_t c, std::size_t) { Set32(b, c + 42, 0x7FFFFFF0); }, ZipStatus::Ok,
         ZipStatus::Corrupt},
        {"the local signature broken", [](Bytes& b, std::size_t, std::size_t, std::size_t) { b[0] = 'X'; },
         ZipStatus::Ok, ZipStatus::Corrupt},
        {"an unknown method", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { b[c + 10] = 12; },
         ZipStatus::Ok, ZipStatus::Unsupported},
        {"encrypted", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { b[c + 8] |= 1; }, ZipStatus::Ok,
         ZipStatus::Unsupported},
        {"the directory signature broken", [](Bytes& b, std::size_t, std::size_t c, std::size_t) { b[c] = 'X'; },
         ZipStatus::NotAnArchive, ZipStatus::NoSuchEntry},
        {"the directory offset past the end",
         [](Bytes& b, std::size_t, std::size_t, std::size_t e) { Set32(b, e + 16, 0x7FFFFFF0); },
         ZipStatus::NotAnArchive, ZipStatus::NoSuchEntry},
        {"one entry more than the directory holds", [](Bytes& b, std::size_t, std::size_t, std::size_t e) {
             ++b[e + 8];
             ++b[e + 10];
         },
         ZipStatus::NotAnArchive, ZipStatus::NoSuchEntry},
        {"a second disk", [](Bytes& b, std::size_t, std::size_t, std::size_t e) { b[e + 4] = 1; },
         ZipStatus::Unsupported, ZipStatus::NoSuchEntry},
        {"zip64 counts", [](Bytes& b, std::size_t, std::size_t, std::size_t e) {
             b[e + 8] = b[e + 9] = b[e + 10] = b[e + 11] = 0xFF;
         },
         ZipStatus::Unsupported, ZipStatus::NoSuchEntry},
        {"a comment length past the end", [](Bytes& b, std::size_t, std::size_t, std::size_t e) { b[e + 20] = 9; },
         ZipStatus::NotAnArchive, ZipStatus::NoSuchEntry},
    };
    for (const auto& c : cases) {
        Bytes broken = bytes;
        c.change(broken, data, directory, end);
        ZipArchive archive;
        EXPECT_EQ(archive.Open(broken), c.open) << c.what;
        Bytes out{1, 2, 3};
        EXPECT_EQ(archive.Extract("frame.xml", out), c.extract) << c.what;
        EXPECT_TRUE(out.empty()) << c.what;
    }
}

TEST_F(CMakeArchive, EveryCutCopyIsRefusedOrReadsIntact)
{
    // Cut anywhere, the archive is refused as a whole (the end record is
    // gone) and nothing is read outside the bytes kept.
    for (std::size_t length = 0; length < bytes.size(); length += 7) {
        ZipArchive archive;
        EXPECT_NE(archive.Open(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(length))), ZipStatus::Ok)
            << length;
    }
    // A damaged deflate stream of every byte of big.txt's first kilobyte:
    // each one is refused or, at worst, decodes to what CRC then refuses.
    const layout::ZipEntry* big = EntryNamed(zip, "big.txt");
    ASSERT_NE(big, nullptr);
    const std::size_t start = DataOffset(bytes, *big);
    int refused = 0;
    for (std::size_t i = 0; i < 1024; i += 3) {
        Bytes broken = bytes;
        broken[start + i] ^= 0xA5;
        ZipArchive archive;
        ASSERT_EQ(archive.Open(broken), ZipStatus::Ok);
        Bytes out;
        if (archive.Extract("big.txt", out) == ZipStatus::Corrupt) ++refused;
    }
    EXPECT_EQ(refused, (1024 + 2) / 3);
}
