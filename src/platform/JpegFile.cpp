// JPEG files through libjpeg. libjpeg reports fatal errors through error_exit, which must not
// return; it longjmps back into Guarded below, whose callers keep every object with a
// destructor outside the guarded lambdas, so the jump skips nothing but libjpeg's own frames.
#include "AtomicFile.h"
#include "ColorProfile.h"
#include "Dib.h"
#include "Exception.h"
#include "PictureFiles.h"
#include "Stream.h"
#include "Warnings.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
// after jpeglib.h, which it needs
#include <jerror.h>

namespace {

struct TJpegErrorManager {
    jpeg_error_mgr Public;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX] = {};
    char FirstWarning[JMSG_LENGTH_MAX] = {};
    bool Warned = false;
    // The entropy decoder ran into the end of the image (the EOI marker, or the one libjpeg puts
    // where the data stops) before the picture was complete: every later block decodes to zero.
    bool DataEnded = false;
};

// The fewest bits an 8 x 8 block of one component takes in a Huffman-coded JPEG file. libjpeg
// writes a one-colour picture at quality 1 in 2.0 bits per block with optimised tables (also
// progressive, which spends one bit on the first DC scan and one on its refinement), 4.7 to 6.3
// with the standard tables. One bit keeps a margin of two: every block has at least a DC code
// of one bit in its first scan.
constexpr std::uint64_t MinBitsPerBlock = 1;

extern "C" void JpegErrorExit(j_common_ptr info) {
    auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
    info->err->format_message(info, manager->Message);
    std::longjmp(manager->Jump, 1);
}

// Warnings (level -1) are kept and shown after decoding: nothing may throw inside libjpeg.
extern "C" void JpegEmitMessage(j_common_ptr info, int level) {
    auto* manager = reinterpret_cast<TJpegErrorManager*>(info->err);
    if (level < 0) {
        if (!manager->Warned) info->err->format_message(info, manager->FirstWarning);
        manager->Warned = true;
        info->err->num_warnings++;
        if (info->is_decompressor && info->err->msg_code == JWRN_HIT_MARKER &&
            reinterpret_cast<j_decompress_ptr>(info)->unread_marker == JPEG_EOI)
            manager->DataEnded = true;
    }
}

void InitErrorManager(TJpegErrorManager& manager) {
    jpeg_std_error(&manager.Public);
    manager.Public.error_exit = JpegErrorExit;
    manager.Public.emit_message = JpegEmitMessage;
}

// Runs step; a libjpeg error inside it ends up here and becomes false. step must hold only
// trivially destructible locals.
template <typename Step> bool Guarded(TJpegErrorManager& manager, Step&& step) {
    if (setjmp(manager.Jump)) return false;
    step();
    return true;
}

struct TDecompressor {
    jpeg_decompress_struct Info;
    TJpegErrorManager Errors;
    TDecompressor() {
        InitErrorManager(Errors);
        Info.err = &Errors.Public;
        jpeg_create_decompress(&Info);
    }
    ~TDecompressor() { jpeg_destroy_decompress(&Info); }
    TDecompressor(const TDecompressor&) = delete;
    TDecompressor& operator=(const TDecompressor&) = delete;
    [[noreturn]] void Fail() { throw EInvalidGraphic(Errors.Message); }
};

struct TCompressor {
    jpeg_compress_struct Info;
    TJpegErrorManager Errors;
    unsigned char* Output = nullptr;
    unsigned long OutputSize = 0;
    TCompressor() {
        InitErrorManager(Errors);
        Info.err = &Errors.Public;
        jpeg_create_compress(&Info);
    }
    ~TCompressor() {
        jpeg_destroy_compress(&Info);
        std::free(Output);
    }
    TCompressor(const TCompressor&) = delete;
    TCompressor& operator=(const TCompressor&) = delete;
    [[noreturn]] void Fail() { throw EInvalidGraphic(Errors.Message); }
};

const char* ColorSpaceText(J_COLOR_SPACE space) {
    switch (space) {
        case JCS_GRAYSCALE:
            return "grey";
        case JCS_YCbCr:
            return "YCbCr";
        case JCS_RGB:
            return "RGB";
        case JCS_CMYK:
            return "CMYK";
        case JCS_YCCK:
            return "YCCK";
        default:
            return "unknown";
    }
}

constexpr char ExifMarkerName[] = "Exif\0";  // "Exif" and two zero bytes
constexpr char XmpMarkerName[] = "http://ns.adobe.com/xap/1.0/";
constexpr char IccMarkerName[] = "ICC_PROFILE";

bool StartsWith(const jpeg_saved_marker_ptr marker, const char* name, std::size_t length) {
    return marker->data_length >= length && std::memcmp(marker->data, name, length) == 0;
}

