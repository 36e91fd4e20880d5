// WebP files: lossy (VP8) and lossless (VP8L) pictures, with or without alpha; of an animation the
// first frame is shown on its canvas. libwebp decodes straight into the bitmap's B, G, R rows.
#pragma once

#include "formats/LibraryDecoding.h"
#include "formats/ReaderGraphic.h"

class TWebPGraphic : public TReaderGraphic {
public:
    // More than 12 bytes left, starting with "RIFF", four size bytes and "WEBP"; the position is
    // restored.
    static bool CanLoadStream(TStream& stream);
    // Describes the file from its first chunks (the extended header, or the picture's own
    // header); no pixels are decoded.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    // Opaque pictures fill a 24-bit bitmap; pictures with alpha a 32-bit one, drawn onto white.
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    bool animated_ = false;
};
