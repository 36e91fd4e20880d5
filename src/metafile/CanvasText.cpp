// Text through fontconfig and cairo's FreeType fonts: GDI's logical fonts (face name, height as
// character or cell height, width, escapement, weight, italic) matched by fontconfig, which maps
// Arial, Times New Roman and Courier New to their metric-compatible Liberation fonts.
#include "Canvas.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace {

// Distinct fonts matched per picture; further ones share the first (a file cannot make the
// player match fonts without end).
constexpr std::size_t MaxFaces = 128;

cairo_font_options_t* UnhintedOptions() {
    cairo_font_options_t* options = cairo_font_options_create();
    // Unhinted outlines and metrics: advances scale exactly with the size, as the records expect.
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    return options;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string Utf8Of(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

void TMetafileCanvas::ReleaseFonts() {
    for (TFaceEntry& entry : faces_) cairo_font_face_destroy(entry.Face);
    faces_.clear();
}

const TMetafileCanvas::TFaceEntry* TMetafileCanvas::FontFace(const TFont& font) {
    std::string family = font.Face;
    if (!family.empty() && family[0] == '@') family.erase(0, 1);  // vertical-writing variant
    if (family.empty()) family = "Arial";
    int weight = font.Weight <= 0 ? 400 : std::clamp(font.Weight, 1, 1000);
    std::string key = family;
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    key += "|" + std::to_string(weight) + (font.Italic ? "|i" : "|r");
    for (const TFaceEntry& entry : faces_)
        if (entry.Key == key) return &entry;
    if (faces_.size() >= MaxFaces) return &faces_.front();

    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return faces_.empty() ? nullptr : &faces_.front();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(match ? match : pattern);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS) {
        cairo_font_face_destroy(face);
        return faces_.empty() ? nullptr : &faces_.front();
    }

    TFaceEntry entry{key, face};
    // Metrics in ems from the font's own tables: Windows measures cell heights with the OS/2
    // table's usWinAscent and usWinDescent.
    cairo_matrix_t unit;
    cairo_matrix_init_scale(&unit, 1000, 1000);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = UnhintedOptions();
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &unit, &identity, options);
    cairo_font_options_destroy(options);
    FT_Face ft = cairo_ft_scaled_font_lock_face(scaled);
    if (ft && ft->units_per_EM > 0) {
        double upm = ft->units_per_EM;
        entry.Ascent = ft->ascender / upm;
        entry.Descent = -ft->descender / upm;
        entry.UnderlinePosition = -ft->underline_position / upm;
        entry.UnderlineThickness = std::max(ft->underline_thickness / upm, 0.02);
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                entry.Ascent = os2->usWinAscent / upm;
                entry.Descent = os2->usWinDescent / upm;
            }
            if (os2->xAvgCharWidth > 0) entry.AverageWidth = os2->xAvgCharWidth / upm;
            if (os2->yStrikeoutPosition > 0) entry.StrikeOutPosition = os2->yStrikeoutPosition / upm;
        }
    }
    if (ft) cairo_ft_scaled_font_unlock_face(scaled);
    cairo_scaled_font_destroy(scaled);
    if (entry.Ascent + entry.Descent <= 0) {
        entry.Ascent = 0.9;
        entry.Descent = 0.2;
    }
    faces_.push_back(std::move(entry));
    return &faces_.back();
}

