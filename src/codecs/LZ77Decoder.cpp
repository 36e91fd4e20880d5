#include "codecs/LZ77Decoder.h"

namespace {
constexpr const char* LZ77Error = "LZ77 decompression error.";

uInt Count(std::int32_t size) { return size > 0 ? static_cast<uInt>(size) : 0; }
}

TLZ77Decoder::TLZ77Decoder(std::int32_t FlushMode, bool AutoReset)
    : FFlushMode(FlushMode), FAutoReset(AutoReset) {}

TLZ77Decoder::~TLZ77Decoder() {
    if (FInitialized) inflateEnd(&FStream);
}

void TLZ77Decoder::BeginDecoding() {
    if (FInitialized) {
        inflateEnd(&FStream);
        FInitialized = false;
    }
    FStream = z_stream{};
    FLastResult = inflateInit(&FStream);
    if (FLastResult < 0) throw ECompressionError(LZ77Error);
    FInitialized = true;
}

void TLZ77Decoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                          std::int32_t UnpackedSize) {
    FStream.next_in = const_cast<Bytef*>(Source);
    FStream.avail_in = Count(PackedSize);
    if (FAutoReset) FLastResult = inflateReset(&FStream);
    if (FLastResult != Z_OK) return;
    FStream.next_out = Dest;
    FStream.avail_out = Count(UnpackedSize);
    FLastResult = inflate(&FStream, FFlushMode);
    Source = FStream.next_in;
    Dest = FStream.next_out;
}

void TLZ77Decoder::FinishDecoding() {
    const int result = inflateEnd(&FStream);
    FInitialized = false;
    if (result < 0) throw ECompressionError(LZ77Error);
}
