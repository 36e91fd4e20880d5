// Deflate data (zlib streams) through zlib's inflate: PNG image data and deflate TIFF strips.
#pragma once

#include "codecs/Decoder.h"

#include <zlib.h>

class TLZ77Decoder : public TDecoder {
public:
    // FlushMode goes to every inflate call; with AutoReset every Decode starts a new stream
    // (TIFF strips), without it one stream continues across calls (PNG image data chunks).
    TLZ77Decoder(std::int32_t FlushMode, bool AutoReset);
    ~TLZ77Decoder() override;

    // Raises "LZ77 decompression error." when zlib cannot set up the stream.
    void BeginDecoding() override;
    // Inflates PackedSize bytes into at most UnpackedSize bytes and advances Source and Dest by
    // what was consumed and produced. Raises nothing: LastResult tells how it went. Once a call
    // has left a result other than Z_OK, later calls without AutoReset decode nothing.
    void Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                std::int32_t UnpackedSize) override;
    // Raises "LZ77 decompression error." when zlib cannot release the stream.
    void FinishDecoding() override;

    std::uint32_t AvailableInput() const { return stream_.avail_in; }
    std::uint32_t AvailableOutput() const { return stream_.avail_out; }
    // zlib's result of the last reset or inflate: Z_OK, Z_STREAM_END or a negative error.
    int LastResult() const { return lastResult_; }

private:
    z_stream stream_{};
    std::int32_t flushMode_;
    bool autoReset_;
    bool initialized_ = false;
    int lastResult_ = Z_OK;
};
