#include "TextHelpers.h"

#include "platform/AtomicFile.h"
#include "platform/Exception.h"
#include "platform/Stream.h"

#include <cwctype>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

const std::string CRLF = "\r\n";

// The next code point of a UTF-8 text; a byte that does not start a valid sequence is taken
// alone and mapped above the Unicode range so that it only equals itself.
char32_t NextCodePoint(const std::string& text, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char b0 = byte(i);
    std::size_t length = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
    if (length == 1) {
        ++i;
        return b0;
    }
    if (length != 0 && i + length <= text.size()) {
        char32_t cp = b0 & (0x7F >> length);
        bool valid = true;
        for (std::size_t k = 1; k < length && valid; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && cp >= smallest[length] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF)) {
            i += length;
            return cp;
        }
    }
    ++i;
    return 0x110000 + b0;
}

char32_t FoldCase(char32_t cp) {
    if (cp > 0x10FFFF) return cp;
    return static_cast<char32_t>(std::towlower(static_cast<std::wint_t>(cp)));
}

}  // namespace

std::size_t PosFrom(const std::string& sub, const std::string& text, std::size_t start) {
    if (sub.empty() || text.empty() || start < 1 || start > text.size()) return 0;
    if (text.size() - (start - 1) < sub.size()) return 0;
    std::size_t found = text.find(sub, start - 1);
    return found == std::string::npos ? 0 : found + 1;
}

std::string Trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    for (;;) {
        std::size_t found = text.find(from, at);
        if (found == std::string::npos) break;
        result.append(text, at, found - at);
        result += to;
        at = found + from.size();
    }
    result.append(text, at, std::string::npos);
    return result;
}

std::string CollapseBreaks(const std::string& text) { return Trim(ReplaceAll(ReplaceAll(text, CRLF, " "), "\t", " ")); }

std::string StripBreaks(const std::string& text) { return ReplaceAll(ReplaceAll(text, CRLF, ""), "\t", ""); }

std::string EscapeText(const std::string& text) {
    std::string s = ReplaceAll(text, "&lt;", "&LT;");
    s = ReplaceAll(s, "&gt;", "&GT;");
    s = ReplaceAll(s, "<", "&lt;");
    return ReplaceAll(s, ">", "&gt;");
}

std::string UnescapeText(const std::string& text) {
    std::string s = ReplaceAll(text, "\\bl ", "<");
    s = ReplaceAll(s, "&lt;", "<");
    s = ReplaceAll(s, "&gt;", ">");
    return ReplaceAll(s, "\\ab ", ">");
}

void SaveStringToFile(const std::string& fileName, const std::string& text) {
    try {
        WriteFileAtomically(fileName, [&text](TStream& stream) { stream.WriteBuffer(text.data(), text.size()); });
    } catch (const EFCreateError&) {
        throw;
    } catch (const EStreamError& e) {
        // A write that fails half-way (a full disk) is reported like a file that cannot be made.
        throw EFCreateError(FormatText("Cannot create file \"%s\". %s", fileName.c_str(), e.what()));
    }
}

std::string ChangeFileExt(const std::string& fileName, const std::string& extension) {
    std::size_t slash = fileName.find_last_of('/');
    std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return fileName + extension;
    return fileName.substr(0, dot) + extension;
}

bool SameText(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
    }
    return i == a.size() && j == b.size();
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < end) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < end && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < end) lines.push_back(text.substr(start, end - start));
    return lines;
}
