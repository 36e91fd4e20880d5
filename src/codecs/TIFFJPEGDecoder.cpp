#include "codecs/TIFFJPEGDecoder.h"

#include "platform/Warnings.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

// libjpeg reports fatal errors through error_exit, which must not return and must not throw
// through the library's C frames: it jumps back to the Protected call that entered the library,
// and that call raises the exception.
struct TJPEGDecompressState {
    struct TErrorManager {
        jpeg_error_mgr Base;
        std::jmp_buf Jump;
        int Code;
    };

    jpeg_decompress_struct Info{};
    TErrorManager Error{};
    jpeg_source_mgr Source{};
    const std::uint8_t* Data = nullptr;  // the tables or the strip being decoded
    std::size_t Size = 0;
    bool Warned = false;
};

namespace {
constexpr JOCTET EndOfImage[2] = {0xFF, 0xD9};

TJPEGDecompressState& StateOf(j_decompress_ptr info) { return *static_cast<TJPEGDecompressState*>(info->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TJPEGDecompressState::TErrorManager*>(info->err);
    error->Code = error->Base.msg_code;
    std::longjmp(error->Jump, 1);
}

void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr info) {
    TJPEGDecompressState& state = StateOf(info);
    info->src->next_input_byte = state.Data;
    info->src->bytes_in_buffer = state.Size;
}

// The data ended before the library was done: say so once per strip and let an end-of-image
// marker finish the picture.
boolean FillInputBuffer(j_decompress_ptr info) {
    TJPEGDecompressState& state = StateOf(info);
    if (!state.Warned) {
        state.Warned = true;
        try {
            ShowWarning("JPEG decompression error. Unexpected end of input.");
        } catch (...) {
            // Nothing may leave through the library's frames.
        }
    }
    info->src->next_input_byte = EndOfImage;
    info->src->bytes_in_buffer = sizeof EndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    jpeg_source_mgr& source = *info->src;
    if (static_cast<unsigned long>(count) > source.bytes_in_buffer) {
        FillInputBuffer(info);
        return;
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// Runs library calls; a fatal library error lands here and leaves as EInvalidGraphic. Call must
// own nothing with a destructor: the jump skips its frame.
template <typename Call> void Protected(TJPEGDecompressState& state, Call call) {
    if (setjmp(state.Error.Jump) != 0) throw EInvalidGraphic(FormatText("JPEG error #%d", state.Error.Code));
    call();
}

std::uint32_t DivideRoundingUp(std::uint32_t value, std::uint32_t divisor) { return (value + divisor - 1) / divisor; }
}  // namespace

TTIFFJPEGDecoder::TTIFFJPEGDecoder(const TImageProperties& Properties)
    : properties_(Properties), tables_(Properties.JPEGTables) {
    if (Properties.YCbCrSubSampling.size() >= 2) {
        // A factor of 0 would divide by zero below; it can only mean 1.
        horizontalSampling_ = std::max<std::uint16_t>(Properties.YCbCrSubSampling[0], 1);
        verticalSampling_ = std::max<std::uint16_t>(Properties.YCbCrSubSampling[1], 1);
    }
}

TTIFFJPEGDecoder::~TTIFFJPEGDecoder() {
    if (state_) jpeg_destroy_decompress(&state_->Info);
}

void TTIFFJPEGDecoder::BeginDecoding() {
    FinishDecoding();
    auto state = std::make_unique<TJPEGDecompressState>();
    TJPEGDecompressState& s = *state;
    s.Info.err = jpeg_std_error(&s.Error.Base);
    s.Error.Base.error_exit = ErrorExit;
    s.Error.Base.emit_message = EmitMessage;
    s.Error.Base.output_message = OutputMessage;
    Protected(s, [&s] { jpeg_create_decompress(&s.Info); });
    state_ = std::move(state);
    s.Info.client_data = &s;
    s.Source.init_source = InitSource;
    s.Source.fill_input_buffer = FillInputBuffer;
    s.Source.skip_input_data = SkipInputData;
    s.Source.resync_to_restart = jpeg_resync_to_restart;
    s.Source.term_source = TermSource;
    s.Info.src = &s.Source;
    if (!tables_.empty()) {
        s.Data = tables_.data();
        s.Size = tables_.size();
        int result = 0;
        Protected(s, [&s, &result] { result = jpeg_read_header(&s.Info, FALSE); });
        if (result != JPEG_HEADER_TABLES_ONLY) throw ECompressionError("Bogus JPEG tables field.");
    }
    s.Data = nullptr;
    s.Size = 0;
}

void TTIFFJPEGDecoder::Decode(const std::uint8_t*& Source, std::uint8_t*& Dest, std::int32_t PackedSize,
                              std::int32_t UnpackedSize) {
    if (!state_) BeginDecoding();
    TJPEGDecompressState& s = *state_;
    jpeg_decompress_struct& info = s.Info;
    const TImageProperties& p = properties_;

    s.Data = Source;
    s.Size = PackedSize > 0 ? static_cast<std::size_t>(PackedSize) : 0;
    s.Warned = false;
    Protected(s, [&info] {
        jpeg_abort_decompress(&info);
        jpeg_read_header(&info, TRUE);
    });

    std::uint32_t width = p.Width;
    std::uint32_t height = p.Height > p.CurrentRow ? p.Height - p.CurrentRow : 0;
    height = std::min(height, p.RowsPerStrip.empty() ? p.Height : p.RowsPerStrip[0]);
    // Only 2 stores planes apart; 0 (no PlanarConfiguration tag) means TIFF's default, 1.
    const bool separatePlanes = p.PlanarConfig == 2;
    if (separatePlanes && p.CurrentStrip == p.StripCount) {
        width = DivideRoundingUp(width, horizontalSampling_);
        height = DivideRoundingUp(height, verticalSampling_);
    }
    if (info.image_width != width || info.image_height != height)
        throw ECompressionError("Improper JPEG strip/tile size.");
    if (info.num_components != (separatePlanes ? 1 : p.SamplesPerPixel))
        throw ECompressionError("Improper JPEG component count.");
    if (info.data_precision != p.BitsPerSample) throw ECompressionError("Improper JPEG data precision.");
    for (int i = 0; i < info.num_components; ++i) {
        const jpeg_component_info& component = info.comp_info[i];
        const bool first = i == 0 && !separatePlanes;
        const int h = first ? horizontalSampling_ : 1, v = first ? verticalSampling_ : 1;
        if (component.h_samp_factor != h || component.v_samp_factor != v)
            throw ECompressionError("Improper JPEG sampling factors.");
    }

    // RGB data is taken as RGB too, where an unknown colour space would make libjpeg refuse it.
    info.jpeg_color_space = p.ColorScheme == ColorScheme::YCbCr ? JCS_YCbCr
                            : p.ColorScheme == ColorScheme::RGB ? JCS_RGB
                                                                : JCS_UNKNOWN;
    info.out_color_space = JCS_EXT_BGR;
    Protected(s, [&info] { jpeg_start_decompress(&info); });

    const std::size_t bytesPerLine = p.BytesPerLine;
    const std::size_t unpacked = UnpackedSize > 0 ? static_cast<std::size_t>(UnpackedSize) : 0;
    if (bytesPerLine == 0 || unpacked % bytesPerLine != 0) {
        Protected(s, [&info] { jpeg_abort_decompress(&info); });
        throw ECompressionError("Fractional JPEG scanline unsupported.");
    }
    // Lines go through a buffer of the library's line size, so that a line longer than
    // BytesPerLine cannot overrun the destination.
    std::vector<JSAMPLE> line(static_cast<std::size_t>(info.output_width) *
                              static_cast<std::size_t>(info.output_components));
    const std::size_t copied = std::min(bytesPerLine, line.size());
    const std::size_t rows = unpacked / bytesPerLine;
    for (std::size_t row = 0; row < rows; ++row) {
        JDIMENSION read = 0;
        JSAMPROW lines[1] = {line.data()};
        Protected(s, [&info, &read, &lines] {
            read = info.output_scanline < info.output_height ? jpeg_read_scanlines(&info, lines, 1) : 0;
        });
        if (read == 0) break;
        std::memcpy(Dest + row * bytesPerLine, line.data(), copied);
    }
    // Finishing reads on to the end of the strip; with lines left over only an abort is possible.
    Protected(s, [&info] {
        if (info.output_scanline >= info.output_height)
            jpeg_finish_decompress(&info);
        else
            jpeg_abort_decompress(&info);
    });
}

void TTIFFJPEGDecoder::FinishDecoding() {
    if (!state_) return;
    jpeg_destroy_decompress(&state_->Info);
    state_.reset();
}
