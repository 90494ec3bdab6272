#include <CoreFoundation/CFRuntime.h>
#include <Files/FilesPrivate.h>
#include <Graphics/ImageCompression.h>
#include <Graphics/ImageDecodingStandIn.h>
#include <Graphics/QuickDrawPrivate.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

namespace {

// The decoded image in the port's own pixel format, so that drawing it at its natural size is
// mostly copying: each row is split into runs of opaque and of partly transparent pixels, and
// fully transparent pixels are in no run at all.
struct DrawableImage {
    struct Run {
        int start;
        int length;
        bool opaque;
    };

    int width { 0 };
    int height { 0 };
    std::vector<QDPixel> colors;
    std::vector<UInt8> alpha;
    // Runs of row y are runs[rowRuns[y]] up to runs[rowRuns[y + 1]]; empty when the image is so
    // fragmented that runs would cost more than they save.
    std::vector<Run> runs;
    std::vector<size_t> rowRuns;
};

// Rounds to nearest; exact for the ends, so an opaque pixel drawn over anything is its own
// colour and a transparent one leaves the port alone.
inline uint8_t blend(uint8_t source, uint8_t destination, unsigned alpha)
{
    return static_cast<uint8_t>((source * alpha + destination * (255 - alpha) + 127) / 255);
}

inline void blendPixel(const QDPort& port, QDPixel* destination, QDPixel source, unsigned alpha)
{
    QDPixel under = port.directOf(*destination);
    *destination = QDPort::directPixel(blend(QDPort::red(source), QDPort::red(under), alpha),
        blend(QDPort::green(source), QDPort::green(under), alpha), blend(QDPort::blue(source), QDPort::blue(under), alpha));
}

DrawableImage makeDrawable(const StandIn::Imaging::Image& decoded)
{
    DrawableImage image;
    image.width = decoded.width;
    image.height = decoded.height;
    size_t pixels = static_cast<size_t>(decoded.width) * decoded.height;
    image.colors.resize(pixels);
    image.alpha.resize(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const UInt8* rgba = decoded.rgba.data() + i * 4;
        image.colors[i] = QDPort::directPixel(rgba[0], rgba[1], rgba[2]);
        image.alpha[i] = rgba[3];
    }

    const size_t maxRuns = std::max<size_t>(pixels / 8, 1024);
    image.rowRuns.reserve(static_cast<size_t>(image.height) + 1);
    for (int y = 0; y < image.height; ++y) {
        image.rowRuns.push_back(image.runs.size());
        const UInt8* alpha = image.alpha.data() + static_cast<size_t>(y) * image.width;
        for (int x = 0; x < image.width;) {
            if (alpha[x] == 0) {
                ++x;
                continue;
            }
            bool opaque = alpha[x] == 255;
            int start = x;
            while (x < image.width && alpha[x] != 0 && (alpha[x] == 255) == opaque)
                ++x;
            image.runs.push_back({ start, x - start, opaque });
        }
        if (image.runs.size() > maxRuns) {
            image.runs = {};
            image.rowRuns = {};
            return image;
        }
    }
    image.rowRuns.push_back(image.runs.size());
    return image;
}

// The part of the destination rectangle inside the port, in port coordinates.
struct Visible {
    int left, top, right, bottom;

