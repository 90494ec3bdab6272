#include <Help/AppleHelp.h>

#include <Base/RegularFile.h>
#include <CoreFoundation/CFBundle.h>
#include <CoreFoundation/CFHolder.h>
#include <CoreFoundation/CFStringPrivate.h>
#include <CoreFoundation/CFStringsFileStandIn.h>
#include <HIToolbox/InputSourceStandIn.h>

#include <algorithm>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A book is a folder of a few hundred pages at most; the bounds keep a wrong folder (a home
// directory, a loop of mounts) from stalling the caller.
constexpr size_t kMaximumBookEntries = 10'000;
constexpr int kMaximumBookDepth = 32;

using CFHolder = StandIn::CFHolder<>;

// Books stay registered for the life of the process, as they do for an application.
class BookRegistry {
public:
    void set(const std::string& name, const std::string& folder)
    {
        std::lock_guard guard(m_lock);
        m_books[name] = folder;
    }

    std::optional<std::string> folderOf(const std::string& name)
    {
        std::lock_guard guard(m_lock);
        auto found = m_books.find(name);
        if (found == m_books.end())
            return std::nullopt;
        return found->second;
    }

private:
    std::mutex m_lock;
    std::map<std::string, std::string> m_books;
};

BookRegistry& books()
{
    static BookRegistry instance;
    return instance;
}

std::optional<std::string> utf8Of(CFTypeRef value)
{
    auto* string = _CFCast<__CFString>(value);
    if (!string)
        return std::nullopt;
    return _CFEncode(string->units, kCFStringEncodingUTF8);
}

std::optional<std::string> pathOf(CFURLRef url)
{
    CFHolder path(CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle));
    return utf8Of(path.get());
}

void openPage(const std::string& book, const std::string& folder, const std::string& path, const std::string& anchor)
{
    if (StandIn::InputSource* source = StandIn::inputSource())
        source->openHelpPage({ book, path.substr(std::min(path.size(), folder.size() + 1)), path, anchor });
}

bool hasPageExtension(std::string_view name)
{
    auto endsWithIgnoringCase = [&](std::string_view suffix) {
        if (name.size() <= suffix.size())
            return false;
        std::string_view tail = name.substr(name.size() - suffix.size());
        return std::equal(tail.begin(), tail.end(), suffix.begin(),
            [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a + ('a' - 'A') : a) == b; });
    };
    return endsWithIgnoringCase(".html") || endsWithIgnoringCase(".htm");
}

// Symbolic links are not followed: a book is what its folder holds, and a link could lead out
// of it or round in a loop.
void collectPages(const std::string& folder, int depth, size_t& seen, std::vector<std::string>& pages)
{
    if (depth > kMaximumBookDepth)
        return;
    std::vector<std::pair<std::string, bool>> entries;
    if (DIR* directory = opendir(folder.c_str())) {
        while (dirent* entry = readdir(directory)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (++seen > kMaximumBookEntries)
                break;
            std::string path = folder + "/" + std::string(name);
            struct stat info;
            if (lstat(path.c_str(), &info) != 0)
                continue;
            if (S_ISDIR(info.st_mode))
                entries.emplace_back(std::move(path), true);
            else if (S_ISREG(info.st_mode) && hasPageExtension(name))
                entries.emplace_back(std::move(path), false);
        }
        closedir(directory);
    }
    // Sorted, so that an anchor found on two pages always opens the same one.
    std::sort(entries.begin(), entries.end());
    for (auto& [path, isDirectory] : entries) {
        if (isDirectory)
            collectPages(path, depth + 1, seen, pages);
        else
            pages.push_back(std::move(path));
    }
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Looks for name="anchor" or id="anchor" (either quote, any case of the attribute name, spaces
// around "="). A text search, not an HTML parser: it also finds an anchor in a comment.
bool pageHoldsAnchor(std::string_view page, std::string_view anchor)
{
    for (std::string_view attribute : { "name", "id" }) {
        for (size_t at = 0; at + attribute.size() <= page.size(); ++at) {
            bool matches = at > 0 && isSpace(page[at - 1])
                && std::equal(attribute.begin(), attribute.end(), page.begin() + at,
                    [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b); });
            if (!matches)
                continue;
            size_t k = at + attribute.size();
            while (k < page.size() && isSpace(page[k]))
                ++k;
            if (k >= page.size() || page[k] != '=')
                continue;
            ++k;
            while (k < page.size() && isSpace(page[k]))
                ++k;
            if (k >= page.size() || (page[k] != '"' && page[k] != '\''))
                continue;
            char quote = page[k++];
            if (page.substr(k, anchor.size()) == anchor && k + anchor.size() < page.size() && page[k + anchor.size()] == quote)
                return true;
        }
    }
    return false;
}

}

OSStatus AHRegisterHelpBookWithURL(CFURLRef bundleURL)
{
    if (!bundleURL || CFGetTypeID(bundleURL) != CFURLGetTypeID())
        return paramErr;
    CFHolder bundle(CFBundleCreate(kCFAllocatorDefault, bundleURL));
    if (!bundle)
        return kAHInternalErr;
    auto bundleRef = static_cast<CFBundleRef>(const_cast<void*>(bundle.get()));
    auto name = utf8Of(CFBundleGetValueForInfoDictionaryKey(bundleRef, CFSTR("CFBundleHelpBookName")));
    CFTypeRef folderName = CFBundleGetValueForInfoDictionaryKey(bundleRef, CFSTR("CFBundleHelpBookFolder"));
    if (!name || name->empty() || !utf8Of(folderName))
        return kAHInternalErr;
    CFHolder folderURL(CFBundleCopyResourceURL(bundleRef, static_cast<CFStringRef>(folderName), nullptr, nullptr));
    if (!folderURL)
        return kAHInternalErr;
    auto folder = pathOf(static_cast<CFURLRef>(folderURL.get()));
    struct stat info;
    if (!folder || stat(folder->c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return kAHInternalErr;
    books().set(*name, *folder);
    return noErr;
}

OSStatus AHGotoPage(CFStringRef bookname, CFStringRef path, CFStringRef anchor)
{
    auto name = utf8Of(bookname);
    auto page = utf8Of(path);
    std::optional<std::string> mark = std::string();
    if (anchor)
        mark = utf8Of(anchor);
    if (!name || !page || !mark)
        return paramErr;
    auto folder = books().folderOf(*name);
    if (!folder)
        return kAHBookNotFoundErr;
    if (!_CFIsContainedPath(*page))
        return paramErr;
    std::string file = *folder + "/" + *page;
    struct stat info;
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return fnfErr;
    openPage(*name, *folder, file, *mark);
    return noErr;
}

OSStatus AHLookupAnchor(CFStringRef bookname, CFStringRef anchor)
{
    auto name = utf8Of(bookname);
    auto mark = utf8Of(anchor);
    if (!name || !mark || mark->empty())
        return paramErr;
    auto folder = books().folderOf(*name);
    if (!folder)
        return kAHBookNotFoundErr;
    std::vector<std::string> pages;
    size_t seen = 0;
    collectPages(*folder, 0, seen, pages);
    for (const auto& page : pages) {
        std::string contents;
        if (StandIn::readRegularFile(page, kCFMaximumResourceFileSize, contents, nullptr) && pageHoldsAnchor(contents, *mark)) {
            openPage(*name, *folder, page, *mark);
            return noErr;
        }
    }
    return fnfErr;
}
