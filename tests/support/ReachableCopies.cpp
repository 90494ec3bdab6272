#include "tests/support/ReachableCopies.h"

#include "tests/support/TemporaryTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kCheckout = ACCOUNTING_SOURCE_DIR;
const std::string kBuild = ACCOUNTING_BUILD_DIR;
// The build's programs and everything they load, found relative to the programs.
const std::string kInstalledParts[] = { ACCOUNTING_BUILD_BINDIR, ACCOUNTING_BUILD_PRIVATE_LIBDIR };

bool isInside(const std::string& path, const std::string& folder)
{
    return path.rfind(folder + "/", 0) == 0;
}

// This test process's copies, made when a run first needs them and removed at its end.
class ReachableTree {
public:
    ReachableTree()
    {
        // Every user may pass through to what they are given, and none may list what is here.
        chmod(m_tree.root().c_str(), 0711);
        for (const std::string& part : kInstalledParts) {
            std::string copy = program(part);
            fs::create_directories(fs::path(copy).parent_path());
            fs::copy(part, copy, fs::copy_options::recursive);
        }
    }

    std::string program(const std::string& path) const { return m_tree.path("program" + path.substr(kBuild.size())); }

    std::string fileFor(const std::string& user, const std::string& path) const
    {
        const passwd* account = getpwnam(user.c_str());
        if (!account) {
            ADD_FAILURE() << "no user " << user << " to copy " << path << " for";
            return path;
        }
        // A settings file holds codes: the copies are the user's alone, as their own files would
        // be, in a folder that is the user's before anything is copied into it.
        std::string home = m_tree.path("for-" + user);
        if (mkdir(home.c_str(), 0700) == 0)
            giveTo(*account, home);
        std::string copy = home + path;
        fs::create_directories(fs::path(copy).parent_path());
        fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
        chmod(copy.c_str(), 0600);
        giveTo(*account, copy);
        return copy;
    }

private:
    static void giveTo(const passwd& account, const std::string& path)
    {
        if (chown(path.c_str(), account.pw_uid, account.pw_gid) != 0)
            ADD_FAILURE() << "cannot give " << path << " to " << account.pw_name;
    }

    TemporaryTree m_tree;
};

const ReachableTree& reachableTree()
{
    static const ReachableTree tree;
    return tree;
}

}

std::string reachableBy(const std::string& user, const std::string& path)
{
    if (std::any_of(std::begin(kInstalledParts), std::end(kInstalledParts), [&](const std::string& part) { return path == part || isInside(path, part); }))
        return reachableTree().program(path);
    if (isInside(path, kCheckout) || isInside(path, kBuild))
        return reachableTree().fileFor(user, path);
    return path;
}

std::vector<std::pair<std::string, std::string>> sanitizerOptionsFor(const std::string& user)
{
    std::vector<std::pair<std::string, std::string>> options;
    for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS" }) {
        const char* value = getenv(name);
        if (!value)
            continue;
        // Options are name=value pairs separated by colons; only a suppressions file is a path.
        std::string mapped;
        std::string_view rest = value;
        while (!rest.empty()) {
            size_t end = std::min(rest.find(':'), rest.size());
            std::string option(rest.substr(0, end));
            const std::string kFile = "suppressions=";
            if (option.rfind(kFile, 0) == 0)
                option = kFile + reachableBy(user, option.substr(kFile.size()));
            mapped += (mapped.empty() ? "" : ":") + option;
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        options.emplace_back(name, mapped);
    }
    return options;
}
