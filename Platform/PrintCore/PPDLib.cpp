#include <PrintCore/PPDLib.h>

#include <Base/RegularFile.h>
#include <CoreFoundation/CFRuntime.h>

#include <cups/file.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace {

// libcups refuses a file with a longer logical line, so no value it reports is ever affected
// by the cut; the bound keeps a hostile file (one quote that never closes) from filling memory.
constexpr size_t kMaxLogicalLine = 256 * 1024;

// Mindex is 16 bits: one context can name at most this many distinct keywords.
constexpr size_t kMaxNamedKeywords = size_t(INT16_MAX) + 1;

struct CupsFileCloser {
    void operator()(cups_file_t* file) const { cupsFileClose(file); }
};
using CupsFile = std::unique_ptr<cups_file_t, CupsFileCloser>;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The file as PPD readers see it: lines end at CR, LF or CR LF, except inside a quoted value,
// which runs on over line ends (each kept as one LF) until its closing quote. Only quotes after
// the line's first colon open a value, and none in a *% comment: a stray quote in a keyword or
// a comment would otherwise swallow the lines after it.
class LineReader {
public:
    explicit LineReader(CupsFile file)
        : m_file(std::move(file))
    {
    }

    // False at the end of the file, when no byte was left for a line.
    bool next(std::string& line)
    {
        line.clear();
        bool sawByte = false, afterColon = false, inQuotes = false, comment = false;
        for (;;) {
            if (m_position == m_end && !refill())
                return sawByte;
            sawByte = true;
            // Most bytes mean nothing to the line structure: copy their runs whole.
            size_t run = m_position;
            while (run < m_end && !isStructural(m_buffer[run]))
                ++run;
            append(line, m_buffer + m_position, run - m_position);
            m_position = run;
            if (m_position == m_end)
                continue;
            int c = get();
            if (c == '\r' || c == '\n') {
                if (c == '\r' && peek() == '\n')
                    get();
                if (!inQuotes)
                    return true;
                c = '\n';
            } else if (c == '%' && line.size() == 1 && line[0] == '*') {
                comment = true;
            } else if (c == ':' && !comment) {
                afterColon = true;
            } else if (c == '"' && afterColon && !comment) {
                inQuotes = !inQuotes;
            }
            char byte = static_cast<char>(c);
            append(line, &byte, 1);
        }
    }

private:
    static bool isStructural(char c) { return c == '\r' || c == '\n' || c == '"' || c == ':' || c == '%'; }

    static void append(std::string& line, const char* bytes, size_t count)
    {
        line.append(bytes, std::min(count, kMaxLogicalLine - std::min(kMaxLogicalLine, line.size())));
    }

    int peek()
    {
        if (m_position == m_end && !refill())
            return -1;
        return static_cast<unsigned char>(m_buffer[m_position]);
    }

    int get()
    {
        int c = peek();
        if (c >= 0)
            ++m_position;
        return c;
    }

    // A read error (a truncated gzip stream) ends the file like its end does: what was read
    // before it still counts.
    bool refill()
    {
        if (m_atEnd)
            return false;
        ssize_t count = cupsFileRead(m_file.get(), m_buffer, sizeof m_buffer);
        if (count <= 0) {
            m_atEnd = true;
            return false;
        }
        m_position = 0;
        m_end = static_cast<size_t>(count);
        return true;
    }

    CupsFile m_file;
    char m_buffer[4096];
    size_t m_position { 0 };
    size_t m_end { 0 };
    bool m_atEnd { false };
};

struct MainLine {
    std::string_view keyword;
    std::string_view value;
};

