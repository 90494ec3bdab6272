// Conformance of the image services: graphics importers drawing GIF and PNG files into ports,
// image sources, icon family files and icon references, handles, and ports written as PNG.
// Fixture images are written by each test into a folder of its own with giflib and libpng, or
// spelled out byte by byte where a file must be malformed in one exact way.
#include "LiveObjects.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Graphics/Icons.h>
#include <Graphics/ImageCompression.h>
#include <Graphics/ImageDecoding.h>
#include <Graphics/ImageIO.h>
#include <Graphics/MacMemory.h>
#include <Graphics/QuickDrawStandIn.h>
#include <HIToolbox/HIToolbox.h>

#include <gif_lib.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <vector>

static bool operator==(const RGBColor& a, const RGBColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

static void PrintTo(const RGBColor& c, std::ostream* out)
{
    *out << std::hex << "{" << c.red << ", " << c.green << ", " << c.blue << "}" << std::dec;
}

static bool operator==(const Rect& a, const Rect& b)
{
    return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

static void PrintTo(const Rect& r, std::ostream* out)
{
    *out << "{" << r.top << ", " << r.left << ", " << r.bottom << ", " << r.right << "}";
}

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kPortWidth = 100, kPortHeight = 60;
const RGBColor kBlue = { 0, 0, 0xFFFF }, kWhite = { 0xFFFF, 0xFFFF, 0xFFFF }, kSentinel = { 1, 2, 3 };
const GifColorType kGifBlack = { 0, 0, 0 }, kGifRed = { 255, 0, 0 }, kGifGreen = { 0, 200, 0 }, kGifGrey = { 128, 128, 128 };

RGBColor wide(GifColorType c)
{
    return { static_cast<UInt16>(c.Red * 257), static_cast<UInt16>(c.Green * 257), static_cast<UInt16>(c.Blue * 257) };
}

// --- Fixture files -------------------------------------------------------------------------

struct GifFrame {
    int left { 0 }, top { 0 }, width { 0 }, height { 0 };
    bool interlaced { false };
    std::vector<GifColorType> localColors; // none: the global colours apply
    std::function<int(int x, int y)> index;
};

struct GifPicture {
    int width { 0 }, height { 0 };
    std::vector<GifColorType> globalColors;
    int transparentIndex { NO_TRANSPARENT_COLOR };
    GifFrame frame;
    int extraFrames { 0 }; // further copies of the frame, which only the first must be drawn from
};

void writeGif(const std::string& path, const GifPicture& picture)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr) << GifErrorString(error);
    auto makeMap = [](const std::vector<GifColorType>& colors) {
        return colors.empty() ? nullptr : GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
    };
    ColorMapObject* global = makeMap(picture.globalColors);
    ColorMapObject* local = makeMap(picture.frame.localColors);
    EXPECT_EQ(EGifPutScreenDesc(gif, picture.width, picture.height, 8, 0, global), GIF_OK);
    const GifFrame& frame = picture.frame;
    for (int copy = 0; copy <= picture.extraFrames; ++copy) {
        if (picture.transparentIndex != NO_TRANSPARENT_COLOR) {
            GraphicsControlBlock control = { DISPOSAL_UNSPECIFIED, false, 0, picture.transparentIndex };
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension), GIF_OK);
        }
        EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local), GIF_OK);
        std::vector<int> rows;
        for (int pass = 0, starts[] = { 0, 4, 2, 1 }, steps[] = { 8, 8, 4, 2 }; pass < (frame.interlaced ? 4 : 1); ++pass) {
            for (int y = frame.interlaced ? starts[pass] : 0; y < frame.height; y += frame.interlaced ? steps[pass] : 1)
                rows.push_back(y);
        }
        std::vector<GifPixelType> line(static_cast<size_t>(frame.width));
        for (int y : rows) {
            for (int x = 0; x < frame.width; ++x)
                line[x] = static_cast<GifPixelType>(copy == 0 ? frame.index(x, y) : 0);
            EXPECT_EQ(EGifPutLine(gif, line.data(), frame.width), GIF_OK);
        }
    }
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

// A picture of one frame covering the screen, coloured by index(x, y).
GifPicture gifPicture(int width, int height, std::vector<GifColorType> colors, std::function<int(int, int)> index,
    int transparentIndex = NO_TRANSPARENT_COLOR)
{
    GifPicture picture;
    picture.width = width;
    picture.height = height;
    picture.globalColors = std::move(colors);
    picture.transparentIndex = transparentIndex;
    picture.frame = { 0, 0, width, height, false, {}, std::move(index) };
    return picture;
}

// 8-bit RGBA through libpng's simplified interface, or what other formats the flags ask for;
// with a colour map (RGBA entries), pixels are indices into it.
void writePng(const std::string& path, int width, int height, const Bytes& pixels, png_uint_32 format = PNG_FORMAT_RGBA,
    const Bytes& colormap = {})
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 4);
    ASSERT_NE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, colormap.empty() ? nullptr : colormap.data()), 0)
        << image.message;
}

void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A GIF spelled out: a screen with a 2^n-colour global table (n from globalColorBits, none
// when 0), one frame over the whole screen, and the given LZW code size and data.
Bytes gifBytes(int width, int height, int globalColorBits, uint8_t codeSize, const Bytes& lzw)
{
    Bytes bytes = { 'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
        static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8),
        static_cast<uint8_t>(globalColorBits ? 0x80 | (globalColorBits - 1) : 0), 0, 0 };
    for (int i = 0; globalColorBits && i < (1 << globalColorBits); ++i)
        bytes.insert(bytes.end(), { static_cast<uint8_t>(i * 60), 0, 0 });
    bytes.insert(bytes.end(), { 0x2C, 0, 0, 0, 0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                                  static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 0, codeSize });
    for (size_t at = 0; at < lzw.size(); at += 255) {
        size_t length = std::min<size_t>(255, lzw.size() - at);
        bytes.push_back(static_cast<uint8_t>(length));
        bytes.insert(bytes.end(), lzw.begin() + static_cast<long>(at), lzw.begin() + static_cast<long>(at + length));
    }
    bytes.insert(bytes.end(), { 0, 0x3B });
    return bytes;
}

