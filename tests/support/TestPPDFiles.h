// PPD files that tests write for themselves when a fixture would be too large to keep.
#pragma once

#include <string>

// A gzip-compressed PPD: its header, then `keywords` lines of distinct main keywords (15 bytes
// each unpacked), then `tail`. A million keywords unpack to 15 MB from a few MB on disk.
void writeKeywordFloodPPD(const std::string& path, long keywords, const std::string& tail);
