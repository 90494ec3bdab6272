// Stand-in only: what tests need of the File Manager beyond its calls. Tests run as root, who
// can open and list every folder, so a test makes a folder fail on purpose instead.
#pragma once

#include <Files/Files.h>

#include <string>

namespace StandIn {

enum class FolderFailurePoint {
    Open, // FSOpenIterator on the folder fails
    List, // the folder opens, and its first FSGetCatalogInfoBulk fails
    EntryInfo, // the next FSGetCatalogInfo of an entry of the folder fails, once, as it does for
               // an entry removed since it was listed
};

// Until cleared, the folder at path fails at that point with status.
PLATFORM_EXPORT void setFolderFailure(const std::string& path, FolderFailurePoint point, OSErr status);
PLATFORM_EXPORT void clearFolderFailures();

// With true, the call that delivers a folder's last entries returns errFSNoMoreItems with them,
// as the platform may; with false (the default), that call returns noErr and the next one
// errFSNoMoreItems with no entry.
PLATFORM_EXPORT void setLastEntryEndsListing(bool endsListing);

}
