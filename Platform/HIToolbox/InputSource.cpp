#include <HIToolbox/HIInputSource.h>

namespace {

HIInputSource* gInputSource = nullptr;

}

void HISetInputSource(HIInputSource* source)
{
    gInputSource = source;
}

HIInputSource* HIGetInputSource()
{
    return gInputSource;
}
