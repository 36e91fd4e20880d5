// Messages of the picture readers and the format registry, and the readers' format labels.
// Texts with "%s" are filled through FormatText (platform/Exception.h).
#pragma once

// Raised by every reader when the header is not its format or a magic number is wrong.
inline constexpr const char* gesInvalidImage = "Cannot load image. Invalid or unexpected %s image format.";
inline constexpr const char* gesInvalidColorFormat = "Invalid color format in %s file.";
// First %s: gesCompression (or another feature), second: the format label.
inline constexpr const char* gesUnsupportedFeature = "Cannot load image. %s not supported for %s files.";
inline constexpr const char* gesCompression = "The compression scheme is";
inline constexpr const char* gesCRCError = "Cannot load image. CRC error found in %s file.";
inline constexpr const char* gesCompressionError = "Cannot load image. Compression error found in %s file.";
inline constexpr const char* gesExtraCompressedData = "Cannot load image. Extra compressed data found in %s file.";
inline constexpr const char* gesInvalidPalette = "Cannot load image. Palette in %s file is invalid.";
inline constexpr const char* gesUnknownCriticalChunk = "Cannot load PNG image. Unexpected but critical chunk detected.";
// %s: the extension as given.
inline constexpr const char* gesRegistration = "Attempt to register %s twice.";
// A PNG file that ends without any image data.
inline constexpr const char* gesNoImageData = "Cannot load image. No image data found in %s file.";
// Refusal of a header whose pixels could not reasonably be held or could never be decoded from
// the file: %s the format label, then width and height.
inline constexpr const char* gesImageTooLarge = "Cannot load image. The %s image of %llu x %llu pixels is too large.";
// A codec library refused the file and said why: first %s the format label, second the library's
// own message.
inline constexpr const char* gesLibraryError = "Cannot load %s image. %s";

// Format labels filled into the messages above.
inline constexpr const char* gesPNG = "PNG";
inline constexpr const char* gesTarga = "Targa";
inline constexpr const char* gesTIFF = "TIF/TIFF";
inline constexpr const char* gesGIF = "GIF";
inline constexpr const char* gesPCXOrSCR = "PCX or SCR";
// The colour-format refusal of the PCX reader names PCX alone.
inline constexpr const char* gesPCX = "PCX";
inline constexpr const char* gesPSDOrPDD = "PSD or PDD";
inline constexpr const char* gesSGI = "sgi, bw or rgb(a)";
inline constexpr const char* gesEPS = "EPS";
inline constexpr const char* gesWebP = "WebP";
inline constexpr const char* gesAVIF = "AVIF";
inline constexpr const char* gesHEIF = "HEIF/HEIC";
inline constexpr const char* gesJXL = "JPEG XL";
