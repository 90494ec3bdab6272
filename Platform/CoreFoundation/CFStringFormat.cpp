// printf-style formatting of strings, with %@ for objects.
#include <CoreFoundation/CFStringPrivate.h>

#include <cstdio>
#include <cstring>

namespace {

enum class Length {
    None,
    Char,
    Short,
    Long,
    LongLong,
    SizeT,
    PtrDiff,
    IntMax,
    LongDouble,
};

std::string formatOne(const std::string& spec, Length length, char conversion, va_list& arguments)
{
    char buffer[512];
    int written = 0;
    auto print = [&](auto value) { written = snprintf(buffer, sizeof buffer, spec.c_str(), value); };
    switch (conversion) {
    case 'd':
    case 'i':
        switch (length) {
        case Length::Long: print(va_arg(arguments, long)); break;
        case Length::LongLong: print(va_arg(arguments, long long)); break;
        case Length::SizeT: print(va_arg(arguments, ssize_t)); break;
        case Length::PtrDiff: print(va_arg(arguments, ptrdiff_t)); break;
        case Length::IntMax: print(va_arg(arguments, intmax_t)); break;
        default: print(va_arg(arguments, int)); break;
        }
        break;
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        switch (length) {
        case Length::Long: print(va_arg(arguments, unsigned long)); break;
        case Length::LongLong: print(va_arg(arguments, unsigned long long)); break;
        case Length::SizeT: print(va_arg(arguments, size_t)); break;
        case Length::PtrDiff: print(va_arg(arguments, ptrdiff_t)); break;
        case Length::IntMax: print(va_arg(arguments, uintmax_t)); break;
        default: print(va_arg(arguments, unsigned int)); break;
        }
        break;
    case 'c':
        print(va_arg(arguments, int));
        break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (length == Length::LongDouble)
            print(va_arg(arguments, long double));
        else
            print(va_arg(arguments, double));
        break;
    case 'p':
        print(va_arg(arguments, void*));
        break;
    case 's': {
        const char* text = va_arg(arguments, const char*);
        if (!text)
            text = "(null)";
        // Long texts do not fit the fixed buffer: ask for the size first.
        int needed = snprintf(nullptr, 0, spec.c_str(), text);
        if (needed < 0)
            return {};
        std::string result(needed, '\0');
        snprintf(result.data(), result.size() + 1, spec.c_str(), text);
        return result;
    }
    default:
        return {};
    }
    if (written < 0)
        return {};
    return std::string(buffer, std::min<size_t>(written, sizeof buffer - 1));
}

std::string pad(std::string text, const std::string& flags, int width)
{
    if (width <= 0 || static_cast<int>(text.size()) >= width)
        return text;
    std::string padding(width - text.size(), ' ');
    return flags.find('-') != std::string::npos ? text + padding : padding + text;
}

std::string formatString(const std::string& format, va_list& arguments)
{
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        char c = format[i];
        if (c != '%') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t start = i++;
        std::string flags;
        while (i < format.size() && strchr("-+ #0'", format[i]))
            flags.push_back(format[i++]);
        int width = 0;
        std::string widthText;
        if (i < format.size() && format[i] == '*') {
            width = va_arg(arguments, int);
            widthText = std::to_string(width);
            ++i;
        } else {
            while (i < format.size() && isdigit(static_cast<unsigned char>(format[i])))
                widthText.push_back(format[i++]);
            width = widthText.empty() ? 0 : atoi(widthText.substr(0, 6).c_str());
        }
        std::string precisionText;
        if (i < format.size() && format[i] == '.') {
            precisionText.push_back(format[i++]);
            if (i < format.size() && format[i] == '*') {
                precisionText += std::to_string(va_arg(arguments, int));
                ++i;
            } else {
                while (i < format.size() && isdigit(static_cast<unsigned char>(format[i])))
                    precisionText.push_back(format[i++]);
            }
        }
        Length length = Length::None;
        std::string lengthText;
        while (i < format.size() && strchr("hlqLzjt", format[i])) {
            char modifier = format[i++];
            lengthText.push_back(modifier);
            switch (modifier) {
            case 'h': length = length == Length::Short ? Length::Char : Length::Short; break;
            case 'l': length = length == Length::Long ? Length::LongLong : Length::Long; break;
            case 'q': length = Length::LongLong; break;
            case 'L': length = Length::LongDouble; break;
            case 'z': length = Length::SizeT; break;
            case 'j': length = Length::IntMax; break;
            case 't': length = Length::PtrDiff; break;
            }
        }
        if (i >= format.size()) {
            out.append(format, start, std::string::npos);
            break;
        }
        char conversion = format[i++];
        if (conversion == '%') {
            out.push_back('%');
        } else if (conversion == '@') {
            CFTypeRef object = va_arg(arguments, CFTypeRef);
            std::string text = object ? _CFObject(object)->describe() : "(null)";
            out += pad(std::move(text), flags, width);
        } else if (strchr("diuxXocfFeEgGaAps", conversion)) {
            // Width and precision are already resolved, so '*' never reaches snprintf.
            std::string spec = "%" + flags + widthText + precisionText + lengthText + conversion;
            out += formatOne(spec, length, conversion, arguments);
        } else {
            // Unknown or unsafe conversions (%n among them) are copied, never executed.
            out.append(format, start, i - start);
        }
    }
    return out;
}

}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format, va_list arguments)
{
    auto* object = _CFCast<__CFString>(format);
    if (!object)
        return nullptr;
    va_list copy;
    va_copy(copy, arguments);
    std::string text = formatString(object->describe(), copy);
    va_end(copy);
    auto units = _CFDecode(text, kCFStringEncodingUTF8);
    // A %s argument that is not valid UTF-8 cannot become part of the text.
    return units ? new __CFString(std::move(*units)) : nullptr;
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, arguments);
    va_end(arguments);
    return result;
}
