#include "tests/support/TemporaryTree.h"

#include <Base/RegularFile.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

TemporaryTree::TemporaryTree(TreePlace place)
{
    std::string pattern = place == TreePlace::memory ? "/dev/shm/walk-test-XXXXXX" : "/tmp/walk-test-XXXXXX";
    if (mkdtemp(pattern.data()))
        m_root = pattern;
    else
        ADD_FAILURE() << "cannot make a temporary folder";
}

TemporaryTree::~TemporaryTree()
{
    // rm walks by folder descriptors, so it also removes trees deeper than a path can name.
    if (!m_root.empty() && system(("rm -rf '" + m_root + "'").c_str()) != 0)
        ADD_FAILURE() << "cannot remove " << m_root;
}

std::string TemporaryTree::addFolderChain(int depth, const std::string& name)
{
    int folder = open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
    std::string relative;
    for (int level = 0; level < depth && folder >= 0; ++level) {
        mkdirat(folder, name.c_str(), 0755);
        int inner = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        close(folder);
        folder = inner;
        relative += (level ? "/" : "") + name;
    }
    EXPECT_GE(folder, 0) << "cannot make a chain of " << depth << " folders";
    if (folder >= 0) {
        close(openat(folder, "bottom.gif", O_WRONLY | O_CREAT, 0644));
        close(folder);
    }
    return relative + "/bottom.gif";
}

void TemporaryTree::addFolder(const std::string& relative)
{
    std::filesystem::create_directories(path(relative));
}

void TemporaryTree::addSymbolicLinks(const std::string& relative, int count, const std::string& suffix, const std::string& targets)
{
    addFolder(relative);
    int folder = open(path(relative).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int made = 0;
    while (folder >= 0 && made < count
        && symlinkat((targets + "/" + std::to_string(made)).c_str(), folder, (std::to_string(made) + suffix).c_str()) == 0)
        ++made;
    EXPECT_EQ(made, count) << "links made in " << relative;
    if (folder >= 0)
        close(folder);
}

void TemporaryTree::addFile(const std::string& relative, const std::string& contents)
{
    std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
    std::ofstream(path(relative), std::ios::binary) << contents;
}

void TemporaryTree::addSymbolicLink(const std::string& relative, const std::string& target)
{
    std::filesystem::create_symlink(target, path(relative));
}

FSRef TemporaryTree::ref(const std::string& relative) const
{
    FSRef result = {};
    std::string full = relative.empty() ? m_root : path(relative);
    EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(full.c_str()), &result, nullptr), noErr) << full;
    return result;
}

std::vector<std::string> TemporaryTree::filesHolding(const std::string& text) const
{
    std::vector<std::string> holding;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(m_root)) {
        if (entry.is_regular_file() && fileContents(entry.path()).find(text) != std::string::npos)
            holding.push_back(entry.path());
    }
    return holding;
}

std::string fileContents(const std::string& path)
{
    // Far beyond any file a test reads back.
    constexpr size_t kMaximumSize = 256 * 1024 * 1024;
    std::string contents;
    StandIn::FileFailure failure;
    if (!StandIn::readRegularFile(path, kMaximumSize, contents, &failure))
        contents.clear();
    return contents;
}
