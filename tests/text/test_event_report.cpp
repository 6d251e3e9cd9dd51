// The console lines and the caption chosen from a frame's events.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/console_text.h"
#include "driver/event_report.h"
#include "overlay/cvx_text.h"

namespace {

struct Report {
    std::string lines;
    std::string caption;
};

// Runs the report with its console output captured.
Report report(const qv_result &result, int region_count)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    std::FILE *out = open_memstream(&buffer, &size);
    Report r;
    r.caption = report_events(result, region_count, out);
    std::fclose(out);
    r.lines.assign(buffer, size);
    std::free(buffer);
    return r;
}

// A zeroed result on the heap, exactly sized, so that reads past it are caught by the sanitizer build.
std::unique_ptr<qv_result> result_with(int count)
{
    auto result = std::make_unique<qv_result>();
    result->count = count;
    for (int i = 0; i < QV_MAX_OBJECTS; ++i)
        result->objects[i].id = 100 + i;
    return result;
}

std::u16string decoded(const std::string &gbk)
{
    std::vector<std::uint16_t> codes;
    decode_gbk(gbk.c_str(), codes);
    return std::u16string(codes.begin(), codes.end());
}

class EventReport : public ::testing::Test {
protected:
    // The console's encoding follows the locale; these tests read UTF-8 lines.
    void SetUp() override { std::setlocale(LC_CTYPE, "C"); }
};

} // namespace

TEST_F(EventReport, EveryEventHasItsLineAndItsCaption)
{
    struct Expected {
        const char *line;
        std::u16string caption;
    };
    const Expected table[] = {
        {"obj 100: 进入禁区\n", u" 有目标闯入禁区 "},
        {"obj 100: 离开禁区\n", u" 有目标离开禁区 "},
        {"obj 100: 单向越界\n", u" 有目标单向越界 "},
        {"obj 100: 双向越界\n", u" 有目标越界 "},
        {"obj 100: 徘徊\n", u" 有目标在禁区内徘徊 "},
        {"obj 100: 丢包\n", u" 丢包 "},
    };
    for (int code = 1; code <= 6; ++code) {
        auto result = result_with(1);
        result->objects[0].region_event[0] = code;
        const Report r = report(*result, 1);
        EXPECT_EQ(r.lines, table[code - 1].line);
        EXPECT_EQ(decoded(r.caption), table[code - 1].caption) << "event " << code;
    }
}

TEST_F(EventReport, EveryEventPrintsAndTheLastOneGivesTheCaption)
{
    auto result = result_with(3);
    result->objects[0].region_event[0] = QV_EVENT_ENTER;
    result->objects[2].region_event[0] = QV_EVENT_LEFT_OBJECT;
    const Report r = report(*result, 1);
    EXPECT_EQ(r.lines, "obj 100: 进入禁区\nobj 102: 丢包\n");
    EXPECT_EQ(r.caption, utf8_to_gbk(" 丢包 "));

    // Within an object the regions go in order too.
    auto two = result_with(1);
    two->objects[0].region_event[0] = QV_EVENT_LOITER;
    two->objects[0].region_event[1] = QV_EVENT_LEAVE;
    const Report r2 = report(*two, 2);
    EXPECT_EQ(r2.lines, "obj 100: 徘徊\nobj 100: 离开禁区\n");
    EXPECT_EQ(r2.caption, utf8_to_gbk(" 有目标离开禁区 "));
}

TEST_F(EventReport, CodesOutsideOneToSixAreIgnored)
{
    auto result = result_with(4);
    result->objects[0].region_event[0] = 7;
    result->objects[1].region_event[0] = -1;
    result->objects[2].region_event[0] = 1000;
    result->objects[3].region_event[0] = QV_EVENT_NONE;
    const Report r = report(*result, 1);
    EXPECT_EQ(r.lines, "");
    EXPECT_EQ(r.caption, "");

    result->objects[1].region_event[0] = QV_EVENT_ENTER; // a caption set earlier is not cleared by a 7
    EXPECT_EQ(report(*result, 1).caption, utf8_to_gbk(" 有目标闯入禁区 "));
}

TEST_F(EventReport, OnlyInstalledRegionsAndValidObjectsAreRead)
{
    auto result = result_with(1);
    for (int r = 1; r < QV_MAX_REGIONS; ++r)
        result->objects[0].region_event[r] = QV_EVENT_ENTER;
    result->objects[1].region_event[0] = QV_EVENT_ENTER; // beyond count
    EXPECT_EQ(report(*result, 1).lines, "");
    EXPECT_EQ(report(*result, 0).lines, "");
}

TEST_F(EventReport, RegionFlagDoesNotMatter)
{
    auto result = result_with(1);
    result->objects[0].region_flag[0] = 0;
    result->objects[0].region_event[0] = QV_EVENT_ENTER;
    EXPECT_EQ(report(*result, 1).lines, "obj 100: 进入禁区\n");
}

TEST_F(EventReport, CountsBeyondTheRecordsAreClamped)
{
    auto result = result_with(1000);
    result->objects[QV_MAX_OBJECTS - 1].region_event[QV_MAX_REGIONS - 1] = QV_EVENT_LEFT_OBJECT;
    const Report r = report(*result, 50);
    EXPECT_EQ(r.lines, "obj 199: 丢包\n");

    result->count = -3;
    EXPECT_EQ(report(*result, 1).lines, "");
    result->count = 1;
    result->objects[0].region_event[0] = QV_EVENT_ENTER;
    EXPECT_EQ(report(*result, -2).lines, "");
}

