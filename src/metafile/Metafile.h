// Windows metafiles as pictures: placeable and plain WMF and EMF files, played onto a white
// 24-bit bitmap of the picture's size at 96 dots per inch.
#pragma once

#include "platform/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream;

enum class TMetafileKind { PlaceableWmf, Wmf, Emf };

struct TMetafileHeader {
    TMetafileKind Kind = TMetafileKind::Wmf;
    // The picture at 96 dots per inch.
    int Width = 0, Height = 0;
    // Placeable WMF: the bounding box in metafile units; plain WMF: the window; EMF: the frame
    // in 0.01 mm.
    int BoxLeft = 0, BoxTop = 0, BoxRight = 0, BoxBottom = 0;
    int UnitsPerInch = 0;       // placeable WMF
    int ObjectCount = 0;        // size of the object table the file asks for
    std::uint32_t Records = 0;  // EMF: as the header states
    // EMF: the reference device in pixels and millimetres, and the description text.
    int DeviceWidth = 0, DeviceHeight = 0, DeviceWidthMm = 0, DeviceHeightMm = 0;
    std::string Description;
    std::size_t FirstRecord = 0;  // offset of the first record after the header
};

// What playing a file met, beyond what it drew.
struct TPlayStatistics {
    std::uint32_t Records = 0;    // played, the end record included
    std::uint32_t Unknown = 0;    // of kinds the player skips
    std::uint32_t Malformed = 0;  // skipped because their sizes did not fit what they hold
    std::uint32_t EmfPlus = 0;    // EMF+ comments skipped
    bool Truncated = false;       // the records ended early or one's size left the file
};

// True when the bytes begin like a placeable WMF, a plain WMF or an EMF.
bool IsMetafile(const std::uint8_t* data, std::size_t size);
// Raises EInvalidGraphic for a header that is not a metafile's, or whose picture size is
// empty, above the 2^28-pixel bound or wider or higher than 32767 pixels.
TMetafileHeader ReadMetafileHeader(const std::uint8_t* data, std::size_t size);
// Plays the records onto a white width × height picture (any size within the bounds above),
// stretching the picture to it. A truncated or damaged record stream keeps what was drawn.
TPlayStatistics PlayMetafile(const std::uint8_t* data, std::size_t size, int width, int height, TBitmap& target);

// The graphic class of wmf and emf files: the metafile played at its own size. A record stream
// that ends early shows a warning.
class TMetafile : public TBitmap {
public:
    void LoadFromStream(TStream& stream) override;
    const TMetafileHeader& Header() const { return header_; }
    const TPlayStatistics& Statistics() const { return statistics_; }
    // "name: value" lines describing the file.
    std::vector<std::string> Details() const;

private:
    TMetafileHeader header_;
    TPlayStatistics statistics_;
};
