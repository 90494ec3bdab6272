#include "tests/support/LiveObjects.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TemporaryTree.h"
#include "tests/support/TestPPDFiles.h"

#include <PrintCore/PPDLibStandIn.h>
#include <PrintCore/PrintCore.h>

#include <cups/ppd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <map>
#include <optional>
#include <random>
#include <sys/stat.h>

// libcups's ppdOpenFile itself leaks a few strings on some real PPDs (64 bytes over Debian's
// 18,629); under LeakSanitizer the corpus run would fail for them, not for the code under test.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:_ppdOpen\n";
}

namespace {

namespace fs = std::filesystem;

#define kClient CFSTR("com.movra.tests")
const std::string kHeader = "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n";

// libcups's own reading, the reference every answer must agree with: whether ppdOpenFile takes
// the file, and the value of its first attribute named exactly Manufacturer (the one
// ppdFindAttr gives; ppd->manufacturer keeps the last of several).
struct Reference {
    bool accepted { false };
    std::optional<std::string> manufacturer;
    bool lastDiffers { false };
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
Reference referenceOf(const std::string& path)
{
    Reference reference;
    ppd_file_t* ppd = ppdOpenFile(path.c_str());
    if (!ppd)
        return reference;
    reference.accepted = true;
    for (ppd_attr_t* attr = ppdFindAttr(ppd, "Manufacturer", nullptr); attr && !reference.manufacturer;
         attr = ppdFindNextAttr(ppd, "Manufacturer", nullptr)) {
        if (strcmp(attr->name, "Manufacturer") == 0)
            reference.manufacturer = attr->value ? attr->value : "";
    }
    reference.lastDiffers = reference.manufacturer.value_or("") != (ppd->manufacturer ? ppd->manufacturer : "");
    ppdClose(ppd);
    return reference;
}
#pragma GCC diagnostic pop

struct Answer {
    OSStatus status;
    std::string value;
};

// What the pane's Initialize does with the printer-info ticket.
Answer askManufacturer(PMTicketRef ticket, SInt32 bufferSize = 256)
{
    PPDContext ppd = nullptr;
    FSSpec tempFSSpec;
    if (OSStatus status = ppdOpenCompiledPPDFromTicket(ticket, &ppd, &tempFSSpec))
        return { status, {} };
    Mindex mIndex = -1;
    Str255 manufacturer = { 0 };
    OSStatus status = ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &mIndex);
    if (status == noErr)
        status = ppdGetInvocationString(ppd, mIndex, 0, manufacturer, bufferSize);
    EXPECT_EQ(ppdCloseCompiledPPDFromTicket(ppd, &tempFSSpec), noErr);
    return { status, std::string(reinterpret_cast<char*>(manufacturer + 1), manufacturer[0]) };
}

Answer askManufacturer(const std::string& path)
{
    PMTicketRef ticket = nullptr;
    EXPECT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket), noErr);
    EXPECT_EQ(PMTicketSetCString(ticket, kClient, kPMPrinterInfoPPDPathKey, path.c_str(), false), noErr);
    Answer answer = askManufacturer(ticket);
    PMRelease(ticket);
    return answer;
}

