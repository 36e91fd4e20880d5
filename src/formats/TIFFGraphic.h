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
    bool BigEndianFile() const;
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
    void SetupColorManager();
    void SetupPalette();
    bool CompressionSupported() const;
    std::unique_ptr<TDecoder> CreateDecoder() const;
    void DecodeStrips(TDecoder* decoder);
    // One line of subsampled YCbCr data units into subsampleV_ rows of Y, Cb, Cr per pixel.
    void ExpandSubsampled(const std::uint8_t* units, std::uint8_t* rows) const;
    void UndoPredictor(std::uint8_t* row, std::uint32_t samplesPerPixel) const;
    void ConvertRow(const std::uint8_t* row, std::size_t size, std::uint32_t y);

    TStream* stream_ = nullptr;
    std::int64_t streamSize_ = 0;
    std::vector<TTIFFEntry> entries_;  // the current directory, sorted by tag
    std::vector<std::uint16_t> colorMap_;
    TFloatArray yCbCrCoefficients_;
    std::uint32_t yCbCrPositioning_ = 1;
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