// A main-keyword line "*Keyword[ Option[/Translation]]: value", read as libcups reads it: the
// line stops at a NUL byte, trailing blanks go, and the value starts after the first colon and
// its blanks. A value that ends in a quote loses its first and last bytes; any other value
// (such as "X" followed by a comment) is kept whole, quotes and all.
std::optional<MainLine> parseMainLine(std::string_view line)
{
    line = line.substr(0, line.find('\0'));
    while (!line.empty() && isBlank(line.back()))
        line.remove_suffix(1);
    if (line.size() < 2 || line[0] != '*' || line[1] == '%')
        return std::nullopt;
    size_t keywordEnd = 1;
    while (keywordEnd < line.size() && line[keywordEnd] != ':' && !isBlank(line[keywordEnd]))
        ++keywordEnd;
    size_t colon = line.find(':', keywordEnd);
    if (keywordEnd == 1 || colon == std::string_view::npos)
        return std::nullopt;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    if (!value.empty() && value.back() == '"')
        value = value.size() >= 2 ? value.substr(1, value.size() - 2) : std::string_view();
    return MainLine { line.substr(1, keywordEnd - 1), value };
}

// libcups accepts a file only when its very first line is *PPD-Adobe with a version 4 value.
bool isPPDHeader(std::string_view firstLine)
{
    auto header = parseMainLine(firstLine);
    return header && header->keyword == "PPD-Adobe" && !header->value.empty() && header->value.front() == '4';
}

// Opens through a descriptor so that the type check and the read are of the same file, and so
// that a FIFO named by the ticket can neither block the open nor the dialog.
OSStatus openPPDFile(const char* path, CupsFile& file)
{
    StandIn::FileFailure failure;
    StandIn::FileDescriptor descriptor = StandIn::openRegularFile(path, &failure);
    if (!descriptor)
        return failure.status == StandIn::FileStatus::notFound || failure.number == ENAMETOOLONG ? OSStatus(fnfErr)
                                                                                               : OSStatus(kPPDFileUnreadableErr);
    cups_file_t* opened = cupsFileOpenFd(descriptor.get(), "r");
    if (!opened)
        return kPPDFileUnreadableErr;
    descriptor.release();
    file.reset(opened);
    return noErr;
}

OSStatus pathFromTicket(PMTicketRef ticket, std::string& path)
{
    // One byte more than any path that can name a file, so that a longer one shows as too long
    // instead of being opened cut short.
    std::vector<char> buffer(PATH_MAX + 1);
    OSStatus status = PMTicketGetCString(ticket, kPMTopLevel, kPMTopLevel, kPMPrinterInfoPPDPathKey,
        static_cast<UInt32>(buffer.size()), kCFStringEncodingUTF8, buffer.data());
    if (status == kPMKeyNotFound || status == kPMInvalidValue)
        return kPPDPathNotInTicketErr;
    if (status != noErr)
        return status;
    path = buffer.data();
    if (path.empty() || path.size() >= PATH_MAX)
        return fnfErr;
    return noErr;
}

// The C calls must not let an exception out; the only ones the work below can throw come from
// running out of memory.
template<typename Work>
OSStatus guarded(Work work)
{
    try {
        return work();
    } catch (...) {
        return memFullErr;
    }
}

}

// The file is read only as far as the questions asked of it need. Every main keyword read so far
// keeps its values in the order of its lines, so a keyword asked after it was passed is still
// found; only keywords asked for get a Mindex, which keeps the 16-bit indices for real questions.
struct __PPDContext final : __CFRuntimeBase {
    explicit __PPDContext(LineReader reader)
        : __CFRuntimeBase(classTypeID())
        , m_reader(std::move(reader))
    {
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("PPDContext");
        return typeID;
    }

    OSStatus indexOf(std::string_view keyword, Mindex& index)
    {
        std::string key(keyword);
        auto found = m_keywords.find(key);
        while (found == m_keywords.end()) {
            if (!readLine())
                return kPPDKeywordNotFoundErr;
            found = m_keywords.find(key);
        }
        MainKeyword& entry = found->second;
        if (entry.index < 0) {
            if (m_named.size() >= kMaxNamedKeywords)
                return kPPDBadIndexErr;
            entry.index = static_cast<Mindex>(m_named.size());
            m_named.push_back(&entry);
        }
        index = entry.index;
        return noErr;
    }

    const std::string* value(Mindex mIndex, SInt16 oIndex)
    {
        if (mIndex < 0 || oIndex < 0 || static_cast<size_t>(mIndex) >= m_named.size())
            return nullptr;
        auto& values = m_named[mIndex]->values;
        while (values.size() <= static_cast<size_t>(oIndex) && readLine()) { }
        return values.size() > static_cast<size_t>(oIndex) ? &values[oIndex] : nullptr;
    }

private:
    struct MainKeyword {
        std::vector<std::string> values;
        Mindex index { -1 };
    };

