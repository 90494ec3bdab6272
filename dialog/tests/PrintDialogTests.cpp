// What a program that plays the printing system learns of, and gives to, a whole Print dialog
// in the test's own process: whether the pane took the Print button for its printer, and the
// settings the dialog starts from when there is no settings file.
#include "tests/support/LiveObjects.h"
#include "dialog/PrintDialog.h"
#include "tests/support/RecordingInputSource.h"

#include <HIToolbox/HIToolboxStandIn.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <CoreFoundation/CFStandIn.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const std::string kExamples = EXAMPLES_DIR;
constexpr const char* kClient = "com.pmvendor.printingmanager";

StandIn::TicketItem setting(const char* key, SInt32 value)
{
    return { key, kClient, false, value, "", false };
}

class WholeDialog : public BalancedDialogTest {
protected:
    static PrintDialogSetup setupFor(const std::string& ppd, std::vector<StandIn::TicketItem> items, const std::string& settings = "")
    {
        return { .ppdPath = kExamples + "/" + ppd,
            .settingsPath = settings,
            .plugInPath = ACCOUNTING_BUNDLE_DIR,
            .primaryPlugInPath = PRIMARY_PDE_BUNDLE_DIR,
            .settingItems = std::move(items) };
    }
};

TEST_F(WholeDialog, ThePaneHooksThePrintButtonOnlyForAPrinterItServes)
{
    std::string error;
    PrintDialog movra;
    ASSERT_TRUE(movra.open(setupFor("Movra-RK7700.ppd", {}), &error)) << error;
    EXPECT_TRUE(movra.printClickHooked());
    PrintDialog lumio;
    ASSERT_TRUE(lumio.open(setupFor("Lumio-LP200.ppd", {}), &error)) << error;
    EXPECT_FALSE(lumio.printClickHooked()) << "another maker's printer prints without the pane";
    RecordingInputSource nobody;
    EXPECT_EQ(lumio.clickPrint(&error), PrintClick::Printed) << error;
}

TEST_F(WholeDialog, WithoutASettingsFileTheDialogStartsFromTheSettingsGiven)
{
    std::string error;
    PrintDialog asking;
    ASSERT_TRUE(asking.open(setupFor("Movra-RK7700.ppd", { setting("com.movra.Act.trel.On", 3), setting("com.movra.Act.trel.Prm", 1) }), &error))
        << error;
    RecordingInputSource person;
    std::string promptName;
    person.queue([&](WindowRef prompt) {
        promptName = StandIn::windowDefinitionName(prompt);
        ControlRef cancel = nullptr;
        const ControlID cancelID = { 'MVRa', 1001 };
        GetControlByID(prompt, &cancelID, &cancel);
        std::string refused;
        StandIn::clickControl(cancel, &refused);
    });
    EXPECT_EQ(asking.clickPrint(&error), PrintClick::NotPrinted);
    EXPECT_EQ(promptName, "Accounting") << "accounting on, with the prompt";
    EXPECT_EQ(person.events().size(), 1u) << "the alert after Cancel";

    PrintDialog off;
    ASSERT_TRUE(off.open(setupFor("Movra-RK7700.ppd", { setting("com.movra.Act.trel.On", 1) }), &error)) << error;
    EXPECT_EQ(off.clickPrint(&error), PrintClick::Printed) << "accounting off: no prompt, the click goes on";

    PrintDialog fromFile;
    ASSERT_TRUE(fromFile.open(setupFor("Movra-RK7700.ppd", { setting("com.movra.Act.trel.On", 1) }, kExamples + "/settings/default-codes.plist"), &error))
        << error;
    EXPECT_EQ(fromFile.clickPrint(&error), PrintClick::Printed);
    bool codesFromFile = false;
    for (const StandIn::TicketItem& item : fromFile.printSettings())
        codesFromFile = codesFromFile || (item.key == "com.movra.Act.trel.On" && item.integer == 3);
    EXPECT_TRUE(codesFromFile) << "a settings file wins over the settings given";
}

}
