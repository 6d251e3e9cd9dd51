#include "overlay/font_lookup.h"

#include <fontconfig/fontconfig.h>

namespace {

// Any Chinese font has it; a Latin fallback does not.
const FcChar32 kProbeCharacter = 0x7981;

} // namespace

FontMatch find_chinese_font()
{
    FontMatch match;
    FcConfig *config = FcInitLoadConfigAndFonts();
    if (config == nullptr) {
        match.reason = "fontconfig could not load its configuration";
        return match;
    }
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("SimHei:lang=zh-cn"));
    if (pattern == nullptr) {
        FcConfigDestroy(config);
        match.reason = "fontconfig could not build the font query";
        return match;
    }
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *font = FcFontMatch(config, pattern, &result);
    if (font == nullptr) {
        match.reason = "fontconfig knows no fonts at all";
    } else {
        FcChar8 *file = nullptr;
        FcCharSet *charset = nullptr;
        if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
            match.reason = "fontconfig's match for SimHei has no file";
        } else if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
                   !FcCharSetHasChar(charset, kProbeCharacter)) {
            match.reason = std::string("no font with Chinese glyphs is installed (fontconfig offered ") +
                           reinterpret_cast<const char *>(file) + ", which has none); install one such as " +
                           "fonts-wqy-zenhei or pass --font PATH";
        } else {
            match.path = reinterpret_cast<const char *>(file);
        }
        FcPatternDestroy(font);
    }
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return match;
}
