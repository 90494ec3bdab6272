#include "RegularFile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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
