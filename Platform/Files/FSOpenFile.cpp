#include "FSInternal.h"
#include "FilesPrivate.h"

using namespace fs_standin;

StandIn::FileDescriptor _FSOpenRegularFile(const std::string& path, StandIn::FileFailure* failure)
{
    return openRegularFileAtPath(path, failure);
}
