#include <PrintCore/PPDLib.h>
#include <PrintCore/PPDLibStandIn.h>

#include <CoreFoundation/CFRuntime.h>

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using StandIn::PPDError;

namespace {

// libcups refuses a file with a longer logical line, so no value it reports is ever affected
// by the cut; the bound keeps a hostile file (one quote that never closes) from filling memory.
constexpr size_t kMaxLogicalLine = 256 * 1024;

// Mindex is 16 bits: one context can name at most this many distinct keywords.
constexpr size_t kMaxNamedKeywords = size_t(INT16_MAX) + 1;

// ppdGetInvocationString hands out a Pascal string: no more of a value is ever needed.
constexpr size_t kMaxKeptValue = 255;

thread_local PPDError tLastError;

OSStatus failWith(PPDError error)
{
    tLastError = std::move(error);
    return tLastError.status;
}

OSStatus failWith(OSStatus status)
{
    PPDError error;
    error.status = status;
    return failWith(std::move(error));
}

// Plain and gzip files alike, as libcups's file layer reads them; zlib rather than libcups, so
// that a dialog that never talks to CUPS does not load libcups and the thirty libraries it needs.
struct PPDFileCloser {
    void operator()(gzFile file) const { gzclose(file); }
};
using PPDFile = std::unique_ptr<gzFile_s, PPDFileCloser>;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

class LineReader {
public:
    enum class Stop {
        none,
        end, // the end of the file, or a read error (a truncated gzip stream), which libcups
             // takes for the end: what was read before it still counts
        tooLarge, // more than kPPDMaxUnpackedSize bytes: nothing past the limit is read
    };

    explicit LineReader(PPDFile file)
        : m_file(std::move(file))
    {
    }

    // False once the reader stopped: at the end of the file, when no byte was left for a line,
    // and at the size limit, whatever was left.
    bool next(std::string& line)
    {
        line.clear();
        bool sawByte = false, afterColon = false, inQuotes = false, comment = false;
        for (;;) {
            if (m_position == m_end && !refill())
                return sawByte && m_stop == Stop::end;
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

    // Reads on to the end, or to the size limit, without looking at the bytes; those not read
    // yet are appended to *contents when it is given.
    void readToEnd(std::string* contents)
    {
        do {
            if (contents)
                contents->append(m_buffer + m_position, m_end - m_position);
            m_position = m_end;
        } while (refill());
    }

    // Back to the first byte of the file; false (and errno) when it cannot be read again.
    bool rewind()
    {
        if (gzrewind(m_file.get()) != 0)
            return false;
        m_position = m_end = m_unpacked = 0;
        m_stop = Stop::none;
        return true;
    }

    Stop stop() const { return m_stop; }

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

    bool refill()
    {
        if (m_stop != Stop::none)
            return false;
        int count = gzread(m_file.get(), m_buffer, sizeof m_buffer);
        if (count <= 0) {
            m_stop = Stop::end;
            return false;
        }
        if (static_cast<size_t>(count) > kPPDMaxUnpackedSize - m_unpacked) {
            m_stop = Stop::tooLarge;
            return false;
        }
        m_unpacked += static_cast<size_t>(count);
        m_position = 0;
        m_end = static_cast<size_t>(count);
        return true;
    }

    PPDFile m_file;
    char m_buffer[4096];
    size_t m_position { 0 };
    size_t m_end { 0 };
    size_t m_unpacked { 0 };
    Stop m_stop { Stop::none };
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

OSStatus fileFailure(OSStatus status, StandIn::FileFailure failure)
{
    PPDError error;
    error.status = status;
    error.file = failure;
    return failWith(std::move(error));
}

// Opens through a descriptor so that the type check and the read are of the same file, and so
// that a FIFO named by the ticket can neither block the open nor the dialog. Then reads the
// first line, which must be a PPD file's.
OSStatus openPPDFile(const std::string& path, std::optional<LineReader>& reader)
{
    StandIn::FileFailure failure;
    StandIn::FileDescriptor descriptor = StandIn::openRegularFile(path.c_str(), &failure);
    if (!descriptor) {
        bool missing = failure.status == StandIn::FileStatus::notFound || failure.number == ENAMETOOLONG;
        return fileFailure(missing ? OSStatus(fnfErr) : OSStatus(kPPDFileUnreadableErr), failure);
    }
    gzFile opened = gzdopen(descriptor.get(), "rb");
    if (!opened)
        return fileFailure(kPPDFileUnreadableErr, { StandIn::FileStatus::unreadable, errno ? errno : EIO });
    descriptor.release();
    reader.emplace(PPDFile(opened));
    std::string firstLine;
    if (!reader->next(firstLine))
        return failWith(reader->stop() == LineReader::Stop::tooLarge ? kPPDFileTooLargeErr : kPPDEmptyFileErr);
    if (!isPPDHeader(firstLine)) {
        PPDError error;
        error.status = kPPDNotAPPDFileErr;
        error.line = 1;
        return failWith(std::move(error));
    }
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
        return failWith(kPPDPathNotInTicketErr);
    if (status != noErr)
        return failWith(status);
    path = buffer.data();
    if (path.empty() || path.size() >= PATH_MAX)
        return fileFailure(fnfErr, { StandIn::FileStatus::notFound, path.empty() ? ENOENT : ENAMETOOLONG });
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
        return failWith(memFullErr);
    }
}

}

// The file is read only as far as each question needs, from its first line: the first line of
// a keyword is the first in the file, whatever was asked before. Only keywords asked for are
// kept (a Mindex each, and the values read of them), so a file of millions of keywords costs
// time in proportion to the file, bounded by the size limit, and no memory.
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
        if (auto found = m_indices.find(key); found != m_indices.end()) {
            index = found->second;
            return noErr;
        }
        if (m_named.size() >= kMaxNamedKeywords)
            return failWith(kPPDBadIndexErr);
        Named named { key, {}, false };
        if (OSStatus status = readValues(named, 1))
            return status;
        if (named.values.empty()) {
            PPDError error;
            error.status = kPPDKeywordNotFoundErr;
            error.keyword = key;
            return failWith(std::move(error));
        }
        index = static_cast<Mindex>(m_named.size());
        m_named.push_back(std::move(named));
        m_indices.emplace(std::move(key), index);
        return noErr;
    }

