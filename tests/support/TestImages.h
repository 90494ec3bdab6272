// Small image files that tests write for themselves.
#pragma once

#include <string>

struct TestColor {
    unsigned char red, green, blue;
};

// A width-by-height GIF filled with one colour; with transparentLeftHalf, its left half is the
// transparent colour instead.
void writeSolidGif(const std::string& path, int width, int height, TestColor color, bool transparentLeftHalf = false);
