// The body of a metafile fuzz target: the header, then every record played onto a canvas of at
// most 256 × 256 pixels (the records are parsed all the same; a small canvas keeps runs quick).
// Bytes that are no metafile of the target's kind are played as records behind a fixed header,
// so that the fuzzer reaches the records without first finding a header. Any Exception is a
// clean refusal; anything else (a sanitizer report, a crash, a hang) is a bug.
#pragma once

#include "metafile/Metafile.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

inline int FuzzMetafile(const std::uint8_t* data, std::size_t size, bool emf, const std::vector<std::uint8_t>& header) {
    std::vector<std::uint8_t> bytes;
    bool own = false;
    try {
        TMetafileHeader h = ReadMetafileHeader(data, size);
        own = (h.Kind == TMetafileKind::Emf) == emf;
    } catch (const Exception&) {
    }
    if (!own) {
        bytes = header;
        bytes.insert(bytes.end(), data, data + size);
        data = bytes.data();
        size = bytes.size();
    }
    try {
        TMetafileHeader h = ReadMetafileHeader(data, size);
        TBitmap bitmap;
        PlayMetafile(data, size, std::min(h.Width, 256), std::min(h.Height, 256), bitmap);
        if (!bitmap.Empty()) bitmap.Pixel(bitmap.Width() - 1, bitmap.Height() - 1);
    } catch (const Exception&) {
    }
    return 0;
}