// The bytes the C heap has given out and not taken back, by glibc's count.
size_t heapInUse()
{
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

class PPDLibTest : public BalancedTest {
protected:
    void SetUp() override
    {
        BalancedTest::SetUp();
        ASSERT_FALSE(tree.root().empty());
    }

    std::string write(const std::string& name, const std::string& bytes, bool gzip = false)
    {
        std::string path = (folder / name).string();
        if (gzip) {
            gzFile file = gzopen(path.c_str(), "wb");
            EXPECT_TRUE(file);
            EXPECT_EQ(gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
            gzclose(file);
        } else {
            std::ofstream(path, std::ios::binary) << bytes;
        }
        return path;
    }

    // Opens a context on bytes written as a plain or gzip file.
    PPDContext open(const std::string& bytes, bool gzip = false)
    {
        PMTicketRef ticket = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket);
        PMTicketSetCString(ticket, kClient, kPMPrinterInfoPPDPathKey, write("open.ppd", bytes, gzip).c_str(), false);
        PPDContext ppd = nullptr;
        FSSpec spec;
        EXPECT_EQ(ppdOpenCompiledPPDFromTicket(ticket, &ppd, &spec), noErr);
        PMRelease(ticket);
        return ppd;
    }

    TemporaryTree tree;
    const fs::path folder = tree.root();
};

TEST_F(PPDLibTest, ManufacturerAgreesWithLibcupsOnPlainAndGzipFiles)
{
    const std::string farDown = [] {
        std::string lines;
        for (int i = 0; i < 3000; ++i)
            lines += "*cupsFilter2: \"application/vnd.cups-raster application/x-foo 0 foo" + std::to_string(i) + "\"\n";
        return lines;
    }();
    const std::pair<const char*, std::string> cases[] = {
        { "HP", kHeader + "*Manufacturer:\t\"HP\"\n" },
        { "HP", kHeader + "*Manufacturer:     \"HP\"   \n" },
        { "HP", "*PPD-Adobe: \"4.3\"\r\n*Manufacturer: \"HP\"\r\n" },
        { "HP", "*PPD-Adobe: \"4.3\"\r*ModelName: \"x\"\r*Manufacturer: \"HP\"\r" },
        { "Gr\xFCn", kHeader + "*LanguageEncoding: ISOLatin1\n*Manufacturer: \"Gr\xFCn\"\n" },
        { "UTAX/TA", kHeader + "*Manufacturer: \"UTAX/TA\"\n" },
        { "UTAX/TA", kHeader + "*Manufacturer: UTAX/TA\n" },
        { "\"HP\" is the maker", kHeader + "*Manufacturer: \"HP\" is the maker\n" },
        { "Opt", kHeader + "*PageSize Letter/US Letter: \"<</PageSize[612 792]>>setpagedevice\"\n*Manufacturer Foo/Bar: \"Opt\"\n" },
        { "A<42>C", kHeader + "*Manufacturer: \"A<42>C\"\n" },
        { "HP\nInc", kHeader + "*Manufacturer: \"HP\r\nInc\"\n" },
        { "Real", kHeader + "*JCLBegin: \"x\n*Manufacturer: \"Fake\"\n\"\n*End\n*Manufacturer: \"Real\"\n" },
        { "Real", kHeader + "*% a \"comment: \"\n*Manufacturer: \"Real\"\n" },
        { "Far", kHeader + farDown + "*Manufacturer: \"Far\"\n" },
        { "", kHeader + "*Manufacturer: \"\"\n" },
    };
    for (bool gzip : { false, true }) {
        for (const auto& [expected, bytes] : cases) {
            SCOPED_TRACE(std::string(gzip ? "gzip: " : "plain: ") + bytes.substr(0, 200));
            std::string path = write(gzip ? "case.ppd.gz" : "case.ppd", bytes, gzip);
            Reference reference = referenceOf(path);
            ASSERT_TRUE(reference.accepted);
            EXPECT_EQ(reference.manufacturer, expected);
            Answer answer = askManufacturer(path);
            EXPECT_EQ(answer.status, noErr);
            EXPECT_EQ(answer.value, expected);
        }
    }
}

TEST_F(PPDLibTest, RepeatedKeywordLinesAreOccurrencesInFileOrder)
{
    std::string path = write("dup.ppd", kHeader + "*Manufacturer: \"First\"\n*Manufacturer X/Y: \"Second\"\n");
    EXPECT_EQ(referenceOf(path).manufacturer, "First");
    EXPECT_EQ(askManufacturer(path).value, "First");

    PPDContext ppd = open(kHeader + "*Manufacturer: \"First\"\n*Manufacturer X/Y: \"Second\"\n");
    Mindex mIndex = -1;
    Str255 value;
    ASSERT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &mIndex), noErr);
    ASSERT_EQ(ppdGetInvocationString(ppd, mIndex, 1, value, sizeof value), noErr);
    EXPECT_EQ(std::string((char*)value + 1, value[0]), "Second");
    EXPECT_EQ(ppdGetInvocationString(ppd, mIndex, 2, value, sizeof value), kPPDBadIndexErr);
    FSSpec spec;
    ppdCloseCompiledPPDFromTicket(ppd, &spec);
}

