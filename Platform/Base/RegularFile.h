// Stand-in only: reading the files the product is given. Every path comes from outside, so it
// may name a FIFO without a writer, a device that never ends, a folder, or a file far larger than
// any the product reads; each of those must be refused at once, never waited on or swallowed.
#pragma once

#include <Base/PlatformExport.h>

#include <cstddef>
#include <fcntl.h>
#include <string>

namespace StandIn {

enum class FileStatus {
    ok,
    notFound,
    denied,
    notRegular,
    tooLarge,
    unreadable,
};

// Why a file could not be read, in words that can follow "PATH: " in a message.
struct PLATFORM_EXPORT FileFailure {
    FileStatus status { FileStatus::ok };
    int number { 0 }; // the errno value, where the system gave one
    mode_t type { 0 }; // for notRegular: what it is instead (S_IFIFO, S_IFDIR, ...)
    size_t limit { 0 }; // for tooLarge

    std::string describe() const;
};

// An open file descriptor that closes itself.
class PLATFORM_EXPORT FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_descriptor(other.release())
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return m_descriptor; }
    explicit operator bool() const { return m_descriptor >= 0; }
    // Hands the descriptor over to a caller that closes it.
    int release();

private:
    int m_descriptor { -1 };
};

// Opens path (relative to the folder descriptor `at` when it is relative) for reading and accepts
// it only when it is a regular file. The open never blocks, so a FIFO is refused as soon as it is
// seen. extraFlags adds flags such as O_NOFOLLOW. On failure the descriptor is empty and *failure
// (when given) says why.
PLATFORM_EXPORT FileDescriptor openRegularFile(const char* path, FileFailure* failure, int at = AT_FDCWD, int extraFlags = 0);

// Opens path, relative to the folder descriptor `folder`, only where every step of it, symbolic
// links included, stays inside that folder: ".." above it and absolute links are refused, even
// links that lead back in (the kernel's RESOLVE_BENEATH rule, through openat2). Then as
// openRegularFile. A way out is refused as notRegular, a symbolic link.
PLATFORM_EXPORT FileDescriptor openRegularFileBeneath(int folder, const std::string& path, FileFailure* failure);
// The same rule followed by hand, one name at a time: what openRegularFileBeneath does where
// the kernel has no openat2, or for a path longer than the kernel takes whole.
PLATFORM_EXPORT FileDescriptor openRegularFileBeneathByHand(int folder, const std::string& path, FileFailure* failure);

// The whole of an open file, when it holds at most maximumSize bytes. At most one byte beyond
// the limit is read, so a file that grows without end (or lies about its size) costs nothing.
PLATFORM_EXPORT bool readWholeFile(int descriptor, size_t maximumSize, std::string& contents, FileFailure* failure);

// Both at once: the whole of the regular file at path.
PLATFORM_EXPORT bool readRegularFile(const std::string& path, size_t maximumSize, std::string& contents, FileFailure* failure);

}
