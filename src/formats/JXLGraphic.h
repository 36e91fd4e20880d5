// JPEG XL files: the bare codestream or the ISO base media container, lossy or lossless, any bit
// depth, with or without alpha; of an animation the first frame is shown. libjxl decodes them,
// applies the codestream's orientation and hands over rows that go straight into the bitmap as
// B, G, R, alpha drawn onto white.
#pragma once

#include "formats/LibraryDecoding.h"
#include "formats/ReaderGraphic.h"

class TJXLGraphic : public TReaderGraphic {
public:
    // More than 2 bytes left starting with the codestream's FF 0A, or more than 12 starting with
    // the container's signature box ("JXL "); the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reads as far as the basic header (size, depth, channels, orientation); no pixels are
    // decoded. Width and height are those of the picture as shown.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    // Fills a 24-bit bitmap; deeper samples are rounded to 8 bits by libjxl.
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;
};
