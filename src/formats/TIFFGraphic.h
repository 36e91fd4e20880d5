// Tagged image file format reader: strips in both byte orders, the fax variants, interleaved
// and separate planes. The EPS reader derives from it to load an EPS file's TIFF preview.
#pragma once

#include "formats/ReaderGraphic.h"
#include "platform/ColorProfile.h"

#include <cstdint>
#include <memory>
#include <vector>

class TDecoder;

// One 12-byte directory entry, tag, type and count already in native order; the value field
// keeps the file's bytes.
struct TTIFFEntry {
    std::uint16_t Tag = 0;
    std::uint16_t FieldType = 0;
    std::uint32_t Count = 0;
    std::uint8_t Value[4] = {0, 0, 0, 0};
};

using TFloatArray = std::vector<float>;

class TTIFFGraphic : public TReaderGraphic {
public:
    static bool CanLoadStream(TStream& stream);

    // Describes the image file directory with that index in the chain (0 = the first).
    bool ReadProperties(TStream& stream, unsigned imageIndex) override;
    const char* FormatLabel() const override;
    // Always decodes the first directory; a tiled image leaves the picture empty.
    void LoadFromStream(TStream& stream) override;

private:
    struct TStripWalk;

    bool BigEndianFile() const;
    // The 8-byte file header: byte order, version 42 and the first directory's offset.
    bool ReadFileHeader(TStream& stream);
    // Walks the directory chain to the directory with that index; false when the chain ends or
    // loops before it.
    bool FindDirectory(TStream& stream, unsigned imageIndex, std::uint32_t& offset) const;
    // The properties from the directory's fields; false without width or height.
    bool DescribeDirectory();
    // ColorScheme (and the YCbCr fields) from the PhotometricInterpretation value.
    void DescribeColors(std::uint32_t photometric);
    std::uint16_t Get16(const std::uint8_t* p) const;
    std::uint32_t Get32(const std::uint8_t* p) const;
    // Reads and sorts the directory at the given offset; false when it does not lie in the file.
    bool ReadDirectory(TStream& stream, std::uint32_t offset);
    const TTIFFEntry* FindTag(std::uint16_t tag) const;
    // The bytes of an entry's values: the value field itself or the block it points to;
    // empty when the type is unknown or the block leaves the file.
    std::vector<std::uint8_t> EntryData(const TTIFFEntry& entry) const;
    std::uint32_t GetInteger(std::uint16_t tag, std::uint32_t defaultValue) const;
    float GetFloat(std::uint16_t tag, float defaultValue) const;
    std::vector<std::uint32_t> GetIntegers(std::uint16_t tag) const;
    std::vector<std::uint8_t> GetBytes(std::uint16_t tag) const;
    TFloatArray GetFloats(std::uint16_t tag) const;

    // Orientation, ICC profile and XMP packet of the directory, and the transform of a CMYK
    // profile that the rows will go through.
    void CollectMetadata();
    // The colour manager, the row layout and the pixel format; refuses sample layouts that no
    // converter or decoder takes.
    void SetupColorManager();
    // Planes, decoded row sizes and YCbCr data units.
    void SetupRowLayout(ColorScheme source, bool jpeg);
    void SetupPalette();
    bool CompressionSupported() const;
    std::unique_ptr<TDecoder> CreateDecoder() const;
    // Every strip in turn: read (and decoded), then converted row by row, or kept for
    // interleaving when the planes are separate.
    void DecodeStrips(TDecoder* decoder);
    // The strip's data, decoded when there is a decoder, into walk.Strip (unpacked bytes).
    void ReadStrip(TStripWalk& walk, TDecoder* decoder, std::uint32_t index, std::size_t unpacked);
    // Subsampled YCbCr rows: each line of data units expanded, then converted.
    void ExpandStrip(TStripWalk& walk, std::uint32_t firstRow, std::uint32_t rows);
    // Rows of one strip converted, or copied into their plane.
    void StoreStripRows(TStripWalk& walk, std::uint32_t plane, std::uint32_t firstRow, std::uint32_t rows);
    // Separate planes into interleaved rows, converted.
    void InterleavePlanes(const std::vector<std::uint8_t>& planeData);
    // One line of subsampled YCbCr data units into subsampleV_ rows of Y, Cb, Cr per pixel.
    void ExpandSubsampled(const std::uint8_t* units, std::uint8_t* rows) const;
    void UndoPredictor(std::uint8_t* row, std::uint32_t samplesPerPixel) const;
    void ConvertRow(const std::uint8_t* row, std::size_t size, std::uint32_t y);

    TStream* stream_ = nullptr;
    std::int64_t streamSize_ = 0;
    std::vector<TTIFFEntry> entries_;  // the current directory, sorted by tag
    std::vector<std::uint16_t> colorMap_;
    TFloatArray yCbCrCoefficients_;
    // Layout of the decoded rows as this reader lays them out.
    std::uint32_t planes_ = 1;
    std::size_t lineBytes_ = 0;
    std::size_t chunkyBytes_ = 0;
    bool subsampled_ = false;
    std::uint32_t subsampleH_ = 1;
    std::uint32_t subsampleV_ = 1;
    std::unique_ptr<TColorTransform> inkTransform_;
    std::vector<std::uint8_t> inkRow_;
};

extern const TGraphicClass TTIFFGraphicClass;
