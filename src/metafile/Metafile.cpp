#include "Metafile.h"

#include "Players.h"

#include "platform/Dib.h"
#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <algorithm>
#include <cmath>

namespace {

const char* const MetafileLabel = "Windows metafile";
constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7u;
constexpr std::uint32_t EmfSignature = 0x464D4520u;  // " EMF"
// cairo draws on canvases of at most this many pixels a side.
constexpr int MaxCanvasSide = 32767;
// The most bytes a canvas takes at once; taller pictures are drawn in bands.
constexpr std::int64_t BandBytes = std::int64_t{64} << 20;
// Files are read whole; larger ones are refused.
constexpr std::int64_t MaxFileBytes = std::int64_t{1} << 30;

std::uint16_t U16(const std::uint8_t* p) { return ReadLittleEndian16(p); }
std::int16_t S16(const std::uint8_t* p) { return static_cast<std::int16_t>(ReadLittleEndian16(p)); }
std::uint32_t U32(const std::uint8_t* p) { return ReadLittleEndian32(p); }
std::int32_t S32(const std::uint8_t* p) { return static_cast<std::int32_t>(ReadLittleEndian32(p)); }

bool IsWmfHeader(const std::uint8_t* p, std::size_t size) {
    if (size < 18) return false;
    std::uint16_t type = U16(p), words = U16(p + 2), version = U16(p + 4);
    return (type == 1 || type == 2) && words == 9 && (version == 0x0100 || version == 0x0300);
}

bool IsEmf(const std::uint8_t* p, std::size_t size) { return size >= 88 && U32(p) == 1 && U32(p + 40) == EmfSignature; }

// A few records may claim any canvas: a 46-byte file asking for 16000 x 16000 pixels would cost
// seconds and gigabytes to draw nothing. A canvas beyond 16 megapixels needs a file of a size to
// go with it, 16384 pixels for each of its bytes (a clip-art file of 20 KB may draw 335 MP).
constexpr std::uint64_t FreeCanvasPixels = std::uint64_t{1} << 24;
constexpr std::uint64_t CanvasPixelsPerFileByte = std::uint64_t{1} << 14;

// The picture size at 96 dots per inch, refused when empty or too large, for a file of fileSize
// bytes.
void SetPictureSize(TMetafileHeader& header, double width, double height, std::size_t fileSize) {
    if (!std::isfinite(width) || !std::isfinite(height)) RaiseInvalidPicture(MetafileLabel);
    double w = std::round(width), h = std::round(height);
    if (w < 1 || h < 1)
        throw EInvalidGraphic(
            FormatText("Cannot load image. The Windows metafile's picture is empty (%.0f x %.0f pixels).",
                       std::max(w, 0.0), std::max(h, 0.0)));
    const auto columns = static_cast<std::uint64_t>(std::min(w, 1e12)),
               rows = static_cast<std::uint64_t>(std::min(h, 1e12));
    CheckPictureSize(columns, rows);
    CheckPictureSize(columns, rows, columns * rows, std::max(FreeCanvasPixels, fileSize * CanvasPixelsPerFileByte));
    if (w > MaxCanvasSide || h > MaxCanvasSide)
        throw EInvalidGraphic(
            FormatText("Cannot load image. The Windows metafile's picture of %.0f x %.0f pixels is wider or higher "
                       "than %d pixels.",
                       w, h, MaxCanvasSide));
    header.Width = static_cast<int>(w);
    header.Height = static_cast<int>(h);
}

// A plain WMF states its size only through the window its records set up.
bool FindWindow(const std::uint8_t* data, std::size_t size, std::size_t at, int box[4]) {
    bool haveExt = false;
    int org[2] = {0, 0}, ext[2] = {0, 0};
    bool haveOrg = false;
    while (size - at >= 6) {
        std::uint64_t words = U32(data + at);
        if (words < 3 || words > (size - at) / 2) break;
        std::uint16_t function = U16(data + at + 4);
        if (function == 0) break;
        if ((function == 0x020B || function == 0x020C) && words >= 5) {
            int y = S16(data + at + 6), x = S16(data + at + 8);
            if (function == 0x020B && !haveOrg) {
                org[0] = x, org[1] = y;
                haveOrg = true;
            } else if (function == 0x020C && !haveExt) {
                ext[0] = x, ext[1] = y;
                haveExt = true;
            }
        }
        if (haveOrg && haveExt) break;
        at += static_cast<std::size_t>(words * 2);
    }
    if (!haveExt) return false;
    box[0] = std::min(org[0], org[0] + ext[0]);
    box[1] = std::min(org[1], org[1] + ext[1]);
    box[2] = std::max(org[0], org[0] + ext[0]);
    box[3] = std::max(org[1], org[1] + ext[1]);
    return true;
}

// Device pixels per millimetre of an EMF's reference device.
void EmfResolution(const TMetafileHeader& header, const std::uint8_t* data, double& perMmX, double& perMmY) {
    perMmX = perMmY = 96 / 25.4;
    std::uint32_t headerSize = U32(data + 4);
    double mmX = header.DeviceWidthMm, mmY = header.DeviceHeightMm;
    if (headerSize >= 108) {
        // The same size in micrometres, where the writer gave it, is the precise one.
        double umX = S32(data + 100), umY = S32(data + 104);
        if (umX > 0 && umY > 0) mmX = umX / 1000, mmY = umY / 1000;
    }
    if (header.DeviceWidth > 0 && header.DeviceHeight > 0 && mmX > 0 && mmY > 0) {
        perMmX = header.DeviceWidth / mmX;
        perMmY = header.DeviceHeight / mmY;
    }
}

std::string EmfDescription(const std::uint8_t* data, std::size_t size) {
    std::uint32_t count = U32(data + 60), offset = U32(data + 64);
    if (count == 0 || offset < 88 || offset > size || count > (size - offset) / 2) return "";
    std::u32string text;
    for (std::uint32_t i = 0; i < count && i < 512; ++i) {
        char16_t c = U16(data + offset + 2 * std::size_t{i});
        // The writer's name and the picture's title are separated by a zero.
        if (c == 0) {
            if (!text.empty() && text.back() != U'/') text += U" / ";
            continue;
        }
        text += (c >= 0xD800 && c < 0xE000) || c < 0x20 ? char32_t{0xFFFD} : char32_t{c};
    }
    while (!text.empty() && (text.back() == U' ' || text.back() == U'/')) text.pop_back();
    return Utf8Of(text);
}

}  // namespace

