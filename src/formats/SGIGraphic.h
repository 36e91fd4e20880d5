// SGI image files: grey, RGB or RGB with alpha, one or two bytes per sample, verbatim or run-length
// encoded per channel row. Rows are stored bottom-up.
#pragma once

#include "formats/ReaderGraphic.h"

class TSGIGraphic : public TReaderGraphic {
public:
    // More than 512 bytes left, magic 474, 1 or 2 bytes per sample and dimension 1 to 3; the
    // position is restored.
    static bool CanLoadStream(TStream& stream);
    // False unless the magic is 474; the index is ignored.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;
};
