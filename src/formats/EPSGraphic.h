// Encapsulated PostScript files with a TIFF preview: the preview is loaded by the TIFF reader,
// every TIFF offset taken from the preview's start. The PostScript code itself is not drawn.
#pragma once

#include "formats/TIFFGraphic.h"

class TEPSGraphic : public TTIFFGraphic {
public:
    static bool CanLoadStream(TStream& stream);
    // The TIFF description of the preview; the EPS header is read at BasePosition.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    const char* FormatLabel() const override;
    void LoadFromStream(TStream& stream) override;

protected:
    // Faults of the preview are reported as the TIFF reader reports them; only a wrong EPS
    // header names the EPS format.
    const char* ErrorLabel() const override;
};

extern const TGraphicClass TEPSGraphicClass;
