// Inflate: decodes a raw deflate stream (no zlib or gzip wrapper) made of
// stored, fixed-Huffman and dynamic-Huffman blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace layout {

enum class InflateResult {
    Ok,
    Truncated,      // the input ended inside a block
    BadData,        // an invalid block type, code, length or distance
    TooLarge,       // the output would exceed the limit
};

// Decodes data into out (replacing what it held). The stream must end
// with a final block; output beyond maxOutput is refused, so a broken or
// hostile stream cannot make the output grow without bound. Bytes after the
// final block are ignored.
InflateResult Inflate(const std::uint8_t* data, std::size_t size, std::size_t maxOutput,
                      std::vector<std::uint8_t>& out);

}  // namespace layout
