#include <gtest/gtest.h>

#include <clocale>

#include "driver/console_text.h"

TEST(ConsoleText, ConvertsTheRegionErrorToGbkBytes)
{
    // "区域设置有问题！！！" in code page 936.
    const std::string expected = "\xC7\xF8\xD3\xF2\xC9\xE8\xD6\xC3\xD3\xD0\xCE\xCA\xCC\xE2\xA3\xA1\xA3\xA1\xA3\xA1";
    EXPECT_EQ(utf8_to_gbk("区域设置有问题！！！"), expected);
    EXPECT_EQ(utf8_to_gbk("obj 7: "), "obj 7: ");
}

TEST(ConsoleText, FollowsTheLocaleCodeset)
{
    const std::string text = "区域设置有问题！！！";
    std::setlocale(LC_CTYPE, "C");
    EXPECT_FALSE(console_wants_gbk());
    EXPECT_EQ(console_text(text), text);
    EXPECT_THROW(utf8_to_gbk("\xF0\x9F\x98\x80"), std::runtime_error);  // no GBK form
}
