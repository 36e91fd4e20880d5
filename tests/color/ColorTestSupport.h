// Small helpers shared by the colour manager tests.
#pragma once

#include "color/ColorManager.h"
#include "platform/Exception.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// The message of the EColorConversionError that fn raises, or "" when it raises nothing.
template <class Fn> std::string ColorErrorOf(Fn fn) {
    try {
        fn();
    } catch (const EColorConversionError& e) {
        return e.what();
    }
    return "";
}

// A manager set up the way a reader does it.
inline void Describe(TColorManager& cm, ColorScheme source, std::uint8_t sourceDepth, ColorScheme target,
                     std::uint8_t targetDepth) {
    cm.SetSourceScheme(source);
    cm.SetTargetScheme(target);
    cm.SetSourceDepth(sourceDepth);
    cm.SetTargetDepth(targetDepth);
}

// Converts one interleaved line into target (kept as given where pixels are skipped).
inline Bytes Convert(TColorManager& cm, const Bytes& source, Bytes target, std::uint32_t count,
                     std::uint8_t mask = 0xFF) {
    cm.ConvertLine(source.data(), source.size(), target.data(), target.size(), count, mask);
    return target;
}

// Native 16-bit words as stored bytes.
inline Bytes Words(std::initializer_list<std::uint16_t> words) {
    Bytes bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}
