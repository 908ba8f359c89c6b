#include "ZipReader.h"

#include <new>

#include "Inflate.h"

namespace layout {

namespace {

constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kDirectorySignature = 0x02014B50;
constexpr std::uint32_t kLocalSignature = 0x04034B50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kDirectoryHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kFlagEncrypted = 0x0001;

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Whether [offset, offset + length) lies inside size bytes.
bool Inside(std::size_t size, std::size_t offset, std::size_t length)
{
    return offset <= size && length <= size - offset;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size)
{
    static const struct Table {
        std::uint32_t entries[256];
        Table()
        {
            for (std::uint32_t n = 0; n < 256; ++n) {
                std::uint32_t c = n;
                for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                entries[n] = c;
            }
        }
    } table;
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

ZipStatus ZipArchive::Open(std::vector<std::uint8_t> bytes)
{
    bytes_.clear();
    entries_.clear();
    try {
        const std::size_t size = bytes.size();
        if (size < kEndSize) return ZipStatus::NotAnArchive;
        // The record sits at the end, followed only by its comment (at most
        // 65535 bytes): search backwards for the one whose comment ends the
        // archive exactly.
        const std::uint8_t* data = bytes.data();
        std::size_t end = size;  // not found
        const std::size_t lowest = size - kEndSize > 0xFFFF ? size - kEndSize - 0xFFFF : 0;
        for (std::size_t at = size - kEndSize + 1; at-- > lowest;) {
            if (U32(data + at) == kEndSignature && at + kEndSize + U16(data + at + 20) == size) {
                end = at;
                break;
            }
        }
        if (end == size) return ZipStatus::NotAnArchive;
        const std::uint8_t* record = data + end;
        const std::uint16_t disk = U16(record + 4), directoryDisk = U16(record + 6);
        const std::uint16_t onDisk = U16(record + 8), total = U16(record + 10);
        const std::uint32_t directorySize = U32(record + 12), directoryOffset = U32(record + 16);
        if (total == 0xFFFF || directorySize == 0xFFFFFFFFu || directoryOffset == 0xFFFFFFFFu)
            return ZipStatus::Unsupported;  // zip64
        if (disk != 0 || directoryDisk != 0 || onDisk != total) return ZipStatus::Unsupported;
        if (!Inside(end, directoryOffset, directorySize)) return ZipStatus::NotAnArchive;

        std::vector<ZipEntry> entries;
        std::size_t at = directoryOffset;
        const std::size_t directoryEnd = static_cast<std::size_t>(directoryOffset) + directorySize;
        for (std::uint16_t i = 0; i < total; ++i) {
            if (!Inside(directoryEnd, at, kDirectoryHeaderSize) || U32(data + at) != kDirectorySignature)
                return ZipStatus::NotAnArchive;
            const std::uint8_t* header = data + at;
            ZipEntry entry;
            entry.flags = U16(header + 8);
            entry.method = U16(header + 10);
            entry.crc = U32(header + 16);
            entry.compressedSize = U32(header + 20);
            entry.size = U32(header + 24);
            const std::size_t nameLength = U16(header + 28), extraLength = U16(header + 30),
                              commentLength = U16(header + 32);
            entry.localHeaderOffset = U32(header + 42);
            const std::size_t recordLength = kDirectoryHeaderSize + nameLength + extraLength + commentLength;
            if (!Inside(directoryEnd, at, recordLength)) return ZipStatus::NotAnArchive;
            entry.name.assign(reinterpret_cast<const char*>(header + kDirectoryHeaderSize), nameLength);
            entries.push_back(std::move(entry));
            at += recordLength;
        }
        bytes_ = std::move(bytes);
        entries_ = std::move(entries);
        return ZipStatus::Ok;
    } catch (const std::bad_alloc&) {
        return ZipStatus::Unsupported;
    }
}

ZipStatus ZipArchive::Extract(const std::string& name, std::vector<std::uint8_t>& data) const
{
    data.clear();
    const ZipEntry* entry = nullptr;
    for (const ZipEntry& candidate : entries_)
        if (candidate.name == name) {
            entry = &candidate;
            break;
        }
    if (!entry) return ZipStatus::NoSuchEntry;
    if (entry->flags & kFlagEncrypted) return ZipStatus::Unsupported;
    if (entry->method != 0 && entry->method != 8) return ZipStatus::Unsupported;
    if (entry->size == 0xFFFFFFFFu || entry->compressedSize == 0xFFFFFFFFu) return ZipStatus::Unsupported;
    if (entry->size > kMaxEntrySize) return ZipStatus::Unsupported;

    const std::size_t size = bytes_.size();
    const std::size_t local = entry->localHeaderOffset;
    if (!Inside(size, local, kLocalHeaderSize) || U32(bytes_.data() + local) != kLocalSignature)
        return ZipStatus::Corrupt;
    const std::size_t start = local + kLocalHeaderSize + U16(bytes_.data() + local + 26) +
                              U16(bytes_.data() + local + 28);
    if (!Inside(size, start, entry->compressedSize)) return ZipStatus::Corrupt;
    const std::uint8_t* compressed = bytes_.data() + start;

    try {
        std::vector<std::uint8_t> out;
        if (entry->method == 0) {
            if (entry->compressedSize != entry->size) return ZipStatus::Corrupt;
            out.assign(compressed, compressed + entry->size);
        } else if (Inflate(compressed, entry->compressedSize, entry->size, out) != InflateResult::Ok) {
            return ZipStatus::Corrupt;
        }
        if (out.size() != entry->size || Crc32(out.data(), out.size()) != entry->crc) return ZipStatus::Corrupt;
        data = std::move(out);
        return ZipStatus::Ok;
    } catch (const std::bad_alloc&) {
        return ZipStatus::Unsupported;
    }
}

}  // namespace layout
