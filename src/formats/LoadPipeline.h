// Loading a picture file the way the editor opens one: the first reader whose content test
// claims the file decodes it; without one, the platform loads it by its extension. The caller
// turns the bitmap into a pixel buffer (TPixelBuffer::CreateFromBitmap).
#pragma once

#include "formats/ImageProperties.h"
#include "platform/Bitmap.h"
#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"
#include "platform/PictureMetadata.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TPixelBuffer;
class TStream;

struct TLoadedPicture {
    std::unique_ptr<TBitmap> Bitmap;
    // The reader class that decoded the file; null when the platform loaded it by extension.
    const TGraphicClass* Class = nullptr;
    // The reader's description of the file; empty when the platform loaded it.
    std::optional<TImageProperties> Properties;
    // EXIF, XMP and ICC profile of the file and what was done with them.
    TPictureMetadata Metadata;
};

// What loading does beyond decoding.
struct TLoadOptions {
    // Turn the picture upright by its EXIF (or TIFF, or XMP) orientation.
    bool AutoOrient = true;
    // Convert a picture with an ICC profile to sRGB.
    bool ColorManagement = true;
    // A file that goes to the platform's JPEG loader is decoded at the reduced size this asks
    // for (TJPEGImage::SetScaleDenominatorHint); none, the default, decodes the full size.
    TJPEGImage::TScaleDenominatorHint JpegScale = nullptr;
};

// Raises the reader's, the decoders', the colour manager's, the stream's or the platform's
// exception when the file cannot be read or decoded; a reader that gives an empty picture
// raises its invalid-format message. With colour management, a picture with a
// usable ICC profile comes out in sRGB (a profile that cannot be used is reported through
// ShowWarning and the colours stay as stored). The orientation the file states is found and
// noted in Metadata, not yet applied: TakeUprightBuffer does that.
TLoadedPicture LoadPictureFile(const std::string& fileName, const TLoadOptions& options = {});
// The same for bytes in a stream (from its position); without a reader claiming them, the class
// registered for the extension (without the dot) loads them.
TLoadedPicture LoadPictureStream(TStream& stream, const std::string& extension, const TLoadOptions& options = {});

// A loaded picture as the 24-bit buffer every operation works on, turned upright by the
// orientation in its metadata when the options ask for it (metadata.OrientationApplied tells).
// The bitmap is handed over and left empty.
std::unique_ptr<TPixelBuffer> TakeUprightBuffer(TBitmap& bitmap, TPictureMetadata& metadata,
                                                const TLoadOptions& options = {});

// The properties record as "Name: value" lines for a textual report.
std::vector<std::string> DescribeProperties(const TImageProperties& properties);
// The names of a colour scheme and a compression kind.
const char* ColorSchemeName(ColorScheme scheme);
const char* CompressionName(CompressionKind kind);
