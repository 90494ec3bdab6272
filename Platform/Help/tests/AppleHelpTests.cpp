// Help books as the pane opens them: registering a bundle's book, opening a page and looking up
// an anchor, with what reaches the input source, and the errors for books, pages and paths
// that are missing or reach outside the book.
#include "tests/support/LiveObjects.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/RecordingInputSource.h"

#include <Help/AppleHelp.h>
#include <HIToolbox/InputSourceStandIn.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A string for the length of one call.
struct Text {
    explicit Text(const char* text)
        : string(text ? CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8) : nullptr)
    {
    }
    explicit Text(const std::string& text)
        : Text(text.c_str())
    {
    }
    ~Text()
    {
        if (string)
            CFRelease(string);
    }
    operator CFStringRef() const { return string; }
    CFStringRef string;
};

class HelpBookTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        // Books live for the process: each test's book has a name of its own.
        m_book = "Help " + fs::path(m_root).filename().string();
    }

    void write(const std::string& relative, const std::string& contents) const
    {
        fs::path file = fs::path(m_root) / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << contents;
    }

    // Book.bundle naming the book and its folder; an empty argument leaves that key out.
    void writeBundle(const std::string& book, const std::string& folder) const
    {
        std::string entries = book.empty() ? "" : "<key>CFBundleHelpBookName</key><string>" + book + "</string>";
        if (!folder.empty())
            entries += "<key>CFBundleHelpBookFolder</key><string>" + folder + "</string>";
        write("Book.bundle/Contents/Info.plist", "<plist version=\"1.0\"><dict>" + entries + "</dict></plist>");
    }

    OSStatus registerBook(const std::string& relative = "Book.bundle") const
    {
        Text path(m_root + "/" + relative);
        CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle, true);
        OSStatus status = AHRegisterHelpBookWithURL(url);
        CFRelease(url);
        return status;
    }

    // In memory: one test's book holds 10,000 entries.
    TemporaryTree m_tree { TreePlace::memory };
    const std::string m_root = m_tree.root();
    std::string m_book;
    RecordingInputSource m_source;
};

// A registered book with its pages in an English folder, as the pane's bundle has it.
class RegisteredBookTest : public HelpBookTest {
protected:
    void SetUp() override
    {
        HelpBookTest::SetUp();
        writeBundle(m_book, "AccountingHelp");
        m_folder = m_root + "/Book.bundle/Contents/Resources/en.lproj/AccountingHelp";
        write("Book.bundle/Contents/Resources/en.lproj/AccountingHelp/index.html", "<h1>Accounting</h1>");
        write("Book.bundle/Contents/Resources/en.lproj/AccountingHelp/Mac_topics/codes.htm",
            "<h2 ID = 'prompt'>Asked</h2>\n<p data-id=\"dataonly\">\n<a\nname=\"defaults\">Defaults</a>");
        ASSERT_EQ(registerBook(), noErr);
    }

    OSStatus gotoPage(const char* page, const char* anchor = nullptr) const
    {
        return AHGotoPage(Text(m_book), Text(page), Text(anchor));
    }

    OSStatus lookupAnchor(const char* anchor) const { return AHLookupAnchor(Text(m_book), Text(anchor)); }

    std::string m_folder;
};

TEST_F(HelpBookTest, RegisteringNeedsABundleThatNamesABookFolderWithinIt)
{
    EXPECT_EQ(AHRegisterHelpBookWithURL(nullptr), paramErr);
    EXPECT_EQ(registerBook("Missing.bundle"), kAHInternalErr);
    write("Outside/page.html", "x");
    const std::pair<std::string, std::string> incomplete[] = { { "", "Folder" }, { m_book, "" }, { m_book, "NoSuchFolder" },
        { m_book, "../../Outside" } };
    for (const auto& [book, folder] : incomplete) {
        writeBundle(book, folder);
        EXPECT_EQ(registerBook(), kAHInternalErr) << book << " " << folder;
    }
    EXPECT_EQ(AHGotoPage(Text(m_book), CFSTR("page.html"), nullptr), kAHBookNotFoundErr);
    EXPECT_TRUE(m_source.events().empty());
}

