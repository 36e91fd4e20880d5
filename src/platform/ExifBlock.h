// EXIF and XMP carried from a source picture into a saved one. An EXIF block is the TIFF
// structure EXIF keeps its tags in: a header ("II*\0" or "MM\0*"), IFD0 with the picture's
// tags, the Exif IFD (pointed to by tag 34665) with the camera's, and the values they point to.
// Only IFD0, the Exif IFD and its Interoperability IFD are visited, each once, so a damaged
// block can neither loop nor reach outside itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The block with Orientation (IFD0, tag 274) set to orientation (1 once the pixels are upright) and PixelXDimension /
// PixelYDimension (Exif IFD, tags 40962 / 40963) set to width and height. Tags that are present are rewritten in place,
// so every other byte, maker notes with their absolute offsets included, stays where it was; missing pixel-size tags go
// into a copy of the Exif IFD appended to the block. The thumbnail's IFD1 is unlinked (it shows the source as it was).
// A leading "Exif\0\0" (as JPEG's APP1 segment has it) is dropped. Raises EInvalidGraphic "The EXIF block is damaged."
// when the block is no readable TIFF structure.
std::vector<std::uint8_t> ExifForSavedPicture(std::span<const std::uint8_t> exif, int width, int height,
                                              int orientation = 1);

// The packet with tiff:Orientation set to orientation and exif:PixelXDimension / exif:PixelYDimension set
// to the size, in attribute form (tiff:Orientation="6") or element form
// (<tiff:Orientation>6</tiff:Orientation>); every other character is kept.
std::string XmpForSavedPicture(std::string_view xmp, int width, int height, int orientation = 1);

// For TIFF files, which hold EXIF tags in their own directories rather than in a block.
bool ExifIsBigEndian(std::span<const std::uint8_t> exif);
// The text tags of the block's IFD0 a TIFF file takes over: ImageDescription, Make, Model,
// Software, DateTime, Artist and Copyright, without their closing NUL.
struct TExifText {
    std::uint16_t Tag;
    std::string Text;
};
std::vector<TExifText> ExifTextTags(std::span<const std::uint8_t> exif);
// The block's Exif IFD (and its Interoperability IFD) with their values, laid out to sit at
// offset at of a TIFF file of the block's byte order; empty when the block has no Exif IFD.
std::vector<std::uint8_t> MovedExifIfd(std::span<const std::uint8_t> exif, std::uint32_t at);
// Rewrites the value of IFD0's entry tag in a TIFF file to a single LONG; false when IFD0 has no
// such entry.
bool SetIfd0Long(std::vector<std::uint8_t>& tiff, std::uint16_t tag, std::uint32_t value);

inline constexpr std::uint16_t ExifIfdTag = 34665;