// Two pixels of colour 3, by hand: with code size 2 the codes are 3 bits wide, clear is 4 and
// end is 5, so clear, 3, 3, end pack (least significant bit first) into 0xDC 0x0A.
const Bytes kTwoPixelsOfColourThree = { 0xDC, 0x0A };

void appendBigEndian32(Bytes* bytes, uint32_t value)
{
    bytes->insert(bytes->end(), { static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                                    static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value) });
}

// An icon family of elements (type, data); lengths in the headers are the true ones unless
// overridden afterwards.
Bytes iconFamily(const std::vector<std::pair<uint32_t, Bytes>>& elements)
{
    Bytes bytes;
    appendBigEndian32(&bytes, 'icns');
    appendBigEndian32(&bytes, 0);
    for (const auto& [type, data] : elements) {
        appendBigEndian32(&bytes, type);
        appendBigEndian32(&bytes, static_cast<uint32_t>(data.size() + 8));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    Bytes length;
    appendBigEndian32(&length, static_cast<uint32_t>(bytes.size()));
    std::copy(length.begin(), length.end(), bytes.begin() + 4);
    return bytes;
}

struct ImporterCloser {
    void operator()(ComponentInstanceRecord* importer) const { CloseComponent(importer); }
};
using Importer = std::unique_ptr<ComponentInstanceRecord, ImporterCloser>;

struct ImageReleaser {
    void operator()(CGImage* image) const { CGImageRelease(image); }
};
using Image = std::unique_ptr<CGImage, ImageReleaser>;

struct SourceReleaser {
    void operator()(CGImageSource* source) const { CFRelease(source); }
};
using Source = std::unique_ptr<CGImageSource, SourceReleaser>;

// Every test has a folder of its own for its files and a window whose port starts out blue,
// current from the start.
class ImageTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        char pattern[] = "/tmp/image-tests-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        const Rect content = { 40, 50, 40 + kPortHeight, 50 + kPortWidth };
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &window), noErr);
        port = GetWindowPort(window);
        SetPort(port);
        fillPort(kBlue);
    }

    void TearDown() override
    {
        DisposeWindow(window);
        std::filesystem::remove_all(folder);
        BalancedTest::TearDown();
    }

    std::string file(const std::string& name) const { return folder + "/" + name; }

    static void fillPort(const RGBColor& color)
    {
        const Rect whole = { 0, 0, kPortHeight, kPortWidth };
        RGBForeColor(&color);
        PaintRect(&whole);
    }

    static RGBColor pixel(int h, int v)
    {
        RGBColor color = kSentinel;
        GetCPixel(static_cast<SInt16>(h), static_cast<SInt16>(v), &color);
        return color;
    }

    static FSSpec fsSpecFor(const std::string& path)
    {
        FSRef ref = {};
        FSSpec fsSpec = {};
        EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr) << path;
        EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &fsSpec, nullptr), noErr) << path;
        return fsSpec;
    }

    static OSErr open(const std::string& path, Importer* importer)
    {
        FSSpec fsSpec = fsSpecFor(path);
        ComponentInstance instance = nullptr;
        OSErr error = GetGraphicsImporterForFileWithFlags(&fsSpec, &instance, kDontUseValidateToFindGraphicsImporter);
        EXPECT_EQ(error == noErr, instance != nullptr) << "an importer is given exactly when there is no error";
        importer->reset(instance);
        return error;
    }

    // An importer for path drawing into this test's port at destination.
    Importer openForDrawing(const std::string& path, const Rect& destination)
    {
        Importer importer;
        EXPECT_EQ(open(path, &importer), noErr) << path;
        if (importer) {
            EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), port, nullptr), noErr);
            EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &destination), noErr);
        }
        return importer;
    }

    // How many port pixels differ from the given colour function; names the first.
    static int countWrongPixels(const std::function<RGBColor(int h, int v)>& expected)
    {
        int wrong = 0;
        for (int v = 0; v < kPortHeight; ++v) {
            for (int h = 0; h < kPortWidth; ++h) {
                RGBColor actual = pixel(h, v), wanted = expected(h, v);
                if (!(actual == wanted) && ++wrong == 1)
                    ADD_FAILURE() << "first wrong pixel at (" << h << ", " << v << ") is " << testing::PrintToString(actual)
                                  << ", expected " << testing::PrintToString(wanted);
            }
        }
        return wrong;
    }

    std::string folder;
    WindowRef window { nullptr };
    CGrafPtr port { nullptr };
};

// A 10x6 picture: transparent left half, red right half, and a green pixel at (9, 5).
const GifPicture kHalfTransparent = gifPicture(10, 6, { kGifBlack, kGifRed, kGifGreen, kGifGrey },
    [](int x, int y) { return x == 9 && y == 5 ? 2 : x < 5 ? 0 : 1; }, 0);

RGBColor halfTransparentAt(int h, int v, int left, int top)
{
    int x = h - left, y = v - top;
    if (x < 5 || x >= 10 || y < 0 || y >= 6)
        return kBlue;
    return x == 9 && y == 5 ? wide(kGifGreen) : wide(kGifRed);
}

// --- Graphics importers: opening ------------------------------------------------------------

using ImporterOpeningTest = ImageTest;

