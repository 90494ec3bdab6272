// Reading a file named from outside: only a regular file is read, nothing blocks, and a size
// limit holds however large the file is or claims to be.
#include <Base/RegularFile.h>

#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <algorithm>
#include <unistd.h>

using StandIn::FileFailure;
using StandIn::FileStatus;

namespace {

TEST(RegularFileTest, ReadsAWholeFileUpToItsLimit)
{
    TemporaryTree tree;
    tree.addFile("exact", std::string(4096, 'x'));
    std::string contents = "sentinel";
    FileFailure failure;
    ASSERT_TRUE(StandIn::readRegularFile(tree.path("exact"), 4096, contents, &failure)) << failure.describe();
    EXPECT_EQ(contents, std::string(4096, 'x'));

    tree.addFile("empty");
    ASSERT_TRUE(StandIn::readRegularFile(tree.path("empty"), 16, contents, &failure));
    EXPECT_EQ(contents, "");
}

TEST(RegularFileTest, AFileOneByteOverTheLimitIsRefusedAndTheContentsLeftAlone)
{
    TemporaryTree tree;
    tree.addFile("large", std::string(1024 * 1024 + 1, 'x'));
    std::string contents = "sentinel";
    FileFailure failure;
    EXPECT_FALSE(StandIn::readRegularFile(tree.path("large"), 1024 * 1024, contents, &failure));
    EXPECT_EQ(failure.status, FileStatus::tooLarge);
    EXPECT_EQ(failure.describe(), "larger than 1 MiB");
    EXPECT_EQ(contents, "sentinel");
}

TEST(RegularFileTest, AFIFOWithoutAWriterIsRefusedAtOnce)
{
    TemporaryTree tree;
    ASSERT_EQ(mkfifo(tree.path("fifo").c_str(), 0600), 0);
    FileFailure failure;
    StandIn::FileDescriptor file = StandIn::openRegularFile(tree.path("fifo").c_str(), &failure);
    EXPECT_FALSE(file);
    EXPECT_EQ(failure.status, FileStatus::notRegular);
    EXPECT_EQ(failure.describe(), "not a regular file (a FIFO)");
}

TEST(RegularFileTest, FoldersDevicesAndSocketsAreNotRegularFiles)
{
    TemporaryTree tree;
    tree.addFolder("folder");
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::string socketPath = tree.path("socket");
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);

    struct Case {
        std::string path;
        const char* described;
    };
    for (const Case& one : { Case { tree.path("folder"), "not a regular file (a folder)" },
             Case { "/dev/zero", "not a regular file (a character device)" }, Case { socketPath, "not a regular file (a socket)" } }) {
        std::string contents = "sentinel";
        FileFailure failure;
        EXPECT_FALSE(StandIn::readRegularFile(one.path, 1024, contents, &failure)) << one.path;
        EXPECT_EQ(failure.describe(), one.described) << one.path;
        EXPECT_EQ(contents, "sentinel") << one.path;
    }
    close(listener);
}

TEST(RegularFileTest, MissingAndForbiddenFilesSayWhich)
{
    TemporaryTree tree;
    FileFailure failure;
    std::string contents;
    EXPECT_FALSE(StandIn::readRegularFile(tree.path("absent"), 16, contents, &failure));
    EXPECT_EQ(failure.status, FileStatus::notFound);
    EXPECT_EQ(failure.describe(), "No such file or directory");
    EXPECT_FALSE(StandIn::readRegularFile("", 16, contents, &failure));
    EXPECT_EQ(failure.status, FileStatus::notFound);

    tree.addFile("link-target", "text");
    tree.addSymbolicLink("link", "link-target");
    StandIn::FileDescriptor followed = StandIn::openRegularFile(tree.path("link").c_str(), &failure);
    EXPECT_TRUE(followed);
    StandIn::FileDescriptor notFollowed = StandIn::openRegularFile(tree.path("link").c_str(), &failure, AT_FDCWD, O_NOFOLLOW);
    EXPECT_FALSE(notFollowed);
    EXPECT_EQ(failure.describe(), "not a regular file (a symbolic link)");
}

