#include "graph/text_metrics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <unordered_map>

#include "platform/utf.h"

namespace trakvio {

namespace {

// Windows face names whose glyphs are Japanese: fontconfig is asked for a
// Japanese face when one of them is not installed.
constexpr std::string_view kJapaneseFaces[] = {"meiryo",     "ms gothic", "ms pgothic", "ms ui gothic", "ms mincho",
                                               "ms pmincho", "yu gothic", "yu mincho",  "biz ud",       "hiragino"};

bool IsJapaneseFace(std::string_view utf8) {
    std::string lower;
    for (char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;  // a face named in Japanese
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return std::any_of(std::begin(kJapaneseFaces), std::end(kJapaneseFaces),
                       [&](std::string_view prefix) { return lower.starts_with(prefix); });
}

// Ascent and descent in font units, as the platform's cell height uses them.
void CellUnits(FT_Face face, double& ascent, double& descent) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    } else {
        ascent = face->ascender;
        descent = -face->descender;
    }
    if (ascent + descent <= 0) {
        ascent = face->units_per_EM * 0.8;
        descent = face->units_per_EM * 0.2;
    }
}

// Pixels per em for a platform font height.
double PixelsPerEm(FT_Face face, int32_t height) {
    if (height < 0) return -static_cast<double>(height);
    double ascent, descent;
    CellUnits(face, ascent, descent);
    return std::max(1.0, height * static_cast<double>(face->units_per_EM) / (ascent + descent));
}

}  // namespace

struct TextMeasure::State {
    FcConfig* config = nullptr;  // our own, so nothing of it outlives the measure
    FT_Library library = nullptr;
    std::map<std::string, FT_Face> faces;    // by file and index
    std::map<FT_Face, int32_t> sizedHeight;  // height each face is set to
    FT_Face primary = nullptr;
    std::string faceName;  // UTF-8
    bool italic = false;
    bool japanese = false;
    int32_t height = 14;
    FontMetrics metrics;
    std::unordered_map<char32_t, int32_t> advances;
    std::unordered_map<char32_t, FT_Face> fallbacks;

    ~State() {
        for (auto& entry : faces) FT_Done_Face(entry.second);
        if (library != nullptr) FT_Done_FreeType(library);
        if (config != nullptr) FcConfigDestroy(config);
    }

    FT_Face Open(const std::string& file, int index) {
        const std::string key = file + '#' + std::to_string(index);
        if (auto it = faces.find(key); it != faces.end()) return it->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library, file.c_str(), index, &face) != 0) face = nullptr;
        faces[key] = face;
        return face;
    }

    // The face fontconfig picks for the current name, holding c when c is
    // not 0.
    FT_Face Match(char32_t c) {
        FcPattern* pattern = FcPatternCreate();
        if (pattern == nullptr) return nullptr;
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
        FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        if (japanese) FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
        if (c != 0) {
            FcCharSet* set = FcCharSetCreate();
            FcCharSetAddChar(set, c);
            FcPatternAddCharSet(pattern, FC_CHARSET, set);
            FcCharSetDestroy(set);
        }
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        FcPatternDestroy(pattern);
        if (match == nullptr) return nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        FT_Face face = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            face = Open(reinterpret_cast<const char*>(file), index);
        }
        FcPatternDestroy(match);
        return face;
    }

    void Size(FT_Face face) {
        auto it = sizedHeight.find(face);
        if (it != sizedHeight.end() && it->second == height) return;
        FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(PixelsPerEm(face, height) * 64)), 72, 72);
        sizedHeight[face] = height;
    }

    int32_t Advance(char32_t c) {
        if (auto it = advances.find(c); it != advances.end()) return it->second;
        int32_t advance = 0;
        if (c >= 0x20 && c != 0x7F) {
            FT_Face face = primary;
            FT_UInt glyph = FT_Get_Char_Index(face, c);
            if (glyph == 0) {
                auto fallback = fallbacks.find(c);
                FT_Face other = fallback != fallbacks.end() ? fallback->second : (fallbacks[c] = Match(c));
                if (other != nullptr && FT_Get_Char_Index(other, c) != 0) {
                    face = other;
                    glyph = FT_Get_Char_Index(other, c);
                }
            }
            Size(face);
            if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) == 0) {
                advance = static_cast<int32_t>((face->glyph->advance.x + 32) >> 6);
            }
        }
        advances[c] = advance;
        return advance;
    }
};

TextMeasure::TextMeasure() : state_(std::make_unique<State>()) {
    state_->config = FcInitLoadConfigAndFonts();
    if (state_->config == nullptr || FT_Init_FreeType(&state_->library) != 0) state_->library = nullptr;
}

TextMeasure::~TextMeasure() = default;

int TextMeasure::SelectFont(std::u16string_view face, int32_t height, bool italic) {
    State& s = *state_;
    std::string name = Utf16ToUtf8(face);
    if (height == 0) height = 12;  // the platform's default size stands for 0
    if (s.primary != nullptr && name == s.faceName && height == s.height && italic == s.italic) return 0;
    const bool sameFace = s.primary != nullptr && name == s.faceName && italic == s.italic;
    s.faceName = std::move(name);
    s.italic = italic;
    s.height = height;
    s.advances.clear();
    if (!sameFace) {
        s.fallbacks.clear();
        s.japanese = IsJapaneseFace(s.faceName);
        s.primary = s.library != nullptr ? s.Match(0) : nullptr;
    }
    const int32_t cell = std::abs(height);
    if (s.primary == nullptr) {
        s.metrics.ascent = static_cast<int32_t>(std::lround(cell * 0.8));
        s.metrics.descent = cell - s.metrics.ascent;
        return 1;
    }
    double ascent, descent;
    CellUnits(s.primary, ascent, descent);
    const double scale = PixelsPerEm(s.primary, height) / s.primary->units_per_EM;
    s.metrics.ascent = static_cast<int32_t>(std::lround(ascent * scale));
    s.metrics.descent = static_cast<int32_t>(std::lround(descent * scale));
    s.Size(s.primary);
    return 0;
}

FontMetrics TextMeasure::Metrics() const { return state_->metrics; }

int32_t TextMeasure::TextWidth(std::string_view utf8) {
    State& s = *state_;
    const std::u16string text = Utf8ToUtf16(utf8);
    int32_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (s.primary == nullptr) {
            width += std::abs(s.height) / 2;
        } else {
            width += s.Advance(c);
        }
    }
    return width;
}

}  // namespace trakvio
