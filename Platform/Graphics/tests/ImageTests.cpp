// Conformance of the image services: graphics importers drawing GIF and PNG files into ports,
// image sources, icon families, handles, and ports written as PNG. Each test writes its fixture
// images with giflib and libpng, or spells out bytes where a file must be broken in one exact way.
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"

#include <CoreFoundation/CoreFoundation.h>
#include <Graphics/Icons.h>
#include <Graphics/ImageCompression.h>
#include <Graphics/ImageDecodingStandIn.h>
#include <Graphics/ImageIO.h>
#include <Graphics/MacMemory.h>
#include <Graphics/QuickDrawStandIn.h>
#include <HIToolbox/HIToolbox.h>
#include <Graphics/ImageIOStandIn.h>

#include <gif_lib.h>
#include <png.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <sys/stat.h>

static bool operator==(const RGBColor& a, const RGBColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

static void PrintTo(const RGBColor& c, std::ostream* out)
{
    *out << std::hex << "{" << c.red << ", " << c.green << ", " << c.blue << "}" << std::dec;
}

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kPortWidth = 100, kPortHeight = 60;
const RGBColor kBlue = { 0, 0, 0xFFFF }, kWhite = { 0xFFFF, 0xFFFF, 0xFFFF };
const GifColorType kBlack = { 0, 0, 0 }, kRed = { 255, 0, 0 }, kGreen = { 0, 200, 0 }, kGrey = { 128, 128, 128 };
const std::vector<GifColorType> kFourColours = { kBlack, kRed, kGreen, kGrey };

RGBColor wide(GifColorType c)
{
    return { static_cast<UInt16>(c.Red * 257), static_cast<UInt16>(c.Green * 257), static_cast<UInt16>(c.Blue * 257) };
}

std::array<int, 4> sides(const Rect& r)
{
    return { r.top, r.left, r.bottom, r.right };
}

// A GIF of one frame (then copies of it in colour 0, which must never be drawn), coloured by
// index(x, y) in frame coordinates.
struct GifPicture {
    int width, height;
    std::vector<GifColorType> colors;
    std::function<int(int x, int y)> index;
    int transparentIndex = NO_TRANSPARENT_COLOR;
    int left = 0, top = 0, frameWidth = width, frameHeight = height;
    bool interlaced = false;
    std::vector<GifColorType> localColors = {};
    int frames = 1;
};

void writeGif(const std::string& path, const GifPicture& p)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr) << GifErrorString(error);
    auto map = [](const std::vector<GifColorType>& c) { return c.empty() ? nullptr : GifMakeMapObject(static_cast<int>(c.size()), c.data()); };
    ColorMapObject *global = map(p.colors), *local = map(p.localColors);
    EXPECT_EQ(EGifPutScreenDesc(gif, p.width, p.height, 8, 0, global), GIF_OK);
    for (int frame = 0; frame < p.frames; ++frame) {
        if (p.transparentIndex != NO_TRANSPARENT_COLOR) {
            GraphicsControlBlock control = { DISPOSAL_UNSPECIFIED, false, 0, p.transparentIndex };
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension), GIF_OK);
        }
        EXPECT_EQ(EGifPutImageDesc(gif, p.left, p.top, p.frameWidth, p.frameHeight, p.interlaced, local), GIF_OK);
        // An interlaced frame's rows are stored in four passes.
        const int starts[] = { 0, 4, 2, 1 }, steps[] = { 8, 8, 4, 2 };
        std::vector<GifPixelType> line(static_cast<size_t>(p.frameWidth));
        for (int pass = 0; pass < (p.interlaced ? 4 : 1); ++pass) {
            for (int y = p.interlaced ? starts[pass] : 0; y < p.frameHeight; y += p.interlaced ? steps[pass] : 1) {
                for (int x = 0; x < p.frameWidth; ++x)
                    line[x] = static_cast<GifPixelType>(frame == 0 ? p.index(x, y) : 0);
                EXPECT_EQ(EGifPutLine(gif, line.data(), p.frameWidth), GIF_OK);
            }
        }
    }
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
}

// Through libpng's simplified interface: 8-bit RGBA unless format says otherwise; with a colour
// map of RGBA entries, pixels are indices into it.
void writePng(const std::string& path, int width, int height, const Bytes& pixels, png_uint_32 format = PNG_FORMAT_RGBA,
    const Bytes& colormap = {})
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = format;
    image.colormap_entries = static_cast<png_uint_32>(colormap.size() / 4);
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, colormap.empty() ? nullptr : colormap.data()))
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

