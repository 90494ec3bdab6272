// Conformance of the QuickDraw stand-in: window ports, colours, pixels read back, clipping to
// the port, and the current port across window disposal.
#include "tests/support/LiveObjects.h"

#include <HIToolbox/HIToolbox.h>

#include <ostream>

static bool operator==(const RGBColor& a, const RGBColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

static void PrintTo(const RGBColor& c, std::ostream* out)
{
    *out << std::hex << "{" << c.red << ", " << c.green << ", " << c.blue << "}" << std::dec;
}

namespace {

constexpr int kWidth = 100, kHeight = 60;
const RGBColor kWhite = { 0xFFFF, 0xFFFF, 0xFFFF }, kBlack = { 0, 0, 0 };
const RGBColor kRed = { 0xFFFF, 0, 0 }, kBlue = { 0, 0, 0xFFFF }, kSentinel = { 1, 2, 3 };
const Rect kWhole = { 0, 0, kHeight, kWidth };

WindowRef newWindow()
{
    const Rect content = { 40, 50, 40 + kHeight, 50 + kWidth };
    WindowRef window = nullptr;
    EXPECT_EQ(CreateNewWindow(kDocumentWindowClass, kWindowNoAttributes, &content, &window), noErr);
    return window;
}

RGBColor pixel(int h, int v)
{
    RGBColor color = kSentinel;
    GetCPixel(static_cast<SInt16>(h), static_cast<SInt16>(v), &color);
    return color;
}

GrafPtr currentPort()
{
    GrafPtr port = reinterpret_cast<GrafPtr>(0x5e17);
    GetPort(&port);
    return port;
}

// Every test draws into a window of its own, current from the start.
class QuickDrawTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        window = newWindow();
        ASSERT_NE(window, nullptr);
        SetPortWindowPort(window);
    }
    void TearDown() override
    {
        DisposeWindow(window);
        BalancedTest::TearDown();
    }

    WindowRef window { nullptr };
};

TEST_F(QuickDrawTest, NewPortIsWhiteAndPixelsOutsideItAreNotRead)
{
    for (auto [h, v] : { std::pair { 0, 0 }, { kWidth - 1, 0 }, { 0, kHeight - 1 }, { kWidth - 1, kHeight - 1 } })
        EXPECT_EQ(pixel(h, v), kWhite) << "at (" << h << ", " << v << ")";
    for (auto [h, v] : { std::pair { -1, 0 }, { 0, -1 }, { kWidth, 0 }, { 0, kHeight } })
        EXPECT_EQ(pixel(h, v), kSentinel) << "at (" << h << ", " << v << ")";
}

TEST_F(QuickDrawTest, PaintRectUsesTheForeColourAndEraseRectTheBackColourOfThePort)
{
    const Rect r = { 10, 20, 30, 50 }; // top, left, bottom, right: right and bottom are outside
    RGBForeColor(&kRed);
    PaintRect(&r);
    EXPECT_EQ(pixel(20, 10), kRed);
    EXPECT_EQ(pixel(49, 29), kRed);
    EXPECT_EQ(pixel(50, 29), kWhite) << "right edge is exclusive";
    EXPECT_EQ(pixel(49, 30), kWhite) << "bottom edge is exclusive";

    const Rect inner = { 15, 25, 20, 30 };
    EraseRect(&inner);
    EXPECT_EQ(pixel(25, 15), kWhite) << "the default background is white";
    EXPECT_EQ(pixel(30, 15), kRed);
    RGBBackColor(&kBlue);
    EraseRect(&inner);
    EXPECT_EQ(pixel(29, 19), kBlue);

    // Colours belong to the port: another window still paints black.
    WindowRef other = newWindow();
    SetPortWindowPort(other);
    PaintRect(&r);
    EXPECT_EQ(pixel(20, 10), kBlack);
    SetPortWindowPort(window);
    EXPECT_EQ(pixel(20, 10), kRed);
    DisposeWindow(other);
}

