#include <HIToolbox/InterfaceDefinitionAttributes.h>

#include <algorithm>
#include <climits>

namespace StandIn::InterfaceDefinition {

AttributeSet::AttributeSet(std::vector<Attribute> attributes, int line, std::string owner)
    : m_attributes(std::move(attributes))
    , m_line(line)
    , m_owner(std::move(owner))
{
}

bool AttributeSet::flag(std::string_view name)
{
    const Attribute* attribute = take(name);
    if (attribute && !attribute->isFlag)
        fail(m_line, "'" + attribute->name + "' is a flag and takes no value");
    return attribute;
}

std::optional<std::string> AttributeSet::string(std::string_view name)
{
    const Atom* value = single(name, Atom::Type::String);
    return value ? std::optional(value->text) : std::nullopt;
}

std::optional<long long> AttributeSet::number(std::string_view name, long long smallest, long long largest)
{
    const Atom* value = single(name, Atom::Type::Number);
    if (!value)
        return std::nullopt;
    checkRange(name, value->number, smallest, largest);
    return value->number;
}

std::optional<UInt32> AttributeSet::code(std::string_view name)
{
    const Atom* value = single(name, Atom::Type::Code);
    return value ? std::optional(value->code) : std::nullopt;
}

std::optional<bool> AttributeSet::boolean(std::string_view name)
{
    const Atom* value = single(name, Atom::Type::Word);
    if (!value)
        return std::nullopt;
    if (value->text != "true" && value->text != "false")
        fail(m_line, "'" + std::string(name) + "' must be true or false");
    return value->text == "true";
}

std::optional<std::string> AttributeSet::word(std::string_view name)
{
    const Atom* value = single(name, Atom::Type::Word);
    return value ? std::optional(value->text) : std::nullopt;
}

Rect AttributeSet::bounds(std::string_view name)
{
    const Attribute* attribute = valued(name);
    if (!attribute)
        fail(m_line, m_owner + " needs " + std::string(name) + "=top,left,bottom,right");
    std::vector<long long> edges = numbers(*attribute, SHRT_MIN, SHRT_MAX);
    if (edges.size() != 4)
        fail(m_line, "'" + attribute->name + "' takes 4 numbers: top,left,bottom,right");
    if (edges[0] > edges[2] || edges[1] > edges[3])
        fail(m_line, "'" + attribute->name + "' has its bottom above its top or its right left of its left");
    return { static_cast<SInt16>(edges[0]), static_cast<SInt16>(edges[1]), static_cast<SInt16>(edges[2]),
        static_cast<SInt16>(edges[3]) };
}

std::optional<ControlID> AttributeSet::controlID(std::string_view name)
{
    const Attribute* attribute = valued(name);
    if (!attribute)
        return std::nullopt;
    const auto& values = attribute->values;
    if (values.size() != 2 || values[0].type != Atom::Type::Code || values[1].type != Atom::Type::Number)
        fail(m_line, "'" + attribute->name + "' takes a four-char code and a number, as in id='MVRa',502");
    checkRange(name, values[1].number, INT32_MIN, INT32_MAX);
    return ControlID { values[0].code, static_cast<SInt32>(values[1].number) };
}

std::vector<std::string> AttributeSet::strings(std::string_view name)
{
    std::vector<std::string> texts;
    if (const Attribute* attribute = valued(name)) {
        for (const auto& value : attribute->values) {
            if (value.type != Atom::Type::String)
                fail(m_line, "'" + attribute->name + "' takes strings in double quotes");
            texts.push_back(value.text);
        }
    }
    return texts;
}

std::vector<long long> AttributeSet::numbers(std::string_view name, long long smallest, long long largest)
{
    const Attribute* attribute = valued(name);
    return attribute ? numbers(*attribute, smallest, largest) : std::vector<long long> {};
}

void AttributeSet::finish(std::string_view hint) const
{
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        if (!m_taken[i])
            fail(m_line, "'" + m_attributes[i].name + "' is not an attribute of " + m_owner + std::string(hint));
    }
}

bool AttributeSet::has(std::string_view name) const
{
    return std::any_of(m_attributes.begin(), m_attributes.end(), [name](const Attribute& a) { return a.name == name; });
}

const Attribute* AttributeSet::take(std::string_view name)
{
    for (size_t i = 0; i < m_attributes.size(); ++i) {
        if (m_attributes[i].name == name) {
            m_taken[i] = true;
            return &m_attributes[i];
        }
    }
    return nullptr;
}

const Attribute* AttributeSet::valued(std::string_view name)
{
    const Attribute* attribute = take(name);
    if (attribute && attribute->isFlag)
        fail(m_line, "'" + attribute->name + "' needs a value: " + attribute->name + "=...");
    return attribute;
}

const Atom* AttributeSet::single(std::string_view name, Atom::Type type)
{
    const Attribute* attribute = valued(name);
    if (!attribute)
        return nullptr;
    if (attribute->values.size() != 1 || attribute->values[0].type != type)
        fail(m_line, "'" + attribute->name + "' takes one value, " + describe(type));
    return &attribute->values[0];
}

std::vector<long long> AttributeSet::numbers(const Attribute& attribute, long long smallest, long long largest)
{
    std::vector<long long> result;
    for (const auto& value : attribute.values) {
        if (value.type != Atom::Type::Number)
            fail(m_line, "'" + attribute.name + "' takes numbers");
        checkRange(attribute.name, value.number, smallest, largest);
        result.push_back(value.number);
    }
    return result;
}

void AttributeSet::checkRange(std::string_view name, long long value, long long smallest, long long largest) const
{
    if (value < smallest || value > largest) {
        fail(m_line, std::string("'").append(name).append("' value ") + std::to_string(value) + " is outside " + std::to_string(smallest) + ".." + std::to_string(largest));
    }
}

}