    OSStatus value(Mindex mIndex, SInt16 oIndex, const std::string*& value)
    {
        if (mIndex < 0 || oIndex < 0 || static_cast<size_t>(mIndex) >= m_named.size())
            return failWith(kPPDBadIndexErr);
        Named& named = m_named[mIndex];
        auto occurrence = static_cast<size_t>(oIndex);
        if (occurrence >= named.values.size() && !named.complete) {
            if (OSStatus status = readValues(named, occurrence + 1))
                return status;
        }
        if (occurrence >= named.values.size())
            return failWith(kPPDBadIndexErr);
        value = &named.values[occurrence];
        return noErr;
    }

private:
    struct Named {
        std::string keyword;
        std::vector<std::string> values; // the first lines', in file order, each cut to 255 bytes
        bool complete; // values holds every line of the keyword
    };

    // Reads named's values from the first line after the header (libcups keeps no attribute of
    // the header) until count of them are known, or
    // to the end. On failure named is left as it was.
    OSStatus readValues(Named& named, size_t count)
    {
        if (!m_afterHeader && !rewindToHeader())
            return fileFailure(kPPDFileUnreadableErr, { StandIn::FileStatus::unreadable, errno ? errno : EIO });
        std::vector<std::string> values;
        m_afterHeader = false;
        while (values.size() < count && m_reader.next(m_line)) {
            auto parsed = parseMainLine(m_line);
            if (parsed && parsed->keyword == named.keyword)
                values.emplace_back(parsed->value.substr(0, kMaxKeptValue));
        }
        if (m_reader.stop() == LineReader::Stop::tooLarge)
            return failWith(kPPDFileTooLargeErr);
        named.complete = values.size() < count;
        named.values = std::move(values);
        return noErr;
    }

    // The open read the header: a first question goes on from there, later ones rewind.
    bool rewindToHeader()
    {
        if (!m_reader.rewind() || !m_reader.next(m_line))
            return false;
        m_afterHeader = true;
        return true;
    }

    LineReader m_reader;
    bool m_afterHeader { true };
    std::string m_line;
    std::vector<Named> m_named;
    std::unordered_map<std::string, Mindex> m_indices;
};