// A GIF by hand: a global table of 2^colorBits colours (red 0, 60, 120...; none for 0 bits), one
// frame over the whole screen with the given LZW code size and data (at most 255 bytes).
Bytes gifBytes(int width, int height, int colorBits, uint8_t codeSize, const Bytes& lzw)
{
    auto u8 = [](int v) { return static_cast<uint8_t>(v); };
    Bytes bytes = { 'G', 'I', 'F', '8', '9', 'a', u8(width), u8(width >> 8), u8(height), u8(height >> 8), u8(colorBits ? 0x7F + colorBits : 0), 0, 0 };
    for (int i = 0; colorBits && i < (1 << colorBits); ++i)
        bytes.insert(bytes.end(), { u8(i * 60), 0, 0 });
    bytes.insert(bytes.end(), { 0x2C, 0, 0, 0, 0, u8(width), u8(width >> 8), u8(height), u8(height >> 8), 0, codeSize, u8(lzw.size()) });
    bytes.insert(bytes.end(), lzw.begin(), lzw.end());
    bytes.insert(bytes.end(), { 0, 0x3B });
    return bytes;
}

// Two pixels of colour 3: at code size 2 codes are 3 bits, clear is 4 and end 5, and clear, 3, 3,
// end packed from the least significant bit are 0xDC 0x0A.
const Bytes kTwoPixelsOfColourThree = { 0xDC, 0x0A };
// Those two pixels on a 2x1 screen, in a frame that claims 65535x65535 pixels: the descriptor is
// at 25, the code size at 35, the data from 36 on.
Bytes gifOfAHugeFrame()
{
    Bytes bytes = gifBytes(2, 1, 2, 2, kTwoPixelsOfColourThree);
    std::fill(bytes.begin() + 30, bytes.begin() + 34, 0xFF);
    return bytes;
}

// Code 7 straight after the clear code names no table entry.
const Bytes kBadLZW = { 0xFF, 0xFF, 0xFF };

void appendBigEndian32(Bytes* bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes->push_back(static_cast<uint8_t>(value >> shift));
}

Bytes iconFamily(const std::vector<std::pair<uint32_t, Bytes>>& elements)
{
    Bytes body;
    for (const auto& [type, data] : elements) {
        appendBigEndian32(&body, type);
        appendBigEndian32(&body, static_cast<uint32_t>(data.size() + 8));
        body.insert(body.end(), data.begin(), data.end());
    }
    Bytes family;
    appendBigEndian32(&family, 'icns');
    appendBigEndian32(&family, static_cast<uint32_t>(body.size() + 8));
    family.insert(family.end(), body.begin(), body.end());
    return family;
}

struct ImporterCloser {
    void operator()(ComponentInstanceRecord* importer) const { CloseComponent(importer); }
};
using Importer = std::unique_ptr<ComponentInstanceRecord, ImporterCloser>;

// Every test has a folder of its own for its files, and a window whose port is blue and current.
class ImageTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_FALSE(folder.empty());
        const Rect content = { 40, 50, 40 + kPortHeight, 50 + kPortWidth };
        ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &window), noErr);
        port = GetWindowPort(window);
        SetPort(port);
        fillPort(kBlue);
    }

    void TearDown() override
    {
        DisposeWindow(window);
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
        RGBColor color = { 1, 2, 3 };
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
        EXPECT_EQ(error == noErr, instance != nullptr) << "an importer exactly when there is no error";
        importer->reset(instance);
        return error;
    }

    // An importer for path, drawing into this test's port at destination.
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

    // The number of port pixels that differ from expected(h, v), naming the first.
    static int countWrongPixels(const std::function<RGBColor(int h, int v)>& expected)
    {
        int wrong = 0;
        for (int v = 0; v < kPortHeight; ++v) {
            for (int h = 0; h < kPortWidth; ++h) {
                RGBColor actual = pixel(h, v), wanted = expected(h, v);
                if (!(actual == wanted) && ++wrong == 1)
                    ADD_FAILURE() << "at (" << h << ", " << v << "): " << testing::PrintToString(actual) << ", expected "
                                  << testing::PrintToString(wanted);
            }
        }
        return wrong;
    }

    TemporaryTree tree;
    const std::string folder = tree.root();
    WindowRef window { nullptr };
    CGrafPtr port { nullptr };
};

// 10x6: a transparent left half, a red right half, a green pixel at (9, 5).
int halfTransparentIndex(int x, int y)
{
    if (x == 9 && y == 5)
        return 2;
    return x < 5 ? 0 : 1;
}
const GifPicture kHalfTransparent = { 10, 6, kFourColours, halfTransparentIndex, 0 };

RGBColor halfTransparentAt(int h, int v, int left, int top)
{
    int x = h - left, y = v - top;
    if (x < 5 || x >= 10 || y < 0 || y >= 6)
        return kBlue;
    return wide(x == 9 && y == 5 ? kGreen : kRed);
}

using ImporterTest = ImageTest;

