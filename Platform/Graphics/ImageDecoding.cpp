#include <Graphics/ImageDecodingStandIn.h>

#include <Files/FilesPrivate.h>

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace StandIn::Imaging {

namespace {

constexpr uint8_t kGIF87Signature[] = { 'G', 'I', 'F', '8', '7', 'a' };
constexpr uint8_t kGIF89Signature[] = { 'G', 'I', 'F', '8', '9', 'a' };
constexpr uint8_t kPNGSignature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };

constexpr size_t kGIFHeaderSize = 13; // signature and logical screen descriptor
constexpr size_t kPNGHeaderSize = 8 + 8 + 13; // signature, IHDR length and type, IHDR data

// Ancillary chunks are skipped, but libpng still buffers each one; a few MiB is more than any
// text or profile chunk of a real image needs.
constexpr png_alloc_size_t kMaxPNGChunkSize = 8 << 20;

template<size_t N>
bool startsWith(const uint8_t* data, size_t size, const uint8_t (&signature)[N])
{
    return size >= N && memcmp(data, signature, N) == 0;
}

// A file cut inside its signature is a truncated image of that type, not an unknown one.
template<size_t N>
bool isCutSignature(const uint8_t* data, size_t size, const uint8_t (&signature)[N])
{
    return size > 0 && size < N && memcmp(data, signature, size) == 0;
}

bool isCutSignature(const uint8_t* data, size_t size)
{
    return isCutSignature(data, size, kGIF87Signature) || isCutSignature(data, size, kGIF89Signature)
        || isCutSignature(data, size, kPNGSignature);
}

uint32_t bigEndian32(const uint8_t* p)
{
    return uint32_t { p[0] } << 24 | uint32_t { p[1] } << 16 | uint32_t { p[2] } << 8 | p[3];
}

int littleEndian16(const uint8_t* p)
{
    return p[0] | p[1] << 8;
}

bool withinCaps(long width, long height)
{
    return width > 0 && height > 0 && width <= kMaxDimension && height <= kMaxDimension && width * height <= kMaxPixels;
}

bool isValidPNGDepth(int colorType, int bitDepth)
{
    switch (colorType) {
    case 0: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
    case 3: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
    case 2:
    case 4:
    case 6: return bitDepth == 8 || bitDepth == 16;
    default: return false;
    }
}

Result readGIFHeader(const uint8_t* data, size_t size, Header* header)
{
    if (size < kGIFHeaderSize)
        return Result::Truncated;
    int width = littleEndian16(data + 6), height = littleEndian16(data + 8);
    if (!withinCaps(width, height))
        return Result::Invalid;
    *header = { Format::GIF, width, height };
    return Result::Ok;
}

Result readPNGHeader(const uint8_t* data, size_t size, Header* header)
{
    if (size < kPNGHeaderSize)
        return Result::Truncated;
    const uint8_t* ihdr = data + 16;
    if (bigEndian32(data + 8) != 13 || memcmp(data + 12, "IHDR", 4) != 0)
        return Result::Invalid;
    uint32_t width = bigEndian32(ihdr), height = bigEndian32(ihdr + 4);
    if (!withinCaps(width, height))
        return Result::Invalid;
    if (!isValidPNGDepth(ihdr[9], ihdr[8]) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return Result::Invalid;
    *header = { Format::PNG, static_cast<int>(width), static_cast<int>(height) };
    return Result::Ok;
}

// Both libraries pull their input through a callback; this one serves it from memory and
// remembers whether a read ran past the end, which tells a truncated file from a corrupt one.
struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t offset { 0 };
    bool ranOut { false };

    size_t read(uint8_t* out, size_t wanted)
    {
        size_t count = std::min(wanted, size - offset);
        if (count < wanted)
            ranOut = true;
        if (count)
            memcpy(out, data + offset, count);
        offset += count;
        return count;
    }

    Result failure() const { return ranOut ? Result::Truncated : Result::Invalid; }
};

// --- GIF -----------------------------------------------------------------------------------

int readGIFInput(GifFileType* gif, GifByteType* buffer, int length)
{
    if (length <= 0)
        return 0;
    return static_cast<int>(static_cast<MemoryInput*>(gif->UserData)->read(buffer, static_cast<size_t>(length)));
}

struct GIFCloser {
    void operator()(GifFileType* gif) const
    {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

using GIFFile = std::unique_ptr<GifFileType, GIFCloser>;

// The rows of a frame in the order its data holds them: interlaced frames come in four passes.
std::vector<int> frameRowOrder(int height, bool interlaced)
{
    std::vector<int> order;
    order.reserve(static_cast<size_t>(height));
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    constexpr int kStart[] = { 0, 4, 2, 1 }, kStep[] = { 8, 8, 4, 2 };
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass])
            order.push_back(y);
    }
    return order;
}

