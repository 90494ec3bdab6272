// A folder tree of the test's own under /tmp (or /dev/shm), removed with everything in it at the end.
#pragma once

#include <Files/Files.h>

#include <string>
#include <vector>

// Where a tree lives: on disk, or in memory for a tree of thousands of entries, which a disk busy
// with other work can take seconds to make and remove.
enum class TreePlace {
    disk,
    memory,
};

class TemporaryTree {
public:
    explicit TemporaryTree(TreePlace place = TreePlace::disk);
    ~TemporaryTree();

    TemporaryTree(const TemporaryTree&) = delete;
    TemporaryTree& operator=(const TemporaryTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }
    // Creates the folders on the way as needed.
    void addFile(const std::string& relative, const std::string& contents = "");
    void addFolder(const std::string& relative);
    // count symbolic links in relative, named 0, 1, 2... followed by suffix, to the entries of
    // the same numbers in the folder targets (there or not): a folder too crowded to be listed
    // whole, of entries that cost little to make and nothing to walk past.
    void addSymbolicLinks(const std::string& relative, int count, const std::string& suffix, const std::string& targets);
    void addSymbolicLink(const std::string& relative, const std::string& target);
    // depth folders, each inside the one before, with bottom.gif at the bottom, made one folder
    // at a time: the whole path may be longer than any path the system accepts.
    std::string addFolderChain(int depth, const std::string& name);
    FSRef ref(const std::string& relative = "") const;
    // Every regular file of the tree that holds text: where a secret was left behind.
    std::vector<std::string> filesHolding(const std::string& text) const;

private:
    std::string m_root;
};

// The whole of a regular file (one the test made, or one a program wrote); empty when there is
// no such file or it cannot be read.
std::string fileContents(const std::string& path);