bool IsMetafile(const std::uint8_t* data, std::size_t size) {
    if (size >= 22 && U32(data) == PlaceableKey) return true;
    return IsEmf(data, size) || IsWmfHeader(data, size);
}

TMetafileHeader ReadMetafileHeader(const std::uint8_t* data, std::size_t size) {
    TMetafileHeader header;
    if (size >= 22 && U32(data) == PlaceableKey) {
        if (!IsWmfHeader(data + 22, size - 22)) RaiseInvalidPicture(MetafileLabel);
        header.Kind = TMetafileKind::PlaceableWmf;
        int left = S16(data + 6), top = S16(data + 8), right = S16(data + 10), bottom = S16(data + 12);
        header.BoxLeft = std::min(left, right);
        header.BoxTop = std::min(top, bottom);
        header.BoxRight = std::max(left, right);
        header.BoxBottom = std::max(top, bottom);
        // Units per inch; a missing value is taken as twips, the usual one.
        header.UnitsPerInch = U16(data + 14) ? U16(data + 14) : 1440;
        header.ObjectCount = U16(data + 22 + 10);
        header.FirstRecord = 22 + 18;
        SetPictureSize(header, (header.BoxRight - header.BoxLeft) * 96.0 / header.UnitsPerInch,
                       (header.BoxBottom - header.BoxTop) * 96.0 / header.UnitsPerInch, size);
        return header;
    }
    if (IsEmf(data, size)) {
        header.Kind = TMetafileKind::Emf;
        std::uint32_t headerSize = U32(data + 4);
        if (headerSize < 88 || headerSize > size) RaiseInvalidPicture(MetafileLabel);
        header.FirstRecord = headerSize;
        header.Records = U32(data + 52);
        header.ObjectCount = U16(data + 56);
        header.DeviceWidth = S32(data + 72);
        header.DeviceHeight = S32(data + 76);
        header.DeviceWidthMm = S32(data + 80);
        header.DeviceHeightMm = S32(data + 84);
        header.BoxLeft = S32(data + 24);
        header.BoxTop = S32(data + 28);
        header.BoxRight = S32(data + 32);
        header.BoxBottom = S32(data + 36);
        header.Description = EmfDescription(data, size);
        double width = (double(header.BoxRight) - header.BoxLeft) * 96 / 2540;
        double height = (double(header.BoxBottom) - header.BoxTop) * 96 / 2540;
        if (!(width > 0 && height > 0)) {
            // No frame: the bounds, in reference device pixels, have to do.
            double perMmX, perMmY;
            EmfResolution(header, data, perMmX, perMmY);
            double boundsWidth = double(S32(data + 16)) - S32(data + 8);
            double boundsHeight = double(S32(data + 20)) - S32(data + 12);
            width = boundsWidth / perMmX / 25.4 * 96;
            height = boundsHeight / perMmY / 25.4 * 96;
            // The frame in 0.01 mm that the bounds stand for.
            auto frame = [](double v) { return static_cast<int>(std::lround(std::clamp(v, -2.0e9, 2.0e9))); };
            header.BoxLeft = frame(S32(data + 8) / perMmX * 100);
            header.BoxTop = frame(S32(data + 12) / perMmY * 100);
            header.BoxRight = frame(S32(data + 16) / perMmX * 100);
            header.BoxBottom = frame(S32(data + 20) / perMmY * 100);
        }
        SetPictureSize(header, width, height, size);
        return header;
    }
    if (IsWmfHeader(data, size)) {
        header.Kind = TMetafileKind::Wmf;
        header.ObjectCount = U16(data + 10);
        header.FirstRecord = 18;
        int box[4];
        if (!FindWindow(data, size, header.FirstRecord, box))
            throw EInvalidGraphic("Cannot load image. The Windows metafile states no picture size.");
        header.BoxLeft = box[0], header.BoxTop = box[1], header.BoxRight = box[2], header.BoxBottom = box[3];
        // Window units taken as pixels at 96 dots per inch.
        header.UnitsPerInch = 96;
        SetPictureSize(header, box[2] - box[0], box[3] - box[1], size);
        return header;
    }
    RaiseInvalidPicture(MetafileLabel);
}

