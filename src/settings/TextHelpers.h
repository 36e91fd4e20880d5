// Text helpers of the settings store: searching, trimming, escaping and comparing byte strings,
// file names and whole-file writes. Positions are 1-based and 0 means "none".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Position of the first occurrence of sub in text beginning at or after start; 0 when there is
// none, when either string is empty, when start is 0 or when fewer than sub's length
// characters remain from start.
std::size_t PosFrom(const std::string& sub, const std::string& text, std::size_t start);

// Removes every character with a code of 32 or less from both ends.
std::string Trim(const std::string& text);

// Every CR LF pair becomes one blank, every TAB a blank; the result is trimmed.
std::string CollapseBreaks(const std::string& text);
// Every CR LF pair and every TAB is removed; no trimming.
std::string StripBreaks(const std::string& text);

// Element text on its way out: "&lt;" -> "&LT;", "&gt;" -> "&GT;", "<" -> "&lt;", ">" -> "&gt;".
std::string EscapeText(const std::string& text);
// And back: "\bl " -> "<", "&lt;" -> "<", "&gt;" -> ">", "\ab " -> ">". "&LT;" stays as it is.
std::string UnescapeText(const std::string& text);

// Replaces every occurrence of from by to, left to right, without rescanning replaced text.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

// Writes every byte of text to fileName. The bytes go to a temporary file beside it that
// replaces the old file only when complete, so a failure never leaves a truncated file.
// A file that cannot be created raises EFCreateError naming it.
void SaveStringToFile(const std::string& fileName, const std::string& text);

// fileName with the extension of its last path component replaced by extension (which
// includes the dot); a name without an extension gets it appended.
std::string ChangeFileExt(const std::string& fileName, const std::string& extension);

// Equal when compared without regard to letter case under the current locale's character
// classes; UTF-8 is decoded, bytes that are not valid UTF-8 compare as they are.
bool SameText(const std::string& a, const std::string& b);

// Splits a text into lines: a line ends at CR LF, a lone CR or a lone LF, and a NUL ends the
// text. A final line break does not start another, empty line.
std::vector<std::string> SplitLines(const std::string& text);
