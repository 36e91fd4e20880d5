// AVIF files: AV1 pictures in an ISO base media container, still or the first frame of a
// sequence, 8 to 12 bits, with or without alpha. libavif (with dav1d) decodes them and converts
// to B, G, R straight into the bitmap; the container's clean aperture, rotation (irot) and mirror
// (imir) are applied here, since libavif only reports them.
#pragma once

#include "formats/LibraryDecoding.h"
#include "formats/ReaderGraphic.h"

#include <memory>
#include <string>

class TAvifSource;

class TAVIFGraphic : public TReaderGraphic {
public:
    TAVIFGraphic();
    ~TAVIFGraphic() override;

    // An 'ftyp' box naming the brand avif or avis (major or compatible) with a major brand that is
    // not one of HEVC's; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Parses the container (no AV1 data is decoded). Width and height are those of the picture
    // as shown: after the clean aperture and a rotation by 90 or 270 degrees.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    // Opaque pictures fill a 24-bit bitmap, pictures with alpha a 32-bit one drawn onto white.
    // 10- and 12-bit samples are rounded to 8 bits by libavif.
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    // The parsed file, from ReadProperties to the load that follows it.
    std::unique_ptr<TAvifSource> source_;
    // What libavif said when it refused the file.
    std::string libraryError_;
};
