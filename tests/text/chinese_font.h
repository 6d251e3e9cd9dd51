#pragma once
#include <string>

#include <gtest/gtest.h>

#include "overlay/font_lookup.h"

// Finds the caption font the way the program does; tests that draw real glyphs
// are skipped, saying why, on machines without a Chinese font.
class WithChineseFont : public ::testing::Test {
protected:
    void SetUp() override
    {
        static const FontMatch match = find_chinese_font();
        if (match.path.empty())
            GTEST_SKIP() << "no Chinese font installed: " << match.reason;
        font_path = match.path;
    }

    std::string font_path;
};