// Draws the current frame onto the logical screen (its size already in screen), made here and
// transparent only once the frame looks plausible, so that a tiny file claiming a huge screen
// costs nothing. Pixels of the frame outside the screen are decoded, since the data runs on
// through them, but not kept.
Result decodeGIFFrame(GifFileType* gif, const MemoryInput& input, int transparentIndex, Image* screen)
{
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || static_cast<long>(frame.Width) * frame.Height > kMaxPixels)
        return Result::Invalid;
    const ColorMapObject* colors = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!colors || colors->ColorCount <= 0 || !colors->Colors)
        return Result::Invalid;
    screen->rgba.assign(static_cast<size_t>(screen->width) * screen->height * 4, 0);

    // One lookup a pixel: the RGBA of every index, and which indices the colour map lacks.
    std::array<std::array<uint8_t, 4>, 256> palette {};
    std::array<bool, 256> valid {};
    for (int index = 0; index < std::min(colors->ColorCount, 256); ++index) {
        const GifColorType& c = colors->Colors[index];
        palette[index] = { c.Red, c.Green, c.Blue, 0xFF };
        valid[index] = true;
    }
    if (transparentIndex >= 0 && transparentIndex < 256) {
        palette[transparentIndex] = { 0, 0, 0, 0 };
        valid[transparentIndex] = true;
    }

    const int width = screen->width, height = screen->height;
    const int firstColumn = std::clamp(-frame.Left, 0, frame.Width);
    const int endColumn = std::clamp(width - frame.Left, firstColumn, frame.Width);
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    for (int y : frameRowOrder(frame.Height, frame.Interlace)) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            return input.failure();
        for (GifPixelType index : line) {
            if (!valid[index])
                return Result::Invalid;
        }
        int screenY = frame.Top + y;
        if (screenY < 0 || screenY >= height)
            continue;
        uint8_t* row = screen->rgba.data() + static_cast<size_t>(screenY) * width * 4;
        for (int x = firstColumn; x < endColumn; ++x)
            memcpy(row + static_cast<size_t>(frame.Left + x) * 4, palette[line[x]].data(), 4);
    }
    return Result::Ok;
}

Result decodeGIF(const uint8_t* data, size_t size, const Header& header, Image* image)
{
    MemoryInput input { data, size };
    int error = 0;
    GIFFile gif(DGifOpen(&input, readGIFInput, &error));
    if (!gif)
        return input.failure();

    // Only the graphic control extension just before the first frame applies to it.
    int transparentIndex = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return input.failure();
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR)
                return input.failure();
            GraphicsControlBlock control;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparentIndex = control.TransparentColor;
            while (block) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return input.failure();
            }
        } else if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
                return input.failure();
            Image screen;
            screen.width = header.width;
            screen.height = header.height;
            Result result = decodeGIFFrame(gif.get(), input, transparentIndex, &screen);
            if (result == Result::Ok)
                *image = std::move(screen);
            return result;
        } else {
            return Result::Invalid; // the trailer, or nothing known, before any frame
        }
    }
}

// --- PNG -----------------------------------------------------------------------------------

void readPNGInput(png_structp png, png_bytep out, size_t length)
{
    if (static_cast<MemoryInput*>(png_get_io_ptr(png))->read(out, length) != length)
        png_error(png, "unexpected end of data");
}

