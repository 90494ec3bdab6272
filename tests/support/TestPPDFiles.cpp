#include "tests/support/TestPPDFiles.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>

void writeKeywordFloodPPD(const std::string& path, long keywords, const std::string& tail)
{
    gzFile file = gzopen(path.c_str(), "wb1");
    ASSERT_NE(file, nullptr) << path;
    std::string chunk = "*PPD-Adobe: \"4.3\"\n";
    char line[32];
    for (long keyword = 0; keyword < keywords; ++keyword) {
        snprintf(line, sizeof line, "*k%07ld: \"x\"\n", keyword % 10000000);
        chunk += line;
        if (chunk.size() >= 64 * 1024) {
            ASSERT_EQ(gzwrite(file, chunk.data(), static_cast<unsigned>(chunk.size())), static_cast<int>(chunk.size()));
            chunk.clear();
        }
    }
    chunk += tail;
    ASSERT_EQ(gzwrite(file, chunk.data(), static_cast<unsigned>(chunk.size())), static_cast<int>(chunk.size()));
    ASSERT_EQ(gzclose(file), Z_OK);
}

std::string codeFloodPPD(long codes)
{
    std::string text = "*PPD-Adobe: \"4.3\"\n*Manufacturer: \"Lumio\"\n";
    char line[96];
    for (long code = 0; code < codes; ++code) {
        snprintf(line, sizeof line, "*ParamCustomCode%07ld Code/Code %ld: 1 passcode 4 8\n", code, code);
        text += line;
    }
    return text;
}
