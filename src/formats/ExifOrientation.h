// Where a picture file says which way up it is: the Orientation entry (tag 274) of an EXIF
// block, of ImageMagick's "Raw profile type exif" PNG text, or of an XMP packet. Every function
// here reads only inside the bytes it is given and answers "nothing found" for anything damaged
// or odd: orientation is a courtesy of the file, never a reason to refuse it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The Orientation of the first image file directory of a TIFF-structured block ("II*\0" or
// "MM\0*" first; a leading "Exif\0\0" is skipped); none when absent, unreadable or outside 1..8.
std::optional<int> ExifOrientation(std::span<const std::uint8_t> exif);

// The EXIF block of a "Raw profile type exif" text: a line with the profile name, a line with
// the decimal byte count, then that many bytes as hexadecimal digits (line breaks between
// them). The "Exif\0\0" prefix ImageMagick puts in front is removed. Empty when malformed.
std::vector<std::uint8_t> ExifFromRawProfile(std::string_view text);

// tiff:Orientation of an XMP packet, written as an attribute (tiff:Orientation="6") or as an
// element (<tiff:Orientation>6</tiff:Orientation>); none when absent or outside 1..8.
std::optional<int> XmpOrientation(std::string_view xmp);

// How a stated orientation turns the stored picture upright, e.g. "rotate 90 degrees clockwise".
const char* OrientationText(int orientation);
