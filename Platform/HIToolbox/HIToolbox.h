#pragma once

#include <Graphics/QuickDraw.h>
#include <HIToolbox/CarbonEvents.h>
#include <HIToolbox/Controls.h>
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/Menus.h>
