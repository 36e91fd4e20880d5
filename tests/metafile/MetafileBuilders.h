// Small WMF and EMF files built record by record, for tests that need a known drawing.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

using TBytes = std::vector<std::uint8_t>;

inline void Put16(TBytes& b, int v) {
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}
inline void Put32(TBytes& b, std::uint32_t v) {
    Put16(b, static_cast<int>(v & 0xFFFF));
    Put16(b, static_cast<int>(v >> 16));
}
inline void PutFloat(TBytes& b, float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(b, v);
}
inline void Set32(TBytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// WMF records: 16-bit parameters in file order (GDI's arguments reversed).
class TWmfBuilder {
public:
    // A record of 16-bit words, then raw bytes (padded to a whole word).
    TWmfBuilder& Record(std::uint16_t function, std::initializer_list<int> words, const TBytes& bytes = {}) {
        TBytes r;
        for (int w : words) Put16(r, w);
        r.insert(r.end(), bytes.begin(), bytes.end());
        if (r.size() & 1) r.push_back(0);
        Put32(records_, static_cast<std::uint32_t>(3 + r.size() / 2));
        Put16(records_, function);
        records_.insert(records_.end(), r.begin(), r.end());
        return *this;
    }
    // The usual opening: anisotropic mapping of a window.
    TWmfBuilder& Window(int x, int y, int w, int h) {
        Record(0x020B, {y, x});
        Record(0x020C, {h, w});
        return Record(0x0103, {8});
    }
    TWmfBuilder& Brush(std::uint32_t color, int style = 0, int hatch = 0) {
        return Record(0x02FC, {style, int(color & 0xFFFF), int(color >> 16), hatch});
    }
    TWmfBuilder& Pen(std::uint32_t color, int style = 0, int width = 0) {
        return Record(0x02FA, {style, width, 0, int(color & 0xFFFF), int(color >> 16)});
    }
    TWmfBuilder& Select(int index) { return Record(0x012D, {index}); }
    TWmfBuilder& Rectangle(int l, int t, int r, int b) { return Record(0x041B, {b, r, t, l}); }

    TBytes Plain(int objects = 8) const {
        TBytes b;
        Put16(b, 1);
        Put16(b, 9);
        Put16(b, 0x0300);
        Put32(b, static_cast<std::uint32_t>((18 + records_.size() + 6) / 2));
        Put16(b, objects);
        Put32(b, 0);
        Put16(b, 0);
        b.insert(b.end(), records_.begin(), records_.end());
        Put32(b, 3);
        Put16(b, 0);
        return b;
    }
    TBytes Placeable(int left, int top, int right, int bottom, int inch, int objects = 8) const {
        TBytes b;
        Put32(b, 0x9AC6CDD7);
        Put16(b, 0);
        for (int v : {left, top, right, bottom, inch}) Put16(b, v);
        Put32(b, 0);
        Put16(b, 0);  // checksum, not checked
        TBytes plain = Plain(objects);
        b.insert(b.end(), plain.begin(), plain.end());
        return b;
    }

private:
    TBytes records_;
};

// EMF records: 32-bit values after the type and size.
class TEmfBuilder {
public:
    TEmfBuilder& Record(std::uint32_t type, std::initializer_list<std::int32_t> values, const TBytes& bytes = {}) {
        TBytes r;
        for (std::int32_t v : values) Put32(r, static_cast<std::uint32_t>(v));
        r.insert(r.end(), bytes.begin(), bytes.end());
        while (r.size() % 4) r.push_back(0);
        Put32(records_, type);
        Put32(records_, static_cast<std::uint32_t>(8 + r.size()));
        records_.insert(records_.end(), r.begin(), r.end());
        ++count_;
        return *this;
    }
    TEmfBuilder& Brush(std::uint32_t index, std::uint32_t color, int style = 0, int hatch = 0) {
        return Record(39, {std::int32_t(index), style, std::int32_t(color), hatch});
    }
    TEmfBuilder& Pen(std::uint32_t index, std::uint32_t color, int style = 0, int width = 0) {
        return Record(38, {std::int32_t(index), style, width, 0, std::int32_t(color)});
    }
    TEmfBuilder& Select(std::uint32_t index) { return Record(37, {std::int32_t(index)}); }
    TEmfBuilder& Rectangle(int l, int t, int r, int b) { return Record(43, {l, t, r, b}); }
    TEmfBuilder& Ellipse(int l, int t, int r, int b) { return Record(42, {l, t, r, b}); }
    // The null pen, so that fills show alone.
    TEmfBuilder& NoPen() { return Select(0x80000008u); }

    // A picture whose frame is width × height reference pixels on a 96-dpi device (1 pixel =
    // 0.264583 mm), so that it opens at exactly that size.
    TBytes Build(int width, int height, int handles = 16) const {
        TBytes b;
        Put32(b, 1);
        Put32(b, 88);
        for (int v : {0, 0, width - 1, height - 1}) Put32(b, static_cast<std::uint32_t>(v));
        // Frame in 0.01 mm: width / 96 inch.
        for (double v : {0.0, 0.0, width * 2540.0 / 96, height * 2540.0 / 96})
            Put32(b, static_cast<std::uint32_t>(v + 0.5));
        Put32(b, 0x464D4520);
        Put32(b, 0x10000);
        Put32(b, 0);  // total size, set below
        Put32(b, static_cast<std::uint32_t>(count_ + 2));
        Put16(b, handles);
        Put16(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        Put32(b, 0);
        // A 96-dpi reference device: 960 × 960 pixels on 254 × 254 mm.
        for (int v : {960, 960, 254, 254}) Put32(b, static_cast<std::uint32_t>(v));
        b.insert(b.end(), records_.begin(), records_.end());
        for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u}) Put32(b, v);
        Set32(b, 48, static_cast<std::uint32_t>(b.size()));
        return b;
    }

private:
    TBytes records_;
    int count_ = 0;
};

// Text as UTF-16 code units, padded to 4 bytes.
inline TBytes Utf16(const std::u16string& text) {
    TBytes b;
    for (char16_t c : text) Put16(b, c);
    while (b.size() % 4) b.push_back(0);
    return b;
}
