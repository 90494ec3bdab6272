// The Print dialog of a job held on the example Movra queue, as the agent opens it: the queue's
// stored settings file, or, with none, the settings a queue with nothing stored starts from.
#pragma once

#include "dialog/PrintDialog.h"
#include "queues/QueueSettings.h"

#include <gtest/gtest.h>

#include <string>

inline bool openHeldJobDialog(PrintDialog& dialog, const std::string& settings = "")
{
    std::string error;
    bool opened = dialog.open({ .ppdPath = std::string(EXAMPLES_DIR) + "/Movra-RK7700.ppd",
                                  .settingsPath = settings,
                                  .plugInPath = ACCOUNTING_BUNDLE_DIR,
                                  .primaryPlugInPath = PRIMARY_PDE_BUNDLE_DIR,
                                  .settingItems = settings.empty() ? QueueSettings::unstored().items() : std::vector<StandIn::TicketItem>() },
        &error);
    EXPECT_TRUE(opened) << error;
    return opened;
}
