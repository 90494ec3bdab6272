// PPD files that tests write for themselves when a fixture would be too large to keep.
#pragma once

#include <string>

// A gzip-compressed PPD: its header, then `keywords` lines of distinct main keywords (15 bytes
// each unpacked), then `tail`. A million keywords unpack to 15 MB from a few MB on disk.
void writeKeywordFloodPPD(const std::string& path, long keywords, const std::string& tail);

// A PPD's text whose printer asks for `codes` passcodes, each an option of its own
// ("*ParamCustomCode0000001 Code/Code 1: 1 passcode 4 8", about 55 bytes a code): 200,000 of
// them are 11 MB, under the size limit of a PPD.
std::string codeFloodPPD(long codes);
