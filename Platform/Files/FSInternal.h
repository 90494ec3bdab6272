// Inside the File Manager stand-in: what its sources share. Other families use FilesPrivate.h.
//
// A file or folder is a location: the id of its parent folder and its name. Ids come from one
// process-wide table of (parent id, name) nodes, so a folder path is stored once however many
// references name entries in it, and memory grows with the folders (and over-long names) seen,
// not with the references handed out. Id 2 is "/" (fsRtDirID), whose parent is fsRtParID.
#pragma once

#include <Base/RegularFile.h>
#include <Files/Files.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace fs_standin {

// The one volume: every path is on it, since the stand-in does not tell mounts apart.
constexpr FSVolumeRefNum kVolume = -100;
// Ids of folders and over-long names stay below this so that they fit FSSpec's signed parID
// and never meet the node ids of files, which are made from inode numbers above it.
constexpr UInt32 kFirstFileNodeID = 0x80000000u;

struct Location {
    UInt32 parent { 0 };
    std::string name;

    bool isRoot() const { return parent == fsRtParID; }
};

Location rootLocation();

// The id of (parent, name), made on first use; null when parent is unknown or ids ran out.
std::optional<UInt32> intern(UInt32 parent, std::string_view name);
// The location of a known id other than fsRtParID.
std::optional<Location> locationOf(UInt32 id);
bool isKnownFolderID(UInt32 id);
std::optional<std::string> pathOf(const Location& location);

// References: the canonical bytes for a location (one location, one byte pattern, so memcmp
// compares them), and back. Decoding refuses anything the stand-in could not have written.
std::optional<FSRef> encodeRef(const Location& location);
std::optional<Location> decodeRef(const FSRef& ref);

// An absolute path made canonical the way FSPathMakeRef names things: the folder part
// resolved through symbolic links and "..", the last component kept unless it is "." or "..".
// An errno value on failure.
struct Canonical {
    std::string path;
    int error { 0 };
};
Canonical canonicalPath(std::string_view path);
// The location of a canonical absolute path, interning its folders.
std::optional<Location> locationOfPath(std::string_view canonical);
// The same for a path whose folders are all in the table already; null otherwise, and nothing
// is interned.
std::optional<Location> knownLocationOfPath(std::string_view canonical);

// The status of a test's EntryInfo failure set on the folder that holds path, which it uses
// up; noErr when none is set.
OSErr takeEntryInfoFailure(const std::string& path);

// The folder whose listing began the walk that last listed folderID (folderID itself for a
// walk's first folder); null for a folder never listed.
std::optional<UInt32> listingTopOf(UInt32 folderID);

// lstat of a path of any length: the OS refuses paths of PATH_MAX bytes or more, so a long one
// is opened a piece at a time. Returns 0 or an errno value.
int lstatPath(const std::string& path, struct stat* info);
// open(2) with the same reach; returns a descriptor or -errno.
int openPath(const std::string& path, int flags);
// StandIn::openRegularFile with the same reach.
StandIn::FileDescriptor openRegularFileAtPath(const std::string& path, StandIn::FileFailure* failure);

OSErr errorFromErrno(int error);

// The node id of an entry: fsRtDirID for "/", the interned id for a folder, and for anything
// else a value made from the inode number, at or above kFirstFileNodeID.
std::optional<UInt32> nodeIDOf(const Location& location, bool isDirectory, UInt64 inode);
// Fills the fields whichInfo asks for and leaves the others alone. info is needed only for the
// data sizes of something other than a folder (folders have none).
OSErr fillCatalogInfo(FSCatalogInfoBitmap whichInfo, const Location& location, bool isDirectory, UInt64 inode,
    const struct stat* info, FSCatalogInfo& catalogInfo);

// Names. HFSUniStr255: UTF-16 of the UTF-8 name, each byte that is not part of valid UTF-8
// becoming U+F700 + byte (private use), so that every name gives a distinct, usable name.
void uniNameOf(std::string_view name, HFSUniStr255& uniName);
// The FSSpec name of an entry: the name itself when it is valid UTF-8 of at most 63 bytes and
// does not look like a mark, else a shortened form "prefix#ID.ext" where ID is the hexadecimal
// id of (parent, name) in the table. Null when ids ran out.
std::optional<std::string> fsSpecNameOf(UInt32 parent, std::string_view name);
// The entry name an FSSpec name stands for; null for a mark that is not a name of parent.
std::optional<std::string> entryNameOf(UInt32 parent, std::string_view shortName);
bool isValidEntryName(std::string_view name);

// The FSSpec of a location; null when ids ran out.
std::optional<FSSpec> fsSpecOf(const Location& location);
// The location an FSSpec names, or the status that refuses it.
struct FSSpecResolution {
    std::optional<Location> location;
    OSErr status { noErr };
};
FSSpecResolution resolveFSSpec(const FSSpec& fsSpec);

} // namespace fs_standin