// A folder of files and links, some of them leading out of it; "out/" is outside the folder.
class BeneathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.addFile("out/secret", "secret");
        tree.addFile("in/real", "real");
        tree.addFile("in/sub/deep", "deep");
        tree.addSymbolicLink("in/alias", "sub/deep");
        tree.addSymbolicLink("in/sub/up", "../real");
        tree.addSymbolicLink("in/sub/chain", "up");
        tree.addSymbolicLink("in/escape", "../out/secret");
        tree.addSymbolicLink("in/sub/roundabout", "../../in/real");
        tree.addSymbolicLink("in/absolute", tree.path("out/secret"));
        tree.addSymbolicLink("in/absoluteInside", tree.path("in/real"));
        tree.addSymbolicLink("in/sub/viaEscape", "../escape");
        tree.addSymbolicLink("in/loop", "loop");
        tree.addSymbolicLink("in/dangling", "nothing");
        tree.addSymbolicLink("in/subLink", "sub");
        ASSERT_EQ(mkfifo(tree.path("in/fifo").c_str(), 0600), 0);
        folder = StandIn::FileDescriptor(open(tree.path("in").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(folder);
    }

    // What path opens to beneath the folder: the file's text, or the failure in words.
    static std::string opened(StandIn::FileDescriptor file, const FileFailure& failure)
    {
        if (!file)
            return "refused: " + failure.describe();
        char text[16] = {};
        return std::string(text, static_cast<size_t>(std::max<ssize_t>(read(file.get(), text, sizeof text), 0)));
    }

    TemporaryTree tree;
    StandIn::FileDescriptor folder;
};

TEST_F(BeneathTest, LinksAreFollowedOnlyWhileTheyStayInsideTheFolderByKernelAndByHand)
{
    const std::string kOut = "refused: not a regular file (a symbolic link)";
    const std::pair<std::string, std::string> cases[] = {
        { "real", "real" },
        { "sub/deep", "deep" },
        { "sub/../real", "real" },
        { "./sub//deep", "deep" },
        { "alias", "deep" },
        { "sub/up", "real" },
        { "sub/chain", "real" },
        { "subLink/deep", "deep" },
        { "escape", kOut },
        { "sub/roundabout", kOut }, // it comes back in, but only after leaving
        { "absolute", kOut },
        { "absoluteInside", kOut }, // an absolute link leaves the folder, wherever it points
        { "sub/viaEscape", kOut },
        { "../out/secret", kOut },
        { tree.path("in/real"), kOut },
        { "loop", "refused: cannot be read: Too many levels of symbolic links" },
        { "dangling", "refused: No such file or directory" },
        { "missing", "refused: No such file or directory" },
        { "fifo", "refused: not a regular file (a FIFO)" },
        { "sub", "refused: not a regular file (a folder)" },
        { "sub/..", "refused: not a regular file (a folder)" },
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        FileFailure failure;
        EXPECT_EQ(opened(StandIn::openRegularFileBeneath(folder.get(), path, &failure), failure), expected) << "by the kernel";
        failure = {};
        EXPECT_EQ(opened(StandIn::openRegularFileBeneathByHand(folder.get(), path, &failure), failure), expected) << "by hand";
    }
}

TEST_F(BeneathTest, APathLongerThanTheKernelTakesIsFollowedByHand)
{
    // 3,000 names of "sub/.." and then the file: far past PATH_MAX, and never out of the folder.
    std::string path;
    for (int i = 0; i < 3000; ++i)
        path += "sub/../";
    FileFailure failure;
    EXPECT_EQ(opened(StandIn::openRegularFileBeneath(folder.get(), path + "real", &failure), failure), "real");
    EXPECT_EQ(opened(StandIn::openRegularFileBeneath(folder.get(), path + "escape", &failure), failure),
        "refused: not a regular file (a symbolic link)");
}

}
