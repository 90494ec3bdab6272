#pragma once

#include <Graphics/QuickDraw.h>
#include <HIToolbox/CarbonEvents.h>
#include <HIToolbox/Controls.h>
#include <HIToolbox/Dialogs.h>
#include <HIToolbox/IBCarbonRuntime.h>
#include <HIToolbox/MacWindows.h>
#include <HIToolbox/Menus.h>
