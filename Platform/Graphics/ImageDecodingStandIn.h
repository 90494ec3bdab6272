// Stand-in only: reading GIF and PNG files into 8-bit RGBA pixels, shared by graphics
// importers and image sources. Every reader is bounded, so a hostile file costs at most the caps
// below in memory and time. decode and checkStructure are exported as a seam for the tests and
// fuzzers that feed them every truncation and corruption of a file without writing it out.
#pragma once

#include <CoreFoundation/MacTypes.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace StandIn::Imaging {

constexpr int kMaxDimension = 16384;
constexpr long kMaxPixels = 64L << 20;
// Larger than any image under the pixel cap needs, compressed.
constexpr size_t kMaxImageFileSize = size_t { 256 } << 20;

enum class Format {
    Unknown,
    GIF,
    PNG,
};

enum class Result {
    Ok,
    UnknownFormat,
    Truncated, // the data ends before the image does
    Invalid, // malformed, or beyond the caps
};

struct Header {
    Format format { Format::Unknown };
    int width { 0 };
    int height { 0 };
};

// Row-major, 4 bytes a pixel: red, green, blue, alpha (not premultiplied).
struct Image {
    int width { 0 };
    int height { 0 };
    std::vector<uint8_t> rgba;
};

// Enough bytes from the start of a file for readHeader.
constexpr size_t kHeaderBytes = 33;

Format sniffFormat(const uint8_t* data, size_t size);
// The format and natural size from the first bytes alone (a GIF's logical screen, a PNG's IHDR).
Result readHeader(const uint8_t* data, size_t size, Header* header);
// The first image: a GIF's first frame on its logical screen, a PNG's only image.
PLATFORM_EXPORT Result decode(const uint8_t* data, size_t size, Image* image);
// Walks the file's blocks (a GIF's up to its trailer, a PNG's chunks up to IEND) without
// decoding pixels: whether the file is whole and well-formed as far as its framing goes.
PLATFORM_EXPORT Result checkStructure(const uint8_t* data, size_t size);

enum class FileResult {
    Ok,
    NotFound,
    Unreadable,
    TooLarge,
};

// The whole regular file at path, when it is at most maxBytes long.
FileResult readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes);
// Up to count bytes from the start of the regular file at path (fewer when it is shorter).
FileResult readFilePrefix(const std::string& path, size_t count, std::vector<uint8_t>* bytes);

}
