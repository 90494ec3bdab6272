#include "queues/cups/KeptCertificates.h"

#include <Base/RegularFile.h>

#include <cups/cups.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kBegin = "-----BEGIN CERTIFICATE-----";
const char* const kEnd = "-----END CERTIFICATE-----";
// Far beyond any certificate chain's PEM.
constexpr size_t kLargestFile = 256 * 1024;

// The folder of the kept certificates, as libcups has it: the user's own, or the system's for root.
std::string keptFolder()
{
    const char* serverRoot = getenv("CUPS_SERVERROOT");
    const char* home = getenv("HOME");
    return geteuid() == 0 ? std::string(serverRoot ? serverRoot : "/etc/cups") + "/ssl" : std::string(home ? home : "~") + "/.cups/ssl";
}

// The name libcups gave a server's certificate: the host as spelled, each character but a letter,
// a digit, '-' and '.' made '_'.
std::string earlierName(const std::string& host)
{
    std::string name;
    for (char c : host)
        name += isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '_';
    return name + (name.empty() || name.back() != '.' ? "." : "") + "crt";
}

// A certificate's DER is one SEQUENCE, whose length its header gives.
bool isOneSequence(const std::vector<unsigned char>& der)
{
    if (der.size() < 2 || der[0] != 0x30)
        return false;
    size_t length = der[1];
    size_t header = 2;
    if (length & 0x80) {
        size_t bytes = length & 0x7F;
        if (bytes == 0 || bytes > 4 || der.size() < 2 + bytes)
            return false;
        length = 0;
        for (size_t i = 0; i < bytes; ++i)
            length = length << 8 | der[2 + i];
        header += bytes;
    }
    return header + length == der.size();
}

// The first certificate of a PEM text, as DER; empty, with the reason in *problem, when there is
// none whole.
std::vector<unsigned char> firstCertificate(const std::string& text, std::string* problem)
{
    size_t begin = text.find(kBegin);
    if (begin == std::string::npos) {
        *problem = text.empty() ? "it is empty" : "it holds no certificate";
        return {};
    }
    begin += strlen(kBegin);
    size_t end = text.find(kEnd, begin);
    if (end == std::string::npos) {
        *problem = "its certificate is cut short";
        return {};
    }
    std::string encoded = text.substr(begin, end - begin);
    std::vector<unsigned char> der(encoded.size());
    int size = static_cast<int>(der.size());
    if (!httpDecode64_2(reinterpret_cast<char*>(der.data()), &size, encoded.c_str())) {
        *problem = "its certificate cannot be decoded";
        return {};
    }
    der.resize(static_cast<size_t>(size));
    if (!isOneSequence(der)) {
        *problem = "its certificate is damaged";
        return {};
    }
    return der;
}

KeptCertificate readKept(const std::string& file)
{
    KeptCertificate kept { file, {}, {} };
    std::string text;
    StandIn::FileFailure failure;
    if (StandIn::readRegularFile(file, kLargestFile, text, &failure))
        kept.certificate = firstCertificate(text, &kept.problem);
    else if (failure.status == StandIn::FileStatus::notRegular)
        kept.problem = S_ISDIR(failure.type) ? "it is a folder" : "it is not a regular file";
    else if (failure.status == StandIn::FileStatus::tooLarge)
        kept.problem = "it is far larger than a certificate";
    else
        kept.problem = strerror(failure.number);
    return kept;
}

}

std::string keptCertificateFile(const std::string& key)
{
    std::string name = key;
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    return keptFolder() + "/" + name + ".crt";
}

std::vector<KeptCertificate> keptCertificates(const std::string& key, const std::string& host)
{
    std::string own = keptCertificateFile(key);
    struct stat info;
    if (lstat(own.c_str(), &info) == 0 || errno != ENOENT)
        return { readKept(own) };
    // The folder's entries are read in one pass, so that "PrintHost.crt" is found for "printhost"
    // whatever else lies there.
    std::string folder = keptFolder();
    std::string earlier = earlierName(host);
    std::vector<KeptCertificate> kept;
    DIR* entries = opendir(folder.c_str());
    if (!entries) {
        if (errno != ENOENT)
            kept.push_back({ folder, {}, strerror(errno) });
        return kept;
    }
    while (dirent* entry = readdir(entries)) {
        if (!strcasecmp(entry->d_name, earlier.c_str()))
            kept.push_back(readKept(folder + "/" + entry->d_name));
    }
    closedir(entries);
    return kept;
}

bool keepCertificate(const std::string& key, const std::vector<unsigned char>& certificate, std::string* error)
{
    std::string file = keptCertificateFile(key);
    std::string folder = file.substr(0, file.rfind('/'));
    std::vector<char> encoded(certificate.size() * 4 / 3 + 8);
    httpEncode64_2(encoded.data(), static_cast<int>(encoded.size()), reinterpret_cast<const char*>(certificate.data()), static_cast<int>(certificate.size()));
    std::string pem = std::string(kBegin) + "\n";
    for (std::string text = encoded.data(); !text.empty(); text.erase(0, 64))
        pem += text.substr(0, 64) + "\n";
    pem += std::string(kEnd) + "\n";
    // Made whole beside its place first, then put there only if nothing has come meanwhile.
    std::string temporary = folder + "/.new-certificate-XXXXXX";
    bool made = (mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700) == 0 || errno == EEXIST)
        && (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST);
    int descriptor = made ? mkstemp(temporary.data()) : -1;
    bool kept = descriptor >= 0 && fchmod(descriptor, 0644) == 0 && write(descriptor, pem.data(), pem.size()) == static_cast<ssize_t>(pem.size())
        && fsync(descriptor) == 0;
    int number = errno;
    if (descriptor >= 0)
        close(descriptor);
    if (kept && link(temporary.c_str(), file.c_str()) != 0) {
        number = errno;
        kept = false;
    }
    if (descriptor >= 0)
        unlink(temporary.c_str());
    if (!kept)
        *error = "the certificate cannot be kept in " + file + ": " + strerror(number);
    return kept;
}

std::string certificateFingerprint(const std::vector<unsigned char>& certificate)
{
    unsigned char hash[32];
    if (certificate.empty() || cupsHashData("sha2-256", certificate.data(), certificate.size(), hash, sizeof hash) != sizeof hash)
        return "none";
    std::string text;
    for (unsigned char byte : hash) {
        char pair[4];
        snprintf(pair, sizeof pair, text.empty() ? "%02X" : ":%02X", byte);
        text += pair;
    }
    return text;
}

std::string keptCertificateFingerprint(const std::string& key)
{
    for (const KeptCertificate& kept : keptCertificates(key, key.substr(0, key.rfind(':')))) {
        if (!kept.certificate.empty())
            return certificateFingerprint(kept.certificate);
    }
    return "";
}
