#include "tests/support/HostilePropertyLists.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/LiveObjects.h"

#include <PrintCore/PMTicketStandIn.h>
#include <PrintCore/PrintCore.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";

std::string entry(const std::string& key, const std::string& value, const std::string& extra = "")
{
    return "<key>" + key + "</key><dict><key>client</key><string>com.pmvendor.printingmanager</string><key>value</key>"
        + value + extra + "</dict>";
}

class PrintSettingsFileTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_FALSE(folder.empty());
        PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &ticket);
    }

    void TearDown() override
    {
        PMRelease(ticket);
        BalancedTest::TearDown();
    }

    void writeFile(const std::string& contents)
    {
        std::ofstream out(path, std::ios::binary);
        out << contents;
    }

    std::string readFile()
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream contents;
        contents << in.rdbuf();
        return contents.str();
    }

    OSStatus load(std::string* message = nullptr)
    {
        std::string error;
        OSStatus status = StandIn::readSettingsFile(ticket, path, &error);
        if (message)
            *message = error;
        return status;
    }

    TemporaryTree tree;
    const std::string folder = tree.root();
    const std::string path = folder + "/job.plist";
    PMTicketRef ticket { nullptr };
};

TEST_F(PrintSettingsFileTest, SavedSettingsReadBackIntoAnotherTicket)
{
    PMTicketSetSInt32(ticket, CFSTR("com.pmvendor.printingmanager"), CFSTR("com.movra.Act.trel.On"), 3, false);
    PMTicketSetSInt32(ticket, CFSTR("com.pmvendor.printingmanager"), CFSTR("negative"), -42, true);
    PMTicketSetCString(ticket, CFSTR("com.pmvendor.printingmanager"), CFSTR("com.movra.Act.trel.UID"), "Zo\xC3\xAB <&>", false);
    std::string error;
    ASSERT_EQ(StandIn::writeSettingsFile(ticket, path, &error), noErr) << error;

    PMTicketRef other = nullptr;
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &other);
    ASSERT_EQ(StandIn::readSettingsFile(other, path, &error), noErr) << error;
    auto items = StandIn::ticketItems(other);
    PMRelease(other);

    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].key, "com.movra.Act.trel.On");
    EXPECT_EQ(items[0].integer, 3);
    EXPECT_EQ(items[1].integer, -42);
    EXPECT_TRUE(items[1].locked);
    EXPECT_TRUE(items[2].isString);
    EXPECT_EQ(items[2].string, "Zo\xC3\xAB <&>");
    EXPECT_EQ(items[2].client, "com.pmvendor.printingmanager");
}

TEST_F(PrintSettingsFileTest, SavedFileIsReadableByItsOwnerAlone)
{
    PMTicketSetCString(ticket, CFSTR("c"), CFSTR("com.movra.Act.trel.AID"), "secret", false);
    ASSERT_EQ(StandIn::writeSettingsFile(ticket, path, nullptr), noErr);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(PrintSettingsFileTest, FailedSaveKeepsThePreviousFile)
{
    writeFile("previous contents");
    std::string blocked = folder + "/no-such-folder/job.plist";
    std::string error;
    EXPECT_NE(StandIn::writeSettingsFile(ticket, blocked, &error), noErr);
    EXPECT_NE(error.find(blocked), std::string::npos) << error;
    EXPECT_EQ(readFile(), "previous contents");

    // A save over a folder fails at the rename: the temporary file is gone afterwards.
    std::string folderInTheWay = folder + "/taken";
    mkdir(folderInTheWay.c_str(), 0700);
    EXPECT_NE(StandIn::writeSettingsFile(ticket, folderInTheWay, &error), noErr);
    std::string leftovers = "ls '" + folder + "' | grep -q 'taken\\.' ";
    EXPECT_NE(system(leftovers.c_str()), 0) << "no temporary file is left behind";
}

struct BadFile {
    const char* name;
    std::string contents;
    const char* mentions;
};

class MalformedSettingsFileTest : public PrintSettingsFileTest, public ::testing::WithParamInterface<BadFile> {
};

void PrintTo(const BadFile& file, std::ostream* out)
{
    *out << file.name;
}

TEST_P(MalformedSettingsFileTest, IsRefusedWithItsFileAndKeyAndChangesNothing)
{
    PMTicketSetSInt32(ticket, CFSTR("c"), CFSTR("existing"), 1, false);
    writeFile(GetParam().contents);
    std::string error;
    EXPECT_NE(load(&error), noErr);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(GetParam().mentions), std::string::npos) << error;
    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), 1u) << "nothing of a bad file reaches the ticket";
    EXPECT_EQ(items[0].key, "existing");
}