void TMetafileCanvas::TextOut(const TTextOut& text) {
    const TFont& font = *state_.Font;
    const TFaceEntry* face = FontFace(font);
    TPointD reference = (state_.TextAlign & TA_UPDATECP) ? state_.Position : text.Reference;
    TMatrix m = LogicalToCanvas();
    m.E = m.F = 0;
    // Compatible graphics keep glyphs upright on the device, scaled as the axes are; advanced
    // graphics pass them through the whole transform.
    TMatrix linear = state_.AdvancedGraphics ? m : TMatrix{std::hypot(m.A, m.B), 0, 0, std::hypot(m.C, m.D), 0, 0};
    if (!linear.Finite() || linear.Determinant() == 0) return;

    double ascent = face ? face->Ascent : 0.9, descent = face ? face->Descent : 0.2;
    double em;
    if (font.Height < 0) {
        em = -static_cast<double>(font.Height);
    } else if (font.Height > 0) {
        em = font.Height / (ascent + descent);
    } else {
        // The default font: 12 points on the reference device.
        double deviceEm = 12.0 / 72 * 25.4 * space_.UnitsPerMmY;
        em = deviceEm * std::abs(space_.DeviceToCanvas.D) / std::hypot(linear.C, linear.D);
    }
    double xScale = 1;
    // A width makes the font narrower or wider, within reason.
    if (font.Width != 0 && face && face->AverageWidth > 0)
        xScale = std::clamp(std::abs(font.Width) / (face->AverageWidth * em), 0.01, 100.0);
    double angle = font.Escapement / 10.0 * std::numbers::pi / 180;
    TMatrix rotation{std::cos(angle), -std::sin(angle), std::sin(angle), std::cos(angle), 0, 0};
    TMatrix textToCanvas = linear.After(rotation);  // logical units along and across the baseline
    TMatrix fontMatrix = textToCanvas.After(TMatrix{em * xScale, 0, 0, em, 0, 0});
    if (!fontMatrix.Finite() || !textToCanvas.Finite()) return;

    // Glyphs and advances, one glyph per character.
    std::size_t n = text.Text.size();
    std::vector<cairo_glyph_t> glyphs(n);
    std::vector<double> advances(n, 0), rises(n, 0);
    cairo_scaled_font_t* unitFont = nullptr;
    cairo_font_options_t* options = UnhintedOptions();
    if (face) {
        cairo_matrix_t unit, identity;
        cairo_matrix_init_scale(&unit, 1000, 1000);
        cairo_matrix_init_identity(&identity);
        unitFont = cairo_scaled_font_create(face->Face, &unit, &identity, options);
        FT_Face ft = cairo_ft_scaled_font_lock_face(unitFont);
        double upm = ft && ft->units_per_EM > 0 ? ft->units_per_EM : 1;
        for (std::size_t i = 0; i < n; ++i) {
            char32_t c = text.Text[i];
            FT_UInt index = 0;
            FT_Fixed advance = 0;
            if (ft) {
                index = FT_Get_Char_Index(ft, c);
                // Symbol fonts map their characters into the private-use area.
                if (index == 0 && c < 0x100) index = FT_Get_Char_Index(ft, 0xF000 + c);
                if (FT_Get_Advance(ft, index, FT_LOAD_NO_SCALE, &advance) != 0) advance = 0;
            }
            glyphs[i].index = index;
            advances[i] = advance / upm * em * xScale + state_.CharExtra;
        }
        if (ft) cairo_ft_scaled_font_unlock_face(unitFont);
    }
    if (text.Dx.size() >= n * (text.Options & ETO_PDY ? 2 : 1)) {
        for (std::size_t i = 0; i < n; ++i) {
            if (text.Options & ETO_PDY) {
                advances[i] = text.Dx[2 * i];
                rises[i] = text.Dx[2 * i + 1];
            } else {
                advances[i] = text.Dx[i];
            }
        }
    }
    double width = 0;
    for (double advance : advances) width += advance;

    double shiftX = 0, shiftY = 0;
    if ((state_.TextAlign & TA_HORZ_MASK) == TA_CENTER) {
        shiftX = -width / 2;
    } else if ((state_.TextAlign & TA_HORZ_MASK) == TA_RIGHT) {
        shiftX = -width;
    }
    if ((state_.TextAlign & TA_VERT_MASK) == TA_BASELINE) {
        shiftY = 0;
    } else if ((state_.TextAlign & TA_VERT_MASK) == TA_BOTTOM) {
        shiftY = -descent * em;
    } else {
        shiftY = ascent * em;
    }
    TPointD anchor = ToCanvas(reference.X, reference.Y);
    TPointD shift = textToCanvas.Apply(shiftX, shiftY);
    TPointD origin{anchor.X + shift.X, anchor.Y + shift.Y};
    auto at = [&](double along, double across) {
        TPointD d = textToCanvas.Apply(along, across);
        return TPointD{origin.X + d.X, origin.Y + d.Y};
    };

    ApplyClip();
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    auto fillQuad = [this](TPointD a, TPointD b, TPointD c, TPointD d) {
        cairo_new_path(cr_);
        cairo_move_to(cr_, a.X, a.Y);
        cairo_line_to(cr_, b.X, b.Y);
        cairo_line_to(cr_, c.X, c.Y);
        cairo_line_to(cr_, d.X, d.Y);
        cairo_close_path(cr_);
        cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        cairo_fill(cr_);
    };
    if (text.HasRect && (text.Options & ETO_OPAQUE)) {
        SetSourceColor(state_.BkColor);
        fillQuad(ToCanvas(text.RectLeft, text.RectTop), ToCanvas(text.RectRight, text.RectTop),
                 ToCanvas(text.RectRight, text.RectBottom), ToCanvas(text.RectLeft, text.RectBottom));
    }
    bool clipped = text.HasRect && (text.Options & ETO_CLIPPED);
    if (clipped) {
        cairo_save(cr_);
        TPointD a = ToCanvas(text.RectLeft, text.RectTop), b = ToCanvas(text.RectRight, text.RectTop),
                c = ToCanvas(text.RectRight, text.RectBottom), d = ToCanvas(text.RectLeft, text.RectBottom);
        cairo_new_path(cr_);
        cairo_move_to(cr_, a.X, a.Y);
        cairo_line_to(cr_, b.X, b.Y);
        cairo_line_to(cr_, c.X, c.Y);
        cairo_line_to(cr_, d.X, d.Y);
        cairo_close_path(cr_);
        cairo_clip(cr_);
    }
    if (state_.Opaque && n > 0) {
        SetSourceColor(state_.BkColor);
        fillQuad(at(0, -ascent * em), at(width, -ascent * em), at(width, descent * em), at(0, descent * em));
    }

    // Glyphs need a font matrix cairo can invert: not too large, not nearly flat.
    double canvasEm = std::sqrt(std::abs(fontMatrix.Determinant()));
    double largest =
        std::max({std::abs(fontMatrix.A), std::abs(fontMatrix.B), std::abs(fontMatrix.C), std::abs(fontMatrix.D)});
    // FreeType takes sizes up to 65535 pixels.
    bool drawable = std::isfinite(canvasEm) && canvasEm >= 0.05 && largest < 1e4 &&
                    std::abs(fontMatrix.Determinant()) > 1e-4 * largest * largest;
    if (unitFont && n > 0 && drawable) {
        double along = 0, across = 0;
        for (std::size_t i = 0; i < n; ++i) {
            TPointD p = at(along, across);
            glyphs[i].x = p.X;
            glyphs[i].y = p.Y;
            along += advances[i];
            across -= rises[i];
        }
        cairo_matrix_t matrix{fontMatrix.A, fontMatrix.B, fontMatrix.C, fontMatrix.D, 0, 0};
        cairo_matrix_t identity;
        cairo_matrix_init_identity(&identity);
        cairo_scaled_font_t* scaled = cairo_scaled_font_create(face->Face, &matrix, &identity, options);
        if (cairo_scaled_font_status(scaled) == CAIRO_STATUS_SUCCESS) {
            cairo_set_scaled_font(cr_, scaled);
            SetSourceColor(state_.TextColor);
            if (canvasEm > 256) {
                // Large glyphs as outlines, rather than as cached masks of that size.
                cairo_new_path(cr_);
                cairo_glyph_path(cr_, glyphs.data(), static_cast<int>(n));
                cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
                cairo_fill(cr_);
            } else {
                cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(n));
            }
        }
        cairo_scaled_font_destroy(scaled);
        SetSourceColor(state_.TextColor);
        if (font.Underline && face) {
            double y = face->UnderlinePosition * em, t = face->UnderlineThickness * em;
            fillQuad(at(0, y - t / 2), at(width, y - t / 2), at(width, y + t / 2), at(0, y + t / 2));
        }
        if (font.StrikeOut && face) {
            double y = -face->StrikeOutPosition * em, t = face->UnderlineThickness * em;
            fillQuad(at(0, y - t / 2), at(width, y - t / 2), at(width, y + t / 2), at(0, y + t / 2));
        }
    }
    if (clipped) cairo_restore(cr_);
    if (unitFont) cairo_scaled_font_destroy(unitFont);
    cairo_font_options_destroy(options);
    cairo_new_path(cr_);

    if (state_.TextAlign & TA_UPDATECP)
        state_.Position = {reference.X + width * std::cos(angle), reference.Y - width * std::sin(angle)};
}