TEST_F(PPDLibTest, AnyMainKeywordIsFoundWhateverWasAskedBefore)
{
    for (bool gzip : { false, true }) {
        SCOPED_TRACE(gzip ? "gzip" : "plain");
        PPDContext ppd = open(kHeader + "*Manufacturer: \"Movra\"\n*ModelName: \"M 1\"\n*cupsFilter: \"last\"\n*ModelName: \"M 2\"\n", gzip);
        Mindex last = -1, model = -1, maker = -1, again = -1;
        Str255 value;
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0A"
                                                          "cupsFilter",
                      &last),
            noErr);
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x09ModelName", &model), noErr);
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &maker), noErr);
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &again), noErr);
        EXPECT_EQ(maker, again);
        EXPECT_NE(maker, model);
        ASSERT_EQ(ppdGetInvocationString(ppd, last, 0, value, sizeof value), noErr);
        EXPECT_EQ(std::string((char*)value + 1, value[0]), "last");
        ASSERT_EQ(ppdGetInvocationString(ppd, model, 1, value, sizeof value), noErr) << "a later line, read after others were asked";
        EXPECT_EQ(std::string((char*)value + 1, value[0]), "M 2");
        ASSERT_EQ(ppdGetInvocationString(ppd, maker, 0, value, sizeof value), noErr);
        EXPECT_EQ(std::string((char*)value + 1, value[0]), "Movra");
        ASSERT_EQ(ppdGetInvocationString(ppd, model, 0, value, sizeof value), noErr);
        EXPECT_EQ(std::string((char*)value + 1, value[0]), "M 1");

        Mindex untouched = 77;
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0Cmanufacturer", &untouched), kPPDKeywordNotFoundErr)
            << "keywords are case-sensitive";
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x09PPD-Adobe", &untouched), kPPDKeywordNotFoundErr)
            << "the header is no keyword, as in libcups";
        EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x00", &untouched), kPPDKeywordNotFoundErr);
        EXPECT_EQ(untouched, 77);
        for (auto [m, o] : { std::pair<Mindex, SInt16> { -1, 0 }, { 0, -1 }, { 99, 0 } })
            EXPECT_EQ(ppdGetInvocationString(ppd, m, o, value, sizeof value), kPPDBadIndexErr);
        FSSpec spec;
        ppdCloseCompiledPPDFromTicket(ppd, &spec);
    }
}

TEST_F(PPDLibTest, KeywordsNobodyAskedForUseNoIndices)
{
    std::string bytes = kHeader;
    for (int i = 0; i < 40000; ++i)
        bytes += "*k" + std::to_string(i) + ": \"\"\n";
    std::string path = write("many.ppd", bytes + "*Manufacturer: \"Movra\"\n");
    EXPECT_EQ(referenceOf(path).manufacturer, "Movra");
    EXPECT_EQ(askManufacturer(path).value, "Movra");
}

// Mindex is 16 bits: a context indexes 32,768 keywords and refuses the next one asked for
// rather than give it a negative index.
TEST_F(PPDLibTest, TheKeywordAsked32769thIsRefusedAnIndex)
{
    // Its one keyword line is rewritten in place before each question, so that each reads two
    // lines rather than a file of 32,769 keywords from its top.
    PPDContext ppd = open(kHeader + "*k00000: \"\"\n");
    std::fstream file(folder / "open.ppd", std::ios::in | std::ios::out | std::ios::binary);
    auto ask = [&](int number, Mindex* index) {
        char keyword[8];
        snprintf(keyword, sizeof keyword, "\x06k%05d", number);
        file.seekp(static_cast<std::streamoff>(kHeader.size() + 1));
        file.write(keyword + 1, 6).flush();
        return ppdGetMainIndex(ppd, reinterpret_cast<ConstStr255Param>(keyword), index);
    };
    for (int number = 0; number < 32768; ++number) {
        Mindex index = -1;
        OSStatus status = ask(number, &index);
        if (status != noErr || index != number) {
            ADD_FAILURE() << "keyword " << number << ": status " << status << ", index " << index;
            break;
        }
    }
    Mindex untouched = 77;
    EXPECT_EQ(ask(32768, &untouched), kPPDBadIndexErr);
    EXPECT_EQ(untouched, 77);
    FSSpec spec;
    ppdCloseCompiledPPDFromTicket(ppd, &spec);
}

