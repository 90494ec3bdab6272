// Draws the pane's pictures and writes them into a folder (see resources/README.md):
//   Accounting-Off.gif  64x64, a grey ledger page with a crossed-out circle
//   Accounting-On.gif   64x64, a green-lined ledger page with a green check-mark badge
//   Accounting.icns     an icon family with one 'ic07' element, the "on" picture as a 128x128 PNG
// Shapes are described in a 64-unit square and sampled 4x4 times a pixel, so that every size is
// drawn from the same description. The output depends on nothing but this file, so remaking the
// pictures from an unchanged tool gives the same bytes.
#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <tuple>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Color {
    uint8_t red, green, blue;

    bool operator<(const Color& other) const
    {
        return std::tie(red, green, blue) < std::tie(other.red, other.green, other.blue);
    }
    bool operator==(const Color& other) const = default;
};

struct Theme {
    Color outline, page, fold, ledger;
    Color badgeRing, badgeFill, mark;
    bool check; // a check mark in the badge; otherwise a slash
};

const Theme kOff = {
    { 104, 104, 104 },
    { 232, 232, 232 },
    { 200, 200, 200 },
    { 160, 160, 160 },
    { 112, 112, 112 },
    { 250, 250, 250 },
    { 112, 112, 112 },
    false,
};
const Theme kOn = {
    { 38, 110, 52 },
    { 240, 249, 240 },
    { 196, 226, 198 },
    { 110, 178, 118 },
    { 28, 100, 42 },
    { 46, 160, 67 },
    { 255, 255, 255 },
    true,
};

double distanceToSegment(double x, double y, double x0, double y0, double x1, double y1)
{
    double dx = x1 - x0, dy = y1 - y0;
    double t = std::clamp(((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
}

// The colour at a point of the 64-unit square, or none (transparent): the page, its folded
// corner and ledger rules, then the badge over the page's lower right.
bool sample(const Theme& theme, double x, double y, Color* color)
{
    // The badge comes first because it lies on top.
    const double badgeX = 45, badgeY = 46, badgeRadius = 14;
    double fromBadge = std::hypot(x - badgeX, y - badgeY);
    if (fromBadge <= badgeRadius) {
        if (fromBadge > badgeRadius - 2.2) {
            *color = theme.badgeRing;
        } else if (theme.check) {
            bool onMark = distanceToSegment(x, y, 37.5, 46.5, 42.5, 52) <= 1.9 || distanceToSegment(x, y, 42.5, 52, 52.5, 39.5) <= 1.9;
            *color = onMark ? theme.mark : theme.badgeFill;
        } else {
            bool onSlash = distanceToSegment(x, y, 36, 55, 54, 37) <= 1.4;
            *color = onSlash ? theme.mark : theme.badgeFill;
        }
        return true;
    }

    // The page: x 12 to 50, y 5 to 59, its top right corner folded along x - y = 34.
    const double left = 12, right = 50, top = 5, bottom = 59, foldSize = 11;
    if (x < left || x > right || y < top || y > bottom || x - y > right - top - foldSize)
        return false;
    const double border = 2;
    bool onEdge = x < left + border || x > right - border || y < top + border || y > bottom - border
        || (right - top - foldSize) - (x - y) < border * std::sqrt(2.0);
    if (onEdge) {
        *color = theme.outline;
        return true;
    }
    // The folded flap: the triangle under the fold line, edged on its two straight sides.
    if (x >= right - foldSize - 0.75 && y <= top + foldSize + 0.75) {
        bool flapEdge = x < right - foldSize + 0.75 || y > top + foldSize - 0.75;
        *color = flapEdge ? theme.outline : theme.fold;
        return true;
    }
    bool onRule = false;
    for (double rule = 20; rule <= 50; rule += 7)
        onRule = onRule || (y >= rule - 0.75 && y <= rule + 0.75 && x >= 17 && x <= 45);
    bool onColumn = x >= 33.25 && x <= 34.75 && y >= 19 && y <= 51;
    *color = onRule || onColumn ? theme.ledger : theme.page;
    return true;
}

struct RGBA {
    uint8_t red, green, blue, alpha;
};

// size x size pixels, each the average of 4x4 samples; alpha is the share of samples that hit.
std::vector<RGBA> render(const Theme& theme, int size)
{
    constexpr int kSamples = 4;
    std::vector<RGBA> pixels(static_cast<size_t>(size) * size);
    const double scale = 64.0 / size;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            int hits = 0, red = 0, green = 0, blue = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    Color color;
                    if (!sample(theme, (px + (sx + 0.5) / kSamples) * scale, (py + (sy + 0.5) / kSamples) * scale, &color))
                        continue;
                    ++hits;
                    red += color.red;
                    green += color.green;
                    blue += color.blue;
                }
            }
            RGBA& out = pixels[static_cast<size_t>(py) * size + px];
            if (hits) {
                out = { static_cast<uint8_t>((red + hits / 2) / hits), static_cast<uint8_t>((green + hits / 2) / hits),
                    static_cast<uint8_t>((blue + hits / 2) / hits),
                    static_cast<uint8_t>((hits * 255 + kSamples * kSamples / 2) / (kSamples * kSamples)) };
            } else {
                out = { 0, 0, 0, 0 };
            }
        }
    }
    return pixels;
}