TEST_F(ImporterTest, NaturalBoundsComeFromTheHeaderAloneAndTheBodyFromTheFirstDraw)
{
    writeBytes(file("header.gif"), { 'G', 'I', 'F', '8', '7', 'a', 37, 0, 21, 0, 0, 0, 0 });
    writeBytes(file("header.png"), { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 1, 44, 0, 0, 0, 7, 8, 6, 0, 0, 0 });
    Importer gif, png;
    ASSERT_EQ(open(file("header.gif"), &gif), noErr);
    ASSERT_EQ(open(file("header.png"), &png), noErr);
    Rect bounds;
    EXPECT_EQ(GraphicsImportGetNaturalBounds(gif.get(), &bounds), noErr);
    EXPECT_EQ(sides(bounds), (std::array { 0, 0, 21, 37 }));
    EXPECT_EQ(GraphicsImportGetNaturalBounds(png.get(), &bounds), noErr);
    EXPECT_EQ(sides(bounds), (std::array { 0, 0, 7, 300 }));
    EXPECT_EQ(GraphicsImportGetNaturalBounds(png.get(), nullptr), paramErr);
    EXPECT_EQ(GraphicsImportDraw(gif.get()), invalidImageErr) << "the missing body shows at the first draw";
    EXPECT_EQ(pixel(0, 0), kBlue);
}

TEST_F(ImporterTest, FilesWithoutAWholeGifOrPngHeaderGiveNoImporter)
{
    const Bytes png = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R', 0, 0, 0, 5, 0, 0, 0, 5, 8, 2, 0, 0, 0 };
    auto changed = [&](std::initializer_list<std::pair<size_t, uint8_t>> changes) {
        Bytes bytes = png;
        for (auto [at, value] : changes)
            bytes[at] = value;
        return bytes;
    };
    const struct {
        const char* what;
        Bytes bytes;
        OSErr error;
    } cases[] = {
        { "an empty file", {}, noSuggestedImporterErr },
        { "text", { 'h', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '!', '\n' }, noSuggestedImporterErr },
        { "a cut signature", { 'G', 'I', 'F', '8' }, invalidImageErr },
        { "a GIF cut in its screen descriptor", { 'G', 'I', 'F', '8', '9', 'a', 10, 0, 10 }, invalidImageErr },
        { "a PNG cut in its IHDR", Bytes(png.begin(), png.begin() + 20), invalidImageErr },
        { "a GIF of zero width", { 'G', 'I', 'F', '8', '9', 'a', 0, 0, 10, 0, 0, 0, 0 }, invalidImageErr },
        { "a GIF wider than the cap", { 'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 1, 0, 0, 0, 0 }, invalidImageErr },
        { "a PNG of zero height", changed({ { 23, 0 } }), invalidImageErr },
        { "a PNG over 2^31 columns wide", changed({ { 16, 0x80 } }), invalidImageErr },
        { "a PNG of 16384x16384, past the pixel cap", changed({ { 18, 0x40 }, { 19, 0 }, { 22, 0x40 }, { 23, 0 } }), invalidImageErr },
        { "a PNG starting with another chunk", changed({ { 12, 'X' } }), invalidImageErr },
        { "a PNG with a wrong IHDR length", changed({ { 11, 14 } }), invalidImageErr },
        { "a PNG of a bit depth its colour type lacks", changed({ { 24, 4 } }), invalidImageErr },
    };
    for (const auto& c : cases) {
        writeBytes(file("image"), c.bytes);
        Importer importer;
        EXPECT_EQ(open(file("image"), &importer), c.error) << c.what;
    }

    FSSpec gone = fsSpecFor(file("image"));
    std::filesystem::remove(file("image"));
    ComponentInstance instance = nullptr;
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(&gone, &instance, 0), fnfErr);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(GetGraphicsImporterForFileWithFlags(nullptr, &instance, 0), paramErr);
}

TEST_F(ImporterTest, CallsCheckTheImporterThePortAndTheRectangle)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer;
    ASSERT_EQ(open(file("a.gif"), &importer), noErr);
    Rect r = { 10, 10, 5, 20 }; // inverted
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &r), paramErr);
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), nullptr), paramErr);
    r.bottom = r.top;
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &r), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << "an empty destination draws nothing, successfully";
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), nullptr, nullptr), paramErr);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), reinterpret_cast<CGrafPtr>(&r), nullptr), paramErr);

    // A port set before its window went is not drawn into.
    WindowRef other = nullptr;
    const Rect content = { 0, 0, 10, 10 };
    ASSERT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &other), noErr);
    CGrafPtr otherPort = GetWindowPort(other);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), otherPort, nullptr), noErr);
    DisposeWindow(other);
    EXPECT_EQ(GraphicsImportSetGWorld(importer.get(), otherPort, nullptr), paramErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), paramErr);

    ComponentInstance closed = importer.release();
    EXPECT_EQ(CloseComponent(closed), noErr);
    for (ComponentInstance bad : { closed, static_cast<ComponentInstance>(nullptr) }) {
        EXPECT_EQ(CloseComponent(bad), static_cast<OSErr>(badComponentInstance));
        EXPECT_EQ(GraphicsImportSetGWorld(bad, port, nullptr), badComponentInstance);
        EXPECT_EQ(GraphicsImportGetNaturalBounds(bad, &r), badComponentInstance);
        EXPECT_EQ(GraphicsImportSetDestRect(bad, &r), badComponentInstance);
        EXPECT_EQ(GraphicsImportDraw(bad), badComponentInstance);
    }
}