TEST_F(ImporterOpeningTest, NaturalBoundsComeFromTheHeaderAlone)
{
    // Nothing past the header: an importer that decoded at opening would refuse these.
    Bytes gifHeader = { 'G', 'I', 'F', '8', '7', 'a', 37, 0, 21, 0, 0, 0, 0 };
    writeBytes(file("header.gif"), gifHeader);
    Bytes pngHeader = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
        0, 0, 0x01, 0x2C, 0, 0, 0, 7, 8, 6, 0, 0, 0 }; // 300x7 RGBA, no CRC or data
    writeBytes(file("header.png"), pngHeader);

    Importer gif, png;
    ASSERT_EQ(open(file("header.gif"), &gif), noErr);
    ASSERT_EQ(open(file("header.png"), &png), noErr);
    Rect bounds = { 9, 9, 9, 9 };
    EXPECT_EQ(GraphicsImportGetNaturalBounds(gif.get(), &bounds), noErr);
    EXPECT_EQ(bounds, (Rect { 0, 0, 21, 37 }));
    EXPECT_EQ(GraphicsImportGetNaturalBounds(png.get(), &bounds), noErr);
    EXPECT_EQ(bounds, (Rect { 0, 0, 7, 300 }));
    EXPECT_EQ(GraphicsImportGetNaturalBounds(png.get(), nullptr), paramErr);

    EXPECT_EQ(GraphicsImportSetGWorld(gif.get(), port, nullptr), noErr);
    EXPECT_NE(GraphicsImportDraw(gif.get()), noErr) << "the missing body shows at the first draw";
    EXPECT_EQ(pixel(0, 0), kBlue);
}

TEST_F(ImporterOpeningTest, FilesThatAreNotWholeGifOrPngHeadersGiveNoImporter)
{
    Bytes png = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 5, 0, 0, 0, 5, 8, 2, 0, 0, 0 };
    auto withIHDRByte = [&](size_t at, uint8_t value) {
        Bytes changed = png;
        changed[at] = value;
        return changed;
    };
    auto withSize = [&](uint32_t width, uint32_t height) {
        Bytes changed = png;
        for (int i = 0; i < 4; ++i) {
            changed[16 + i] = static_cast<uint8_t>(width >> (24 - 8 * i));
            changed[20 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
        }
        return changed;
    };
    const struct {
        const char* what;
        Bytes bytes;
        OSErr error;
    } cases[] = {
        { "an empty file", {}, noSuggestedImporterErr },
        { "a cut signature", { 'G', 'I', 'F', '8' }, invalidImageErr },
        { "a GIF cut in its screen descriptor", { 'G', 'I', 'F', '8', '9', 'a', 10, 0, 10 }, invalidImageErr },
        { "a PNG cut in its IHDR", Bytes(png.begin(), png.begin() + 20), invalidImageErr },
        { "text", { 'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '\n' }, noSuggestedImporterErr },
        { "a JPEG", { 0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0 }, noSuggestedImporterErr },
        { "a GIF of zero width", { 'G', 'I', 'F', '8', '9', 'a', 0, 0, 10, 0, 0, 0, 0 }, invalidImageErr },
        { "a GIF wider than the cap", { 'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 1, 0, 0, 0, 0 }, invalidImageErr },
        { "a PNG of zero height", withSize(5, 0), invalidImageErr },
        { "a PNG of 2^31 columns", withSize(0x80000000u, 1), invalidImageErr },
        { "a PNG over the pixel cap", withSize(16384, 16384), invalidImageErr },
        { "a PNG whose first chunk is not IHDR", withIHDRByte(12, 'X'), invalidImageErr },
        { "a PNG with a wrong IHDR length", withIHDRByte(11, 14), invalidImageErr },
        { "a PNG with a bit depth its colour type lacks", withIHDRByte(24, 4), invalidImageErr },
    };
    for (const auto& c : cases) {
        writeBytes(file("image"), c.bytes);
        Importer importer;
        EXPECT_EQ(open(file("image"), &importer), c.error) << c.what;
    }

    writeBytes(file("gone.gif"), gifBytes(1, 1, 1, 2, {}));
    FSSpec gone = fsSpecFor(file("gone.gif"));
    std::filesystem::remove(file("gone.gif"));
    ComponentInstance instance = nullptr;
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&gone, &instance, 0), fnfErr);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(nullptr, &instance, 0), paramErr);
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&gone, nullptr, 0), paramErr);
}

TEST_F(ImporterOpeningTest, CallsCheckTheImporterThePortAndTheRectangle)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer;
    ASSERT_EQ(open(file("a.gif"), &importer), noErr);
    Rect bounds;
    EXPECT_EQ(GraphicsImportSetGWorld(nullptr, port, nullptr), badComponentInstance);
    EXPECT_EQ(GraphicsImportGetNaturalBounds(nullptr, &bounds), badComponentInstance);
    EXPECT_EQ(GraphicsImportSetDestRect(nullptr, &bounds), badComponentInstance);
    EXPECT_EQ(GraphicsImportDraw(nullptr), badComponentInstance);
    EXPECT_EQ(CloseComponent(nullptr), static_cast<OSErr>(badComponentInstance));

    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), nullptr, nullptr), paramErr);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), reinterpret_cast<CGrafPtr>(&bounds), nullptr), paramErr);
    const Rect inverted = { 10, 10, 5, 20 }, empty = { 10, 10, 10, 10 };
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &inverted), paramErr);
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), nullptr), paramErr);
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &empty), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << "an empty destination draws nothing, successfully";

    // A port that went with its window is no longer drawn into, even if it was set before.
    WindowRef other = nullptr;
    const Rect content = { 0, 0, 10, 10 };
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &other), noErr);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), GetWindowPort(other), nullptr), noErr);
    CGrafPtr otherPort = GetWindowPort(other);
    DisposeWindow(other);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), otherPort, nullptr), paramErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), paramErr);

    ComponentInstance closed = importer.release();
    EXPECT_EQ(CloseComponent(closed), noErr);
    EXPECT_EQ(CloseComponent(closed), static_cast<OSErr>(badComponentInstance)) << "closing twice";
    EXPECT_EQ(GraphicsImportDraw(closed), badComponentInstance);
}

// --- Graphics importers: drawing ------------------------------------------------------------

using ImporterDrawingTest = ImageTest;

TEST_F(ImporterDrawingTest, TransparentPixelsKeepThePortColourAndOpaqueOnesReplaceIt)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer = openForDrawing(file("a.gif"), { 20, 30, 26, 40 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return halfTransparentAt(h, v, 30, 20); }), 0);
}