Color quantize(const RGBA& pixel, int step)
{
    auto round = [step](uint8_t channel) { return static_cast<uint8_t>(std::min(255, (channel + step / 2) / step * step)); };
    return { round(pixel.red), round(pixel.green), round(pixel.blue) };
}

// A GIF has one transparent index and no partial transparency: a pixel at least half covered
// keeps its colour, the rest are transparent. Colours are rounded ever more coarsely until
// they fit the 255 entries beside the transparent one.
bool writeGif(const std::string& path, const std::vector<RGBA>& pixels, int size)
{
    std::map<Color, int> indices;
    int step = 1;
    for (;; ++step) {
        indices.clear();
        for (const RGBA& pixel : pixels) {
            if (pixel.alpha >= 128)
                indices.emplace(quantize(pixel, step), 0);
        }
        if (indices.size() <= 255)
            break;
    }
    std::vector<GifColorType> colors(256, GifColorType { 0, 0, 0 });
    int next = 1; // 0 is the transparent index
    for (auto& [color, index] : indices) {
        index = next++;
        colors[index] = { color.red, color.green, color.blue };
    }

    // giflib would create the file readable by its owner only; resources are for everyone.
    int error = 0;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &error) : nullptr;
    if (!gif) {
        if (fd >= 0)
            close(fd);
        else
            error = E_GIF_ERR_OPEN_FAILED;
        fprintf(stderr, "%s: %s\n", path.c_str(), GifErrorString(error));
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(256, colors.data());
    GraphicsControlBlock control = { DISPOSAL_UNSPECIFIED, false, 0, 0 };
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    EGifSetGifVersion(gif, true);
    bool written = map && EGifPutScreenDesc(gif, size, size, 8, 0, map) == GIF_OK
        && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension) == GIF_OK
        && EGifPutImageDesc(gif, 0, 0, size, size, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(static_cast<size_t>(size));
    for (int y = 0; written && y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const RGBA& pixel = pixels[static_cast<size_t>(y) * size + x];
            line[x] = static_cast<GifPixelType>(pixel.alpha >= 128 ? indices[quantize(pixel, step)] : 0);
        }
        written = EGifPutLine(gif, line.data(), size) == GIF_OK;
    }
    GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK)
        written = false;
    if (!written)
        fprintf(stderr, "%s: cannot write the GIF\n", path.c_str());
    return written;
}

void appendBigEndian32(std::vector<uint8_t>* bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes->push_back(static_cast<uint8_t>(value >> shift));
}

// 'icns', its length, and one 'ic07' element (a 128x128 PNG) with its own length.
bool writeIconFamily(const std::string& path, const std::vector<RGBA>& pixels, int size)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(size);
    image.height = static_cast<png_uint_32>(size);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t pngSize = 0;
    if (!png_image_write_to_memory(&image, nullptr, &pngSize, 0, pixels.data(), 0, nullptr)) {
        fprintf(stderr, "%s: %s\n", path.c_str(), image.message);
        return false;
    }
    std::vector<uint8_t> png(pngSize);
    if (!png_image_write_to_memory(&image, png.data(), &pngSize, 0, pixels.data(), 0, nullptr)) {
        fprintf(stderr, "%s: %s\n", path.c_str(), image.message);
        return false;
    }
    png.resize(pngSize);

    std::vector<uint8_t> family;
    appendBigEndian32(&family, 'icns');
    appendBigEndian32(&family, static_cast<uint32_t>(8 + 8 + png.size()));
    appendBigEndian32(&family, 'ic07');
    appendBigEndian32(&family, static_cast<uint32_t>(8 + png.size()));
    family.insert(family.end(), png.begin(), png.end());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(family.data()), static_cast<std::streamsize>(family.size()));
    if (!out.flush()) {
        fprintf(stderr, "%s: cannot write the icon family\n", path.c_str());
        return false;
    }
    return true;
}

}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = writeGif(folder + "/Accounting-Off.gif", render(kOff, 64), 64);
    ok = writeGif(folder + "/Accounting-On.gif", render(kOn, 64), 64) && ok;
    ok = writeIconFamily(folder + "/Accounting.icns", render(kOn, 128), 128) && ok;
    return ok ? 0 : 1;
}