TEST_F(ImporterTest, TransparentPixelsKeepThePortColourAndLaterDrawsNeedNoFile)
{
    writeGif(file("a.gif"), kHalfTransparent);
    Importer importer = openForDrawing(file("a.gif"), { 0, 0, 6, 10 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    // The first draw decoded the image and kept its pixels: the file is not needed again.
    std::filesystem::copy_file(file("a.gif"), file("b.gif"));
    std::filesystem::remove(file("a.gif"));
    fillPort(kBlue);
    const Rect elsewhere = { 20, 30, 26, 40 };
    EXPECT_EQ(GraphicsImportSetDestRect(importer.get(), &elsewhere), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return halfTransparentAt(h, v, 30, 20); }), 0);

    // Without a port of its own, an importer draws into the current one at its natural bounds.
    fillPort(kBlue);
    ASSERT_EQ(open(file("b.gif"), &importer), noErr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return halfTransparentAt(h, v, 0, 0); }), 0);
    SetPort(nullptr);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), paramErr);
}

TEST_F(ImporterTest, DrawingIsClippedToThePortOnEverySide)
{
    writeGif(file("a.gif"), kHalfTransparent);
    const std::pair<int, int> corners[] = { { -7, -3 }, { 94, 57 }, { -6, 20 }, { 100, 10 }, { 10, 60 }, { -30000, 30000 } };
    for (const auto& corner : corners) {
        // Plain variables: a lambda cannot capture a structured binding before C++20's fix, which clang 14 lacks.
        int left = corner.first;
        int top = corner.second;
        fillPort(kBlue);
        auto s16 = [](int v) { return static_cast<SInt16>(v); };
        Importer importer = openForDrawing(file("a.gif"), { s16(top), s16(left), s16(top + 6), s16(left + 10) });
        ASSERT_TRUE(importer);
        EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << "at " << left << ", " << top;
        EXPECT_EQ(countWrongPixels([&](int h, int v) { return halfTransparentAt(h, v, left, top); }), 0) << "at " << left << ", " << top;
    }
}

TEST_F(ImporterTest, ADestinationOfAnotherSizeScalesByNearestNeighbour)
{
    // 2x2 quadrants, the top-left one transparent, enlarged to 8x6 and clipped at the port's edge.
    writeGif(file("q.gif"), { 2, 2, kFourColours, [](int x, int y) { return y * 2 + x; }, 0 });
    Importer importer = openForDrawing(file("q.gif"), { 10, 96, 16, 104 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) {
        int quadrant = (v - 10) / 3 * 2 + (h - 96) / 4;
        return v < 10 || v >= 16 || h < 96 || quadrant == 0 ? kBlue : wide(kFourColours[quadrant]);
    }),
        0);

    // 64x64 of 16-pixel squares shrunk to 4x4: one pixel from each square.
    fillPort(kBlue);
    writeGif(file("big.gif"), { 64, 64, kFourColours, [](int x, int y) { return (x / 16 + y / 16) % 4; } });
    importer = openForDrawing(file("big.gif"), { 0, 0, 4, 4 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return h < 4 && v < 4 ? wide(kFourColours[(h + v) % 4]) : kBlue; }), 0);
}

TEST_F(ImporterTest, TheFirstGifFrameSitsAtItsOffsetOnATransparentScreenInItsOwnColours)
{
    // An interlaced 3x11 frame at (2, 1) on an 8x14 screen, with colours of its own; two more
    // frames follow and must not show.
    GifPicture picture = { 8, 14, { kBlack, kRed }, [](int, int y) { return y % 4; } };
    picture.left = 2, picture.top = 1, picture.frameWidth = 3, picture.frameHeight = 11, picture.interlaced = true;
    picture.localColors = { kGreen, kGrey, { 255, 255, 255 }, { 10, 20, 30 } };
    picture.frames = 3;
    writeGif(file("frame.gif"), picture);
    Importer importer = openForDrawing(file("frame.gif"), { 10, 10, 24, 18 });
    ASSERT_TRUE(importer);
    Rect bounds;
    EXPECT_EQ(GraphicsImportGetNaturalBounds(importer.get(), &bounds), noErr);
    EXPECT_EQ(sides(bounds), (std::array { 0, 0, 14, 8 })) << "the logical screen, not the frame";
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([&](int h, int v) {
        int x = h - 12, y = v - 11;
        return x < 0 || x >= 3 || y < 0 || y >= 11 ? kBlue : wide(picture.localColors[y % 4]);
    }),
        0);
}