TEST_F(ImporterDrawingTest, WithoutAPortOfItsOwnTheImporterDrawsIntoTheCurrentPort)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer;
    ASSERT_EQ(open(file("a.gif"), &importer), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return halfTransparentAt(h, v, 0, 0); }), 0)
        << "at its natural bounds by default";
    SetPort(nullptr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), paramErr);
}

TEST_F(ImporterDrawingTest, DrawingIsClippedToThePortOnEverySide)
{
    writeGif(file("a.gif"), kHalfTransparent);
    const struct {
        const char* what;
        int left, top;
    } cases[] = {
        { "over the top-left corner", -7, -3 },
        { "over the bottom-right corner", 94, 57 },
        { "over the left edge", -6, 20 },
        { "wholly to the right", 100, 10 },
        { "wholly below", 10, 60 },
        { "far outside", -30000, 30000 },
    };
    for (const auto& c : cases) {
        fillPort(kBlue);
        Importer importer = openForDrawing(file("a.gif"), { static_cast<SInt16>(c.top), static_cast<SInt16>(c.left),
                                                              static_cast<SInt16>(c.top + 6), static_cast<SInt16>(c.left + 10) });
        ASSERT_TRUE(importer);
        EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << c.what;
        EXPECT_EQ(countWrongPixels([&](int h, int v) { return halfTransparentAt(h, v, c.left, c.top); }), 0) << c.what;
    }
}

TEST_F(ImporterDrawingTest, ADestinationOfAnotherSizeScalesByNearestNeighbour)
{
    // Four colours in quadrants of a 2x2 picture, the top-left one transparent.
    writeGif(file("q.gif"), gifPicture(2, 2, { kGifBlack, kGifRed, kGifGreen, kGifGrey }, [](int x, int y) { return y * 2 + x; }, 0));
    auto quadrants = [](int left, int top, int width, int height) {
        return [=](int h, int v) {
            if (h < left || h >= left + width || v < top || v >= top + height)
                return kBlue;
            int x = (h - left) * 2 / width, y = (v - top) * 2 / height;
            const GifColorType colors[] = { kGifBlack, kGifRed, kGifGreen, kGifGrey };
            return y * 2 + x == 0 ? kBlue : wide(colors[y * 2 + x]);
        };
    };
    Importer importer = openForDrawing(file("q.gif"), { 10, 20, 16, 28 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels(quadrants(20, 10, 8, 6)), 0) << "enlarged";

    // Stretched past the port's corner: clipped like any other draw.
    fillPort(kBlue);
    const Rect past = { 50, 90, 70, 110 };
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &past), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels(quadrants(90, 50, 20, 20)), 0) << "enlarged past the corner";

    // Shrunk: 64x64 of 16-pixel squares into 4x4, one pixel from each square.
    writeGif(file("big.gif"), gifPicture(64, 64, { kGifBlack, kGifRed, kGifGreen, kGifGrey },
                                  [](int x, int y) { return (x / 16 + y / 16) % 4; }));
    fillPort(kBlue);
    Importer big = openForDrawing(file("big.gif"), { 0, 0, 4, 4 });
    ASSERT_TRUE(big);
    EXPECT_EQ(GraphicsImportDraw(big.get()), noErr);
    const GifColorType colors[] = { kGifBlack, kGifRed, kGifGreen, kGifGrey };
    EXPECT_EQ(countWrongPixels([&](int h, int v) { return h < 4 && v < 4 ? wide(colors[(h + v) % 4]) : kBlue; }), 0) << "shrunk";
}

TEST_F(ImporterDrawingTest, TheFirstDrawDecodesAndLaterDrawsNeedNotReadTheFileAgain)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer = openForDrawing(file("a.gif"), { 0, 0, 6, 10 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    std::filesystem::remove(file("a.gif"));

    fillPort(kBlue);
    const Rect elsewhere = { 40, 70, 46, 80 };
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &elsewhere), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << "drawing twice in the same place";
    EXPECT_EQ(countWrongPixels([](int h, int v) { return halfTransparentAt(h, v, 70, 40); }), 0);
}

TEST_F(ImporterDrawingTest, AGifFrameSitsAtItsOffsetOnATransparentScreenWithItsOwnColours)
{
    GifPicture picture;
    picture.width = 8;
    picture.height = 8;
    picture.globalColors = { kGifBlack, kGifRed };
    picture.frame = { 2, 3, 4, 2, false, { kGifGreen, kGifGrey }, [](int x, int) { return x % 2; } };
    picture.extraFrames = 2;
    writeGif(file("frame.gif"), picture);
    Importer importer = openForDrawing(file("frame.gif"), { 10, 10, 18, 18 });
    ASSERT_TRUE(importer);
    Rect bounds;
    EXPECT_EQ(GraphicsImportGetNaturalBounds(importer.get(), &bounds), noErr);
    EXPECT_EQ(bounds, (Rect { 0, 0, 8, 8 })) << "the logical screen, not the frame";
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) {
        int x = h - 12, y = v - 13;
        if (x < 0 || x >= 4 || y < 0 || y >= 2)
            return kBlue;
        return wide(x % 2 ? kGifGrey : kGifGreen);
    }),
        0);
}

