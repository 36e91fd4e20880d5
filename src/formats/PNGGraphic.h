// Portable Network Graphics: signature, chunks with CRC checks, deflate image data, the five row
// filters, Adam7 interlace, every colour type and depth converted through the colour manager.
#pragma once

#include "formats/ReaderGraphic.h"

#include <cstdint>
#include <memory>
#include <vector>

class TLZ77Decoder;

class TPNGGraphic : public TReaderGraphic {
public:
    TPNGGraphic();
    ~TPNGGraphic() override;

    // More than 8 bytes left and the 8-byte PNG signature; the position is restored.
    static bool CanLoadStream(TStream& stream);
    // Describes the file from its IHDR chunk and the first gAMA chunk before IEND.
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    void LoadFromStream(TStream& stream) override;
    const char* FormatLabel() const override;

private:
    struct TChunkHeader {
        std::uint32_t Length = 0;
        std::uint32_t Type = 0;  // the four letters big-endian, case bits cleared
        bool Critical = false;
    };
    struct THeader {
        std::uint32_t Width = 0, Height = 0;
        std::uint8_t BitDepth = 0, ColorType = 0, Compression = 0, Filter = 0, Interlace = 0;
    };

    void ReadChunkHeader();
    // Reads the chunk's data into the raw buffer and checks its CRC.
    void ReadChunkData();
    void SkipChunk();
    THeader HeaderFromChunk() const;

    // Reads a metadata chunk into Metadata(); false when the current chunk is none.
    bool ReadMetadataChunk();
    // Gamma correction is left to an embedded profile that will be applied.
    void DropGammaForProfile();
    void ConfigureColorManager();
    void ApplyTransparency();
    void ApplyBackground();
    void DecodeImage();
    // Reads count inflated bytes, feeding further IDAT chunks; stops short when the image data ends.
    void ReadImageData(std::uint8_t* target, std::size_t count);
    void ReadRow(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& previous, std::size_t length);

    std::unique_ptr<TLZ77Decoder> decoder_;
    TChunkHeader chunk_;
    std::uint32_t crc_ = 0;
    std::vector<std::uint8_t> raw_;
    const std::uint8_t* input_ = nullptr;  // next compressed byte of the current IDAT data
    std::size_t inputLeft_ = 0;
    THeader header_;
    unsigned bytesPerPixel_ = 1;  // bytes per complete pixel for the filters
    unsigned channels_ = 1;
    bool configured_ = false;
    bool imageDecoded_ = false;
    TPalette palette_;
    bool hasPalette_ = false;
    bool hasTransparentColor_ = false;
    TColor transparentColor_ = 0;
    TColor backgroundColor_ = 0;
};