TEST_F(ImporterTest, PngAlphaBlendsAndOtherKindsOfPngArriveAsRGBA)
{
    // Opaque red, white at alpha 128, transparent, opaque green.
    writePng(file("rgba.png"), 2, 2, { 255, 0, 0, 255, 255, 255, 255, 128, 9, 9, 9, 0, 0, 200, 0, 255 });
    // 16-bit grey with alpha: white, black, transparent, white.
    std::vector<png_uint_16> grey = { 65535, 65535, 0, 65535, 0, 0, 65535, 65535 };
    writePng(file("grey16.png"), 2, 2, Bytes(reinterpret_cast<uint8_t*>(grey.data()), reinterpret_cast<uint8_t*>(grey.data() + 8)),
        PNG_FORMAT_LINEAR_Y_ALPHA);
    // A palette of green and a transparent entry.
    writePng(file("palette.png"), 2, 1, { 0, 1 }, PNG_FORMAT_RGBA_COLORMAP, { 0, 200, 0, 255, 0, 0, 0, 0 });
    const struct {
        const char* name;
        int width, height;
        std::vector<RGBColor> expected;
    } cases[] = {
        { "rgba.png", 2, 2, { wide(kRed), { 0x8080, 0x8080, 0xFFFF }, kBlue, wide(kGreen) } },
        { "grey16.png", 2, 2, { kWhite, { 0, 0, 0 }, kBlue, kWhite } },
        { "palette.png", 2, 1, { wide(kGreen), kBlue } },
    };
    for (const auto& c : cases) {
        fillPort(kBlue);
        Importer importer = openForDrawing(file(c.name), { 5, 5, static_cast<SInt16>(5 + c.height), static_cast<SInt16>(5 + c.width) });
        ASSERT_TRUE(importer) << c.name;
        EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << c.name;
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(pixel(5 + static_cast<int>(i) % c.width, 5 + static_cast<int>(i) / c.width), c.expected[i]) << c.name << " " << i;
    }
}

TEST_F(ImporterTest, AnImageTooFragmentedForRunsDrawsAlikePixelByPixel)
{
    writeGif(file("checks.gif"), { kPortWidth, kPortHeight, { kBlack, kRed }, [](int x, int y) { return (x + y) % 2; }, 0 });
    Importer importer = openForDrawing(file("checks.gif"), { -1, 0, kPortHeight - 1, kPortWidth });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr);
    EXPECT_EQ(countWrongPixels([](int h, int v) { return v < kPortHeight - 1 && (h + v + 1) % 2 ? wide(kRed) : kBlue; }), 0);
}

TEST_F(ImporterTest, ThePanesPicturesAre64By64WithATransparentBackground)
{
    for (const char* name : { "Accounting-Off.gif", "Accounting-On.gif" }) {
        fillPort(kBlue);
        Importer importer = openForDrawing(std::string(ACCOUNTING_RESOURCES_DIR) + "/" + name, { 0, 0, 64, 64 });
        ASSERT_TRUE(importer) << name;
        Rect bounds;
        EXPECT_EQ(GraphicsImportGetNaturalBounds(importer.get(), &bounds), noErr);
        EXPECT_EQ(sides(bounds), (std::array { 0, 0, 64, 64 })) << name;
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
    StandIn::Imaging::Image icon;
    EXPECT_EQ(StandIn::Imaging::decode(element + 8, static_cast<size_t>(GetHandleSize(handle)) - 16, &icon), StandIn::Imaging::Result::Ok);
    EXPECT_EQ(icon.width, 128);
    EXPECT_EQ(icon.height, 128);
    DisposeHandle(handle);
}

TEST_F(ImporterTest, ACorruptBodyFailsEveryDrawAndDrawsNothing)
{
    writeBytes(file("corrupt.gif"), gifBytes(4, 4, 1, 2, kBadLZW));
    Importer importer = openForDrawing(file("corrupt.gif"), { 0, 0, 4, 4 });
    ASSERT_TRUE(importer);
    EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr);
    // Mended on disk, it still fails: the failure is kept, not retried at each draw.
    writeGif(file("corrupt.gif"), { 4, 4, { kBlack, kRed }, [](int, int) { return 1; } });
    EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr);
    EXPECT_EQ(pixel(0, 0), kBlue);
}