TEST_F(ImporterDrawingTest, AnInterlacedGifHasItsRowsInPlace)
{
    GifPicture picture = gifPicture(3, 11, { kGifBlack, kGifRed, kGifGreen, kGifGrey }, [](int, int y) { return y % 4; });
    picture.frame.interlaced = true;
    writeGif(file("interlaced.gif"), picture);
    Importer importer = openForDrawing(file("interlaced.gif"), { 0, 0, 11, 3 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    const GifColorType colors[] = { kGifBlack, kGifRed, kGifGreen, kGifGrey };
    EXPECT_EQ(countWrongPixels([&](int h, int v) { return h < 3 && v < 11 ? wide(colors[v % 4]) : kBlue; }), 0);
}

TEST_F(ImporterDrawingTest, PngAlphaBlendsAndOtherPngKindsArriveAsRGBA)
{
    // Opaque red, half-transparent white, fully transparent, opaque green.
    writePng(file("rgba.png"), 2, 2, { 255, 0, 0, 255, 255, 255, 255, 128, 9, 9, 9, 0, 0, 200, 0, 255 });
    Importer importer = openForDrawing(file("rgba.png"), { 0, 0, 2, 2 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(pixel(0, 0), wide(kGifRed));
    EXPECT_EQ(pixel(1, 0), (RGBColor { 0x8080, 0x8080, 0xFFFF })) << "white at alpha 128 over blue";
    EXPECT_EQ(pixel(0, 1), kBlue);
    EXPECT_EQ(pixel(1, 1), wide(kGifGreen));

    // 16-bit grey with alpha, and a palette image with transparency: both reach 8-bit RGBA.
    std::vector<png_uint_16> linear = { 65535, 65535, 0, 65535, 0, 0, 65535, 65535 };
    Bytes linearBytes(reinterpret_cast<const uint8_t*>(linear.data()), reinterpret_cast<const uint8_t*>(linear.data() + linear.size()));
    writePng(file("grey16.png"), 2, 2, linearBytes, PNG_FORMAT_LINEAR_Y_ALPHA);
    fillPort(kBlue);
    importer = openForDrawing(file("grey16.png"), { 0, 0, 2, 2 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(pixel(0, 0), kWhite);
    EXPECT_EQ(pixel(1, 0), (RGBColor { 0, 0, 0 }));
    EXPECT_EQ(pixel(0, 1), kBlue);
    EXPECT_EQ(pixel(1, 1), kWhite);

    writePng(file("palette.png"), 2, 1, { 0, 1 }, PNG_FORMAT_RGBA_COLORMAP, { 0, 200, 0, 255, 0, 0, 0, 0 });
    fillPort(kBlue);
    importer = openForDrawing(file("palette.png"), { 5, 5, 6, 7 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(pixel(5, 5), wide(kGifGreen));
    EXPECT_EQ(pixel(6, 5), kBlue);
}

TEST_F(ImporterDrawingTest, AnImageTooFragmentedForRunsDrawsPixelByPixelAlike)
{
    // A checkerboard of transparent and red pixels: one run a pixel, past what runs are kept for.
    writeGif(file("checks.gif"), gifPicture(kPortWidth, kPortHeight, { kGifBlack, kGifRed }, [](int x, int y) { return (x + y) % 2; }, 0));
    Importer importer = openForDrawing(file("checks.gif"), { -1, 0, kPortHeight - 1, kPortWidth });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return v < kPortHeight - 1 && (h + v + 1) % 2 ? wide(kGifRed) : kBlue; }), 0);
}

TEST_F(ImporterDrawingTest, ThePanesPicturesAre64By64WithATransparentBackground)
{
    for (const char* name : { "Accounting-Off.gif", "Accounting-On.gif" }) {
        fillPort(kBlue);
        Importer importer = openForDrawing(std::string(ACCOUNTING_RESOURCES_DIR) + "/" + name, { 0, 0, 64, 64 });
        ASSERT_TRUE(importer) << name;
        Rect bounds;
        EXPECT_EQ(GraphicsImportGetNaturalBounds(importer.get(), &bounds), noErr);
        EXPECT_EQ(bounds, (Rect { 0, 0, 64, 64 })) << name;
        EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << name;
        EXPECT_EQ(pixel(1, 1), kBlue) << name << ": the corner is transparent";
        EXPECT_NE(pixel(25, 30), kBlue) << name << ": the page is opaque";
    }

    IconFamilyHandle family = nullptr;
    FSSpec fsSpec = fsSpecFor(std::string(ACCOUNTING_RESOURCES_DIR) + "/Accounting.icns");
    ASSERT_EQ(ReadIconFile(&fsSpec, &family), noErr);
    auto handle = reinterpret_cast<Handle>(family);
    const auto* element = reinterpret_cast<const uint8_t*>(*handle) + 8;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(element), 4), "ic07");
    imaging::Image icon;
    EXPECT_EQ(imaging::decode(element + 8, static_cast<size_t>(GetHandleSize(handle)) - 16, &icon), imaging::Result::Ok);
    EXPECT_EQ(icon.width, 128);
    EXPECT_EQ(icon.height, 128);
    DisposeHandle(handle);
}

// --- Graphics importers: broken files -------------------------------------------------------

using ImporterFailureTest = ImageTest;

TEST_F(ImporterFailureTest, ACorruptBodyFailsEveryDrawAndDrawsNothing)
{
    // Code 7 right after the clear code names no table entry.
    writeBytes(file("corrupt.gif"), gifBytes(4, 4, 1, 2, { 0xFF, 0xFF, 0xFF }));
    Importer importer = openForDrawing(file("corrupt.gif"), { 0, 0, 4, 4 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr);
    EXPECT_EQ(pixel(0, 0), kBlue);

    // Mended on disk, it still fails: the failure was kept rather than retried at each draw.
    writeGif(file("corrupt.gif"), gifPicture(4, 4, { kGifBlack, kGifRed }, [](int, int) { return 1; }));
    EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr);
    EXPECT_EQ(pixel(0, 0), kBlue);
}

TEST_F(ImporterFailureTest, HostileGifBodiesFailTheDrawWithoutHarm)
{
    Bytes colourThreeOfFour = gifBytes(2, 1, 2, 2, kTwoPixelsOfColourThree);
    Bytes colourThreeOfTwo = gifBytes(2, 1, 1, 2, kTwoPixelsOfColourThree);
    Bytes noColours = gifBytes(2, 1, 0, 2, kTwoPixelsOfColourThree);
    Bytes hugeFrame = colourThreeOfTwo;
    hugeFrame[13 + 6 + 5] = hugeFrame[13 + 6 + 6] = hugeFrame[13 + 6 + 7] = hugeFrame[13 + 6 + 8] = 0xFF; // 65535x65535
    Bytes cutData = colourThreeOfFour;
    cutData.resize(cutData.size() - 4);
    Bytes badCodeSize = colourThreeOfFour;
    badCodeSize[13 + 12 + 10] = 12;

    writeBytes(file("good.gif"), colourThreeOfFour);
    Importer good = openForDrawing(file("good.gif"), { 0, 0, 1, 2 });
    ASSERT_TRUE(good);
    EXPECT_EQ(GraphicsImportDraw(good.get()), noErr) << "the hand-made data is right";
    EXPECT_EQ(pixel(1, 0), (RGBColor { 180 * 257, 0, 0 }));

    const struct {
        const char* what;
        const Bytes& bytes;
    } cases[] = {
        { "a colour index past the colour table", colourThreeOfTwo },
        { "no colour table at all", noColours },
        { "a frame of 65535x65535", hugeFrame },
        { "image data cut short", cutData },
        { "an LZW code size of 12", badCodeSize },
    };
    for (const auto& c : cases) {
        writeBytes(file("hostile.gif"), c.bytes);
        Importer importer = openForDrawing(file("hostile.gif"), { 0, 0, 1, 2 });
        ASSERT_TRUE(importer) << c.what;
        fillPort(kBlue);
        EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr) << c.what;
        EXPECT_EQ(pixel(0, 0), kBlue) << c.what;
    }
}

TEST_F(ImporterFailureTest, HostilePngBodiesFailTheDrawWithoutHarm)
{
    writePng(file("good.png"), 3, 3, Bytes(36, 200));
    Bytes good = readBytes(file("good.png"));
    Bytes badCRC = good;
    badCRC[good.size() - 20] ^= 0x55; // inside IDAT
    Bytes cut = good;
    cut.resize(good.size() - 16); // past IDAT's start, before IEND

    for (const auto& [what, bytes] : { std::pair { "a corrupt IDAT", badCRC }, { "a file cut short", cut } }) {
        writeBytes(file("hostile.png"), bytes);
        Importer importer = openForDrawing(file("hostile.png"), { 0, 0, 3, 3 });
        ASSERT_TRUE(importer) << what;
        EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr) << what;
        EXPECT_EQ(pixel(0, 0), kBlue) << what;
    }
}

// --- Decoding, without files ----------------------------------------------------------------

TEST(ImageDecodingTest, DecodingTellsTruncatedFromInvalidAndKeepsToTheCaps)
{
    imaging::Image image;
    image.width = 77;
    Bytes good = gifBytes(2, 1, 2, 2, kTwoPixelsOfColourThree);
    ASSERT_EQ(imaging::decode(good.data(), good.size(), &image), imaging::Result::Ok);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.rgba, (Bytes { 180, 0, 0, 255, 180, 0, 0, 255 }));

    Bytes cut(good.begin(), good.end() - 4);
    imaging::Image untouched;
    EXPECT_EQ(imaging::decode(cut.data(), cut.size(), &untouched), imaging::Result::Truncated);
    EXPECT_EQ(imaging::checkStructure(cut.data(), cut.size()), imaging::Result::Truncated);
    EXPECT_TRUE(untouched.rgba.empty()) << "nothing is written on failure";

    Bytes noTrailer(good.begin(), good.end() - 1);
    EXPECT_EQ(imaging::decode(noTrailer.data(), noTrailer.size(), &image), imaging::Result::Ok) << "the first frame is whole";
    EXPECT_EQ(imaging::checkStructure(noTrailer.data(), noTrailer.size()), imaging::Result::Truncated);

    Bytes unknownBlock = good;
    unknownBlock.back() = 0x99;
    EXPECT_EQ(imaging::checkStructure(unknownBlock.data(), unknownBlock.size()), imaging::Result::Invalid);
    EXPECT_EQ(imaging::decode(nullptr, 0, &image), imaging::Result::UnknownFormat);
    EXPECT_EQ(imaging::sniffFormat(good.data(), 5), imaging::Format::Unknown);
}

