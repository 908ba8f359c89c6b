// Reads entries out of a zip archive held in memory: finds the end of the
// central directory, walks the directory and extracts a named entry that is
// stored (method 0) or deflated (method 8), checking its size and CRC-32.
// Sizes and CRCs come from the central directory, so entries written with
// a data descriptor (general-purpose flag bit 3) read like any other.
//
// Not supported, and refused as such: zip64, archives spanning disks,
// encrypted entries and other compression methods. Anything inconsistent
// (offsets or sizes outside the archive, a bad signature, a CRC or size
// mismatch, a broken deflate stream) is refused; nothing is ever read
// outside the bytes given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace layout {

enum class ZipStatus {
    Ok,
    NotAnArchive,  // no usable end-of-central-directory record or directory
    NoSuchEntry,
    Unsupported,   // zip64, spanning, encryption, an unknown method
    Corrupt,       // a broken entry: bad header, data, size or CRC
};

struct ZipEntry {
    std::string name;  // as stored: bytes, '/' between folders
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::uint32_t localHeaderOffset = 0;
};

// The CRC-32 of zip (and PNG, gzip): polynomial 0xEDB88320, reflected.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

class ZipArchive {
public:
    // Entries larger than this are refused as Unsupported.
    static constexpr std::uint32_t kMaxEntrySize = 64u << 20;

    // Takes the archive's bytes and reads its central directory.
    ZipStatus Open(std::vector<std::uint8_t> bytes);

    const std::vector<ZipEntry>& Entries() const { return entries_; }

    // The contents of the entry whose name is exactly name.
    ZipStatus Extract(const std::string& name, std::vector<std::uint8_t>& data) const;

private:
    std::vector<std::uint8_t> bytes_;
    std::vector<ZipEntry> entries_;
};

}  // namespace layout
