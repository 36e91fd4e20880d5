#include "XmlTokenizer.h"

#include "TextHelpers.h"

namespace {

const std::string CRLF = "\r\n";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Characters first..last (1-based, inclusive) of text; empty when last < first.
std::string Slice(const std::string& text, std::size_t first, std::size_t last) {
    if (first < 1 || last < first || first > text.size()) return std::string();
    if (last > text.size()) last = text.size();
    return text.substr(first - 1, last - first + 1);
}

void Emit(std::vector<std::string>& tokens, const char* kind, const std::string& text) {
    tokens.push_back(kind + text);
}

}  // namespace

void TokenizeXML(std::vector<std::string>& lines) {
    std::string t;
    for (const std::string& line : lines) {
        t += line;
        t += CRLF;
    }
    std::vector<std::string> tokens;
    std::size_t from = 1;
    while (from <= t.size()) {
        std::size_t p = PosFrom("<", t, from);
        if (p == 0) {
            std::string rest = Trim(Slice(t, from, t.size()));
            if (!rest.empty()) Emit(tokens, "TX:", CollapseBreaks(rest));
            break;
        }
        std::string before = Trim(Slice(t, from, p - 1));
        if (!before.empty()) Emit(tokens, "TX:", before);

        std::string opener = Slice(t, p, p + 8);
        for (char& c : opener) c = UpperAscii(c);
        if (opener == "<![CDATA[") {
            std::size_t e = PosFrom("]]>", t, p + 9);
            if (e == 0) {
                // An unterminated section takes the rest of the text.
                Emit(tokens, "CD:", StripBreaks(Slice(t, p + 9, t.size())));
                break;
            }
            Emit(tokens, "CD:", StripBreaks(Slice(t, p + 9, e - 1)));
            from = e + 3;
            continue;
        }

        std::size_t q = PosFrom(">", t, p);
        if (q == 0) {
            from = p + 1;
            continue;
        }
        std::string tag = Slice(t, p + 1, q - 1);
        if (!tag.empty() && tag.front() == '/')
            Emit(tokens, "CT:", CollapseBreaks(tag.substr(1)));
        else if (!tag.empty() && tag.back() == '/')
            Emit(tokens, "ET:", CollapseBreaks(tag));
        else
            Emit(tokens, "OT:", CollapseBreaks(tag));
        from = q + 1;
    }
    lines = std::move(tokens);
}