TPlayStatistics PlayMetafile(const std::uint8_t* data, std::size_t size, int width, int height, TBitmap& target) {
    TMetafileHeader header = ReadMetafileHeader(data, size);
    if (width < 1 || height < 1 || width > MaxCanvasSide || height > MaxCanvasSide)
        throw EInvalidGraphic(FormatText("Cannot draw a Windows metafile at %d x %d pixels.", width, height));
    CheckPictureSize(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    TDeviceSpace space;
    double boxWidth = header.BoxRight - header.BoxLeft, boxHeight = header.BoxBottom - header.BoxTop;
    if (header.Kind == TMetafileKind::Emf) {
        // The frame, in reference device pixels, fills the canvas.
        double perMmX, perMmY;
        EmfResolution(header, data, perMmX, perMmY);
        double left = header.BoxLeft / 100.0 * perMmX, top = header.BoxTop / 100.0 * perMmY;
        double right = header.BoxRight / 100.0 * perMmX, bottom = header.BoxBottom / 100.0 * perMmY;
        if (!(right > left) || !(bottom > top) || !std::isfinite(right - left) || !std::isfinite(bottom - top))
            RaiseInvalidPicture(MetafileLabel);
        double sx = width / (right - left), sy = height / (bottom - top);
        space.DeviceToCanvas = TMatrix{sx, 0, 0, sy, -left * sx, -top * sy};
        space.UnitsPerMmX = perMmX;
        space.UnitsPerMmY = perMmY;
    } else {
        // Device units are the metafile's own; the box fills the canvas, and the window starts
        // on the box as a player of placeable metafiles sets it up.
        space.DeviceToCanvas = TMatrix{width / boxWidth, 0, 0, height / boxHeight, 0, 0};
        space.UnitsPerMmX = space.UnitsPerMmY = header.UnitsPerInch / 25.4;
    }
    target.SetPixelFormat(TPixelFormat::pf24bit);
    target.SetSize(width, height);
    // A large picture is drawn in bands of rows, each playing every record, so that the canvas
    // never needs more than BandBytes beside the picture itself.
    const int bandRows = static_cast<int>(std::max<std::int64_t>(1, BandBytes / (4 * std::int64_t{width})));
    TPlayStatistics statistics;
    for (int top = 0; top < height; top += bandRows) {
        TDeviceSpace band = space;
        band.DeviceToCanvas.F -= top;
        band.BandTop = top;
        TMetafileCanvas canvas(width, std::min(bandRows, height - top), band);
        statistics = TPlayStatistics();
        if (header.Kind == TMetafileKind::Emf) {
            PlayEmfRecords(data, size, header, canvas, statistics);
        } else {
            canvas.SetInitialWindow({double(header.BoxLeft), double(header.BoxTop)}, {boxWidth, boxHeight},
                                    {boxWidth, boxHeight});
            PlayWmfRecords(data, size, header, canvas, statistics);
        }
        canvas.CopyTo(target, top);
    }
    return statistics;
}

void TMetafile::LoadFromStream(TStream& stream) {
    ReleaseImage();
    std::int64_t remaining = stream.Remaining();
    if (remaining > MaxFileBytes) throw EInvalidGraphic("Cannot load image. The Windows metafile is larger than 1 GB.");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(remaining));
    stream.ReadBuffer(bytes.data(), bytes.size());
    header_ = ReadMetafileHeader(bytes.data(), bytes.size());
    statistics_ = PlayMetafile(bytes.data(), bytes.size(), header_.Width, header_.Height, *this);
    if (statistics_.Truncated)
        ShowWarning("The Windows metafile ends early or has a damaged record: the picture may be incomplete.");
}