// A line of 15 MiB costs a context no more than the first 256 KiB of it, whatever is asked after.
TEST_F(PPDLibTest, ALineOf15MiBCostsTheContextLessThan1MiB)
{
    if (kSanitizedBuild)
        GTEST_SKIP() << "AddressSanitizer's allocator is not glibc's, whose count of the heap this reads";
    PPDContext ppd = open(kHeader + "*Long: \"" + std::string(15 << 20, 'x') + "\"\n*Manufacturer: \"Movra\"\n");
    size_t before = heapInUse();
    Mindex index = -1;
    EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x0CManufacturer", &index), noErr);
    EXPECT_LT(heapInUse(), before + (size_t(1) << 20)) << "the context holds no more than a megabyte after reading past the line";
    FSSpec spec;
    ppdCloseCompiledPPDFromTicket(ppd, &spec);
}

TEST_F(PPDLibTest, FilesWithoutAManufacturerAnswerWithAStatus)
{
    EXPECT_FALSE(referenceOf(write("none.ppd", kHeader + "*ModelName: \"X\"\n*manufacturer: \"x\"\n")).manufacturer);
    EXPECT_EQ(askManufacturer((folder / "none.ppd").string()).status, kPPDKeywordNotFoundErr);

    const std::pair<OSStatus, std::string> refused[] = {
        { kPPDEmptyFileErr, "" },
        { kPPDNotAPPDFileErr, "hello, world\n*Manufacturer: \"HP\"\n" },
        { kPPDNotAPPDFileErr, "\n*PPD-Adobe: \"4.3\"\n*Manufacturer: \"HP\"\n" },
        { kPPDNotAPPDFileErr, "*PPD-Adobe: \"3.0\"\n*Manufacturer: \"HP\"\n" },
        { kPPDNotAPPDFileErr, "\xEF\xBB\xBF*PPD-Adobe: \"4.3\"\n*Manufacturer: \"HP\"\n" },
    };
    for (bool gzip : { false, true }) {
        for (const auto& [status, bytes] : refused) {
            std::string path = write("bad.ppd", bytes, gzip);
            EXPECT_FALSE(referenceOf(path).accepted) << bytes;
            EXPECT_EQ(askManufacturer(path).status, status) << bytes;
        }
    }
    EXPECT_EQ(askManufacturer((folder / "missing.ppd").string()).status, fnfErr);
    EXPECT_EQ(askManufacturer("").status, fnfErr);
    EXPECT_EQ(askManufacturer(folder.string()).status, kPPDFileUnreadableErr);
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(askManufacturer((folder / "fifo").string()).status, kPPDFileUnreadableErr) << "and does not block";
}

// What the host shows after "PATH: " when the printing system cannot take a printer's PPD.
TEST_F(PPDLibTest, EveryRefusalSaysWhyInWords)
{
    ASSERT_EQ(mkfifo((folder / "fifo.ppd").c_str(), 0600), 0);
    const struct {
        std::string path;
        OSStatus status;
        std::string words;
    } refused[] = {
        { (folder / "missing.ppd").string(), fnfErr, "No such file or directory" },
        { folder.string(), kPPDFileUnreadableErr, "not a regular file (a folder)" },
        { (folder / "fifo.ppd").string(), kPPDFileUnreadableErr, "not a regular file (a FIFO)" },
        { write("empty.ppd", ""), kPPDEmptyFileErr, "not a PPD file (it is empty)" },
        { write("text.ppd", "hello, world\n*Manufacturer: \"HP\"\n"), kPPDNotAPPDFileErr,
            "not a PPD file (line 1 is not *PPD-Adobe: \"4.x\")" },
    };
    for (const auto& bad : refused) {
        SCOPED_TRACE(bad.path);
        EXPECT_EQ(askManufacturer(bad.path).status, bad.status);
        EXPECT_EQ(StandIn::ppdLastError().status, bad.status);
        EXPECT_EQ(StandIn::ppdLastError().describe(), bad.words);
        StandIn::PPDError error;
        EXPECT_EQ(StandIn::ppdCheckFile(bad.path, &error), bad.status);
        EXPECT_EQ(error.describe(), bad.words);
        std::string contents = "as it was";
        EXPECT_EQ(StandIn::ppdReadFile(bad.path, &contents, &error), bad.status);
        EXPECT_EQ(contents, "as it was");
    }

    std::string noMaker = write("nomaker.ppd", kHeader + "*ModelName: \"X\"\n");
    EXPECT_EQ(askManufacturer(noMaker).status, kPPDKeywordNotFoundErr);
    EXPECT_EQ(StandIn::ppdLastError().describe(), "no *Manufacturer line");
    StandIn::PPDError untouched;
    untouched.status = 12345;
    EXPECT_EQ(StandIn::ppdCheckFile(noMaker, &untouched), noErr) << "a PPD without a maker is still a PPD";
    EXPECT_EQ(untouched.status, 12345);

    PMTicketRef ticket = nullptr;
    ASSERT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket), noErr);
    EXPECT_EQ(askManufacturer(ticket).status, kPPDPathNotInTicketErr);
    EXPECT_EQ(StandIn::ppdLastError().describe(), "the printer-info ticket names no PPD file");
    PMRelease(ticket);
}

