// libplist parses XML without recursion, but frees and copies the tree it builds by recursion,
// and builds dictionaries at a cost that grows with the square of their size; so nesting and
// sizes are measured before it parses. The scan agrees with the parser on what is not markup
// (comments, CDATA, processing instructions, quoted attribute values); where it could disagree it
// refuses, and it never closes an element that was not opened, so it can only overestimate.
#include "PropertyListScan.h"

#include <unordered_map>

namespace StandIn {

namespace {

void appendUTF8(std::string& text, uint32_t character)
{
    if (character < 0x80) {
        text += static_cast<char>(character);
    } else if (character < 0x800) {
        text += static_cast<char>(0xC0 | character >> 6);
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        text += static_cast<char>(0xE0 | character >> 12);
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | character >> 18);
        text += static_cast<char>(0x80 | (character >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (character >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (character & 0x3F));
    }
}

// The character a reference between '&' and ';' stands for, as libplist reads it; false for one
// it does not know, which it refuses (so what the scan makes of it does not matter).
bool referencedCharacter(std::string_view name, uint32_t& character)
{
    static const std::pair<std::string_view, char> kNamed[] = { { "lt", '<' }, { "gt", '>' }, { "amp", '&' },
        { "quot", '"' }, { "apos", '\'' } };
    for (const auto& [entity, value] : kNamed) {
        if (name == entity) {
            character = static_cast<unsigned char>(value);
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#')
        return false;
    bool hexadecimal = name[1] == 'x';
    std::string_view digits = name.substr(hexadecimal ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return false;
    uint32_t value = 0;
    for (char digit : digits) {
        int weight = digit >= '0' && digit <= '9'         ? digit - '0'
            : hexadecimal && digit >= 'a' && digit <= 'f' ? digit - 'a' + 10
            : hexadecimal && digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                          : -1;
        if (weight < 0)
            return false;
        value = value * (hexadecimal ? 16 : 10) + static_cast<uint32_t>(weight);
    }
    if (value > 0x10FFFF)
        return false;
    character = value;
    return true;
}

void appendDecoded(std::string& text, std::string_view raw)
{
    size_t start = 0;
    for (size_t ampersand; (ampersand = raw.find('&', start)) != std::string_view::npos;) {
        text.append(raw.substr(start, ampersand - start));
        size_t semicolon = raw.find(';', ampersand);
        uint32_t character = 0;
        if (semicolon == std::string_view::npos || !referencedCharacter(raw.substr(ampersand + 1, semicolon - ampersand - 1), character)) {
            text += '&';
            start = ampersand + 1;
            continue;
        }
        appendUTF8(text, character);
        start = semicolon + 1;
    }
    text.append(raw.substr(start));
}

class XMLScan {
public:
    XMLScan(std::string_view text, const PropertyListLimits& limits, std::vector<std::vector<std::string>>* duplicateKeys)
        : m_text(text)
        , m_limits(limits)
        , m_duplicateKeys(duplicateKeys)
    {
    }

    PropertyListStatus run()
    {
        while ((m_position = m_text.find('<', m_position)) != std::string_view::npos) {
            std::string_view rest = m_text.substr(m_position);
            bool sound = true;
            if (rest.starts_with("<!--"))
                sound = skipPast("-->", m_position + 4);
            else if (rest.starts_with("<![CDATA["))
                sound = skipPast("]]>", m_position + 9);
            else if (rest.starts_with("<?"))
                sound = skipPast("?>", m_position + 2);
            else if (rest.starts_with("<!"))
                // A document type belongs before the content; within it, it is not worth trusting.
                sound = m_frames.empty() && skipPast(">", m_position + 2);
            else if (PropertyListStatus status = element(); status != PropertyListStatus::ok)
                return status;
            if (!sound)
                return PropertyListStatus::notAPropertyList;
        }
        return PropertyListStatus::ok;
    }

private:
    struct Frame {
        bool dictionary { false };
        // Reached from the top through dictionaries alone: its repeated keys are reported.
        bool reported { false };
        uint64_t entries { 0 };
        std::string lastKey;
        std::unordered_map<std::string, int> keys;
    };

    bool skipPast(std::string_view terminator, size_t from)
    {
        size_t end = m_text.find(terminator, from);
        m_position = end == std::string_view::npos ? m_text.size() : end + terminator.size();
        return end != std::string_view::npos;
    }

    PropertyListStatus element()
    {
        size_t end = m_position + 1;
        char quote = 0;
        for (; end < m_text.size(); ++end) {
            char c = m_text[end];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (end >= m_text.size())
            return PropertyListStatus::notAPropertyList;
        std::string_view tag = m_text.substr(m_position + 1, end - m_position - 1);
        m_position = end + 1;
        bool closing = tag.starts_with("/");
        if (closing)
            tag.remove_prefix(1);
        bool empty = !closing && tag.ends_with("/");
        std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n/"));
        bool container = name == "array" || name == "dict";
        if (closing) {
            if (container && !m_frames.empty())
                m_frames.pop_back();
            return PropertyListStatus::ok;
        }
        if (name != "plist" && ++m_elements > m_limits.maximumElements)
            return PropertyListStatus::tooManyElements;
        if (name == "key" && !empty)
            return key();
        if (container && !empty) {
            if (m_frames.size() >= static_cast<size_t>(m_limits.maximumDepth))
                return PropertyListStatus::tooDeep;
            bool reported = m_frames.empty() || (m_frames.back().dictionary && m_frames.back().reported);
            m_frames.push_back({ name == "dict", name == "dict" && reported, 0, {}, {} });
        }
        return PropertyListStatus::ok;
    }

    // The text of a key, up to its closing tag, decoded as libplist decodes it.
    PropertyListStatus key()
    {
        std::string text;
        for (;;) {
            size_t markup = m_text.find('<', m_position);
            if (markup == std::string_view::npos)
                return PropertyListStatus::notAPropertyList;
            appendDecoded(text, m_text.substr(m_position, markup - m_position));
            std::string_view rest = m_text.substr(markup);
            if (rest.starts_with("<!--")) {
                if (!skipPast("-->", markup + 4))
                    return PropertyListStatus::notAPropertyList;
            } else if (rest.starts_with("<![CDATA[")) {
                size_t start = markup + 9;
                if (!skipPast("]]>", start))
                    return PropertyListStatus::notAPropertyList;
                text.append(m_text.substr(start, m_position - 3 - start));
            } else if (rest.starts_with("</key") && rest.find_first_of("> \t\r\n", 5) == 5 && skipPast(">", markup)) {
                break;
            } else {
                return PropertyListStatus::notAPropertyList;
            }
        }
        if (m_frames.empty() || !m_frames.back().dictionary)
            return PropertyListStatus::ok;
        Frame& dictionary = m_frames.back();
        if (++dictionary.entries > m_limits.maximumDictionaryEntries)
            return PropertyListStatus::dictionaryTooLarge;
        if (dictionary.reported && m_duplicateKeys && ++dictionary.keys[text] == 2) {
            std::vector<std::string> path;
            for (size_t k = 0; k + 1 < m_frames.size(); ++k)
                path.push_back(m_frames[k].lastKey);
            path.push_back(text);
            m_duplicateKeys->push_back(std::move(path));
        }
        dictionary.lastKey = std::move(text);
        return PropertyListStatus::ok;
    }

    std::string_view m_text;
    const PropertyListLimits& m_limits;
    std::vector<std::vector<std::string>>* m_duplicateKeys;
    size_t m_position { 0 };
    uint64_t m_elements { 0 };
    std::vector<Frame> m_frames;
};

}

PropertyListStatus scanXMLPropertyList(std::string_view text, const PropertyListLimits& limits,
    std::vector<std::vector<std::string>>* duplicateKeys)
{
    return XMLScan(text, limits, duplicateKeys).run();
}

}
