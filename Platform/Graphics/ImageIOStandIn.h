// Stand-in only. The image-source service is bound weakly: code must test for its presence
// before calling it. This stands in for testing the weak symbol's address; tests switch the
// service off to see the code's behaviour without it.
#pragma once

#include <Graphics/ImageIO.h>

namespace StandIn {

PLATFORM_EXPORT bool imageSourceAvailable();
PLATFORM_EXPORT void setImageSourceAvailable(bool available);

}