TEST_F(ImporterTest, HostileBodiesFailTheDrawWithoutHarm)
{
    const Bytes good = gifBytes(2, 1, 2, 2, kTwoPixelsOfColourThree); // descriptor at 25, code size at 35
    Bytes badCodeSize = good;
    badCodeSize[35] = 12;
    writePng(file("a.png"), 3, 3, Bytes(36, 200));
    const Bytes png = readBytes(file("a.png"));
    Bytes badCRC = png;
    badCRC[png.size() - 20] ^= 0x55; // inside IDAT
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        { "a colour index past the colour table", gifBytes(2, 1, 1, 2, kTwoPixelsOfColourThree) },
        { "no colour table at all", gifBytes(2, 1, 0, 2, kTwoPixelsOfColourThree) },
        { "a frame of 65535x65535", gifOfAHugeFrame() },
        { "an LZW code size of 12", badCodeSize },
        { "GIF data cut short", Bytes(good.begin(), good.end() - 4) },
        { "a PNG with a corrupt IDAT", badCRC },
        { "a PNG cut short", Bytes(png.begin(), png.end() - 16) },
    };
    writeBytes(file("good.gif"), good);
    Importer importer = openForDrawing(file("good.gif"), { 0, 0, 1, 2 });
    EXPECT_EQ(GraphicsImportDraw(importer.get()), noErr) << "the hand-made data is right";
    EXPECT_EQ(pixel(1, 0), (RGBColor { 180 * 257, 0, 0 }));
    for (const auto& c : cases) {
        fillPort(kBlue);
        writeBytes(file("hostile"), c.bytes);
        importer = openForDrawing(file("hostile"), { 0, 0, 1, 2 });
        ASSERT_TRUE(importer) << c.what;
        EXPECT_EQ(GraphicsImportDraw(importer.get()), invalidImageErr) << c.what;
        EXPECT_EQ(pixel(0, 0), kBlue) << c.what;
    }
}

// Whoever can write among a bundle's resources can put a FIFO where a picture was. Nothing may
// wait for a writer that never comes: every service refuses it at once, also an importer made
// before the swap, which reads the body at its first draw.
TEST_F(ImporterTest, AFIFOInPlaceOfAPictureIsRefusedAtOnceByEveryService)
{
    writeGif(file("picture.gif"), kHalfTransparent);
    Importer importer = openForDrawing(file("picture.gif"), { 0, 0, 6, 10 });
    std::filesystem::remove(file("picture.gif"));
    ASSERT_EQ(mkfifo(file("picture.gif").c_str(), 0600), 0);

    EXPECT_EQ(GraphicsImportDraw(importer.get()), ioErr);
    EXPECT_EQ(pixel(5, 0), kBlue) << "nothing drawn";
    Importer again;
    EXPECT_EQ(open(file("picture.gif"), &again), ioErr);
    FSSpec fsSpec = fsSpecFor(file("picture.gif"));
    IconFamilyHandle family = nullptr;
    EXPECT_EQ(ReadIconFile(&fsSpec, &family), ioErr);
    EXPECT_EQ(family, nullptr);
    std::string path = file("picture.gif");
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()), static_cast<CFIndex>(path.size()), false);
    EXPECT_EQ(CGImageSourceCreateWithURL(url, nullptr), nullptr);
    CFRelease(url);
}

TEST(ImageDecodingTest, EveryTruncationAndManyCorruptionsOfAGoodFileAreRefusedSafely)
{
    TemporaryTree tree;
    const std::string folder = tree.root();
    writeGif(folder + "/a.gif", { 12, 9, kFourColours, [](int x, int y) { return (x * y) % 4; }, 2, 0, 0, 12, 9, true });
    Bytes pixels(12 * 9 * 4);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 37);
    writePng(folder + "/a.png", 12, 9, pixels);
    const Bytes files[] = { readBytes(folder + "/a.gif"), readBytes(folder + "/a.png") };

    uint32_t random = 12345;
    auto next = [&random] { return (random = random * 1103515245u + 12345u) >> 8; };
    for (const Bytes& good : files) {
        StandIn::Imaging::Image image;
        ASSERT_EQ(StandIn::Imaging::decode(good.data(), good.size(), &image), StandIn::Imaging::Result::Ok);
        EXPECT_EQ(image.rgba.size(), 12u * 9 * 4);
        for (size_t length = 0; length < good.size(); ++length) {
            EXPECT_NE(StandIn::Imaging::checkStructure(good.data(), length), StandIn::Imaging::Result::Ok) << "cut to " << length;
            StandIn::Imaging::decode(good.data(), length, &image);
        }
        // Whatever a corruption does to the result, it must neither crash nor read out of bounds.
        for (int round = 0; round < 400; ++round) {
            Bytes corrupt = good;
            for (int change = 0, changes = 1 + static_cast<int>(next() % 4); change < changes; ++change)
                corrupt[8 + next() % (corrupt.size() - 8)] = static_cast<uint8_t>(next());
            if (StandIn::Imaging::decode(corrupt.data(), corrupt.size(), &image) == StandIn::Imaging::Result::Ok) {
                EXPECT_EQ(image.rgba.size(), static_cast<size_t>(image.width) * image.height * 4);
            }
            StandIn::Imaging::checkStructure(corrupt.data(), corrupt.size());
        }
    }
    // A frame past the pixel cap is refused from its descriptor, before any of its data is read:
    // cut within that data, the file is invalid, not truncated.
    const Bytes huge = gifOfAHugeFrame();
    for (size_t length = 36; length < huge.size(); ++length) {
        StandIn::Imaging::Image image;
        EXPECT_EQ(StandIn::Imaging::decode(huge.data(), length, &image), StandIn::Imaging::Result::Invalid) << "cut to " << length;
    }
}

