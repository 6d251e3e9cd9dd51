#pragma once
#include <string>

// The outcome of looking for a font: its file, or why none was taken.
struct FontMatch {
    std::string path;   // empty when no usable font was found
    std::string reason; // why, when path is empty
};

// Asks fontconfig for "SimHei" in language zh-cn and takes the match only if
// it really has Chinese glyphs (it must cover U+7981). On systems without such
// a font fontconfig falls back to some Latin face, which is refused here.
FontMatch find_chinese_font();