INSTANTIATE_TEST_SUITE_P(Files, MalformedSettingsFileTest,
    ::testing::Values(BadFile { "empty", "", "not a property list" },
        BadFile { "not_xml", "this is not a plist", "not a property list" },
        BadFile { "truncated", std::string(kHeader) + "<dict><key>a</key><dict>", "not a property list" },
        BadFile { "top_level_array", std::string(kHeader) + "<array/></plist>", "top level" },
        BadFile { "entry_not_a_dictionary", std::string(kHeader) + "<dict><key>com.movra.Act.trel.On</key><integer>3</integer></dict></plist>",
            "\"com.movra.Act.trel.On\"" },
        BadFile { "value_missing",
            std::string(kHeader) + "<dict><key>com.movra.Act.trel.On</key><dict><key>client</key><string>x</string></dict></dict></plist>",
            "\"com.movra.Act.trel.On\"" },
        BadFile { "value_is_real", std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.AT", "<real>2.5</real>") + "</dict></plist>",
            "\"com.movra.Act.trel.AT\"" },
        BadFile { "value_too_large", std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.On", "<integer>2147483648</integer>") + "</dict></plist>",
            "32 bits" },
        BadFile { "value_wraps_to_minus_one",
            std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.On", "<integer>18446744073709551615</integer>") + "</dict></plist>",
            "32 bits" },
        BadFile { "locked_not_boolean",
            std::string(kHeader) + "<dict>" + entry("k", "<integer>1</integer>", "<key>locked</key><string>yes</string>") + "</dict></plist>",
            "\"locked\"" },
        // Found by fuzz/SettingsFileFuzzer: libplist's plist_get_string_val aborted the process on
        // a string with a NUL byte inside.
        BadFile { "value_with_nul",
            std::string(kHeader) + "<dict>" + entry("k", std::string("<string>a\0b</string>", 20)) + "</dict></plist>",
            "key \"k\": \"value\" holds a control character" },
        BadFile { "client_with_nul",
            std::string(kHeader) + "<dict><key>k</key><dict><key>client</key>" + std::string("<string>a\0b</string>", 20)
                + "<key>value</key><integer>1</integer></dict></dict></plist>",
            "\"client\"" },
        // An escape in a code was saved as it came, and XML readers then refused the saved file.
        BadFile { "user_code_with_escape",
            std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.UID", "<string>al&#27;[2Jice</string>") + "</dict></plist>",
            "key \"com.movra.Act.trel.UID\": \"value\" holds a control character" },
        BadFile { "account_code_with_delete",
            std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.AID", "<string>47&#127;11</string>") + "</dict></plist>",
            "key \"com.movra.Act.trel.AID\": \"value\" holds a control character" },
        BadFile { "other_value_with_tab", std::string(kHeader) + "<dict>" + entry("note", "<string>a&#9;b</string>") + "</dict></plist>",
            "key \"note\": \"value\" holds a control character" },
        BadFile { "value_with_noncharacter",
            std::string(kHeader) + "<dict>" + entry("note", "<string>a&#xFFFE;</string>") + "</dict></plist>", "U+FFFE" },
        BadFile { "client_with_line_feed",
            std::string(kHeader) + "<dict><key>k</key><dict><key>client</key><string>a&#10;b</string><key>value</key><integer>1</integer></dict></dict></plist>",
            "key \"k\": \"client\" holds a control character" },
        // The key is shown with the escape written out, so that it cannot act on a terminal.
        BadFile { "key_with_escape", std::string(kHeader) + "<dict>" + entry("k&#27;]0;x&#7;", "<integer>1</integer>") + "</dict></plist>",
            "key \"k\\x1B]0;x\\x07\" holds a control character" },
        BadFile { "deeply_nested", std::string(kHeader) + "<dict>" + entry("k", nestedXMLArrays(200'000)) + "</dict></plist>",
            "nested more than 64 levels deep" },
        BadFile { "deep_binary", binaryArrayChain(300'000, 1), "nested more than 64 levels deep" },
        BadFile { "binary_that_expands_to_2_to_the_40_arrays", binaryArrayChain(40, 2), "holds more than 1000000 elements" },
        BadFile { "second_entry_bad",
            std::string(kHeader) + "<dict>" + entry("good", "<integer>1</integer>") + entry("bad", "<data>AAAA</data>") + "</dict></plist>",
            "\"bad\"" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintSettingsFileTest, MissingFileIsAClearError)
{
    std::string error;
    EXPECT_NE(load(&error), noErr);
    EXPECT_NE(error.find(path), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST_F(PrintSettingsFileTest, ClientAndLockedMayBeLeftOut)
{
    writeFile(std::string(kHeader) + "<dict><key>com.movra.Act.trel.On</key><dict><key>value</key><integer>-2147483648</integer></dict></dict></plist>");
    ASSERT_EQ(load(), noErr);
    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].integer, INT32_MIN);
    EXPECT_FALSE(items[0].locked);
    EXPECT_EQ(items[0].client, "");
}

TEST_F(PrintSettingsFileTest, KeysGivenTwiceAreNamedAndTheLastOneCounts)
{
    writeFile(std::string(kHeader) + "<dict>" + entry("com.movra.Act.trel.On", "<integer>2</integer>")
        + entry("com.movra.Act.trel.Prm", "<integer>0</integer>", "<key>value</key><integer>1</integer>")
        + entry("com.movra.Act.trel.On", "<integer>3</integer>") + "</dict></plist>");
    StandIn::SettingsFileReading reading;
    std::string error;
    ASSERT_EQ(StandIn::readSettingsFile(ticket, path, &error, &reading), noErr) << error;
    EXPECT_EQ(reading.warnings,
        (std::vector<std::string> { path + ": key \"com.movra.Act.trel.Prm\": \"value\" is given more than once; the last one counts",
            path + ": key \"com.movra.Act.trel.On\" is given more than once; the last one counts" }));
    auto items = StandIn::ticketItems(ticket);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].key, "com.movra.Act.trel.On");
    EXPECT_EQ(items[0].integer, 3);
    EXPECT_EQ(items[1].integer, 1);
    ASSERT_EQ(reading.items.size(), 2u);
    EXPECT_EQ(reading.items[0].integer, 3);
}

// The characters XML 1.0 allows in a document.
bool isXMLText(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2
            : lead < 0xF0                          ? 3
                                                   : 4;
        char32_t character = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < text.size(); ++k)
            character = character << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        bool allowed = character == 0x9 || character == 0xA || character == 0xD || (character >= 0x20 && character <= 0xD7FF)
            || (character >= 0xE000 && character <= 0xFFFD) || (character >= 0x10000 && character <= 0x10FFFF);
        if (!allowed)
            return false;
        i += length;
    }
    return true;
}

std::string utf8Of(char32_t character)
{
    if (character < 0x80)
        return std::string(1, static_cast<char>(character));
    if (character < 0x800)
        return { static_cast<char>(0xC0 | character >> 6), static_cast<char>(0x80 | (character & 0x3F)) };
    return { static_cast<char>(0xE0 | character >> 12), static_cast<char>(0x80 | (character >> 6 & 0x3F)),
        static_cast<char>(0x80 | (character & 0x3F)) };
}

TEST_F(PrintSettingsFileTest, WhatTheTicketTakesIsSavedAsXMLThatReadsBackOrNotSavedAtAll)
{
    std::vector<char32_t> characters { 0x85, 0xE9, 0x2028, 0xFFFD, 0xFFFE, 0xFFFF };
    for (char32_t character = 1; character < 0x80; ++character)
        characters.push_back(character);
    for (char32_t character : characters) {
        SCOPED_TRACE("U+" + std::to_string(character));
        writeFile("previous contents");
        std::string code = "al" + utf8Of(character) + "ice";
        ASSERT_EQ(PMTicketSetCString(ticket, CFSTR("c"), CFSTR("com.movra.Act.trel.UID"), code.c_str(), false), noErr);
        std::string error;
        OSStatus saved = StandIn::writeSettingsFile(ticket, path, &error);
        bool control = character < 0x20 || character == 0x7F || character == 0xFFFE || character == 0xFFFF;
        if (control) {
            EXPECT_NE(saved, noErr);
            EXPECT_EQ(error.find(path + ": cannot save: key \"com.movra.Act.trel.UID\": \"value\" holds"), 0u) << error;
            EXPECT_EQ(error.find(code), std::string::npos) << "the code stays out of the message";
            EXPECT_EQ(readFile(), "previous contents");
            continue;
        }
        ASSERT_EQ(saved, noErr) << error;
        EXPECT_TRUE(isXMLText(readFile()));
        PMTicketRef other = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &other);
        EXPECT_EQ(StandIn::readSettingsFile(other, path, &error), noErr) << error;
        auto items = StandIn::ticketItems(other);
        PMRelease(other);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].string, code);
    }
}

TEST_F(PrintSettingsFileTest, AKeyOrClientWithAControlCharacterIsNotSaved)
{
    writeFile("previous contents");
    CFStringRef key = CFStringCreateWithCString(kCFAllocatorDefault, "com.movra\x1B[2J", kCFStringEncodingUTF8);
    PMTicketSetSInt32(ticket, CFSTR("c"), key, 1, false);
    CFRelease(key);
    std::string error;
    EXPECT_NE(StandIn::writeSettingsFile(ticket, path, &error), noErr);
    EXPECT_EQ(error, path + ": cannot save: key \"com.movra\\x1B[2J\" holds a control character");
    EXPECT_EQ(readFile(), "previous contents");

    PMTicketRef other = nullptr;
    PMTicketCreate(kCFAllocatorDefault, kPMPrintSettingsTicket, &other);
    PMTicketSetSInt32(other, CFSTR("client\tname"), CFSTR("k"), 1, false);
    EXPECT_NE(StandIn::writeSettingsFile(other, path, &error), noErr);
    EXPECT_EQ(error, path + ": cannot save: key \"k\": \"client\" holds a control character");
    PMRelease(other);
    EXPECT_EQ(readFile(), "previous contents");
}

}