std::vector<std::string> TMetafile::Details() const {
    std::vector<std::string> lines;
    const TMetafileHeader& h = header_;
    switch (h.Kind) {
        case TMetafileKind::PlaceableWmf:
            lines.push_back("metafile: placeable WMF");
            lines.push_back(FormatText("bounding box: %d,%d to %d,%d at %d units per inch", h.BoxLeft, h.BoxTop,
                                       h.BoxRight, h.BoxBottom, h.UnitsPerInch));
            break;
        case TMetafileKind::Wmf:
            lines.push_back("metafile: WMF");
            lines.push_back(
                FormatText("window: %d,%d to %d,%d (taken as pixels)", h.BoxLeft, h.BoxTop, h.BoxRight, h.BoxBottom));
            break;
        case TMetafileKind::Emf:
            lines.push_back("metafile: EMF");
            lines.push_back(FormatText("frame: %.2f x %.2f mm", (h.BoxRight - h.BoxLeft) / 100.0,
                                       (h.BoxBottom - h.BoxTop) / 100.0));
            lines.push_back(FormatText("reference device: %d x %d pixels, %d x %d mm", h.DeviceWidth, h.DeviceHeight,
                                       h.DeviceWidthMm, h.DeviceHeightMm));
            if (!h.Description.empty()) lines.push_back("description: " + h.Description);
            break;
    }
    std::string records = FormatText("records: %u played", statistics_.Records);
    if (statistics_.Unknown) records += FormatText(", %u of unknown kinds skipped", statistics_.Unknown);
    if (statistics_.Malformed) records += FormatText(", %u malformed skipped", statistics_.Malformed);
    if (statistics_.EmfPlus) records += FormatText(", %u EMF+ comments skipped", statistics_.EmfPlus);
    lines.push_back(records);
    if (statistics_.Truncated) lines.push_back("record stream: ends early or damaged");
    return lines;
}
