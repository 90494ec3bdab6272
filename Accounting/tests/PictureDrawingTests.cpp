#include "Accounting/tests/PaneFixture.h"
#include "Accounting/PictureDrawing.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestImages.h"

#include "Source/ImageImportManager.h"

#include <memory>

bool operator==(const RGBColor& a, const RGBColor& b)
{
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

std::ostream& operator<<(std::ostream& out, const RGBColor& color)
{
    return out << "rgb(" << color.red / 257 << ", " << color.green / 257 << ", " << color.blue / 257 << ")";
}

namespace {

const TestColor kOffColor = { 200, 0, 0 };
const TestColor kOnColor = { 0, 180, 0 };
const RGBColor kWhite = { 0xFFFF, 0xFFFF, 0xFFFF };

RGBColor asRGB(TestColor color)
{
    return { static_cast<UInt16>(color.red * 257), static_cast<UInt16>(color.green * 257), static_cast<UInt16>(color.blue * 257) };
}

// The pane with its picture hooked up as the pane does, drawing from a cache over a folder of
// the test's own images.
class PictureTest : public PaneFixture {
protected:
    void SetUp() override
    {
        PaneFixture::SetUp();
        writeSolidGif(images.path("Accounting-Off.gif"), 40, 30, kOffColor);
        writeSolidGif(images.path("Accounting-On.gif"), 40, 30, kOnColor, true);
        writeSolidGif(images.path("wide.gif"), 48, 32, kOnColor);
        writeSolidGif(images.path("large.gif"), 100, 100, kOffColor);
        cache = std::make_unique<ImageImportManager>(images.ref());
        buildPane();
        static const EventTypeSpec drawEvent = { kEventClassControl, kEventControlDraw };
        InstallEventHandler(GetControlEventTarget(context.iconRef), AccountingDrawEventHandler, 1, &drawEvent, &context, nullptr);
        SetPortWindowPort(dialog);
    }

    void TearDown() override
    {
        cache.reset();
        PaneFixture::TearDown();
    }

    RGBColor pixel(int h, int v)
    {
        RGBColor color = { 1, 2, 3 };
        GetCPixel(static_cast<SInt16>(h), static_cast<SInt16>(v), &color);
        return color;
    }

    void paintEverything()
    {
        const RGBColor ink = { 0x1111, 0x2222, 0x3333 };
        RGBForeColor(&ink);
        const Rect everything = { 0, 0, 600, 500 };
        PaintRect(&everything);
    }

    TemporaryTree images;
    std::unique_ptr<ImageImportManager> cache;
};

TEST_F(PictureTest, OffAndOnPicturesFollowTheMode)
{
    Rect icon = boundsOf(kAccountingIconID);
    context.acctEnabled = 1;
    Draw1Control(context.iconRef);
    EXPECT_EQ(pixel(icon.left + 30, icon.top + 5), asRGB(kOffColor));

    for (SInt32 mode : { 2, 3, 0, 7 }) {
        context.acctEnabled = mode;
        Draw1Control(context.iconRef);
        EXPECT_EQ(pixel(icon.left + 30, icon.top + 5), asRGB(kOnColor)) << "mode " << mode;
        EXPECT_EQ(pixel(icon.left + 5, icon.top + 5), kWhite) << "the on picture's transparent half shows the erased background";
    }
}

TEST_F(PictureTest, TheImageSitsAtTheControlsCornerInItsNaturalSize)
{
    const Rect bounds = { 10, 20, 60, 120 };
    SetControlBounds(context.iconRef, &bounds);
    DrawImage(CFSTR("wide.gif"), context.iconRef, false);
    EXPECT_EQ(pixel(20, 10), asRGB(kOnColor));
    EXPECT_EQ(pixel(20 + 47, 10 + 31), asRGB(kOnColor));
    EXPECT_EQ(pixel(20 + 48, 10 + 10), kWhite) << "not stretched to the control's width";
    EXPECT_EQ(pixel(20 + 10, 10 + 32), kWhite) << "nor to its height";
}

TEST_F(PictureTest, ALargerImageReachesPastTheControl)
{
    const Rect bounds = { 10, 20, 30, 40 };
    SetControlBounds(context.iconRef, &bounds);
    paintEverything();
    DrawImage(CFSTR("large.gif"), context.iconRef, false);
    EXPECT_EQ(pixel(20 + 99, 10 + 99), asRGB(kOffColor));
    EXPECT_NE(pixel(20 + 100, 10 + 100), asRGB(kOffColor));
}

TEST_F(PictureTest, AMissingImageLeavesTheControlErased)
{
    paintEverything();
    Rect icon = boundsOf(kAccountingIconID);
    DrawImage(CFSTR("no-such.gif"), context.iconRef, false);
    EXPECT_EQ(pixel(icon.left + 1, icon.top + 1), kWhite);
    EXPECT_NE(pixel(icon.right + 1, icon.top + 1), kWhite) << "nothing outside the control is erased";

    paintEverything();
    DrawImage(nullptr, context.iconRef, true);
    DrawImage(CFSTR("wide.gif"), nullptr, false);
    EXPECT_NE(pixel(icon.left + 1, icon.top + 1), kWhite) << "an overlay without an image and a null control draw nothing";
    DrawImage(nullptr, context.iconRef, false);
    EXPECT_EQ(pixel(icon.left + 1, icon.top + 1), kWhite);
}

TEST_F(PictureTest, TheHandlerTakesOnlyItsOwnControlsDrawEvents)
{
    paintEverything();
    EventRef event = nullptr;
    CreateEvent(kCFAllocatorDefault, kEventClassControl, kEventControlDraw, 0, 0, &event);
    ControlRef other = control(kNoAccountingTextID);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof other, &other);
    EXPECT_EQ(AccountingDrawEventHandler(nullptr, event, &context), eventNotHandledErr);
    ReleaseEvent(event);

    CreateEvent(kCFAllocatorDefault, kEventClassControl, kEventControlHit, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof context.iconRef, &context.iconRef);
    EXPECT_EQ(AccountingDrawEventHandler(nullptr, event, &context), eventNotHandledErr);
    ReleaseEvent(event);

    Rect icon = boundsOf(kAccountingIconID);
    EXPECT_NE(pixel(icon.left + 1, icon.top + 1), kWhite) << "nothing was drawn";
}

}
