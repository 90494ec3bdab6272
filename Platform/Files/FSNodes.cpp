#include "FSInternal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace fs_standin {

namespace {

struct Node {
    UInt32 parent;
    // The parent id's four bytes, then the name: the table's key, stored once.
    std::string key;

    std::string_view name() const { return std::string_view(key).substr(sizeof(UInt32)); }
};

std::string keyOf(UInt32 parent, std::string_view name)
{
    std::string key(sizeof parent, '\0');
    memcpy(key.data(), &parent, sizeof parent);
    key += name;
    return key;
}

class NodeTable {
public:
    NodeTable()
    {
        // Ids 0 and fsRtParID name nothing; fsRtDirID is "/".
        m_nodes.resize(fsRtDirID + 1, Node { 0, keyOf(0, "") });
        m_nodes[fsRtDirID] = Node { fsRtParID, keyOf(fsRtParID, "") };
    }

    std::optional<UInt32> intern(UInt32 parent, std::string_view name)
    {
        std::string key = keyOf(parent, name);
        std::lock_guard guard(m_lock);
        if (!isKnown(parent))
            return std::nullopt;
        if (auto found = m_index.find(key); found != m_index.end())
            return found->second;
        if (m_nodes.size() >= kFirstFileNodeID)
            return std::nullopt;
        auto id = static_cast<UInt32>(m_nodes.size());
        // A deque never moves its elements, so the index may view the keys they hold.
        m_nodes.push_back(Node { parent, std::move(key) });
        m_index.emplace(m_nodes.back().key, id);
        return id;
    }

    std::optional<UInt32> find(UInt32 parent, std::string_view name)
    {
        std::string key = keyOf(parent, name);
        std::lock_guard guard(m_lock);
        auto found = m_index.find(key);
        return found == m_index.end() ? std::nullopt : std::optional<UInt32>(found->second);
    }

    std::optional<Location> location(UInt32 id)
    {
        std::lock_guard guard(m_lock);
        if (!isKnown(id))
            return std::nullopt;
        return Location { m_nodes[id].parent, std::string(m_nodes[id].name()) };
    }

    bool known(UInt32 id)
    {
        std::lock_guard guard(m_lock);
        return isKnown(id);
    }

    std::optional<std::string> path(const Location& location)
    {
        if (location.isRoot())
            return "/";
        std::lock_guard guard(m_lock);
        std::vector<std::string_view> names { location.name };
        size_t length = location.name.size() + 1;
        // A parent is always made before its children, so ids fall towards "/" and the walk ends.
        for (UInt32 id = location.parent; id != fsRtDirID; id = m_nodes[id].parent) {
            if (!isKnown(id))
                return std::nullopt;
            names.push_back(m_nodes[id].name());
            length += names.back().size() + 1;
        }
        std::string joined;
        joined.reserve(length);
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            joined += '/';
            joined += *name;
        }
        return joined;
    }

private:
    bool isKnown(UInt32 id) const { return id >= fsRtDirID && id < m_nodes.size(); }

    std::mutex m_lock;
    std::deque<Node> m_nodes;
    std::unordered_map<std::string_view, UInt32> m_index;
};

NodeTable& table()
{
    // Never destroyed: references may be resolved by other statics' destructors at exit.
    static auto* instance = new NodeTable;
    return *instance;
}

// Reference bytes: magic, kind, name length, two zero bytes, an id, then the name. Inline
// references hold the parent id and a name short enough to fit; interned ones hold the id of
// the location itself ("/", or an entry whose name is too long to fit).
constexpr UInt32 kRefMagic = 0x46535266; // 'FSRf'
constexpr UInt8 kInlineRef = 1;
constexpr UInt8 kInternedRef = 2;
constexpr size_t kKindOffset = 4, kLengthOffset = 5, kIDOffset = 8, kNameOffset = 12;
constexpr size_t kInlineNameCapacity = sizeof(FSRef::hidden) - kNameOffset;

bool allZero(const UInt8* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i])
            return false;
    }
    return true;
}

struct UniqueFd {
    int fd { -1 };
    UniqueFd() = default;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd()
    {
        if (fd >= 0)
            close(fd);
    }
    void reset(int descriptor)
    {
        if (fd >= 0)
            close(fd);
        fd = descriptor;
    }
};