    // False once the file is exhausted.
    bool readLine()
    {
        if (m_exhausted || !m_reader.next(m_line)) {
            m_exhausted = true;
            return false;
        }
        if (auto line = parseMainLine(m_line)) {
            m_key.assign(line->keyword);
            m_keywords[m_key].values.emplace_back(line->value);
        }
        return true;
    }

    LineReader m_reader;
    std::string m_line;
    std::string m_key;
    // Elements of an unordered_map stay where they are as it grows, so m_named may point at them.
    std::unordered_map<std::string, MainKeyword> m_keywords;
    std::vector<MainKeyword*> m_named;
    bool m_exhausted { false };
};

OSStatus ppdOpenCompiledPPDFromTicket(PMTicketRef printerInfoTicket, PPDContext* outContext, FSSpec* tempFSSpec)
{
    if (!printerInfoTicket || !outContext || !tempFSSpec)
        return paramErr;
    return guarded([&]() -> OSStatus {
        std::string path;
        if (OSStatus status = pathFromTicket(printerInfoTicket, path))
            return status;
        CupsFile file;
        if (OSStatus status = openPPDFile(path.c_str(), file))
            return status;
        LineReader reader(std::move(file));
        std::string firstLine;
        if (!reader.next(firstLine))
            return kPPDEmptyFileErr;
        if (!isPPDHeader(firstLine))
            return kPPDNotAPPDFileErr;
        auto* context = new __PPDContext(std::move(reader));
        std::memset(tempFSSpec, 0, sizeof *tempFSSpec);
        *outContext = reinterpret_cast<PPDContext>(static_cast<__CFRuntimeBase*>(context));
        return noErr;
    });
}

OSStatus ppdGetMainIndex(PPDContext context, ConstStr255Param mainKeyword, Mindex* mIndex)
{
    if (!context || !mainKeyword || !mIndex)
        return paramErr;
    auto* object = _CFCast<__PPDContext>(context);
    if (!object)
        return kPPDInvalidContextErr;
    std::string_view keyword(reinterpret_cast<const char*>(mainKeyword + 1), mainKeyword[0]);
    if (keyword.empty())
        return kPPDKeywordNotFoundErr;
    return guarded([&]() -> OSStatus {
        Mindex found = -1;
        if (OSStatus status = object->indexOf(keyword, found))
            return status;
        *mIndex = found;
        return noErr;
    });
}

OSStatus ppdGetInvocationString(PPDContext context, Mindex mIndex, SInt16 oIndex, StringPtr buffer, SInt32 bufferSize)
{
    if (!context || !buffer || bufferSize < 1)
        return paramErr;
    auto* object = _CFCast<__PPDContext>(context);
    if (!object)
        return kPPDInvalidContextErr;
    return guarded([&]() -> OSStatus {
        const std::string* value = object->value(mIndex, oIndex);
        if (!value)
            return kPPDBadIndexErr;
        size_t length = std::min({ value->size(), static_cast<size_t>(bufferSize - 1), size_t(255) });
        buffer[0] = static_cast<unsigned char>(length);
        std::memcpy(buffer + 1, value->data(), length);
        return noErr;
    });
}

OSStatus ppdCloseCompiledPPDFromTicket(PPDContext context, FSSpec* tempFSSpec)
{
    if (!context || !tempFSSpec)
        return paramErr;
    if (!_CFCast<__PPDContext>(context))
        return kPPDInvalidContextErr;
    CFRelease(context);
    return noErr;
}

short PLstrcmp(ConstStr255Param str1, ConstStr255Param str2)
{
    if (str1 == str2)
        return 0;
    if (!str1 || !str2)
        return str1 ? 1 : -1;
    int order = std::memcmp(str1 + 1, str2 + 1, std::min(str1[0], str2[0]));
    if (order == 0)
        order = int(str1[0]) - int(str2[0]);
    return static_cast<short>((order > 0) - (order < 0));
}