TEST(ImageDecodingTest, EveryTruncationAndManyCorruptionsOfAGoodFileAreRefusedSafely)
{
    char pattern[] = "/tmp/image-decoding-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    GifPicture interlaced = gifPicture(12, 9, { kGifBlack, kGifRed, kGifGreen, kGifGrey }, [](int x, int y) { return (x * y) % 4; }, 2);
    interlaced.frame.interlaced = true;
    writeGif(folder + "/a.gif", interlaced);
    Bytes pixels(12 * 9 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 37);
    writePng(folder + "/a.png", 12, 9, pixels);
    const Bytes files[] = { readBytes(folder + "/a.gif"), readBytes(folder + "/a.png") };
    std::filesystem::remove_all(folder);

    for (const Bytes& good : files) {
        imaging::Image image;
        ASSERT_EQ(imaging::decode(good.data(), good.size(), &image), imaging::Result::Ok);
        ASSERT_EQ(imaging::checkStructure(good.data(), good.size()), imaging::Result::Ok);
        for (size_t length = 0; length < good.size(); ++length) {
            Bytes cut(good.begin(), good.begin() + static_cast<long>(length));
            EXPECT_NE(imaging::checkStructure(cut.data(), cut.size()), imaging::Result::Ok) << "cut to " << length;
            imaging::decode(cut.data(), cut.size(), &image);
        }
        // Whatever a corruption does to the result, it must neither crash nor read out of bounds.
        uint32_t random = 12345;
        auto next = [&random] { return random = random * 1103515245u + 12345u, random >> 8; };
        for (int round = 0; round < 400; ++round) {
            Bytes corrupt = good;
            for (int change = 0, changes = 1 + static_cast<int>(next() % 4); change < changes; ++change)
                corrupt[8 + next() % (corrupt.size() - 8)] = static_cast<uint8_t>(next());
            if (imaging::decode(corrupt.data(), corrupt.size(), &image) == imaging::Result::Ok) {
                EXPECT_EQ(image.rgba.size(), static_cast<size_t>(image.width) * image.height * 4);
            }
            imaging::checkStructure(corrupt.data(), corrupt.size());
        }
    }
}

// --- Image sources --------------------------------------------------------------------------