    bool empty() const { return left >= right || top >= bottom; }
};

Visible visiblePart(const Rect& destination, const QDPort& port)
{
    return { std::max<int>(destination.left, 0), std::max<int>(destination.top, 0),
        std::min<int>(destination.right, port.width), std::min<int>(destination.bottom, port.height) };
}

// Natural size: each visible row copies its opaque runs and blends its partly transparent ones.
void drawUnscaled(const DrawableImage& image, const Rect& destination, const Visible& visible, QDPort& port)
{
    const int offsetX = destination.left, offsetY = destination.top;
    const int firstX = visible.left - offsetX, endX = visible.right - offsetX;
    const bool wholeRows = firstX == 0 && endX == image.width;
    // Held here rather than reached through image each time: after each copy the compiler would
    // have to load them again, not knowing what the copy wrote.
    const DrawableImage::Run* runs = image.runs.data();
    const size_t* rowRuns = image.rowRuns.data();
    const bool byRuns = !image.rowRuns.empty();
    for (int portY = visible.top; portY < visible.bottom; ++portY) {
        const int y = portY - offsetY;
        const QDPixel* colors = image.colors.data() + static_cast<size_t>(y) * image.width;
        const UInt8* alphas = image.alpha.data() + static_cast<size_t>(y) * image.width;
        QDPixel* row = port.pixels.data() + static_cast<size_t>(portY) * port.width;
        if (!byRuns) {
            for (int x = firstX; x < endX; ++x) {
                if (alphas[x] == 255)
                    row[x + offsetX] = colors[x];
                else if (alphas[x])
                    blendPixel(port, &row[x + offsetX], colors[x], alphas[x]);
            }
            continue;
        }
        for (size_t r = rowRuns[y], end = rowRuns[y + 1]; r < end; ++r) {
            const DrawableImage::Run& run = runs[r];
            int start = run.start, stop = run.start + run.length;
            if (!wholeRows) {
                start = std::max(start, firstX);
                stop = std::min(stop, endX);
                if (start >= stop)
                    continue;
            }
            if (run.opaque) {
                memcpy(row + start + offsetX, colors + start, static_cast<size_t>(stop - start) * sizeof(QDPixel));
                continue;
            }
            for (int x = start; x < stop; ++x)
                blendPixel(port, &row[x + offsetX], colors[x], alphas[x]);
        }
    }
}

// Any other size: nearest neighbour, each destination pixel taking the source pixel its centre
// falls in.
void drawScaled(const DrawableImage& image, const Rect& destination, const Visible& visible, QDPort& port)
{
    const long destinationWidth = destination.right - destination.left;
    const long destinationHeight = destination.bottom - destination.top;
    std::vector<int> sourceColumns(static_cast<size_t>(visible.right - visible.left));
    for (int portX = visible.left; portX < visible.right; ++portX)
        sourceColumns[portX - visible.left] = static_cast<int>(((portX - destination.left) * 2L + 1) * image.width / (destinationWidth * 2));
    for (int portY = visible.top; portY < visible.bottom; ++portY) {
        const long y = ((portY - destination.top) * 2L + 1) * image.height / (destinationHeight * 2);
        const QDPixel* colors = image.colors.data() + static_cast<size_t>(y) * image.width;
        const UInt8* alphas = image.alpha.data() + static_cast<size_t>(y) * image.width;
        QDPixel* row = port.pixels.data() + static_cast<size_t>(portY) * port.width + visible.left;
        for (size_t i = 0; i < sourceColumns.size(); ++i) {
            const int x = sourceColumns[i];
            unsigned alpha = alphas[x];
            if (alpha == 255)
                row[i] = colors[x];
            else if (alpha)
                blendPixel(port, &row[i], colors[x], alpha);
        }
    }
}

OSErr errorForFile(StandIn::Imaging::FileResult result)
{
    switch (result) {
    case StandIn::Imaging::FileResult::Ok: return noErr;
    case StandIn::Imaging::FileResult::NotFound: return fnfErr;
    case StandIn::Imaging::FileResult::TooLarge: return invalidImageErr;
    case StandIn::Imaging::FileResult::Unreadable: break;
    }
    return ioErr;
}

}

struct ComponentInstanceRecord final : __CFRuntimeBase {
    ComponentInstanceRecord(std::string imagePath, const StandIn::Imaging::Header& imageHeader)
        : __CFRuntimeBase(classTypeID())
        , path(std::move(imagePath))
        , header(imageHeader)
        , destination(naturalBounds())
    {
        live().insert(this);
    }

    ~ComponentInstanceRecord() override
    {
        live().erase(this);
        if (lastFound == this)
            lastFound = nullptr;
    }

    static CFTypeID classTypeID()
    {
        static const CFTypeID typeID = _CFRuntimeRegisterClass("GraphicsImporter");
        return typeID;
    }

    // Component instances are plain pointers to their callers, who may hand back one already
    // closed: only those still open are looked into.
    static std::unordered_set<const ComponentInstanceRecord*>& live()
    {
        static std::unordered_set<const ComponentInstanceRecord*> instances;
        return instances;
    }

    // A draw asks about the same importer four times; the last one found is remembered until
    // it is closed.
    static ComponentInstanceRecord* from(ComponentInstance instance)
    {
        if (instance && instance == lastFound)
            return instance;
        if (!instance || !live().count(instance))
            return nullptr;
        return lastFound = instance;
    }

    static inline ComponentInstanceRecord* lastFound = nullptr;

    Rect naturalBounds() const { return { 0, 0, static_cast<SInt16>(header.height), static_cast<SInt16>(header.width) }; }