// libpng stops at an error by jumping back to the setjmp of the function that called it; the
// two functions that call it hold nothing that a jump past would fail to destroy.
[[noreturn]] void failPNG(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignorePNGWarning(png_structp, png_const_charp) { }

struct PNGReadGuard {
    png_structp png { nullptr };
    png_infop info { nullptr };

    ~PNGReadGuard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Reads up to the image data and asks libpng for 8-bit RGBA rows whatever the file holds.
bool readPNGInfo(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    int colorType = png_get_color_type(png, info);
    int bitDepth = png_get_bit_depth(png, info);
    bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (hasTransparency)
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return png_get_rowbytes(png, info) == static_cast<size_t>(*width) * 4;
}

bool readPNGRows(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

Result decodePNG(const uint8_t* data, size_t size, Image* image)
{
    MemoryInput input { data, size };
    PNGReadGuard guard;
    guard.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failPNG, ignorePNGWarning);
    if (!guard.png)
        return Result::Invalid;
    guard.info = png_create_info_struct(guard.png);
    if (!guard.info)
        return Result::Invalid;
    png_set_read_fn(guard.png, &input, readPNGInput);
    png_set_user_limits(guard.png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(guard.png, kMaxPNGChunkSize);

    png_uint_32 width = 0, height = 0;
    if (!readPNGInfo(guard.png, guard.info, &width, &height))
        return input.failure();
    if (!withinCaps(width, height))
        return Result::Invalid;
    Image decoded;
    decoded.width = static_cast<int>(width);
    decoded.height = static_cast<int>(height);
    decoded.rgba.resize(static_cast<size_t>(width) * height * 4);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = decoded.rgba.data() + static_cast<size_t>(y) * width * 4;
    if (!readPNGRows(guard.png, rows.data()))
        return input.failure();
    *image = std::move(decoded);
    return Result::Ok;
}

// --- Structure -----------------------------------------------------------------------------

// Sub-blocks: a length byte, that many bytes, and so on up to a zero length.
Result skipGIFSubBlocks(const uint8_t* data, size_t size, size_t* offset)
{
    for (;;) {
        if (*offset >= size)
            return Result::Truncated;
        size_t length = data[(*offset)++];
        if (length == 0)
            return Result::Ok;
        if (length > size - *offset)
            return Result::Truncated;
        *offset += length;
    }
}

size_t gifColorTableSize(uint8_t packedFields)
{
    return (packedFields & 0x80) ? size_t { 3 } << ((packedFields & 7) + 1) : 0;
}

Result checkGIFStructure(const uint8_t* data, size_t size)
{
    size_t offset = kGIFHeaderSize + gifColorTableSize(data[10]);
    int frames = 0;
    for (;;) {
        if (offset >= size)
            return Result::Truncated;
        switch (data[offset++]) {
        case 0x3B: // trailer
            return frames ? Result::Ok : Result::Invalid;
        case 0x21: { // extension: a label, then sub-blocks
            if (offset >= size)
                return Result::Truncated;
            ++offset;
            if (Result result = skipGIFSubBlocks(data, size, &offset); result != Result::Ok)
                return result;
            break;
        }
        case 0x2C: { // frame: descriptor, local colour table, LZW code size, sub-blocks
            if (size - offset < 9)
                return Result::Truncated;
            if (littleEndian16(data + offset + 4) == 0 || littleEndian16(data + offset + 6) == 0)
                return Result::Invalid;
            size_t tableSize = gifColorTableSize(data[offset + 8]);
            offset += 9;
            if (tableSize + 1 > size - offset)
                return Result::Truncated;
            offset += tableSize + 1;
            if (Result result = skipGIFSubBlocks(data, size, &offset); result != Result::Ok)
                return result;
            ++frames;
            break;
        }
        default:
            return Result::Invalid;
        }
    }
}

bool isChunkTypeByte(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

Result checkPNGStructure(const uint8_t* data, size_t size)
{
    size_t offset = sizeof kPNGSignature;
    bool first = true, sawImageData = false;
    for (;;) {
        if (size - offset < 8)
            return Result::Truncated;
        uint32_t length = bigEndian32(data + offset);
        const uint8_t* type = data + offset + 4;
        if (length > 0x7FFFFFFFu || !std::all_of(type, type + 4, isChunkTypeByte))
            return Result::Invalid;
        if (first != (memcmp(type, "IHDR", 4) == 0))
            return Result::Invalid;
        first = false;
        offset += 8;
        if (size - offset < size_t { length } + 4)
            return Result::Truncated;
        offset += size_t { length } + 4;
        if (memcmp(type, "IDAT", 4) == 0)
            sawImageData = true;
        if (memcmp(type, "IEND", 4) == 0)
            return sawImageData ? Result::Ok : Result::Invalid;
    }
}

// --- Files ---------------------------------------------------------------------------------

// Never blocks: an image file put in place by someone else may be a FIFO without a writer.
FileResult openImageFile(const std::string& path, StandIn::FileDescriptor* file, size_t* size)
{
    StandIn::FileFailure failure;
    *file = _FSOpenRegularFile(path, &failure);
    if (!*file)
        return failure.status == StandIn::FileStatus::notFound ? FileResult::NotFound : FileResult::Unreadable;
    struct stat status;
    if (fstat(file->get(), &status) != 0)
        return FileResult::Unreadable;
    *size = static_cast<size_t>(status.st_size);
    return FileResult::Ok;
}

// Reads until the end of the file or count bytes; false on a read error. The buffer starts at
// the size fstat gave (and one byte more, to see the end) and grows only for a file that grew.
bool readUpTo(int fd, size_t count, size_t expected, std::vector<uint8_t>* bytes)
{
    std::vector<uint8_t> buffer(std::min(count, expected + 1));
    size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) {
            if (buffer.size() == count)
                break;
            buffer.resize(std::min(count, buffer.size() * 2 + 4096));
        }
        ssize_t got = read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        filled += static_cast<size_t>(got);
    }
    buffer.resize(filled);
    *bytes = std::move(buffer);
    return true;
}

}

Format sniffFormat(const uint8_t* data, size_t size)
{
    if (!data)
        return Format::Unknown;
    if (startsWith(data, size, kGIF87Signature) || startsWith(data, size, kGIF89Signature))
        return Format::GIF;
    if (startsWith(data, size, kPNGSignature))
        return Format::PNG;
    return Format::Unknown;
}

Result readHeader(const uint8_t* data, size_t size, Header* header)
{
    if (!header)
        return Result::Invalid;
    switch (sniffFormat(data, size)) {
    case Format::GIF: return readGIFHeader(data, size, header);
    case Format::PNG: return readPNGHeader(data, size, header);
    case Format::Unknown: break;
    }
    return data && isCutSignature(data, size) ? Result::Truncated : Result::UnknownFormat;
}

Result decode(const uint8_t* data, size_t size, Image* image)
{
    Header header;
    Result result = readHeader(data, size, &header);
    if (result != Result::Ok || !image)
        return result;
    try {
        return header.format == Format::GIF ? decodeGIF(data, size, header, image) : decodePNG(data, size, image);
    } catch (const std::bad_alloc&) {
        return Result::Invalid;
    }
}

Result checkStructure(const uint8_t* data, size_t size)
{
    Header header;
    Result result = readHeader(data, size, &header);
    if (result != Result::Ok)
        return result;
    return header.format == Format::GIF ? checkGIFStructure(data, size) : checkPNGStructure(data, size);
}

FileResult readFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* bytes)
{
    StandIn::FileDescriptor file;
    size_t size = 0;
    if (FileResult result = openImageFile(path, &file, &size); result != FileResult::Ok)
        return result;
    if (size > maxBytes)
        return FileResult::TooLarge;
    // One byte past the cap shows a file that grew past it since fstat.
    std::vector<uint8_t> contents;
    if (!readUpTo(file.get(), maxBytes + 1, size, &contents))
        return FileResult::Unreadable;
    if (contents.size() > maxBytes)
        return FileResult::TooLarge;
    *bytes = std::move(contents);
    return FileResult::Ok;
}

FileResult readFilePrefix(const std::string& path, size_t count, std::vector<uint8_t>* bytes)
{
    StandIn::FileDescriptor file;
    size_t size = 0;
    if (FileResult result = openImageFile(path, &file, &size); result != FileResult::Ok)
        return result;
    std::vector<uint8_t> contents;
    if (!readUpTo(file.get(), count, size, &contents))
        return FileResult::Unreadable;
    *bytes = std::move(contents);
    return FileResult::Ok;
}

}
