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

    // The colour types of the IHDR chunk; any other value is refused.
    enum class TColorType : std::uint8_t { Gray = 0, RGB = 2, Indexed = 3, GrayAlpha = 4, RGBA = 6 };

private:
    struct TChunkHeader {
        std::uint32_t Length = 0;
        std::uint32_t Type = 0;  // the four letters big-endian, case bits cleared
        bool Critical = false;
    };
    struct THeader {
        std::uint32_t Width = 0, Height = 0;
        std::uint8_t BitDepth = 0;
        TColorType ColorType = TColorType::Gray;
        std::uint8_t Compression = 0, Filter = 0, Interlace = 0;
    };
    // What one load gathers from the chunks before and while the image data is decoded.
    struct TLoadState {
        THeader Header;
        unsigned BytesPerPixel = 1;  // bytes per complete pixel for the filters
        unsigned Channels = 1;       // samples stored per pixel
        bool Configured = false;     // the colour manager is set up for the header
        bool ImageDecoded = false;
        TPalette Palette;
        bool HasPalette = false;
        bool HasTransparentColor = false;
        TColor TransparentColor = 0;
        TColor BackgroundColor = 0;
        const std::uint8_t* Input = nullptr;  // next compressed byte of the current IDAT data
        std::size_t InputLeft = 0;
    };

    void ReadChunkHeader();
    // Reads the chunk's data into the raw buffer and checks its CRC.
    void ReadChunkData();
    void SkipChunk();
    THeader HeaderFromChunk() const;
    // Reads chunk headers up to gAMA (FileGamma) or IEND.
    void ReadFileGamma();

    // The chunks after IHDR up to IEND, each by its type.
    void ReadChunks();
    void ReadPalette();       // PLTE
    void ReadGamma();         // gAMA
    void ReadBackground();    // bKGD
    void ReadTransparency();  // tRNS
    void DecodeImage();       // IDAT and the IDAT chunks after it

    // Reads a metadata chunk into Metadata(); false when the current chunk is none.
    bool ReadMetadataChunk();
    // Gamma correction is left to an embedded profile that will be applied.
    void DropGammaForProfile();
    void ConfigureColorManager();
    // Sets palette, size, background and transparent colour of the bitmap for the image data.
    void PrepareBitmap();
    void DecodeRows(std::size_t length);
    void DecodePasses(std::size_t length);
    // Reads count inflated bytes, feeding further IDAT chunks; stops short when the image data ends.
    void ReadImageData(std::uint8_t* target, std::size_t count);
    void ReadRow(std::vector<std::uint8_t>& row, const std::vector<std::uint8_t>& previous, std::size_t length);

    std::unique_ptr<TLZ77Decoder> decoder_;
    TChunkHeader chunk_;
    std::uint32_t crc_ = 0;
    std::vector<std::uint8_t> raw_;  // the data of the last chunk read
    TLoadState load_;
};
