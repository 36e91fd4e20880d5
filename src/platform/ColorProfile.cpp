#include "ColorProfile.h"

#include "Bitmap.h"
#include "ByteOrder.h"
#include "Warnings.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

constexpr std::size_t IccHeaderSize = 128;

constexpr std::uint32_t Signature(const char (&s)[5]) {
    return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
           (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

// The profile cut to the size its header announces.
std::span<const std::uint8_t> CheckedProfile(std::span<const std::uint8_t> profile) {
    if (profile.size() < IccHeaderSize || ReadBigEndian32(profile.data() + 36) != Signature("acsp"))
        throw EColorProfileError("The embedded colour profile is no ICC profile.");
    const std::uint32_t size = ReadBigEndian32(profile.data());
    if (size < IccHeaderSize || size > profile.size())
        throw EColorProfileError("The embedded colour profile is truncated.");
    return profile.first(size);
}

struct TProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using TProfileHandle = std::unique_ptr<void, TProfileCloser>;

TProfileHandle OpenProfile(std::span<const std::uint8_t> profile) {
    TProfileHandle handle(cmsOpenProfileFromMem(
        profile.data(), static_cast<cmsUInt32Number>(std::min<std::size_t>(profile.size(), UINT32_MAX))));
    if (!handle) throw EColorProfileError("The embedded colour profile cannot be read.");
    return handle;
}

// Little CMS doing the whole work: LUT-based profiles, grey and CMYK.
class TLcmsTransform : public TColorTransform {
public:
    TLcmsTransform(cmsHTRANSFORM transform, std::size_t inputBytes, std::size_t outputBytes)
        : transform_(transform), inputBytes_(inputBytes), outputBytes_(outputBytes) {}
    ~TLcmsTransform() override { cmsDeleteTransform(transform_); }
    TLcmsTransform(const TLcmsTransform&) = delete;
    TLcmsTransform& operator=(const TLcmsTransform&) = delete;

    void Convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const override {
        while (count > 0) {
            const std::size_t step = std::min<std::size_t>(count, std::size_t{1} << 20);
            cmsDoTransform(transform_, in, out, static_cast<cmsUInt32Number>(step));
            in += step * inputBytes_;
            out += step * outputBytes_;
            count -= step;
        }
    }
    std::size_t InputPixelBytes() const override { return inputBytes_; }

private:
    cmsHTRANSFORM transform_;
    std::size_t inputBytes_;
    std::size_t outputBytes_;
};

// RGB matrix-shaper profiles (Display P3, Adobe RGB and most camera profiles) to sRGB with
// tables: each input byte gives its linear light already multiplied into the three rows of the
// profile-to-sRGB matrix (fixed point, 2^14), the three products packed into one 64-bit word of
// 21-bit fields, raised so that none is negative. Adding the words of a pixel's
// three bytes adds all nine products at once; each field then indexes a table of sRGB-encoded
// levels that also clamps to black and white. The same steps as Little CMS's own 8-bit
// matrix-shaper path, without its per-pixel call overhead. Black-point compensation is the
// identity here: both profiles put black at 0.
class TMatrixShaperTransform : public TColorTransform {
public:
    static constexpr int IndexBits = 14;  // the fixed-point scale of linear light
    static constexpr int FieldBits = 21;
    static constexpr std::uint64_t FieldMask = (std::uint64_t{1} << FieldBits) - 1;
    // Products stay within +-MaxCoefficient * 2^14 = +-2^18: a field, a row's sum plus the raise,
    // stays below 3 * 2^18 + 3 * 2^18 < 2^21, so no field carries into the next.
    static constexpr double MaxCoefficient = 16;

    TMatrixShaperTransform(const std::array<std::array<double, 3>, 3>& matrix,
                           const std::array<const cmsToneCurve*, 3>& curves, const cmsToneCurve* srgbInverse,
                           bool alpha)
        : alpha_(alpha) {
        const double scale = double(1 << IndexBits);
        std::int64_t products[3][256][3];
        std::int64_t least[3][3], lowest[3] = {}, highest[3] = {};
        for (int channel = 0; channel < 3; ++channel)
            for (int row = 0; row < 3; ++row) {
                least[channel][row] = INT64_MAX;
                std::int64_t most = INT64_MIN;
                for (int v = 0; v < 256; ++v) {
                    double linear = cmsEvalToneCurveFloat(curves[channel], static_cast<cmsFloat32Number>(v / 255.0));
                    linear = linear > 0 ? std::min(linear, 1.0) : 0.0;  // NaN too
                    const std::int64_t product = std::lround(matrix[row][channel] * linear * scale);
                    products[channel][v][row] = product;
                    least[channel][row] = std::min(least[channel][row], product);
                    most = std::max(most, product);
                }
                lowest[row] += least[channel][row];
                highest[row] += most;
            }
        // Every product is raised so that it is not negative, and the three of a row together by
        // the same amount, raise: a field then holds its sum plus raise, and one table serves
        // the three fields.
        raise_ = -std::min({lowest[0], lowest[1], lowest[2], std::int64_t{0}});
        for (int channel = 0; channel < 3; ++channel)
            for (int v = 0; v < 256; ++v) {
                std::uint64_t word = 0;
                for (int row = 0; row < 3; ++row) {
                    // The first channel takes what the row's lowest sum leaves of the raise.
                    const std::int64_t lift = -least[channel][row] + (channel == 0 ? raise_ + lowest[row] : 0);
                    word |= static_cast<std::uint64_t>(products[channel][v][row] + lift) << (FieldBits * row);
                }
                packed_[channel][v] = word;
            }
        std::vector<std::uint8_t> levels((1 << IndexBits) + 1);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const double encoded =
                cmsEvalToneCurveFloat(srgbInverse, static_cast<cmsFloat32Number>(double(i) / (1 << IndexBits)));
            levels[i] = static_cast<std::uint8_t>(std::clamp(std::lround(encoded * 255.0), 0L, 255L));
        }
        const std::int64_t top = std::max({highest[0], highest[1], highest[2]}) + raise_;
        encode_.resize(static_cast<std::size_t>(top + 1));
        for (std::int64_t field = 0; field <= top; ++field)
            encode_[static_cast<std::size_t>(field)] =
                levels[static_cast<std::size_t>(std::clamp<std::int64_t>(field - raise_, 0, 1 << IndexBits))];
    }

    void Convert(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const override {
        if (alpha_)
            Run<4>(in, out, count);
        else
            Run<3>(in, out, count);
    }
    std::size_t InputPixelBytes() const override { return alpha_ ? 4 : 3; }

private:
    template <std::size_t Step> void Run(const std::uint8_t* in, std::uint8_t* out, std::size_t count) const {
        // Locals, so that the byte stores (which may alias anything) do not reload the tables.
        const std::uint64_t* const red = packed_[0];
        const std::uint64_t* const green = packed_[1];
        const std::uint64_t* const blue = packed_[2];
        const std::uint8_t* const encode = encode_.data();
        for (std::size_t i = 0; i < count; ++i, in += Step, out += Step) {
            // B, G, R order in memory; all three read before anything is written (in place).
            const std::uint64_t sums = red[in[2]] + green[in[1]] + blue[in[0]];
            if constexpr (Step == 4) out[3] = in[3];
            out[0] = encode[sums >> (2 * FieldBits)];
            out[1] = encode[(sums >> FieldBits) & FieldMask];
            out[2] = encode[sums & FieldMask];
        }
    }

    std::uint64_t packed_[3][256];
    std::vector<std::uint8_t> encode_;  // by field: the sum plus raise_
    std::int64_t raise_ = 0;
    bool alpha_;
};

using TMatrix = std::array<std::array<double, 3>, 3>;

bool Invert(const TMatrix& m, TMatrix& inverse) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::fabs(det) > 1e-12)) return false;
    inverse[0] = {(m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det, (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det,
                  (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det};
    inverse[1] = {(m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det, (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det,
                  (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det};
    inverse[2] = {(m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det, (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det,
                  (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det};
    return true;
}

// The RGB to XYZ matrix of a matrix-shaper profile and its three curves; false when it has none
// or looks up colours through tables for this intent.
bool ReadMatrixShaper(cmsHPROFILE profile, TMatrix& matrix, std::array<const cmsToneCurve*, 3>& curves) {
    if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile) ||
        cmsIsCLUT(profile, INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_INPUT))
        return false;
    const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
        curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
        if (!xyz || !curves[c]) return false;
        matrix[0][c] = xyz->X;
        matrix[1][c] = xyz->Y;
        matrix[2][c] = xyz->Z;
        // A curve that does not start at black would make black-point compensation matter.
        if (std::fabs(cmsEvalToneCurveFloat(curves[c], 0)) > 1e-6f) return false;
    }
    return true;
}

std::unique_ptr<TColorTransform> CreateMatrixShaperTransform(cmsHPROFILE source, cmsHPROFILE srgb, bool alpha) {
    TMatrix sourceMatrix, srgbMatrix, toSrgb, product{};
    std::array<const cmsToneCurve*, 3> curves, srgbCurves;
    if (!ReadMatrixShaper(source, sourceMatrix, curves) || !ReadMatrixShaper(srgb, srgbMatrix, srgbCurves) ||
        !Invert(srgbMatrix, toSrgb))
        return nullptr;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) product[r][c] += toSrgb[r][k] * sourceMatrix[k][c];
    // Real profiles stay within a few units; beyond MaxCoefficient the fixed-point sums could
    // overflow, and Little CMS takes such a profile instead.
    for (const auto& row : product)
        for (double v : row)
            if (!(std::fabs(v) <= TMatrixShaperTransform::MaxCoefficient)) return nullptr;
    cmsToneCurve* inverse = cmsReverseToneCurve(srgbCurves[0]);
    if (!inverse) return nullptr;
    auto transform = std::make_unique<TMatrixShaperTransform>(product, curves, inverse, alpha);
    cmsFreeToneCurve(inverse);
    return transform;
}

struct TCachedTransform {
    std::vector<std::uint8_t> Profile;
    TTransformInput Input;
    std::shared_ptr<const TColorTransform> Transform;
};

// The transforms built last. Only finding and building run under the lock; a conversion holds
// its transform, so pictures of a batch convert at once and an entry dropped meanwhile lives on.
struct TTransformCache {
    static constexpr std::size_t Capacity = 4;
    std::mutex Lock;
    std::vector<TCachedTransform> Entries;  // the most recently used first

    std::shared_ptr<const TColorTransform> Get(std::span<const std::uint8_t> profile, TTransformInput input) {
        std::lock_guard<std::mutex> lock(Lock);
        auto found = std::find_if(Entries.begin(), Entries.end(), [&](const TCachedTransform& e) {
            return e.Input == input && e.Profile.size() == profile.size() &&
                   std::equal(profile.begin(), profile.end(), e.Profile.begin());
        });
        if (found == Entries.end()) {
            TCachedTransform entry{{profile.begin(), profile.end()}, input, CreateColorTransform(profile, input)};
            if (Entries.size() == Capacity) Entries.pop_back();
            Entries.insert(Entries.begin(), std::move(entry));
        } else if (found != Entries.begin()) {
            std::rotate(Entries.begin(), found, found + 1);
        }
        return Entries.front().Transform;
    }
};

TTransformCache& Cache() {
    static TTransformCache cache;
    return cache;
}

}  // namespace

TProfileSpace ProfileSpaceOf(std::span<const std::uint8_t> profile) {
    profile = CheckedProfile(profile);
    switch (ReadBigEndian32(profile.data() + 16)) {
        case Signature("RGB "):
            return TProfileSpace::Rgb;
        case Signature("GRAY"):
            return TProfileSpace::Gray;
        case Signature("CMYK"):
            return TProfileSpace::Cmyk;
        default:
            return TProfileSpace::Other;
    }
}

std::unique_ptr<TColorTransform> CreateColorTransform(std::span<const std::uint8_t> profile, TTransformInput input) {
    const TProfileSpace space = ProfileSpaceOf(profile);
    const bool rgb = input == TTransformInput::Bgr || input == TTransformInput::Bgra;
    const bool ink = input == TTransformInput::Cmyk || input == TTransformInput::InvertedCmyk;
    if ((rgb && space != TProfileSpace::Rgb) || (input == TTransformInput::Gray && space != TProfileSpace::Gray) ||
        (ink && space != TProfileSpace::Cmyk))
        throw EColorProfileError("The embedded colour profile does not fit the picture's colours.");
    TProfileHandle source = OpenProfile(CheckedProfile(profile));
    TProfileHandle srgb(cmsCreate_sRGBProfile());
    if (!srgb) throw EColorProfileError("The sRGB profile cannot be made.");
    if (rgb) {
        if (auto fast = CreateMatrixShaperTransform(source.get(), srgb.get(), input == TTransformInput::Bgra))
            return fast;
    }
    cmsUInt32Number inFormat = TYPE_BGR_8, outFormat = TYPE_BGR_8, flags = cmsFLAGS_BLACKPOINTCOMPENSATION;
    std::size_t inBytes = 3;
    switch (input) {
        case TTransformInput::Bgr:
            break;
        case TTransformInput::Bgra:
            inFormat = outFormat = TYPE_BGRA_8;
            flags |= cmsFLAGS_COPY_ALPHA;
            inBytes = 4;
            break;
        case TTransformInput::Gray:
            inFormat = TYPE_GRAY_8;
            inBytes = 1;
            break;
        case TTransformInput::Cmyk:
            inFormat = TYPE_CMYK_8;
            inBytes = 4;
            break;
        case TTransformInput::InvertedCmyk:
            inFormat = TYPE_CMYK_8_REV;
            inBytes = 4;
            break;
    }
    cmsHTRANSFORM transform =
        cmsCreateTransform(source.get(), inFormat, srgb.get(), outFormat, INTENT_RELATIVE_COLORIMETRIC, flags);
    if (!transform) throw EColorProfileError("The embedded colour profile cannot be used.");
    return std::make_unique<TLcmsTransform>(transform, inBytes, outFormat == TYPE_BGRA_8 ? 4 : 3);
}

std::unique_ptr<TColorTransform> CreateInkTransform(const TPictureMetadata& metadata, bool inverted) {
    if (metadata.Icc.empty()) return nullptr;
    try {
        if (ProfileSpaceOf(metadata.Icc) != TProfileSpace::Cmyk) return nullptr;
        return CreateColorTransform(metadata.Icc, inverted ? TTransformInput::InvertedCmyk : TTransformInput::Cmyk);
    } catch (const EColorProfileError& error) {
        ShowWarning(std::string(error.what()) + " The colours are shown as stored.");
    }
    return nullptr;
}

void ConvertToSrgb(TBitmap& bitmap, std::span<const std::uint8_t> profile) {
    if (bitmap.Empty()) return;
    const TPixelFormat format = bitmap.PixelFormat();
    const bool indexed =
        format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit;
    if (!indexed && format != TPixelFormat::pf24bit && format != TPixelFormat::pf32bit) return;
    const TProfileSpace space = ProfileSpaceOf(profile);
    if (space != TProfileSpace::Rgb && space != TProfileSpace::Gray)
        throw EColorProfileError("The embedded colour profile does not fit the picture's colours.");

    if (space == TProfileSpace::Gray) {
        // A grey picture reaches us as a grey palette or as rows with equal samples: one table of
        // the 256 levels serves every pixel.
        const std::shared_ptr<const TColorTransform> transform = Cache().Get(profile, TTransformInput::Gray);
        std::array<std::uint8_t, 256> levels;
        for (int i = 0; i < 256; ++i) levels[i] = static_cast<std::uint8_t>(i);
        std::array<std::uint8_t, 3 * 256> bgr;
        transform->Convert(levels.data(), bgr.data(), 256);
        if (indexed) {
            TPalette palette = bitmap.Palette();
            for (TRGBEntry& entry : palette) {
                const std::uint8_t* c = &bgr[3 * std::size_t(entry.Green)];
                entry = {c[2], c[1], c[0]};
            }
            bitmap.SetPalette(palette);
            return;
        }
        const std::size_t step = format == TPixelFormat::pf32bit ? 4 : 3;
        for (int y = 0; y < bitmap.Height(); ++y) {
            std::uint8_t* p = bitmap.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x, p += step) std::memcpy(p, &bgr[3 * std::size_t(p[1])], 3);
        }
        return;
    }
    if (indexed) {
        TPalette palette = bitmap.Palette();
        std::vector<std::uint8_t> entries;
        for (const TRGBEntry& entry : palette) entries.insert(entries.end(), {entry.Blue, entry.Green, entry.Red});
        Cache().Get(profile, TTransformInput::Bgr)->Convert(entries.data(), entries.data(), palette.size());
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = {entries[3 * i + 2], entries[3 * i + 1], entries[3 * i]};
        bitmap.SetPalette(palette);
        return;
    }
    const std::shared_ptr<const TColorTransform> held =
        Cache().Get(profile, format == TPixelFormat::pf32bit ? TTransformInput::Bgra : TTransformInput::Bgr);
    const TColorTransform& transform = *held;
    const auto convertRows = [&bitmap, &transform](int first, int last) {
        for (int y = first; y < last; ++y)
            transform.Convert(bitmap.ScanLine(y), bitmap.ScanLine(y), static_cast<std::size_t>(bitmap.Width()));
    };
    // Rows are independent and the transforms keep no state between calls (Little CMS copies its
    // one-pixel cache per call): a photo's rows are shared among the cores, a small picture stays
    // on this thread.
    const std::uint64_t pixels = std::uint64_t(bitmap.Width()) * std::uint64_t(bitmap.Height());
    const int threads =
        pixels < (1u << 20) ? 1 : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i)
        workers.emplace_back(convertRows, bitmap.Height() * i / threads, bitmap.Height() * (i + 1) / threads);
    convertRows(0, bitmap.Height() / threads);
    for (std::thread& worker : workers) worker.join();
}

std::vector<std::uint8_t> JoinIccPieces(std::vector<TIccPiece> pieces) {
    if (pieces.empty()) return {};
    std::sort(pieces.begin(), pieces.end(), [](const TIccPiece& a, const TIccPiece& b) { return a.Number < b.Number; });
    const int count = pieces.front().Count;
    if (count < 1 || static_cast<std::size_t>(count) != pieces.size())
        throw EColorProfileError("The pieces of the embedded colour profile are incomplete.");
    std::vector<std::uint8_t> profile;
    for (int i = 0; i < count; ++i) {
        const TIccPiece& piece = pieces[static_cast<std::size_t>(i)];
        if (piece.Number != i + 1 || piece.Count != count)
            throw EColorProfileError("The pieces of the embedded colour profile are incomplete.");
        profile.insert(profile.end(), piece.Bytes.begin(), piece.Bytes.end());
    }
    return profile;
}