class ImageSourceTest : public ImageTest {
protected:
    Source sourceFor(const std::string& path)
    {
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.c_str()),
            static_cast<CFIndex>(path.size()), false);
        Source source(CGImageSourceCreateWithURL(url, nullptr));
        CFRelease(url);
        return source;
    }
};

TEST_F(ImageSourceTest, WholeGifAndPngFilesGiveImagesOfTheirSize)
{
    writeGif(file("a.gif"), kHalfTransparent);
    writePng(file("a.png"), 3, 2, Bytes(24, 90));
    for (auto [name, width, height] : { std::tuple { "a.gif", 10, 6 }, { "a.png", 3, 2 } }) {
        Source source = sourceFor(file(name));
        ASSERT_TRUE(source) << name;
        EXPECT_EQ(CGImageSourceGetStatus(source.get()), kCGImageStatusComplete) << name;
        Image image(CGImageSourceCreateImageAtIndex(source.get(), 0, nullptr));
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(CGImageGetWidth(image.get()), static_cast<size_t>(width)) << name;
        EXPECT_EQ(CGImageGetHeight(image.get()), static_cast<size_t>(height)) << name;
        Image again(CGImageSourceCreateImageAtIndex(source.get(), 0, nullptr));
        EXPECT_TRUE(again) << name;
        EXPECT_EQ(CGImageSourceCreateImageAtIndex(source.get(), 1, nullptr), nullptr) << name;
    }
    CGImageRelease(nullptr);
    EXPECT_EQ(CGImageGetWidth(nullptr), 0u);
}

