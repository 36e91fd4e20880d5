// JPEG-compressed TIFF strips through libjpeg, with the consistency checks TIFF requires.
#pragma once

#include "codecs/Decoder.h"
#include "formats/ImageProperties.h"

#include <memory>

struct TJPEGDecompressState;

class TTIFFJPEGDecoder : public TDecoder {
public:
    // Properties is the TIFF reader's record; it is read at every Decode (rows, strip number)
    // and must outlive the decoder. The JPEGTables and YCbCrSubSampling fields are captured here.
    explicit TTIFFJPEGDecoder(const TImageProperties& Properties);
    ~TTIFFJPEGDecoder() override;

    // Creates the decompressor and loads the JPEG tables; raises "Bogus JPEG tables field."
    // when the tables are not a tables-only stream.
    void BeginDecoding() override;
    // Decodes one strip into UnpackedSize / BytesPerLine rows of BytesPerLine bytes, pixels in
    // B, G, R order. Raises ECompressionError with the TIFF checks' messages, EInvalidGraphic
    // "JPEG error #%d" for the library's fatal errors; a strip that ends early only warns.
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
    void FinishDecoding() override;

private:
    const TImageProperties& properties_;
    TByteArray tables_;
    std::uint16_t horizontalSampling_ = 1;
    std::uint16_t verticalSampling_ = 1;
    std::unique_ptr<TJPEGDecompressState> state_;
};