using ImageSourceTest = ImageTest;

TEST_F(ImageSourceTest, StatusesTellWholeUnknownTruncatedAndCorruptFilesApart)
{
    writeGif(file("a.gif"), kHalfTransparent);
    writePng(file("a.png"), 3, 2, Bytes(24, 90));
    const Bytes gif = readBytes(file("a.gif"));
    writeBytes(file("text"), { 'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e' });
    writeBytes(file("cut.gif"), Bytes(gif.begin(), gif.begin() + static_cast<long>(gif.size() / 2)));
    writeBytes(file("corrupt.gif"), gifBytes(4, 4, 1, 2, kBadLZW));
    writeBytes(file("zero.gif"), { 'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0x3B });
    const struct {
        const char* name;
        CGImageSourceStatus status;
        size_t width, height;
    } cases[] = {
        { "a.gif", kCGImageStatusComplete, 10, 6 },
        { "a.png", kCGImageStatusComplete, 3, 2 },
        { "text", kCGImageStatusUnknownType, 0, 0 },
        { "cut.gif", kCGImageStatusUnexpectedEOF, 0, 0 },
        { "corrupt.gif", kCGImageStatusInvalidData, 0, 0 },
        { "zero.gif", kCGImageStatusInvalidData, 0, 0 },
        { "", kCGImageStatusComplete, 0, 0 }, // the folder: no source at all
        { "missing.gif", kCGImageStatusComplete, 0, 0 },
    };
    for (const auto& c : cases) {
        std::string path = file(c.name);
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()), static_cast<CFIndex>(path.size()), false);
        CGImageSourceRef source = CGImageSourceCreateWithURL(url, nullptr);
        CFRelease(url);
        bool readable = std::filesystem::is_regular_file(path);
        ASSERT_EQ(source != nullptr, readable) << c.name;
        if (!source)
            continue;
        EXPECT_EQ(CGImageSourceGetStatus(source), c.status) << c.name;
        CGImageRef image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
        EXPECT_EQ(CGImageGetWidth(image), c.width) << c.name;
        EXPECT_EQ(CGImageGetHeight(image), c.height) << c.name;
        EXPECT_EQ(CGImageSourceCreateImageAtIndex(source, 1, nullptr), nullptr) << c.name;
        CGImageRelease(image);
        CFRelease(source);
    }
    EXPECT_EQ(CGImageSourceCreateWithURL(nullptr, nullptr), nullptr);

    EXPECT_TRUE(StandIn::imageSourceAvailable());
    StandIn::setImageSourceAvailable(false);
    EXPECT_FALSE(StandIn::imageSourceAvailable());
    StandIn::setImageSourceAvailable(true);
    EXPECT_TRUE(StandIn::imageSourceAvailable());
}

using IconTest = ImageTest;

const Bytes kGoodFamily = iconFamily({ { 'ic07', { 1, 2, 3, 4, 5 } }, { 'TOC ', {} } });

TEST_F(IconTest, AWellFormedFamilyIsReadIntoANewOrAnExistingHandleAndGivesAReference)
{
    writeBytes(file("good.icns"), kGoodFamily);
    FSSpec fsSpec = fsSpecFor(file("good.icns"));
    Handle existing = NewHandle(3);
    for (Handle given : { static_cast<Handle>(nullptr), existing }) {
        auto family = reinterpret_cast<IconFamilyHandle>(given);
        ASSERT_EQ(ReadIconFile(&fsSpec, &family), noErr);
        auto handle = reinterpret_cast<Handle>(family);
        ASSERT_TRUE(given ? handle == given : handle != nullptr) << "the handle given is the one filled";
        ASSERT_EQ(GetHandleSize(handle), static_cast<Size>(kGoodFamily.size()));
        EXPECT_EQ(Bytes(*handle, *handle + kGoodFamily.size()), kGoodFamily);
        IconRef icon = nullptr;
        EXPECT_EQ(GetIconRefFromIconFamilyPtr(*family, GetHandleSize(handle), &icon), noErr);
        EXPECT_EQ(ReleaseIconRef(icon), noErr);
        EXPECT_EQ(ReleaseIconRef(icon), invalidIconRefErr) << "released twice";
        DisposeHandle(handle);
    }
    EXPECT_EQ(ReleaseIconRef(nullptr), paramErr);
}