TEST_F(ImageSourceTest, TheStatusTellsUnknownTruncatedAndCorruptFilesApart)
{
    writeGif(file("good.gif"), kHalfTransparent);
    Bytes good = readBytes(file("good.gif"));
    writeBytes(file("text"), { 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e' });
    writeBytes(file("cut.gif"), Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)));
    writeBytes(file("corrupt.gif"), gifBytes(4, 4, 1, 2, { 0xFF, 0xFF, 0xFF }));
    writeBytes(file("zero.gif"), { 'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B });
    const struct {
        const char* name;
        CGImageSourceStatus status;
    } cases[] = {
        { "text", kCGImageStatusUnknownType },
        { "cut.gif", kCGImageStatusUnexpectedEOF },
        { "corrupt.gif", kCGImageStatusInvalidData },
        { "zero.gif", kCGImageStatusInvalidData },
    };
    for (const auto& c : cases) {
        Source source = sourceFor(file(c.name));
        ASSERT_TRUE(source) << c.name << ": a readable file gives a source, whatever it holds";
        EXPECT_EQ(CGImageSourceGetStatus(source.get()), c.status) << c.name;
        EXPECT_EQ(CGImageSourceCreateImageAtIndex(source.get(), 0, nullptr), nullptr) << c.name;
    }
    EXPECT_FALSE(sourceFor(file("missing.gif"))) << "an unreadable file gives none";
    EXPECT_FALSE(sourceFor(folder)) << "nor does a folder";
    EXPECT_EQ(CGImageSourceCreateWithURL(nullptr, nullptr), nullptr);
}

TEST_F(ImageSourceTest, TheAvailabilitySwitchIsOnUntilTurnedOff)
{
    EXPECT_TRUE(_CGImageSourceIsAvailable());
    _CGImageSourceSetAvailable(false);
    EXPECT_FALSE(_CGImageSourceIsAvailable());
    _CGImageSourceSetAvailable(true);
    EXPECT_TRUE(_CGImageSourceIsAvailable());
}

// --- Icon families --------------------------------------------------------------------------

using IconTest = ImageTest;

const Bytes kGoodFamily = iconFamily({ { 'ic07', { 1, 2, 3, 4, 5 } }, { 'TOC ', {} } });

TEST_F(IconTest, AWellFormedFamilyIsReadIntoANewOrAnExistingHandle)
{
    writeBytes(file("good.icns"), kGoodFamily);
    FSSpec fsSpec = fsSpecFor(file("good.icns"));

    IconFamilyHandle family = nullptr;
    ASSERT_EQ(ReadIconFile(&fsSpec, &family), noErr);
    ASSERT_NE(family, nullptr);
    auto handle = reinterpret_cast<Handle>(family);
    ASSERT_EQ(GetHandleSize(handle), static_cast<Size>(kGoodFamily.size()));
    EXPECT_EQ(Bytes(*handle, *handle + kGoodFamily.size()), kGoodFamily);

    IconRef icon = nullptr;
    EXPECT_EQ(GetIconRefFromIconFamilyPtr(*family, GetHandleSize(handle), &icon), noErr);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(ReleaseIconRef(icon), noErr);
    EXPECT_EQ(ReleaseIconRef(nullptr), paramErr);

    Handle existing = NewHandle(3);
    auto existingFamily = reinterpret_cast<IconFamilyHandle>(existing);
    EXPECT_EQ(ReadIconFile(&fsSpec, &existingFamily), noErr);
    EXPECT_EQ(existingFamily, reinterpret_cast<IconFamilyHandle>(existing)) << "the handle given is the one filled";
    EXPECT_EQ(GetHandleSize(existing), static_cast<Size>(kGoodFamily.size()));
    EXPECT_EQ(Bytes(*existing, *existing + kGoodFamily.size()), kGoodFamily);
    DisposeHandle(existing);
    DisposeHandle(handle);
}

TEST_F(IconTest, MalformedFamiliesAreRefusedAndTheHandleIsLeftAlone)
{
    Bytes wrongTotal = kGoodFamily;
    wrongTotal[7] += 1;
    Bytes shortElement = kGoodFamily;
    shortElement[8 + 7] = 7; // 'ic07' claims 7 bytes, less than its own header
    Bytes longElement = kGoodFamily;
    longElement[8 + 7] = 200; // 'ic07' claims to run past the end
    Bytes wrongType = kGoodFamily;
    wrongType[0] = 'I';
    Bytes cut(kGoodFamily.begin(), kGoodFamily.end() - 3);
    Bytes strayBytes = iconFamily({ { 'ic07', { 1 } } });
    strayBytes.insert(strayBytes.end(), { 0, 0, 0 });
    strayBytes[7] += 3;

    const struct {
        const char* what;
        const Bytes& bytes;
    } cases[] = {
        { "a total length that is not the file's", wrongTotal },
        { "an element shorter than its header", shortElement },
        { "an element past the end", longElement },
        { "not 'icns'", wrongType },
        { "a truncated file", cut },
        { "bytes too few for an element header", strayBytes },
        { "an empty file", {} },
    };
    Handle existing = NewHandle(2);
    (*existing)[0] = 'x';
    for (const auto& c : cases) {
        writeBytes(file("bad.icns"), c.bytes);
        FSSpec fsSpec = fsSpecFor(file("bad.icns"));
        auto family = reinterpret_cast<IconFamilyHandle>(existing);
        EXPECT_NE(ReadIconFile(&fsSpec, &family), noErr) << c.what;
        EXPECT_EQ(family, reinterpret_cast<IconFamilyHandle>(existing)) << c.what;
        EXPECT_EQ(GetHandleSize(existing), 2) << c.what;
        EXPECT_EQ((*existing)[0], 'x') << c.what;
        IconFamilyHandle none = nullptr;
        EXPECT_NE(ReadIconFile(&fsSpec, &none), noErr) << c.what;
        EXPECT_EQ(none, nullptr) << c.what;

        IconRef icon = reinterpret_cast<IconRef>(&fsSpec);
        const auto* data = reinterpret_cast<const IconFamilyResource*>(c.bytes.data());
        EXPECT_NE(GetIconRefFromIconFamilyPtr(data, static_cast<Size>(c.bytes.size()), &icon), noErr) << c.what;
        EXPECT_EQ(icon, nullptr) << c.what;
    }
    DisposeHandle(existing);

    IconRef icon = nullptr;
    const auto* good = reinterpret_cast<const IconFamilyResource*>(kGoodFamily.data());
    EXPECT_EQ(GetIconRefFromIconFamilyPtr(good, static_cast<Size>(kGoodFamily.size()) - 1, &icon), invalidIconRefErr)
        << "a size that is not the family's own";
    EXPECT_EQ(GetIconRefFromIconFamilyPtr(nullptr, 8, &icon), paramErr);
    EXPECT_EQ(icon, nullptr);
}

// --- Handles --------------------------------------------------------------------------------

using HandleTest = BalancedTest;

TEST_F(HandleTest, HandlesKeepTheirMasterPointerAndTheirDataAcrossResizes)
{
    Handle empty = NewHandle(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_NE(*empty, nullptr);
    EXPECT_EQ(GetHandleSize(empty), 0);
    DisposeHandle(empty);

    Handle h = NewHandle(4);
    ASSERT_NE(h, nullptr);
    memcpy(*h, "abcd", 4);
    HLock(h);
    SetHandleSize(h, 100000);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(GetHandleSize(h), 100000);
    EXPECT_EQ(std::string(*h, 4), "abcd");
    (*h)[99999] = 'z';
    SetHandleSize(h, 2);
    HUnlock(h);
    EXPECT_EQ(GetHandleSize(h), 2);
    EXPECT_EQ(std::string(*h, 2), "ab");

    SetHandleSize(h, -1);
    EXPECT_NE(MemError(), noErr);
    SetHandleSize(h, Size { 1 } << 40);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(GetHandleSize(h), 2) << "a failed resize leaves the handle as it was";
    DisposeHandle(h);
}

TEST_F(HandleTest, BadSizesAndDeadHandlesAreReportedByMemError)
{
    EXPECT_EQ(NewHandle(-1), nullptr);
    EXPECT_NE(MemError(), noErr);
    EXPECT_EQ(NewHandle(Size { 1 } << 40), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
    DisposeHandle(nullptr);
    EXPECT_EQ(MemError(), noErr);

    Handle h = NewHandle(1);
    DisposeHandle(h);
    EXPECT_EQ(GetHandleSize(h), 0);
    EXPECT_NE(MemError(), noErr);
    SetHandleSize(h, 5);
    EXPECT_NE(MemError(), noErr);
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    EXPECT_NE(MemError(), noErr);
}

// --- Ports written as PNG -------------------------------------------------------------------

using PortPNGTest = ImageTest;

TEST_F(PortPNGTest, ThePortIsWrittenAsAnRGBPNGThatReadsBack)
{
    const RGBColor orange = { 0xFFFF, 0x8080, 0 };
    RGBForeColor(&orange);
    const Rect corner = { 50, 90, 60, 100 };
    PaintRect(&corner);

    std::string error;
    ASSERT_TRUE(QDWritePortToPNG(port, file("port.png"), &error)) << error;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, file("port.png").c_str()), 0) << image.message;
    EXPECT_EQ(image.width, static_cast<png_uint_32>(kPortWidth));
    EXPECT_EQ(image.height, static_cast<png_uint_32>(kPortHeight));
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "RGB, without alpha";
    image.format = PNG_FORMAT_RGB;
    Bytes pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0) << image.message;
    auto at = [&](int h, int v) { return Bytes(pixels.begin() + (v * kPortWidth + h) * 3, pixels.begin() + (v * kPortWidth + h) * 3 + 3); };
    EXPECT_EQ(at(0, 0), (Bytes { 0, 0, 255 }));
    EXPECT_EQ(at(95, 55), (Bytes { 255, 128, 0 }));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST_F(PortPNGTest, WritingFailsWithAReasonForADeadPortOrAnUnwritablePlace)
{
    std::string error;
    EXPECT_FALSE(QDWritePortToPNG(port, folder + "/no/such/folder/port.png", &error));
    EXPECT_NE(error.find("no/such/folder"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(QDWritePortToPNG(nullptr, file("port.png"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(QDWritePortToPNG(port, "", nullptr));
    EXPECT_FALSE(std::filesystem::exists(file("port.png")));
}

}