OSStatus ppdOpenCompiledPPDFromTicket(PMTicketRef printerInfoTicket, PPDContext* outContext, FSSpec* tempFSSpec)
{
    if (!printerInfoTicket || !outContext || !tempFSSpec)
        return failWith(paramErr);
    return guarded([&]() -> OSStatus {
        std::string path;
        if (OSStatus status = pathFromTicket(printerInfoTicket, path))
            return status;
        std::optional<LineReader> reader;
        if (OSStatus status = openPPDFile(path, reader))
            return status;
        auto* context = new __PPDContext(std::move(*reader));
        std::memset(tempFSSpec, 0, sizeof *tempFSSpec);
        *outContext = reinterpret_cast<PPDContext>(static_cast<__CFRuntimeBase*>(context));
        return noErr;
    });
}

OSStatus ppdGetMainIndex(PPDContext context, ConstStr255Param mainKeyword, Mindex* mIndex)
{
    if (!context || !mainKeyword || !mIndex)
        return failWith(paramErr);
    auto* object = _CFCast<__PPDContext>(context);
    if (!object)
        return failWith(kPPDInvalidContextErr);
    std::string_view keyword(reinterpret_cast<const char*>(mainKeyword + 1), mainKeyword[0]);
    if (keyword.empty()) {
        PPDError error;
        error.status = kPPDKeywordNotFoundErr;
        return failWith(std::move(error));
    }
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
        return failWith(paramErr);
    auto* object = _CFCast<__PPDContext>(context);
    if (!object)
        return failWith(kPPDInvalidContextErr);
    return guarded([&]() -> OSStatus {
        const std::string* value = nullptr;
        if (OSStatus status = object->value(mIndex, oIndex, value))
            return status;
        size_t length = std::min({ value->size(), static_cast<size_t>(bufferSize - 1), size_t(255) });
        buffer[0] = static_cast<unsigned char>(length);
        std::memcpy(buffer + 1, value->data(), length);
        return noErr;
    });
}

OSStatus ppdCloseCompiledPPDFromTicket(PPDContext context, FSSpec* tempFSSpec)
{
    if (!context || !tempFSSpec)
        return failWith(paramErr);
    if (!_CFCast<__PPDContext>(context))
        return failWith(kPPDInvalidContextErr);
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

namespace StandIn {

std::string PPDError::describe() const
{
    switch (status) {
    case noErr: return "no error";
    case paramErr: return "a needed argument is missing";
    case memFullErr: return "out of memory";
    case fnfErr:
    case kPPDFileUnreadableErr: return file.status == FileStatus::ok ? "cannot be read" : file.describe();
    case kPPDPathNotInTicketErr: return "the printer-info ticket names no PPD file";
    case kPPDEmptyFileErr: return "not a PPD file (it is empty)";
    case kPPDNotAPPDFileErr: return "not a PPD file (line " + std::to_string(line) + " is not *PPD-Adobe: \"4.x\")";
    case kPPDKeywordNotFoundErr: return "no *" + keyword + " line";
    case kPPDBadIndexErr: return "no such keyword or line of it asked for";
    case kPPDInvalidContextErr: return "not an open PPD";
    case kPPDFileTooLargeErr: return "larger than " + std::to_string(kPPDMaxUnpackedSize / (1024 * 1024)) + " MiB unpacked";
    }
    return "status " + std::to_string(status);
}

PPDError ppdLastError()
{
    return tLastError;
}

OSStatus ppdCheckFile(const std::string& path, PPDError* error)
{
    return ppdReadFile(path, nullptr, error);
}

OSStatus ppdReadFile(const std::string& path, std::string* contents, PPDError* error)
{
    std::string read;
    OSStatus status = guarded([&]() -> OSStatus {
        std::optional<LineReader> reader;
        if (OSStatus opened = openPPDFile(path, reader))
            return opened;
        // The first line was read as a line: the contents start again from the first byte.
        if (contents && !reader->rewind())
            return fileFailure(kPPDFileUnreadableErr, { StandIn::FileStatus::unreadable, errno ? errno : EIO });
        reader->readToEnd(contents ? &read : nullptr);
        return reader->stop() == LineReader::Stop::tooLarge ? failWith(kPPDFileTooLargeErr) : OSStatus(noErr);
    });
    if (status != noErr && error)
        *error = tLastError;
    if (status == noErr && contents)
        *contents = std::move(read);
    return status;
}

}
