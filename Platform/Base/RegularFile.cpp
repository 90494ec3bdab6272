#include "RegularFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace StandIn {

namespace {

const char* kindOf(mode_t type)
{
    switch (type & S_IFMT) {
    case S_IFDIR: return "a folder";
    case S_IFIFO: return "a FIFO";
    case S_IFCHR: return "a character device";
    case S_IFBLK: return "a block device";
    case S_IFSOCK: return "a socket";
    case S_IFLNK: return "a symbolic link";
    default: return "not a file";
    }
}

std::string sizeInWords(size_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    if (bytes >= 1024 && bytes % 1024 == 0)
        return std::to_string(bytes / 1024) + " KiB";
    return std::to_string(bytes) + " bytes";
}

void fail(FileFailure* failure, FileFailure what)
{
    if (failure)
        *failure = what;
}

FileFailure fromErrno(int number)
{
    switch (number) {
    case ENOENT:
    case ENOTDIR: return { FileStatus::notFound, number };
    case EACCES:
    case EPERM: return { FileStatus::denied, number };
    default: return { FileStatus::unreadable, number };
    }
}

// A path that would lead out of the folder it must stay in: refused as the link it goes through.
const FileFailure kLeadsOut { FileStatus::notRegular, EXDEV, S_IFLNK };

// The descriptor, when it is of a regular file.
FileDescriptor acceptRegularFile(FileDescriptor file, FileFailure* failure)
{
    struct stat info;
    if (fstat(file.get(), &info) != 0) {
        fail(failure, fromErrno(errno));
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        fail(failure, { FileStatus::notRegular, 0, info.st_mode & S_IFMT });
        return {};
    }
    return file;
}

// Adds the names of path to pending, so that its first name is the next taken (from the back).
void pushNames(std::vector<std::string>& pending, std::string_view path)
{
    std::vector<std::string> names;
    for (size_t start = 0; start <= path.size();) {
        size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            names.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    pending.insert(pending.end(), names.rbegin(), names.rend());
}

// The folder reached by the names below `folder`, each a folder and not a link.
FileDescriptor openBelow(int folder, const std::vector<std::string>& below, FileFailure* failure)
{
    FileDescriptor current(fcntl(folder, F_DUPFD_CLOEXEC, 0));
    for (const std::string& name : below) {
        if (!current)
            break;
        current = FileDescriptor(openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!current)
        fail(failure, fromErrno(errno));
    return current;
}

}

std::string FileFailure::describe() const
{
    switch (status) {
    case FileStatus::ok: return "no error";
    case FileStatus::notFound:
    case FileStatus::denied: return strerror(number);
    case FileStatus::notRegular: return std::string("not a regular file (") + kindOf(type) + ")";
    case FileStatus::tooLarge: return "larger than " + sizeInWords(limit);
    case FileStatus::unreadable: return std::string("cannot be read: ") + strerror(number);
    }
    return "cannot be read";
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            close(m_descriptor);
        m_descriptor = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

int FileDescriptor::release()
{
    int descriptor = m_descriptor;
    m_descriptor = -1;
    return descriptor;
}

FileDescriptor openRegularFile(const char* path, FileFailure* failure, int at, int extraFlags)
{
    if (!path || !*path) {
        fail(failure, { FileStatus::notFound, ENOENT });
        return {};
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer; on a regular
    // file it changes nothing. O_NOCTTY: a terminal named by mistake never becomes ours.
    FileDescriptor file(openat(at, path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags));
    if (!file) {
        // A socket (ENXIO) or, with O_NOFOLLOW, a link (ELOOP) cannot be opened at all; say
        // what it is rather than the system's puzzling word for it.
        int number = errno;
        struct stat info;
        if (fstatat(at, path, &info, (extraFlags & O_NOFOLLOW) ? AT_SYMLINK_NOFOLLOW : 0) == 0 && !S_ISREG(info.st_mode))
            fail(failure, { FileStatus::notRegular, number, info.st_mode & S_IFMT });
        else
            fail(failure, fromErrno(number));
        return {};
    }
    return acceptRegularFile(std::move(file), failure);
}

FileDescriptor openRegularFileBeneath(int folder, const std::string& path, FileFailure* failure)
{
    if (path.empty()) {
        fail(failure, { FileStatus::notFound, ENOENT });
        return {};
    }
    open_how how {};
    how.flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    long descriptor = -1;
    // EAGAIN: a rename elsewhere raced the resolution, which the kernel does not take the risk of.
    for (int attempt = 0; attempt < 3; ++attempt) {
        descriptor = syscall(SYS_openat2, folder, path.c_str(), &how, sizeof how);
        if (descriptor >= 0 || errno != EAGAIN)
            break;
    }
    if (descriptor < 0) {
        if (errno == ENOSYS || errno == ENAMETOOLONG)
            return openRegularFileBeneathByHand(folder, path, failure);
        fail(failure, errno == EXDEV ? kLeadsOut : fromErrno(errno));
        return {};
    }
    return acceptRegularFile(FileDescriptor(static_cast<int>(descriptor)), failure);
}

FileDescriptor openRegularFileBeneathByHand(int folder, const std::string& path, FileFailure* failure)
{
    constexpr int kMostLinks = 40; // as many as the kernel follows in one path
    if (path.empty() || path.front() == '/') {
        fail(failure, path.empty() ? FileFailure { FileStatus::notFound, ENOENT } : kLeadsOut);
        return {};
    }
    std::vector<std::string> pending; // the names still to take, the next one last
    pushNames(pending, path);
    std::vector<std::string> below; // the folders taken so far, from `folder` down
    FileDescriptor current; // the last of them; none while at `folder` itself
    int links = 0;
    while (!pending.empty()) {
        std::string name = std::move(pending.back());
        pending.pop_back();
        int at = current ? current.get() : folder;
        if (name == ".")
            continue;
        if (name == "..") {
            if (below.empty()) {
                fail(failure, kLeadsOut);
                return {};
            }
            below.pop_back();
            // From `folder` down again: the folder above the current one may have moved.
            if (!(current = openBelow(folder, below, failure)))
                return {};
            continue;
        }
        struct stat info;
        if (fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            fail(failure, fromErrno(errno));
            return {};
        }
        if (S_ISLNK(info.st_mode)) {
            std::vector<char> target(PATH_MAX);
            ssize_t length = readlinkat(at, name.c_str(), target.data(), target.size());
            if (length <= 0 || ++links > kMostLinks) {
                fail(failure, length < 0 ? fromErrno(errno) : FileFailure { FileStatus::unreadable, length ? ELOOP : ENOENT });
                return {};
            }
            if (target[0] == '/') {
                fail(failure, kLeadsOut);
                return {};
            }
            pushNames(pending, std::string_view(target.data(), static_cast<size_t>(length)));
            continue;
        }
        // The last name is opened without following a link, so a link swapped in since the
        // look is refused rather than followed.
        if (pending.empty())
            return openRegularFile(name.c_str(), failure, at, O_NOFOLLOW);
        FileDescriptor next(openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) {
            fail(failure, fromErrno(errno));
            return {};
        }
        current = std::move(next);
        below.push_back(std::move(name));
    }
    fail(failure, { FileStatus::notRegular, 0, S_IFDIR });
    return {};
}

bool readWholeFile(int descriptor, size_t maximumSize, std::string& contents, FileFailure* failure)
{
    struct stat info;
    size_t expected = fstat(descriptor, &info) == 0 && info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
    // The buffer starts at the size the file claims (one byte more, to see its end) and grows
    // only for a file that grew, never beyond one byte past the limit.
    std::string buffer(std::min(expected, maximumSize) + 1, '\0');
    size_t filled = 0;
    for (;;) {
        if (filled == buffer.size()) {
            if (filled > maximumSize)
                break;
            buffer.resize(std::min(buffer.size() * 2 + 4096, maximumSize + 1));
        }
        ssize_t count = read(descriptor, buffer.data() + filled, buffer.size() - filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            fail(failure, fromErrno(errno));
            return false;
        }
        if (count == 0)
            break;
        filled += static_cast<size_t>(count);
    }
    if (filled > maximumSize) {
        FileFailure tooLarge { FileStatus::tooLarge };
        tooLarge.limit = maximumSize;
        fail(failure, tooLarge);
        return false;
    }
    buffer.resize(filled);
    contents = std::move(buffer);
    return true;
}

bool readRegularFile(const std::string& path, size_t maximumSize, std::string& contents, FileFailure* failure)
{
    FileDescriptor file = openRegularFile(path.c_str(), failure);
    return file && readWholeFile(file.get(), maximumSize, contents, failure);
}

}
