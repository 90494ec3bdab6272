// Inside the stand-in: the measurements a property list passes before libplist parses it.
#pragma once

#include <Base/PropertyList.h>

namespace StandIn {

// An XML list's nesting, elements and dictionary sizes, by a scan that agrees with libplist's
// parser on what is markup. libplist keeps only the last of a key given twice, without a word, so
// the scan also notes such keys in *duplicateKeys (see PropertyList).
PropertyListStatus scanXMLPropertyList(std::string_view text, const PropertyListLimits& limits,
    std::vector<std::vector<std::string>>* duplicateKeys);

// A binary list ("bplist00"), through its object references as libplist would follow them.
PropertyListStatus scanBinaryPropertyList(std::string_view data, const PropertyListLimits& limits);

}