    // Decodes once; a failure is kept too, so that a broken file costs one attempt, not one a draw.
    OSErr prepare()
    {
        if (state == State::Undecoded) {
            state = State::Failed;
            try {
                failure = decodeFile();
            } catch (const std::bad_alloc&) {
                failure = memFullErr;
            }
            if (failure == noErr)
                state = State::Ready;
        }
        return failure;
    }

    OSErr decodeFile()
    {
        std::vector<uint8_t> bytes;
        if (OSErr error = errorForFile(StandIn::Imaging::readFile(path, StandIn::Imaging::kMaxImageFileSize, &bytes)); error != noErr)
            return error;
        StandIn::Imaging::Image decoded;
        // The file may have changed since its header was read; the bounds given out must hold.
        if (StandIn::Imaging::decode(bytes.data(), bytes.size(), &decoded) != StandIn::Imaging::Result::Ok || decoded.width != header.width
            || decoded.height != header.height)
            return invalidImageErr;
        image = makeDrawable(decoded);
        return noErr;
    }

    enum class State {
        Undecoded,
        Ready,
        Failed,
    };

    std::string path;
    StandIn::Imaging::Header header;
    GrafPtr port { nullptr };
    Rect destination;
    State state { State::Undecoded };
    OSErr failure { noErr };
    DrawableImage image;
};

OSErr GetGraphicsImporterForFileWithFlags(const FSSpec* theFile, ComponentInstance* gi, long)
{
    if (!theFile || !gi)
        return paramErr;
    std::string path;
    if (!_FSSpecGetPath(theFile, &path))
        return fnfErr;
    std::vector<uint8_t> start;
    if (OSErr error = errorForFile(StandIn::Imaging::readFilePrefix(path, StandIn::Imaging::kHeaderBytes, &start)); error != noErr)
        return error;
    StandIn::Imaging::Header header;
    switch (StandIn::Imaging::readHeader(start.data(), start.size(), &header)) {
    case StandIn::Imaging::Result::Ok: break;
    case StandIn::Imaging::Result::UnknownFormat: return noSuggestedImporterErr;
    case StandIn::Imaging::Result::Truncated:
    case StandIn::Imaging::Result::Invalid: return invalidImageErr;
    }
    *gi = new ComponentInstanceRecord(std::move(path), header);
    return noErr;
}

OSErr CloseComponent(ComponentInstance aComponentInstance)
{
    ComponentInstanceRecord* importer = ComponentInstanceRecord::from(aComponentInstance);
    if (!importer)
        return static_cast<OSErr>(badComponentInstance);
    CFRelease(importer);
    return noErr;
}

ComponentResult GraphicsImportSetGWorld(GraphicsImportComponent ci, CGrafPtr port, GDHandle)
{
    ComponentInstanceRecord* importer = ComponentInstanceRecord::from(ci);
    if (!importer)
        return badComponentInstance;
    if (!_QDPortFromRef(port))
        return paramErr;
    importer->port = port;
    return noErr;
}

ComponentResult GraphicsImportGetNaturalBounds(GraphicsImportComponent ci, Rect* naturalBounds)
{
    ComponentInstanceRecord* importer = ComponentInstanceRecord::from(ci);
    if (!importer)
        return badComponentInstance;
    if (!naturalBounds)
        return paramErr;
    *naturalBounds = importer->naturalBounds();
    return noErr;
}

ComponentResult GraphicsImportSetDestRect(GraphicsImportComponent ci, const Rect* destRect)
{
    ComponentInstanceRecord* importer = ComponentInstanceRecord::from(ci);
    if (!importer)
        return badComponentInstance;
    if (!destRect || destRect->right < destRect->left || destRect->bottom < destRect->top)
        return paramErr;
    importer->destination = *destRect;
    return noErr;
}

ComponentResult GraphicsImportDraw(GraphicsImportComponent ci)
{
    ComponentInstanceRecord* importer = ComponentInstanceRecord::from(ci);
    if (!importer)
        return badComponentInstance;
    // Without a port of its own the importer draws where the caller draws, as it would by default.
    GrafPtr portRef = importer->port;
    if (!portRef)
        GetPort(&portRef);
    QDPort* port = _QDPortFromRef(portRef);
    if (!port)
        return paramErr;
    if (OSErr error = importer->prepare(); error != noErr)
        return error;
    const Rect& destination = importer->destination;
    Visible visible = visiblePart(destination, *port);
    if (visible.empty())
        return noErr;
    const DrawableImage& image = importer->image;
    if (destination.right - destination.left == image.width && destination.bottom - destination.top == image.height)
        drawUnscaled(image, destination, visible, *port);
    else
        drawScaled(image, destination, visible, *port);
    return noErr;
}
