// The body of a reader's fuzz target: the content test, the header description and a full load
// of arbitrary bytes, as opening a file by its extension would do even when the content test says
// no. Any Exception is a clean refusal; anything else (a sanitizer report, a crash) is a bug.
#pragma once

#include "platform/Exception.h"
#include "platform/Stream.h"
#include "platform/Warnings.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Warnings (a JPEG strip that ends early) are expected of arbitrary bytes: keep them off stderr.
inline void SilenceWarnings() {
    static const bool silenced = [] {
        SetWarningHandler([](const std::string&) {});
        return true;
    }();
    (void)silenced;
}

template <class TReader> int FuzzReader(const std::uint8_t* data, std::size_t size) {
    TMemoryStream stream(data, size);
    TReader::CanLoadStream(stream);
    TReader graphic;
    try {
        graphic.ReadProperties(stream, 0);
        stream.SetPosition(0);
        graphic.LoadFromStream(stream);
        if (!graphic.Empty()) graphic.Pixel(graphic.Width() - 1, graphic.Height() - 1);
    } catch (const Exception&) {
    }
    return 0;
}
