#include <Graphics/QuickDrawPrivate.h>
#include <Graphics/QuickDrawStandIn.h>

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where libpng's error message goes on its way out of the failed call.
struct WriteFailure {
    char message[200];
};

[[noreturn]] void failPNG(png_structp png, png_const_charp message)
{
    auto* failure = static_cast<WriteFailure*>(png_get_error_ptr(png));
    snprintf(failure->message, sizeof failure->message, "%s", message ? message : "libpng failed");
    png_longjmp(png, 1);
}

void ignorePNGWarning(png_structp, png_const_charp) { }

// libpng jumps back here on an error, so nothing in this function may need destroying: the
// rows are prepared by the caller, and the file belongs to it.
bool writePNG(FILE* file, png_uint_32 width, png_uint_32 height, png_bytepp rows, WriteFailure* failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, failPNG, ignorePNGWarning);
    if (!png) {
        snprintf(failure->message, sizeof failure->message, "libpng could not start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        snprintf(failure->message, sizeof failure->message, "libpng could not start");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

struct TemporaryFile {
    std::string path;
    FILE* file { nullptr };

    ~TemporaryFile()
    {
        if (file)
            fclose(file);
        if (!path.empty())
            unlink(path.c_str());
    }
};

bool fail(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return false;
}

}

bool QDWritePortToPNG(CGrafPtr portRef, const std::string& path, std::string* error)
{
    const QDPort* port = _QDPortFromRef(portRef);
    if (!port)
        return fail(error, "not a live port");
    if (path.empty())
        return fail(error, "no path to write the PNG to");
    if (port->width <= 0 || port->height <= 0)
        return fail(error, "the port has no pixels");

    std::vector<png_byte> rgb(static_cast<size_t>(port->width) * port->height * 3);
    std::vector<png_bytep> rows(static_cast<size_t>(port->height));
    for (size_t i = 0; i < port->pixels.size(); ++i) {
        QDPixel pixel = port->directOf(port->pixels[i]);
        rgb[i * 3] = QDPort::red(pixel);
        rgb[i * 3 + 1] = QDPort::green(pixel);
        rgb[i * 3 + 2] = QDPort::blue(pixel);
    }
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = rgb.data() + y * port->width * 3;

    // Written beside the destination and renamed over it, so that a failure never leaves half a
    // picture under the real name.
    TemporaryFile temporary;
    std::string pattern = path + ".XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0)
        return fail(error, "cannot create a file beside " + path + ": " + strerror(errno));
    temporary.path = pattern;
    fchmod(fd, 0644);
    if (!(temporary.file = fdopen(fd, "wb"))) {
        close(fd);
        return fail(error, "cannot write " + temporary.path + ": " + strerror(errno));
    }
    WriteFailure failure {};
    if (!writePNG(temporary.file, static_cast<png_uint_32>(port->width), static_cast<png_uint_32>(port->height), rows.data(), &failure))
        return fail(error, "cannot write the PNG " + path + ": " + failure.message);
    FILE* file = temporary.file;
    temporary.file = nullptr;
    if (fflush(file) != 0 || ferror(file)) {
        int saved = errno;
        fclose(file);
        return fail(error, "cannot write " + temporary.path + ": " + strerror(saved));
    }
    if (fclose(file) != 0)
        return fail(error, "cannot write " + temporary.path + ": " + strerror(errno));
    if (rename(temporary.path.c_str(), path.c_str()) != 0)
        return fail(error, "cannot rename " + temporary.path + " to " + path + ": " + strerror(errno));
    temporary.path.clear();
    return true;
}

bool QDCopyPortPixels(CGrafPtr portRef, std::vector<uint8_t>* rgba, int* width, int* height)
{
    QDPort* port = _QDPortFromRef(portRef);
    if (!port || !rgba || !width || !height)
        return false;
    rgba->resize(port->pixels.size() * 4);
    for (size_t i = 0; i < port->pixels.size(); ++i) {
        QDPixel pixel = port->directOf(port->pixels[i]);
        (*rgba)[i * 4] = QDPort::red(pixel);
        (*rgba)[i * 4 + 1] = QDPort::green(pixel);
        (*rgba)[i * 4 + 2] = QDPort::blue(pixel);
        (*rgba)[i * 4 + 3] = 0xFF;
    }
    *width = port->width;
    *height = port->height;
    return true;
}
