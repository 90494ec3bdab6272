#include "Source/ImageImportManager.h"
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"

#include "tests/support/TestImages.h"

#include <memory>
#include <Graphics/ImageIOStandIn.h>

namespace {

// GIFs of one colour, told apart by their size.
void writeGif(const std::string& path, int width, int height)
{
    writeSolidGif(path, width, height, { 0, 160, 0 });
}

Rect boundsOf(CFStringRef key)
{
    Rect bounds = {};
    GraphicsImportGetNaturalBounds(ImageImportManager::componentForFilename(key), &bounds);
    return bounds;
}

class ImageCacheTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        tree.addFolder("Resources/sub");
        writeGif(tree.path("Resources/a.gif"), 10, 10);
        writeGif(tree.path("Resources/sub/a.gif"), 20, 20);
        writeGif(tree.path("Resources/Accounting-On.gif"), 64, 64);
        tree.addFile("Resources/broken.gif", "GIF89a but nothing after it");
    }

    TemporaryTree tree;
};

TEST_F(ImageCacheTest, NothingIsCachedBeforeAManagerOrAfterTheLast)
{
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
    {
        ImageImportManager manager(tree.ref("Resources"));
        EXPECT_NE(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
        EXPECT_EQ(ImageImportManager::componentForFilename(nullptr), nullptr);
    }
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), nullptr);
    EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("Accounting-On.gif")), nullptr);
    EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("Accounting-On.gif")), nullptr);
}

TEST_F(ImageCacheTest, PlainAndFolderQualifiedNamesReachTheirFiles)
{
    ImageImportManager manager(tree.ref("Resources"));

    EXPECT_EQ(boundsOf(CFSTR("Resources/a.gif")).right, 10);
    EXPECT_EQ(boundsOf(CFSTR("sub/a.gif")).right, 20);
    SInt16 plainWidth = boundsOf(CFSTR("a.gif")).right;
    EXPECT_TRUE(plainWidth == 10 || plainWidth == 20) << plainWidth << ": the plain key holds the file visited last";
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("sub")), nullptr) << "folders are never keys";
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("A.GIF")), nullptr) << "keys are case-sensitive";
}

TEST_F(ImageCacheTest, EachObjectIsMadeOnceAndFailuresAreRemembered)
{
    ImageImportManager manager(tree.ref("Resources"));
    ComponentInstance first = ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif"));
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), first);

    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("broken.gif")), nullptr);
    writeGif(tree.path("Resources/broken.gif"), 8, 8);
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("broken.gif")), nullptr) << "a failure is not retried";
    EXPECT_EQ(ImageImportManager::iconForFilename(CFSTR("Accounting-On.gif")), nullptr) << "a GIF is no icon family";
}

TEST_F(ImageCacheTest, ImagesNeedTheImageSourceService)
{
    ImageImportManager manager(tree.ref("Resources"));
    CGImageRef image = ImageImportManager::imageForFilename(CFSTR("Accounting-On.gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 64u);

    StandIn::setImageSourceAvailable(false);
    EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("sub/a.gif")), nullptr);
    StandIn::setImageSourceAvailable(true);
    EXPECT_EQ(ImageImportManager::imageForFilename(CFSTR("sub/a.gif")), nullptr) << "the missing service is remembered for the key";
}

TEST_F(ImageCacheTest, TwoLiveManagersShareTheCacheUntilTheLastGoes)
{
    TemporaryTree other;
    writeGif(other.path("only-here.gif"), 5, 7);
    auto first = std::make_unique<ImageImportManager>(tree.ref("Resources"));
    auto second = std::make_unique<ImageImportManager>(other.ref());
    ComponentInstance importer = ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif"));
    EXPECT_NE(importer, nullptr);

    first.reset();
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("Accounting-On.gif")), importer) << "still valid for the second";
    EXPECT_EQ(boundsOf(CFSTR("only-here.gif")).bottom, 7);

    second.reset();
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("only-here.gif")), nullptr);
}

TEST_F(ImageCacheTest, ALaterManagersFileUnderAKeyIsTheOneItsPictureIsMadeFrom)
{
    TemporaryTree other;
    other.addFolder("Resources");
    writeGif(other.path("Resources/Accounting-On.gif"), 32, 16);
    auto first = std::make_unique<ImageImportManager>(tree.ref("Resources"));
    EXPECT_EQ(boundsOf(CFSTR("Accounting-On.gif")).right, 64);
    CGImageRef image = ImageImportManager::imageForFilename(CFSTR("Resources/Accounting-On.gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 64u);
    ComponentInstance unchanged = ImageImportManager::componentForFilename(CFSTR("sub/a.gif"));

    auto second = std::make_unique<ImageImportManager>(other.ref("Resources"));
    EXPECT_EQ(boundsOf(CFSTR("Accounting-On.gif")).right, 32) << "the later manager's file, not the first's importer";
    image = ImageImportManager::imageForFilename(CFSTR("Resources/Accounting-On.gif"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(CGImageGetWidth(image), 32u);
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("sub/a.gif")), unchanged) << "a key the later folder lacks";

    // The first folder again: its keys name the very files they named, and keep what was made.
    auto third = std::make_unique<ImageImportManager>(tree.ref("Resources"));
    EXPECT_EQ(ImageImportManager::componentForFilename(CFSTR("sub/a.gif")), unchanged);
    EXPECT_EQ(boundsOf(CFSTR("Accounting-On.gif")).right, 64);
}

}
