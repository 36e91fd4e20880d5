#include "codecs/LZ77Decoder.h"

namespace {
constexpr const char* LZ77Error = "LZ77 decompression error.";

uInt Count(std::int32_t size) { return size > 0 ? static_cast<uInt>(size) : 0; }
}  // namespace

TLZ77Decoder::TLZ77Decoder(std::int32_t FlushMode, bool AutoReset) : flushMode_(FlushMode), autoReset_(AutoReset) {}

TLZ77Decoder::~TLZ77Decoder() {
    if (initialized_) inflateEnd(&stream_);
}

void TLZ77Decoder::BeginDecoding() {
    if (initialized_) {
        inflateEnd(&stream_);
        initialized_ = false;
    }
    stream_ = z_stream{};
    lastResult_ = inflateInit(&stream_);
    if (lastResult_ < 0) throw ECompressionError(LZ77Error);
    initialized_ = true;
}

void TLZ77Decoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                          std::int32_t UnpackedSize) {
    stream_.next_in = const_cast<Bytef*>(Source);
    stream_.avail_in = Count(PackedSize);
    if (autoReset_) lastResult_ = inflateReset(&stream_);
    if (lastResult_ != Z_OK) return;
    stream_.next_out = Dest;
    stream_.avail_out = Count(UnpackedSize);
    lastResult_ = inflate(&stream_, flushMode_);
    Source = stream_.next_in;
    Dest = stream_.next_out;
}

void TLZ77Decoder::FinishDecoding() {
    const int result = inflateEnd(&stream_);
    initialized_ = false;
    if (result < 0) throw ECompressionError(LZ77Error);
}
