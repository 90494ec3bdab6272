#pragma once

#include <PrintCore/PMCore.h>
#include <PrintCore/PMErrors.h>
#include <PrintCore/PMPrintingDialogExtensions.h>
#include <PrintCore/PPDLib.h>
