// Writes small TIFF files field by field, so that tests can state every tag, byte order and
// strip exactly (also wrong ones).
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class TTiffBuilder {
public:
    enum : std::uint16_t { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, Undefined = 7, SShort = 8 };

    explicit TTiffBuilder(bool bigEndian = false) : big_(bigEndian) {}

    // A field with integer values (rationals take numerator, denominator pairs).
    TTiffBuilder& Set(std::uint16_t tag, std::uint16_t type, std::vector<std::uint32_t> values) {
        fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const Field& f) { return f.Tag == tag; }),
                      fields_.end());
        fields_.push_back({tag, type, std::move(values), std::nullopt});
        return *this;
    }
    // A field whose 12-byte entry is written as given: count and value field raw.
    TTiffBuilder& SetRaw(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t valueField) {
        fields_.push_back({tag, type, {count}, valueField});
        return *this;
    }
    TTiffBuilder& Remove(std::uint16_t tag) {
        fields_.erase(std::remove_if(fields_.begin(), fields_.end(), [&](const Field& f) { return f.Tag == tag; }),
                      fields_.end());
        return *this;
    }
    // Strips in order; StripOffsets and StripByteCounts are filled in unless set explicitly.
    TTiffBuilder& AddStrip(std::vector<std::uint8_t> data) {
        strips_.push_back(std::move(data));
        return *this;
    }
    // The usual header fields of an uncompressed image.
    TTiffBuilder& Basic(std::uint32_t width, std::uint32_t height, std::uint32_t bits, std::uint32_t samples,
                        std::uint32_t photometric) {
        Set(256, Long, {width});
        Set(257, Long, {height});
        Set(258, Short, std::vector<std::uint32_t>(samples, bits));
        Set(259, Short, {1});
        Set(262, Short, {photometric});
        Set(277, Short, {samples});
        return *this;
    }
    // A second directory chained after the first.
    TTiffBuilder& Next(const TTiffBuilder& next) {
        next_.push_back(next);
        return *this;
    }
    // Where the next-directory link of the last directory points (0 = none); for loops.
    TTiffBuilder& LinkLastTo(std::uint32_t offset) {
        lastLink_ = offset;
        return *this;
    }

    std::vector<std::uint8_t> Build() const {
        std::vector<std::uint8_t> out;
        out.push_back(big_ ? 'M' : 'I');
        out.push_back(big_ ? 'M' : 'I');
        Put16(out, 42);
        Put32(out, 8);
        std::vector<const TTiffBuilder*> chain{this};
        for (const TTiffBuilder& n : next_) chain.push_back(&n);
        std::size_t linkAt = 4;  // the header's first-directory offset
        for (const TTiffBuilder* directory : chain) {
            const auto [start, link] = directory->WriteDirectory(out, big_);
            Patch32(out, linkAt, static_cast<std::uint32_t>(start));
            linkAt = link;
        }
        Patch32(out, linkAt, lastLink_);
        return out;
    }

private:
    struct Field {
        std::uint16_t Tag;
        std::uint16_t Type;
        std::vector<std::uint32_t> Values;
        std::optional<std::uint32_t> Raw;
    };

    static std::size_t SizeOf(std::uint16_t type) {
        switch (type) {
            case Short:
            case SShort:
                return 2;
            case Long:
                return 4;
            case Rational:
                return 4;  // per value of the list: numerator and denominator are values
            default:
                return 1;
        }
    }

    // Writes this directory at the end of out (its strips first) and returns where it starts and
    // where its next-directory link is.
    std::pair<std::size_t, std::size_t> WriteDirectory(std::vector<std::uint8_t>& out, bool big) const {
        big_ = big;  // chained directories follow the first one's byte order
        std::vector<Field> fields = fields_;
        std::vector<std::uint32_t> offsets, counts;
        for (const auto& strip : strips_) {
            offsets.push_back(static_cast<std::uint32_t>(out.size()));
            counts.push_back(static_cast<std::uint32_t>(strip.size()));
            out.insert(out.end(), strip.begin(), strip.end());
        }
        auto has = [&](std::uint16_t tag) {
            return std::any_of(fields.begin(), fields.end(), [&](const Field& f) { return f.Tag == tag; });
        };
        if (!strips_.empty() && !has(273)) fields.push_back({273, Long, offsets, std::nullopt});
        if (!strips_.empty() && !has(279)) fields.push_back({279, Long, counts, std::nullopt});
        std::stable_sort(fields.begin(), fields.end(), [](const Field& a, const Field& b) { return a.Tag < b.Tag; });
        if (out.size() % 2) out.push_back(0);

        const std::size_t directory = out.size();
        const std::size_t valuesAt = directory + 2 + fields.size() * 12 + 4;
        std::vector<std::uint8_t> values;
        Put16(out, static_cast<std::uint16_t>(fields.size()));
        for (const Field& f : fields) {
            Put16(out, f.Tag);
            Put16(out, f.Type);
            if (f.Raw) {
                Put32(out, f.Values[0]);
                Put32(out, *f.Raw);
                continue;
            }
            const std::uint32_t count =
                static_cast<std::uint32_t>(f.Type == Rational ? f.Values.size() / 2 : f.Values.size());
            Put32(out, count);
            std::vector<std::uint8_t> data;
            for (std::uint32_t v : f.Values) {
                if (SizeOf(f.Type) == 1)
                    data.push_back(static_cast<std::uint8_t>(v));
                else if (SizeOf(f.Type) == 2)
                    Put16(data, static_cast<std::uint16_t>(v));
                else
                    Put32(data, v);
            }
            if (data.size() <= 4) {
                data.resize(4, 0);
                out.insert(out.end(), data.begin(), data.end());
            } else {
                Put32(out, static_cast<std::uint32_t>(valuesAt + values.size()));
                values.insert(values.end(), data.begin(), data.end());
                if (values.size() % 2) values.push_back(0);
            }
        }
        const std::size_t link = out.size();
        Put32(out, 0);
        out.insert(out.end(), values.begin(), values.end());
        return {directory, link};
    }

    void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) const {
        if (big_) {
            out.push_back(v >> 8);
            out.push_back(v & 0xFF);
        } else {
            out.push_back(v & 0xFF);
            out.push_back(v >> 8);
        }
    }
    void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) const {
        if (big_) {
            Put16(out, v >> 16);
            Put16(out, v & 0xFFFF);
        } else {
            Put16(out, v & 0xFFFF);
            Put16(out, v >> 16);
        }
    }
    void Patch32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) const {
        std::vector<std::uint8_t> bytes;
        Put32(bytes, v);
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
    }

    mutable bool big_;
    std::vector<Field> fields_;
    std::vector<std::vector<std::uint8_t>> strips_;
    std::vector<TTiffBuilder> next_;
    std::uint32_t lastLink_ = 0;
};