// EXIF (APP1 "Exif"), XMP (APP1 with Adobe's namespace) and the ICC profile (APP2
// "ICC_PROFILE", numbered pieces) of the markers libjpeg kept; the first EXIF and XMP count.
void CollectMetadata(const jpeg_decompress_struct& info, TPictureMetadata& metadata, bool warn) {
    std::vector<TIccPiece> pieces;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        const std::uint8_t* data = m->data;
        if (m->marker == JPEG_APP0 + 1 && StartsWith(m, ExifMarkerName, 6)) {
            if (metadata.Exif.empty()) metadata.Exif.assign(data + 6, data + m->data_length);
        } else if (m->marker == JPEG_APP0 + 1 && StartsWith(m, XmpMarkerName, sizeof XmpMarkerName)) {
            if (metadata.Xmp.empty())
                metadata.Xmp.assign(reinterpret_cast<const char*>(data) + sizeof XmpMarkerName,
                                    m->data_length - sizeof XmpMarkerName);
        } else if (m->marker == JPEG_APP0 + 2 && StartsWith(m, IccMarkerName, sizeof IccMarkerName) &&
                   m->data_length >= sizeof IccMarkerName + 2) {
            const std::uint8_t* piece = data + sizeof IccMarkerName;
            pieces.push_back({piece[0], piece[1], {piece + 2, data + m->data_length}});
        }
    }
    try {
        metadata.Icc = JoinIccPieces(std::move(pieces));
    } catch (const EColorProfileError& error) {
        if (warn) ShowWarning(std::string(error.what()) + " The colours are shown as stored.");
    }
}

}  // namespace

