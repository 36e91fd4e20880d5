// HEIF files (HEIC from phones and cameras): HEVC pictures, whole or in tiles, in an ISO base media
// container, 8 to 12 bits, with or without alpha. libheif decodes them and applies the
// container's clean aperture, rotation (irot) and mirror (imir); the samples then go into the
// bitmap as B, G, R, alpha drawn onto white.
#pragma once

#include "formats/LibraryDecoding.h"
#include "formats/ReaderGraphic.h"

#include <memory>
#include <string>

class THeifSource;

class THEIFGraphic : public TReaderGraphic {
public:
    THEIFGraphic();
    ~THEIFGraphic() override;

    // An 'ftyp' box naming one of the brands heic, heix, hevc, heim, heis, mif1 or msf1 (major or
    // compatible); the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Reads the container's boxes and describes the primary picture as shown (after libheif's
    // transformations); no picture data is decoded.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    // Fills a 24-bit bitmap; 10- and 12-bit samples are rounded to 8 bits.
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    // The opened file, from ReadProperties to the load that follows it.
    std::unique_ptr<THeifSource> source_;
    // What libheif said when it refused the file.
    std::string libraryError_;
};