// A gzip bomb: a million and a half keywords before *Manufacturer, 3 MB that unpack to 22 MB.
TEST_F(PPDLibTest, AFileUnpackingPastTheLimitIsRefusedInsteadOfReadToItsEnd)
{
    std::string path = (folder / "flood.ppd.gz").string();
    writeKeywordFloodPPD(path, 1500000, "*Manufacturer: \"Movra\"\n");
    EXPECT_EQ(askManufacturer(path).status, kPPDFileTooLargeErr);
    EXPECT_EQ(StandIn::ppdLastError().describe(), "larger than 16 MiB unpacked");
    StandIn::PPDError error;
    EXPECT_EQ(StandIn::ppdCheckFile(path, &error), kPPDFileTooLargeErr);
    EXPECT_EQ(error.describe(), "larger than 16 MiB unpacked");
}

TEST_F(PPDLibTest, TheSizeLimitHoldsToTheByteAndTheGateStopsAtItsKeyword)
{
    std::string bytes = kHeader + "*Manufacturer: \"Movra\"\n";
    const std::string comment = "*% " + std::string(60, '-') + "\n";
    while (bytes.size() + comment.size() <= kPPDMaxUnpackedSize)
        bytes += comment;
    bytes += std::string(kPPDMaxUnpackedSize - bytes.size() - 1, ' ') + "\n";
    ASSERT_EQ(bytes.size(), size_t(kPPDMaxUnpackedSize));
    for (bool gzip : { false, true }) {
        SCOPED_TRACE(gzip ? "gzip" : "plain");
        StandIn::PPDError error;
        std::string limit = write("limit.ppd", bytes, gzip);
        EXPECT_EQ(StandIn::ppdCheckFile(limit, &error), noErr) << error.describe();
        std::string contents;
        EXPECT_EQ(StandIn::ppdReadFile(limit, &contents, &error), noErr) << error.describe();
        EXPECT_TRUE(contents == bytes) << "every byte unpacked, the first line's too";
        std::string over = write("over.ppd", bytes + "\n", gzip);
        EXPECT_EQ(StandIn::ppdCheckFile(over, &error), kPPDFileTooLargeErr);
        EXPECT_EQ(StandIn::ppdReadFile(over, &contents, &error), kPPDFileTooLargeErr);
        EXPECT_EQ(askManufacturer(over).value, "Movra") << "the keyword comes before the limit: the gate reads no further";
    }
}