// A directory descriptor and a path relative to it short enough for the OS. Returns 0 or errno.
int anchor(const std::string& path, UniqueFd& directory, std::string& rest)
{
    if (path.size() < PATH_MAX || path.empty() || path.front() != '/') {
        rest = path;
        return 0;
    }
    directory.reset(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (directory.fd < 0)
        return errno;
    size_t position = 1;
    while (path.size() - position >= PATH_MAX) {
        size_t slash = path.rfind('/', position + PATH_MAX - 1);
        if (slash == std::string::npos || slash <= position)
            return ENAMETOOLONG;
        std::string piece = path.substr(position, slash - position);
        int next = openat(directory.fd, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            return errno;
        directory.reset(next);
        position = slash + 1;
    }
    rest = path.substr(position);
    return 0;
}

std::string currentDirectory()
{
    std::vector<char> buffer(PATH_MAX);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

Canonical resolved(const std::string& path)
{
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
    if (!real)
        return { {}, errno };
    return { real.get(), 0 };
}

} // namespace

Location rootLocation()
{
    return Location { fsRtParID, {} };
}

std::optional<UInt32> intern(UInt32 parent, std::string_view name)
{
    return table().intern(parent, name);
}

std::optional<Location> locationOf(UInt32 id)
{
    return table().location(id);
}

bool isKnownFolderID(UInt32 id)
{
    return table().known(id);
}

std::optional<std::string> pathOf(const Location& location)
{
    return table().path(location);
}

std::optional<FSRef> encodeRef(const Location& location)
{
    FSRef ref {};
    UInt32 magic = kRefMagic;
    memcpy(ref.hidden, &magic, sizeof magic);
    if (!location.isRoot() && location.name.size() <= kInlineNameCapacity) {
        ref.hidden[kKindOffset] = kInlineRef;
        ref.hidden[kLengthOffset] = static_cast<UInt8>(location.name.size());
        memcpy(ref.hidden + kIDOffset, &location.parent, sizeof location.parent);
        memcpy(ref.hidden + kNameOffset, location.name.data(), location.name.size());
        return ref;
    }
    auto id = location.isRoot() ? std::optional<UInt32>(fsRtDirID) : intern(location.parent, location.name);
    if (!id)
        return std::nullopt;
    ref.hidden[kKindOffset] = kInternedRef;
    memcpy(ref.hidden + kIDOffset, &*id, sizeof *id);
    return ref;
}

std::optional<Location> decodeRef(const FSRef& ref)
{
    const UInt8* bytes = ref.hidden;
    UInt32 magic, id;
    memcpy(&magic, bytes, sizeof magic);
    memcpy(&id, bytes + kIDOffset, sizeof id);
    if (magic != kRefMagic || bytes[6] || bytes[7])
        return std::nullopt;
    if (bytes[kKindOffset] == kInlineRef) {
        size_t length = bytes[kLengthOffset];
        std::string_view name(reinterpret_cast<const char*>(bytes + kNameOffset), std::min(length, kInlineNameCapacity));
        if (length > kInlineNameCapacity || !allZero(bytes + kNameOffset + length, kInlineNameCapacity - length)
            || !isValidEntryName(name) || !isKnownFolderID(id))
            return std::nullopt;
        return Location { id, std::string(name) };
    }
    if (bytes[kKindOffset] != kInternedRef || bytes[kLengthOffset] || !allZero(bytes + kNameOffset, kInlineNameCapacity))
        return std::nullopt;
    auto location = locationOf(id);
    // Only "/" and names too long to be inline are interned references: any other spelling of a
    // location would make two byte patterns for one file.
    if (!location || !(location->isRoot() || location->name.size() > kInlineNameCapacity))
        return std::nullopt;
    return location;
}

Canonical canonicalPath(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return { {}, EINVAL };
    std::string absolute;
    if (path.front() != '/') {
        absolute = currentDirectory();
        if (absolute.empty())
            return { {}, errno ? errno : ENOENT };
        absolute += '/';
    }
    absolute += path;

    std::vector<std::string_view> components;
    bool resolveLast = false; // "dir/", "dir/." and "dir/.." name the folder itself
    size_t lastParent = std::string::npos;
    for (size_t start = 0; start <= absolute.size();) {
        size_t end = std::min(absolute.find('/', start), absolute.size());
        std::string_view part(absolute.data() + start, end - start);
        start = end + 1;
        resolveLast = part.empty() || part == "." || part == "..";
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            lastParent = components.size();
        components.push_back(part);
    }
    if (components.empty())
        return { "/", 0 };

    size_t folderComponents = resolveLast ? components.size() : components.size() - 1;
    auto join = [&](size_t from, size_t to) {
        std::string joined;
        for (size_t i = from; i < to; ++i)
            (joined += '/') += components[i];
        return joined;
    };
    // The folder part, physically resolved; empty for "/", so that names append as "/name".
    std::string folder;
    if (std::string spelled = join(0, folderComponents); !spelled.empty() && spelled.size() < PATH_MAX) {
        Canonical real = resolved(spelled);
        if (real.error)
            return real;
        if (real.path != "/")
            folder = std::move(real.path);
    } else if (!spelled.empty()) {
        // Too long for realpath: only a ".." must be resolved, through the part up to it.
        size_t lexicalFrom = 0;
        if (lastParent != std::string::npos && lastParent < folderComponents) {
            std::string upTo = join(0, lastParent + 1);
            if (upTo.size() >= PATH_MAX)
                return { {}, ENAMETOOLONG };
            Canonical real = resolved(upTo);
            if (real.error)
                return real;
            if (real.path != "/")
                folder = std::move(real.path);
            lexicalFrom = lastParent + 1;
        }
        folder += join(lexicalFrom, folderComponents);
    }
    if (!resolveLast) {
        folder += '/';
        folder += components.back();
    }
    return { folder.empty() ? std::string("/") : std::move(folder), 0 };
}

namespace {

// Walks the folders of a canonical absolute path down the table, each one found by folderOf.
template<typename FolderOf>
std::optional<Location> walkPath(std::string_view canonical, FolderOf folderOf)
{
    if (canonical.empty() || canonical.front() != '/')
        return std::nullopt;
    if (canonical == "/")
        return rootLocation();
    UInt32 parent = fsRtDirID;
    size_t start = 1;
    while (true) {
        size_t end = canonical.find('/', start);
        std::string_view name = canonical.substr(start, end == std::string_view::npos ? end : end - start);
        if (!isValidEntryName(name))
            return std::nullopt;
        if (end == std::string_view::npos)
            return Location { parent, std::string(name) };
        auto id = folderOf(parent, name);
        if (!id)
            return std::nullopt;
        parent = *id;
        start = end + 1;
    }
}

} // namespace

std::optional<Location> locationOfPath(std::string_view canonical)
{
    return walkPath(canonical, [](UInt32 parent, std::string_view name) { return intern(parent, name); });
}

std::optional<Location> knownLocationOfPath(std::string_view canonical)
{
    return walkPath(canonical, [](UInt32 parent, std::string_view name) { return table().find(parent, name); });
}

int lstatPath(const std::string& path, struct stat* info)
{
    UniqueFd directory;
    std::string rest;
    if (int error = anchor(path, directory, rest))
        return error;
    return fstatat(directory.fd >= 0 ? directory.fd : AT_FDCWD, rest.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int openPath(const std::string& path, int flags)
{
    UniqueFd directory;
    std::string rest;
    if (int error = anchor(path, directory, rest))
        return -error;
    int fd = openat(directory.fd >= 0 ? directory.fd : AT_FDCWD, rest.c_str(), flags | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

StandIn::FileDescriptor openRegularFileAtPath(const std::string& path, StandIn::FileFailure* failure)
{
    UniqueFd directory;
    std::string rest;
    if (int error = anchor(path, directory, rest)) {
        if (failure)
            *failure = { error == ENOENT || error == ENOTDIR ? StandIn::FileStatus::notFound : StandIn::FileStatus::unreadable, error };
        return {};
    }
    return StandIn::openRegularFile(rest.c_str(), failure, directory.fd >= 0 ? directory.fd : AT_FDCWD);
}

OSErr errorFromErrno(int error)
{
    switch (error) {
    case 0: return noErr;
    case ENOENT:
    case ENOTDIR: return fnfErr;
    case EACCES:
    case EPERM: return afpAccessDenied;
    case ENAMETOOLONG: return bdNamErr;
    case EINVAL: return paramErr;
    case ENOMEM: return memFullErr;
    default: return ioErr;
    }
}

std::optional<UInt32> nodeIDOf(const Location& location, bool isDirectory, UInt64 inode)
{
    if (location.isRoot())
        return static_cast<UInt32>(fsRtDirID);
    if (isDirectory)
        return intern(location.parent, location.name);
    auto folded = static_cast<UInt32>(inode ^ (inode >> 32));
    return kFirstFileNodeID | (folded & ~kFirstFileNodeID);
}

bool isValidEntryName(std::string_view name)
{
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

} // namespace fs_standin
