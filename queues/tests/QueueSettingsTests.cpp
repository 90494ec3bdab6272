// The pane's settings as the programs keep and read them: as the pane itself reads them, what a
// queue with nothing stored starts from, and a message cleaned of every code.
#include "queues/QueueSettings.h"

#include <gtest/gtest.h>

namespace {

StandIn::TicketItem integer(const char* key, SInt32 value)
{
    return { key, QueueSettings::client(), false, value, "", false };
}

StandIn::TicketItem text(const char* key, const std::string& value)
{
    return { key, QueueSettings::client(), true, 0, value, false };
}

TEST(QueueSettings, AreReadAsThePaneReadsThem)
{
    QueueSettings none;
    EXPECT_EQ(none.mode(), 1) << "no entry: accounting off";
    EXPECT_TRUE(none.asksForCodes()) << "no entry: the codes are asked for";
    EXPECT_FALSE(none.sendsStoredCodes());

    QueueSettings stored({ integer("com.movra.Act.trel.On", 1), integer("com.movra.Act.trel.On", 3), integer("com.movra.Act.trel.Prm", 0),
        text("com.movra.Act.trel.UID", "alice"), text("com.movra.Act.trel.AID", "4711") });
    EXPECT_EQ(stored.mode(), 3) << "of a key given twice the last counts";
    EXPECT_TRUE(stored.sendsStoredCodes());
    EXPECT_EQ(stored.code(QueueSettings::Entry::UserID), "alice");

    QueueSettings wrongKinds({ text("com.movra.Act.trel.On", "3"), text("com.movra.Act.trel.Prm", "0"), integer("com.movra.Act.trel.UID", 7) });
    EXPECT_FALSE(wrongKinds.accountingOn()) << "an entry of the other kind reads as absent";
    EXPECT_TRUE(wrongKinds.asksForCodes());
    EXPECT_EQ(wrongKinds.code(QueueSettings::Entry::UserID), "");

    // A printer's own codes: each once, the last given counting, and concealed unless stored off.
    QueueSettings printers({ text("com.movra.Act.codes.Code.UserCode", "1111"), text("com.movra.Act.codes.Code.PIN", "2468"),
        text("com.movra.Act.codes.Code.UserCode", "13579"), integer("com.movra.Act.codes.Code.JobPassword", 7) });
    EXPECT_EQ(printers.codes().printerCodes, (std::vector<std::pair<std::string, std::string>> { { "PIN", "2468" }, { "UserCode", "13579" } }));
    EXPECT_EQ(printers.printerCode("UserCode"), "13579");
    EXPECT_TRUE(printers.concealsPrinterCodes());
    printers.setConcealsPrinterCodes(false);
    EXPECT_FALSE(printers.concealsPrinterCodes());
}

TEST(QueueSettings, AQueueWithNothingStoredAsksForBothCodesConcealed)
{
    QueueSettings unstored = QueueSettings::unstored();
    EXPECT_EQ(unstored.mode(), 3);
    EXPECT_TRUE(unstored.asksForCodes());
    for (const auto& item : unstored.items()) {
        if (item.key == "com.movra.Act.trel.CU" || item.key == "com.movra.Act.trel.CA") {
            EXPECT_EQ(item.integer, 1) << item.key;
        }
    }
    EXPECT_EQ(unstored.items().size(), 4u);
}

TEST(QueueSettings, AServersMessageLosesEveryCodeItQuotes)
{
    QueueSettings settings({ integer("com.movra.Act.trel.On", 3), text("com.movra.Act.trel.UID", "alice"), text("com.movra.Act.trel.AID", "4711") });
    EXPECT_EQ(settings.withoutCodes("job-accounting-user-id \"alice\" refused; alice/4711 unknown"),
        "job-accounting-user-id \"(code)\" refused; (code)/(code) unknown");
    EXPECT_EQ(QueueSettings({ text("com.movra.Act.trel.UID", "") }).withoutCodes("nothing to hide"), "nothing to hide");
}

}