TEST_F(PPDLibTest, TicketsWithoutAPathAndNullArgumentsAreRefusedWithoutTouchingOutputs)
{
    PMTicketRef ticket = nullptr;
    ASSERT_EQ(PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket), noErr);
    EXPECT_EQ(askManufacturer(ticket).status, kPPDPathNotInTicketErr);
    PMTicketSetSInt32(ticket, kClient, kPMPrinterInfoPPDPathKey, 5, false);
    EXPECT_EQ(askManufacturer(ticket).status, kPPDPathNotInTicketErr);

    PMTicketSetCString(ticket, kClient, kPMPrinterInfoPPDPathKey, write("ok.ppd", kHeader + "*Manufacturer: \"M\"\n").c_str(), false);
    PPDContext ppd = reinterpret_cast<PPDContext>(1);
    FSSpec spec;
    std::memset(&spec, 0xAB, sizeof spec);
    EXPECT_EQ(ppdOpenCompiledPPDFromTicket(nullptr, &ppd, &spec), paramErr);
    EXPECT_EQ(ppdOpenCompiledPPDFromTicket(ticket, nullptr, &spec), paramErr);
    EXPECT_EQ(ppdOpenCompiledPPDFromTicket(ticket, &ppd, nullptr), paramErr);
    FSSpec untouched;
    std::memset(&untouched, 0xAB, sizeof untouched);
    EXPECT_EQ(std::memcmp(&spec, &untouched, sizeof spec), 0);
    EXPECT_EQ(ppd, reinterpret_cast<PPDContext>(1));

    ASSERT_EQ(ppdOpenCompiledPPDFromTicket(ticket, &ppd, &spec), noErr);
    const FSSpec zeroFilled = {};
    EXPECT_EQ(std::memcmp(&spec, &zeroFilled, sizeof spec), 0) << "no compiled file exists, so the FSSpec names nothing";
    Mindex mIndex = 0;
    Str255 value;
    EXPECT_EQ(ppdGetMainIndex(nullptr, (ConstStr255Param) "\x01M", &mIndex), paramErr);
    EXPECT_EQ(ppdGetMainIndex(ppd, nullptr, &mIndex), paramErr);
    EXPECT_EQ(ppdGetMainIndex(ppd, (ConstStr255Param) "\x01M", nullptr), paramErr);
    EXPECT_EQ(ppdGetInvocationString(nullptr, 0, 0, value, sizeof value), paramErr);
    EXPECT_EQ(ppdGetInvocationString(ppd, 0, 0, nullptr, sizeof value), paramErr);
    EXPECT_EQ(ppdGetInvocationString(ppd, 0, 0, value, 0), paramErr);
    EXPECT_EQ(ppdGetInvocationString(ppd, 0, 0, value, -5), paramErr);
    EXPECT_EQ(ppdCloseCompiledPPDFromTicket(nullptr, &spec), paramErr);
    EXPECT_EQ(ppdCloseCompiledPPDFromTicket(ppd, nullptr), paramErr) << "and the context stays open";
    EXPECT_EQ(ppdGetMainIndex(reinterpret_cast<PPDContext>(const_cast<void*>((const void*)kClient)), (ConstStr255Param) "\x01M", &mIndex),
        kPPDInvalidContextErr);
    EXPECT_EQ(ppdCloseCompiledPPDFromTicket(ppd, &spec), noErr);
    PMRelease(ticket);
}

TEST_F(PPDLibTest, ValuesAreCutToTheBufferAndToAPascalString)
{
    std::string long300 = std::string(200, 'A') + "\n" + std::string(99, 'B');
    std::string path = write("long.ppd", kHeader + "*Manufacturer: \"" + long300 + "\"\n");
    EXPECT_EQ(referenceOf(path).manufacturer, long300);
    EXPECT_EQ(askManufacturer(path).value, long300.substr(0, 255));

    path = write("movra.ppd", kHeader + "*Manufacturer: \"Movra Corp\"\n");
    for (auto [size, expected] : { std::pair<SInt32, const char*> { 1, "" }, { 2, "M" }, { 6, "Movra" }, { 11, "Movra Corp" }, { 9999, "Movra Corp" } }) {
        PMTicketRef ticket = nullptr;
        PMTicketCreate(kCFAllocatorDefault, kPMPrinterInfoTicket, &ticket);
        PMTicketSetCString(ticket, kClient, kPMPrinterInfoPPDPathKey, path.c_str(), false);
        EXPECT_EQ(askManufacturer(ticket, size).value, expected) << size;
        PMRelease(ticket);
    }
}