// A port keeps its first 4,096 colours finer than 8 bits a channel exact, and rounds later ones
// to 8 bits: a picture of millions of shades costs no more than that.
TEST_F(QuickDrawTest, APortKeepsItsFirst4096FineColoursExactAndRoundsTheRest)
{
    // Shade i, on pixel i: a red of 1 is finer than 8 bits.
    auto shade = [](int i) { return RGBColor { 1, static_cast<UInt16>(i), 0 }; };
    for (int i = 0; i <= 4096; ++i) {
        const RGBColor color = shade(i);
        const Rect r = { static_cast<SInt16>(i / kWidth), static_cast<SInt16>(i % kWidth), static_cast<SInt16>(i / kWidth + 1),
            static_cast<SInt16>(i % kWidth + 1) };
        RGBForeColor(&color);
        PaintRect(&r);
    }
    EXPECT_EQ(pixel(0, 0), shade(0));
    EXPECT_EQ(pixel(4095 % kWidth, 4095 / kWidth), shade(4095));
    EXPECT_EQ(pixel(4096 % kWidth, 4096 / kWidth), (RGBColor { 0, 16 * 257, 0 })) << "the 4,097th, rounded";
}

TEST_F(QuickDrawTest, DrawingIsClippedToThePort)
{
    const struct {
        const char* what;
        Rect r;
    } cases[] = {
        { "over the top-left corner", { -10, -20, 5, 7 } },
        { "over the bottom-right corner", { 50, 90, 200, 300 } },
        { "the whole coordinate space", { -32768, -32768, 32767, 32767 } },
        { "wholly to the right", { 10, 150, 20, 160 } },
        { "wholly to the left", { 10, -60, 20, -50 } },
        { "wholly above", { -30, 10, -20, 20 } },
        { "wholly below", { 70, 10, 80, 20 } },
        { "inverted", { 30, 40, 20, 10 } },
    };
    RGBForeColor(&kRed);
    for (const auto& c : cases) {
        EraseRect(&kWhole);
        PaintRect(&c.r);
        int wrong = 0;
        for (int v = 0; v < kHeight; ++v) {
            for (int h = 0; h < kWidth; ++h) {
                bool inside = h >= c.r.left && h < c.r.right && v >= c.r.top && v < c.r.bottom;
                RGBColor actual = pixel(h, v), expected = inside ? kRed : kWhite;
                if (!(actual == expected) && ++wrong == 1)
                    ADD_FAILURE() << c.what << ": first wrong pixel at (" << h << ", " << v << ") is "
                                  << testing::PrintToString(actual) << ", expected " << testing::PrintToString(expected);
            }
        }
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

TEST_F(QuickDrawTest, DisposingTheCurrentWindowClearsTheCurrentPortAndDrawingDoesNothing)
{
    WindowRef other = newWindow();
    ASSERT_NE(GetWindowPort(other), nullptr);
    EXPECT_NE(GetWindowPort(other), GetWindowPort(window));
    EXPECT_EQ(currentPort(), GetWindowPort(window));
    SetPortWindowPort(other);
    EXPECT_EQ(currentPort(), GetWindowPort(other));

    DisposeWindow(other);
    EXPECT_EQ(currentPort(), nullptr);
    EXPECT_EQ(GetWindowPort(other), nullptr);
    RGBForeColor(&kRed);
    PaintRect(&kWhole);
    EraseRect(&kWhole);
    EXPECT_EQ(pixel(0, 0), kSentinel) << "read a pixel with no current port";
    SetPortWindowPort(other);
    EXPECT_EQ(currentPort(), nullptr) << "a disposed window's port became current";

    SetPortWindowPort(window);
    EXPECT_EQ(pixel(0, 0), kWhite) << "drawing with no current port reached another window";
    PaintRect(&kWhole);
    EXPECT_EQ(pixel(0, 0), kBlack) << "the colour set with no current port reached another window";
}

} // namespace