TEST_F(IconTest, MalformedFamiliesAreRefusedAndTheHandleIsLeftAlone)
{
    auto changed = [](size_t at, uint8_t value) {
        Bytes bytes = kGoodFamily;
        bytes[at] = value;
        return bytes;
    };
    Bytes strayBytes = iconFamily({ { 'ic07', { 1 } } });
    strayBytes.insert(strayBytes.end(), { 0, 0, 0 });
    strayBytes[7] += 3;
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        { "a total length that is not the file's", changed(7, kGoodFamily[7] + 1) },
        { "an element shorter than its own header", changed(15, 7) },
        { "an element past the end", changed(15, 200) },
        { "not 'icns'", changed(0, 'I') },
        { "a truncated file", Bytes(kGoodFamily.begin(), kGoodFamily.end() - 3) },
        { "bytes too few for an element header", strayBytes },
        { "an empty file", {} },
        { "a family past 16 MiB", iconFamily({ { 'ic07', Bytes(size_t { 16 } << 20) } }) },
    };
    Handle existing = NewHandle(2);
    (*existing)[0] = 'x';
    for (const auto& c : cases) {
        writeBytes(file("bad.icns"), c.bytes);
        FSSpec fsSpec = fsSpecFor(file("bad.icns"));
        auto family = reinterpret_cast<IconFamilyHandle>(existing);
        IconFamilyHandle none = nullptr;
        EXPECT_NE(ReadIconFile(&fsSpec, &family), noErr) << c.what;
        EXPECT_NE(ReadIconFile(&fsSpec, &none), noErr) << c.what;
        EXPECT_TRUE(family == reinterpret_cast<IconFamilyHandle>(existing) && !none) << c.what;
        EXPECT_TRUE(GetHandleSize(existing) == 2 && (*existing)[0] == 'x') << c.what;
        IconRef icon = reinterpret_cast<IconRef>(existing);
        EXPECT_NE(GetIconRefFromIconFamilyPtr(reinterpret_cast<const IconFamilyResource*>(c.bytes.data()), static_cast<Size>(c.bytes.size()), &icon), noErr) << c.what;
        EXPECT_EQ(icon, nullptr) << c.what;
    }
    DisposeHandle(existing);
}

using HandleTest = BalancedTest;

TEST_F(HandleTest, HandlesKeepTheirMasterPointerAndDataAcrossResizesAndReportFailures)
{
    Handle h = NewHandle(0);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(MemError() == noErr && *h && GetHandleSize(h) == 0);
    SetHandleSize(h, 4);
    memcpy(*h, "abcd", 4);
    HLock(h);
    SetHandleSize(h, 100000);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(std::string(*h, 4), "abcd");
    (*h)[99999] = 'z';
    SetHandleSize(h, 2);
    HUnlock(h);
    EXPECT_EQ(std::string(*h, static_cast<size_t>(GetHandleSize(h))), "ab");
    SetHandleSize(h, -1);
    EXPECT_EQ(MemError(), paramErr);
    SetHandleSize(h, Size { 1 } << 40);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(GetHandleSize(h), 2) << "a failed resize leaves the handle as it was";
    DisposeHandle(h);

    EXPECT_EQ(GetHandleSize(h), 0) << "disposed of";
    EXPECT_NE(MemError(), noErr);
    SetHandleSize(nullptr, 5);
    EXPECT_NE(MemError(), noErr);
    EXPECT_EQ(NewHandle(-1), nullptr);
    EXPECT_EQ(MemError(), paramErr);
    EXPECT_EQ(NewHandle(Size { 1 } << 40), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(NewHandle((Size { 1 } << 30) + 1), nullptr) << "one byte past the largest handle, which memory could still give";
    EXPECT_EQ(MemError(), memFullErr);
    DisposeHandle(nullptr);
    EXPECT_EQ(MemError(), noErr);
}

using PortPixelsTest = ImageTest;

TEST_F(PortPixelsTest, ThePortsPixelsAreCopiedAsRGBARowsOrRefused)
{
    const RGBColor orange = { 0xFFFF, 0x8080, 0 };
    RGBForeColor(&orange);
    const Rect corner = { 50, 90, 60, 100 };
    PaintRect(&corner);
    Bytes pixels;
    int width = 0, height = 0;
    ASSERT_TRUE(StandIn::copyPortPixels(port, &pixels, &width, &height));
    EXPECT_EQ(width, kPortWidth);
    EXPECT_EQ(height, kPortHeight);
    ASSERT_EQ(pixels.size(), static_cast<size_t>(kPortWidth * kPortHeight * 4));
    EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 4), (Bytes { 0, 0, 255, 255 }));
    const size_t at = (55 * kPortWidth + 95) * 4;
    EXPECT_EQ(Bytes(pixels.begin() + at, pixels.begin() + at + 4), (Bytes { 255, 128, 0, 255 })) << "16-bit colours rounded";

    width = height = -1;
    EXPECT_FALSE(StandIn::copyPortPixels(nullptr, &pixels, &width, &height));
    EXPECT_EQ(width, -1) << "nothing written for a port that is not live";
    EXPECT_FALSE(StandIn::copyPortPixels(port, nullptr, &width, &height));
}

}