// Random edits of a small PPD, built from the bytes the format gives meaning to: wherever
// libcups takes the result, the answers must agree; everywhere else the calls must just answer.
TEST_F(PPDLibTest, RandomlyEditedFilesAgreeWithLibcupsWheneverItAcceptsThem)
{
    const std::string base = kHeader
        + "*ModelName: \"M 1\"\n*OpenUI *PageSize/Size: PickOne\n*PageSize A4/A4: \"a4\"\n*CloseUI: *PageSize\n"
          "*Manufacturer: \"Movra\"\n*NickName: \"N\"\n";
    const char pieces[] = { '"', ':', '\r', '\n', ' ', '\t', '*', '%', '/', '\0', 'x', '\xFC' };
    std::mt19937 random(20240607);
    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = base;
        for (int edit = random() % 3; edit >= 0; --edit) {
            size_t at = kHeader.size() + random() % (bytes.size() - kHeader.size());
            if (random() % 4 == 0)
                bytes.erase(at, 1);
            else
                bytes.insert(at, 1, pieces[random() % sizeof pieces]);
        }
        std::string path = write("edited.ppd", bytes);
        Reference reference = referenceOf(path);
        Answer answer = askManufacturer(path);
        if (!reference.accepted)
            continue;
        ++accepted;
        EXPECT_EQ(answer.status == noErr, reference.manufacturer.has_value()) << testing::PrintToString(bytes);
        EXPECT_EQ(answer.value, reference.manufacturer.value_or("").substr(0, 255)) << testing::PrintToString(bytes);
    }
    EXPECT_GT(accepted, 500);
}

TEST(PLstrcmpTest, ComparesLengthAndBytes)
{
    auto p = [](const char* text) { return reinterpret_cast<ConstStr255Param>(text); };
    EXPECT_EQ(PLstrcmp(p("\x05Movra"), p("\x05Movra")), 0);
    EXPECT_EQ(PLstrcmp(p("\x05MovraX"), p("\x05MovraY")), 0) << "bytes past the length do not count";
    EXPECT_LT(PLstrcmp(p("\x05Movra"), p("\x06Movra ")), 0);
    EXPECT_GT(PLstrcmp(p("\x06Movra "), p("\x05Movra")), 0);
    EXPECT_GT(PLstrcmp(p("\x05Movra"), p("\x05MOVRA")), 0);
    EXPECT_LT(PLstrcmp(p("\x05Movra"), p("\x05movra")), 0);
    EXPECT_GT(PLstrcmp(p("\x05Movra"), p("\x04Movr")), 0);
    EXPECT_LT(PLstrcmp(p("\x01\x7F"), p("\x01\xFC")), 0) << "bytes compare unsigned";
    EXPECT_EQ(PLstrcmp(p("\x00"), p("\x00")), 0);
    EXPECT_LT(PLstrcmp(nullptr, p("\x00")), 0);
}

// Every file of a folder of real PPDs (plain or gzip), named by PPD_CORPUS.
TEST_F(PPDLibTest, RealPPDFilesAgreeWithLibcups)
{
    const char* corpus = getenv("PPD_CORPUS");
    if (!corpus || !*corpus)
        GTEST_SKIP() << "set PPD_CORPUS to a folder of real PPD files to run this test";
    std::vector<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(corpus))
        if (entry.is_regular_file())
            paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::map<OSStatus, long> statuses;
    long accepted = 0, agreed = 0, lastDiffers = 0;
    for (const std::string& path : paths) {
        Answer answer = askManufacturer(path);
        ++statuses[answer.status];
        Reference reference = referenceOf(path);
        if (!reference.accepted)
            continue;
        ++accepted;
        lastDiffers += reference.lastDiffers;
        bool same = (answer.status == noErr) == reference.manufacturer.has_value()
            && answer.value == reference.manufacturer.value_or("").substr(0, 255);
        agreed += same;
        EXPECT_TRUE(same) << path << ": libcups " << testing::PrintToString(reference.manufacturer) << ", ours "
                          << answer.status << " " << testing::PrintToString(answer.value);
        StandIn::PPDError error;
        EXPECT_EQ(StandIn::ppdCheckFile(path, &error), noErr) << path << ": the printing system refuses a real PPD: " << error.describe();
    }
    std::string summary;
    for (auto [status, count] : statuses)
        summary += " " + std::to_string(status) + ":" + std::to_string(count);
    std::cout << paths.size() << " files; libcups accepts " << accepted << ", of which " << agreed
              << " agree; our statuses" << summary << "; files with several *Manufacturer values " << lastDiffers << "\n";
    EXPECT_EQ(agreed, accepted);
}

}
