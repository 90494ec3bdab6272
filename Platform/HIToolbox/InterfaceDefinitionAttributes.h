// Inside the stand-in: the attributes of one line of an interface definition, taken by the reader
// one by one by name and type, with the checks every window and control shares: ranges, bounds,
// control ids, flags against values, and any attribute left over.
#pragma once

#include <HIToolbox/Controls.h>
#include <HIToolbox/InterfaceDefinitionLexer.h>

#include <optional>

namespace StandIn::InterfaceDefinition {

// The attributes of one line, taken one by one by name; whatever is left over when the line is
// done is not an attribute of its window or control.
class AttributeSet {
public:
    AttributeSet(std::vector<Attribute> attributes, int line, std::string owner);

    // Each takes the attribute of that name, when there is one, and checks its type (and range).
    bool flag(std::string_view name);
    std::optional<std::string> string(std::string_view name);
    std::optional<long long> number(std::string_view name, long long smallest, long long largest);
    std::optional<UInt32> code(std::string_view name);
    std::optional<bool> boolean(std::string_view name);
    std::optional<std::string> word(std::string_view name);
    std::optional<ControlID> controlID(std::string_view name);
    std::vector<std::string> strings(std::string_view name);
    std::vector<long long> numbers(std::string_view name, long long smallest, long long largest);
    // Required: top,left,bottom,right.
    Rect bounds(std::string_view name);

    // Every attribute must have been taken by now.
    void finish(std::string_view hint = {}) const;
    bool has(std::string_view name) const;

private:
    const Attribute* take(std::string_view name);
    const Attribute* valued(std::string_view name);
    const Atom* single(std::string_view name, Atom::Type type);

    std::vector<long long> numbers(const Attribute& attribute, long long smallest, long long largest);
    void checkRange(std::string_view name, long long value, long long smallest, long long largest) const;

    std::vector<Attribute> m_attributes;
    std::vector<bool> m_taken = std::vector<bool>(m_attributes.size());
    int m_line;
    std::string m_owner;
};

}