TEST_F(HelpBookTest, TheLocalizedFolderIsPreferredOverTheUnlocalizedOne)
{
    writeBundle(m_book, "Help");
    write("Book.bundle/Contents/Resources/Help/page.html", "unlocalized");
    ASSERT_EQ(registerBook(), noErr);
    EXPECT_EQ(AHGotoPage(Text(m_book), CFSTR("page.html"), nullptr), noErr);
    write("Book.bundle/Contents/Resources/en.lproj/Help/page.html", "English");
    ASSERT_EQ(registerBook(), noErr);
    EXPECT_EQ(AHGotoPage(Text(m_book), CFSTR("page.html"), nullptr), noErr);
    std::string resources = "help: " + m_root + "/Book.bundle/Contents/Resources/";
    EXPECT_EQ(m_source.events(), std::vector<std::string>({ resources + "Help/page.html", resources + "en.lproj/Help/page.html" }));
}

TEST_F(RegisteredBookTest, GotoPageOpensTheFileAtTheAnchor)
{
    EXPECT_EQ(gotoPage("Mac_topics/codes.htm", "prompt"), noErr);
    EXPECT_EQ(gotoPage("index.html"), noErr);
    EXPECT_EQ(m_source.events(),
        std::vector<std::string>({ "help: " + m_folder + "/Mac_topics/codes.htm#prompt", "help: " + m_folder + "/index.html" }));
}

TEST_F(RegisteredBookTest, GotoPageRefusesUnknownBooksMissingPagesAndPathsOutOfTheBook)
{
    write("Book.bundle/Contents/Resources/en.lproj/secret.html", "outside the book");
    EXPECT_EQ(AHGotoPage(CFSTR("No Such Book"), CFSTR("index.html"), nullptr), kAHBookNotFoundErr);
    EXPECT_EQ(AHGotoPage(nullptr, CFSTR("index.html"), nullptr), paramErr);
    EXPECT_EQ(gotoPage("missing.html"), fnfErr);
    EXPECT_EQ(gotoPage("Mac_topics"), fnfErr);
    for (const std::string& path : { std::string("../secret.html"), std::string("Mac_topics/../../secret.html"), m_folder + "/index.html" })
        EXPECT_EQ(gotoPage(path.c_str()), paramErr) << path;
    EXPECT_EQ(gotoPage(nullptr), paramErr);
    EXPECT_TRUE(m_source.events().empty());
}

TEST_F(RegisteredBookTest, LookupAnchorOpensThePageThatHoldsIt)
{
    EXPECT_EQ(lookupAnchor("prompt"), noErr);
    EXPECT_EQ(lookupAnchor("defaults"), noErr);
    EXPECT_EQ(m_source.events(), std::vector<std::string>({ "help: " + m_folder + "/Mac_topics/codes.htm#prompt", "help: " + m_folder + "/Mac_topics/codes.htm#defaults" }));
    StandIn::setInputSource(nullptr);
    EXPECT_EQ(lookupAnchor("prompt"), noErr);
    StandIn::setInputSource(&m_source);
}

TEST_F(RegisteredBookTest, LookupAnchorFindsNothingOutsideTheBookOrInOtherAttributes)
{
    write("Outside/elsewhere.html", "<a name=\"elsewhere\">");
    fs::create_directory_symlink(m_root + "/Outside", m_folder + "/Linked");
    write("Book.bundle/Contents/Resources/en.lproj/AccountingHelp/notes.txt", "<a name=\"text\">");
    // Deeper than a book is walked: 33 folders down.
    std::string deep = "Book.bundle/Contents/Resources/en.lproj/AccountingHelp/";
    for (int level = 0; level < 33; ++level)
        deep += "d/";
    write(deep + "deep.html", "<a name=\"deep\">");
    // Past the first 10,000 entries of the book: a page in z, walked after the 10,000 entries of y
    // (links, which the walk counts but never follows).
    m_tree.addSymbolicLinks("Book.bundle/Contents/Resources/en.lproj/AccountingHelp/y", 10'000, "", m_root + "/Outside");
    write("Book.bundle/Contents/Resources/en.lproj/AccountingHelp/z/late.html", "<a name=\"late\">");
    for (const char* anchor : { "elsewhere", "text", "Accounting", "prom", "dataonly", "deep", "late" })
        EXPECT_EQ(lookupAnchor(anchor), fnfErr) << anchor;
    EXPECT_EQ(AHLookupAnchor(CFSTR("No Such Book"), CFSTR("prompt")), kAHBookNotFoundErr);
    EXPECT_EQ(AHLookupAnchor(nullptr, CFSTR("prompt")), paramErr);
    EXPECT_TRUE(m_source.events().empty());
}

}
