// The codec libraries of AVIF, HEIF and JPEG XL, opened when a file of theirs is first read.
// Linked into the program, they (with the AV1 and HEVC coders they bring, and libhwy's timer
// calibration at load time) cost every run about 10 ms before it read a byte; libwebp is small
// and stays linked. Each table holds the functions a reader calls, under their own names.
#pragma once

#include <avif/avif.h>
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

// clang-format off (it reflows these lists differently on every run)
#define PIXAMO_AVIF_FUNCTIONS(F)           \
    F(avifDecoderCreate)                   \
    F(avifDecoderDestroy)                  \
    F(avifDecoderSetIO)                    \
    F(avifDecoderParse)                    \
    F(avifDecoderNextImage)                \
    F(avifResultToString)                  \
    F(avifCropRectConvertCleanApertureBox) \
    F(avifRGBImageSetDefaults)             \
    F(avifImageYUVToRGB)

#define PIXAMO_HEIF_FUNCTIONS(F)                        \
    F(heif_init)                                        \
    F(heif_context_alloc)                               \
    F(heif_context_free)                                \
    F(heif_context_read_from_reader)                    \
    F(heif_context_get_primary_image_handle)            \
    F(heif_context_set_maximum_image_size_limit)        \
    F(heif_image_handle_release)                        \
    F(heif_image_handle_get_width)                      \
    F(heif_image_handle_get_height)                     \
    F(heif_image_handle_has_alpha_channel)              \
    F(heif_image_handle_is_premultiplied_alpha)         \
    F(heif_image_handle_get_luma_bits_per_pixel)        \
    F(heif_image_handle_get_ispe_width)                 \
    F(heif_image_handle_get_ispe_height)                \
    F(heif_image_handle_get_color_profile_type)         \
    F(heif_image_handle_get_raw_color_profile_size)     \
    F(heif_image_handle_get_raw_color_profile)          \
    F(heif_image_handle_get_list_of_metadata_block_IDs) \
    F(heif_image_handle_get_metadata_size)              \
    F(heif_image_handle_get_metadata)                   \
    F(heif_decoding_options_alloc)                      \
    F(heif_decoding_options_free)                       \
    F(heif_decode_image)                                \
    F(heif_image_release)                               \
    F(heif_image_get_plane_readonly)                    \
    F(heif_image_get_width)                             \
    F(heif_image_get_height)                            \
    F(heif_image_get_bits_per_pixel_range)

#define PIXAMO_JXL_FUNCTIONS(F)        \
    F(JxlDecoderCreate)                \
    F(JxlDecoderDestroy)               \
    F(JxlDecoderSubscribeEvents)       \
    F(JxlDecoderSetInput)              \
    F(JxlDecoderCloseInput)            \
    F(JxlDecoderReleaseInput)          \
    F(JxlDecoderProcessInput)          \
    F(JxlDecoderGetBasicInfo)          \
    F(JxlDecoderSetParallelRunner)     \
    F(JxlDecoderSetUnpremultiplyAlpha) \
    F(JxlDecoderSetDecompressBoxes)    \
    F(JxlDecoderGetICCProfileSize)     \
    F(JxlDecoderGetColorAsICCProfile)  \
    F(JxlDecoderGetBoxType)            \
    F(JxlDecoderSetBoxBuffer)          \
    F(JxlDecoderReleaseBoxBuffer)      \
    F(JxlDecoderSetImageOutCallback)

#define PIXAMO_JXL_THREADS_FUNCTIONS(F) \
    F(JxlThreadParallelRunner)          \
    F(JxlThreadParallelRunnerCreate)    \
    F(JxlThreadParallelRunnerDestroy)
// clang-format on

#define PIXAMO_LIBRARY_FUNCTION(name) decltype(&::name) name = nullptr;

struct TAvifLibrary {
    PIXAMO_AVIF_FUNCTIONS(PIXAMO_LIBRARY_FUNCTION)
};
struct THeifLibrary {
    PIXAMO_HEIF_FUNCTIONS(PIXAMO_LIBRARY_FUNCTION)
};
struct TJxlLibrary {
    PIXAMO_JXL_FUNCTIONS(PIXAMO_LIBRARY_FUNCTION)
    PIXAMO_JXL_THREADS_FUNCTIONS(PIXAMO_LIBRARY_FUNCTION)
};

#undef PIXAMO_LIBRARY_FUNCTION

// The library, opened and its functions looked up on the first call (libheif's plugins
// registered too). A library that cannot be opened, or lacks a function, raises EInvalidGraphic
// naming it; the next call tries again.
const TAvifLibrary& AvifLibrary();
const THeifLibrary& HeifLibrary();
const TJxlLibrary& JxlLibrary();
