#include "tests/support/TestImages.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <vector>

void writeSolidGif(const std::string& path, int width, int height, TestColor color, bool transparentLeftHalf)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    ASSERT_NE(gif, nullptr) << path;
    GifColorType colors[2] = { { 0, 0, 0 }, { color.red, color.green, color.blue } };
    ColorMapObject* map = GifMakeMapObject(2, colors);
    EGifPutScreenDesc(gif, width, height, 1, 0, map);
    if (transparentLeftHalf) {
        // A graphics control extension naming colour 0 as transparent.
        GraphicsControlBlock control = { DISPOSAL_UNSPECIFIED, false, 0, 0 };
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension);
    }
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    std::vector<GifPixelType> line(width, 1);
    if (transparentLeftHalf)
        std::fill(line.begin(), line.begin() + width / 2, 0);
    for (int row = 0; row < height; ++row)
        EGifPutLine(gif, line.data(), width);
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
}
