#include "FSInternal.h"
#include "FilesPrivate.h"

using namespace fs_standin;

StandIn::FileDescriptor _FSOpenRegularFile(const std::string& path, StandIn::FileFailure* failure)
{
    // Only paths the table knows can have been found by a walk; nothing new is interned.
    auto location = knownLocationOfPath(path);
    auto top = location && !location->isRoot() ? listingTopOf(location->parent) : std::nullopt;
    auto topLocation = top && *top != fsRtDirID ? locationOf(*top) : std::nullopt;
    auto topPath = topLocation ? pathOf(*topLocation) : std::nullopt;
    if (!topPath)
        return openRegularFileAtPath(path, failure);
    std::string prefix = *topPath + "/";
    // The top's own path is where the walk began: it is taken as it is, but not a link put in
    // its place since.
    StandIn::FileDescriptor topFolder(openPath(*topPath, O_PATH | O_DIRECTORY | O_NOFOLLOW));
    if (!topFolder || path.compare(0, prefix.size(), prefix) != 0) {
        if (failure)
            *failure = { StandIn::FileStatus::notFound, ENOENT };
        return {};
    }
    return StandIn::openRegularFileBeneath(topFolder.get(), path.substr(prefix.size()), failure);
}