void TJPEGImage::LoadFromStream(TStream& stream) {
    ReleaseImage();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(stream.Remaining()));
    stream.ReadBuffer(data.data(), data.size());

    TDecompressor d;
    jpeg_decompress_struct& info = d.Info;
    bool ok = Guarded(d.Errors, [&] {
        jpeg_mem_src(&info, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
        jpeg_read_header(&info, TRUE);
    });
    if (!ok) d.Fail();
    CollectMetadata(info, Metadata(), UseEmbeddedProfile());
    colorSpace_ = ColorSpaceText(info.jpeg_color_space);
    progressive_ = jpeg_has_multiple_scans(&info);
    const bool ink = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = ink ? JCS_CMYK : JCS_EXT_BGR;
    // Blocks of every component, each needing its few bits of the data after the header.
    std::uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; ++c)
        blocks += std::uint64_t(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
    CheckPictureSize(info.image_width, info.image_height, (blocks * MinBitsPerBlock + 7) / 8,
                     info.src->bytes_in_buffer);
    if (scaleHint_) {
        const int denominator = scaleHint_(static_cast<int>(info.image_width), static_cast<int>(info.image_height));
        if (denominator == 2 || denominator == 4 || denominator == 8) {
            info.scale_num = 1;
            info.scale_denom = static_cast<unsigned>(denominator);
        }
    }
    if (!Guarded(d.Errors, [&] { jpeg_start_decompress(&info); })) d.Fail();

    SetPixelFormat(TPixelFormat::pf24bit);
    SetSize(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
    std::vector<std::uint8_t> inkRow(ink ? 4 * static_cast<std::size_t>(info.output_width) : 0);
    // Adobe's encoders store CMYK inverted (0 = full ink) and say so with their APP14 marker.
    const bool inverted = info.saw_Adobe_marker;
    const std::unique_ptr<TColorTransform> inkTransform =
        ink && UseEmbeddedProfile() ? CreateInkTransform(Metadata(), inverted) : nullptr;
    Metadata().ProfileApplied = inkTransform != nullptr;
    const int width = Width();
    // Once a single scan's data has ended, every later block decodes to zero. The decoder runs up
    // to two block rows ahead of the output and upsampling looks one row of blocks further, so
    // from five block rows on every row is the same: one is decoded and copied to the rest, and
    // the time spent follows the data rather than the size the header claims.
    const unsigned blockRowHeight = static_cast<unsigned>(info.max_v_samp_factor) * DCTSIZE / info.scale_denom;
    const bool oneScan = !progressive_;
    unsigned uniformFrom = 0;
    while (info.output_scanline < info.output_height) {
        if (oneScan && d.Errors.DataEnded && uniformFrom == 0)
            uniformFrom = (info.output_scanline / blockRowHeight + 5) * blockRowHeight;
        if (uniformFrom != 0 && info.output_scanline >= uniformFrom) {
            const std::uint8_t* uniform = ScanLine(static_cast<int>(info.output_scanline) - 1);
            for (int y = static_cast<int>(info.output_scanline); y < Height(); ++y)
                std::memcpy(ScanLine(y), uniform, 3 * static_cast<std::size_t>(width));
            jpeg_abort_decompress(&info);
            ShowWarning(d.Errors.FirstWarning);
            return;
        }
        int y = static_cast<int>(info.output_scanline);
        std::uint8_t* row = ScanLine(y);
        JSAMPROW target = ink ? inkRow.data() : row;
        if (!Guarded(d.Errors, [&] { jpeg_read_scanlines(&info, &target, 1); })) d.Fail();
        if (!ink) continue;
        if (inkTransform) {
            inkTransform->Convert(inkRow.data(), row, static_cast<std::size_t>(width));
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &inkRow[4 * static_cast<std::size_t>(x)];
            unsigned c = p[0], m = p[1], yel = p[2], k = p[3];
            if (!inverted) {
                c = 255 - c;
                m = 255 - m;
                yel = 255 - yel;
                k = 255 - k;
            }
            // c, m, yel and k now give the share of light left by each ink.
            row[3 * x] = static_cast<std::uint8_t>((yel * k + 127) / 255);
            row[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
            row[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        }
    }
    if (!Guarded(d.Errors, [&] { jpeg_finish_decompress(&info); })) d.Fail();
    if (d.Errors.Warned) ShowWarning(d.Errors.FirstWarning);
}

void WriteJpegStream(const TBgrView& view, TStream& stream, int quality, bool progressive,
                     const TMetadataBlocks& metadata) {
    if (view.Width <= 0 || view.Height <= 0 || !view.Bits) throw EInvalidGraphic("Cannot save an empty picture.");
    // The APP1 segments, each a name and the data.
    std::vector<std::uint8_t> exif, xmp;
    if (!metadata.Exif.empty()) {
        static const std::uint8_t name[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (metadata.Exif.size() > MaxJpegSegmentData - sizeof name)
            throw EInvalidGraphic("The EXIF block is too large for a JPEG file.");
        exif.resize(sizeof name + metadata.Exif.size());
        std::memcpy(exif.data(), name, sizeof name);
        std::memcpy(exif.data() + sizeof name, metadata.Exif.data(), metadata.Exif.size());
    }
    if (!metadata.Xmp.empty()) {
        if (metadata.Xmp.size() > MaxJpegSegmentData - JpegXmpName.size())
            throw EInvalidGraphic("The XMP packet is too large for a JPEG file.");
        xmp.resize(JpegXmpName.size() + metadata.Xmp.size());
        std::memcpy(xmp.data(), JpegXmpName.data(), JpegXmpName.size());
        std::memcpy(xmp.data() + JpegXmpName.size(), metadata.Xmp.data(), metadata.Xmp.size());
    }
    TCompressor c;
    jpeg_compress_struct& info = c.Info;
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(view.Width));
    bool ok = Guarded(c.Errors, [&] {
        jpeg_mem_dest(&info, &c.Output, &c.OutputSize);
        info.image_width = static_cast<JDIMENSION>(view.Width);
        info.image_height = static_cast<JDIMENSION>(view.Height);
        info.input_components = 3;
        info.in_color_space = JCS_RGB;
        jpeg_set_defaults(&info);
        jpeg_set_quality(&info, quality, TRUE);
        if (progressive) jpeg_simple_progression(&info);
        jpeg_start_compress(&info, TRUE);
        for (const std::vector<std::uint8_t>* segment : {&exif, &xmp})
            if (!segment->empty())
                jpeg_write_marker(&info, JPEG_APP0 + 1, segment->data(), static_cast<unsigned>(segment->size()));
    });
    if (!ok) c.Fail();
    for (int y = 0; y < view.Height; ++y) {
        const std::uint8_t* bgr = view.Row(y);
        for (int x = 0; x < view.Width; ++x) {
            rgb[3 * x] = bgr[3 * x + 2];
            rgb[3 * x + 1] = bgr[3 * x + 1];
            rgb[3 * x + 2] = bgr[3 * x];
        }
        JSAMPROW row = rgb.data();
        if (!Guarded(c.Errors, [&] { jpeg_write_scanlines(&info, &row, 1); })) c.Fail();
    }
    if (!Guarded(c.Errors, [&] { jpeg_finish_compress(&info); })) c.Fail();
    stream.WriteBuffer(c.Output, c.OutputSize);
}

void SaveJpegFile(const TBgrView& view, const std::string& fileName, int quality, bool progressive) {
    // Compress first: a picture libjpeg refuses never touches the file.
    TMemoryStream encoded;
    WriteJpegStream(view, encoded, quality, progressive);
    WriteFileAtomically(
        fileName, [&encoded](TStream& stream) { stream.WriteBuffer(encoded.Data().data(), encoded.Data().size()); });
}
