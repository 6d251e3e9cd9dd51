// Damaged font files: missing, empty, truncated, random and byte-flipped. The
// renderer must either open them or throw its own error naming the file; the
// caption must never crash on them, say why once and leave the frames alone.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "driver/alarm_caption.h"
#include "driver/console_text.h"
#include "overlay/cvx_text.h"
#include "tests/badfont/font_damage.h"
#include "tests/text/chinese_font.h"

namespace fs = std::filesystem;

namespace {

// Every caption the program can show, so that damage to their glyphs is met.
const char *const kCaptions = " 有目标闯入禁区离开越线徘徊遗留物品 ABC123";

struct Tally {
    int tried = 0;
    int opened = 0;
};

int count_of(const std::string &haystack, const std::string &needle)
{
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
        ++n;
    return n;
}

class BadFont : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(::testing::TempDir()) / "qv-badfont-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        gbk_ = utf8_to_gbk(kCaptions);
    }
    void TearDown() override
    {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    std::string path(const std::string &name) const { return (fs::path(dir_) / name).string(); }

    // The renderer opens the file or throws CvxTextError naming it; the caption
    // then behaves accordingly. Returns whether the font opened.
    bool check(const std::string &font, const std::string &what)
    {
        SCOPED_TRACE(what);
        ++tally_.tried;
        bool opened = false;
        std::string error;
        try {
            CvxText text(font);
            opened = true;
            cv::Mat image(64, 400, CV_8UC3, cv::Scalar::all(90));
            const cv::Scalar size(40.0, 0.5, 0.1, 0.0);
            text.setStyle(nullptr, &size, nullptr, nullptr);
            EXPECT_EQ(text.drawText(&image, gbk_.c_str(), cv::Point(2, 50), cv::Scalar(10, 10, 255)),
                      static_cast<int>(gbk_.size()));
        } catch (const CvxTextError &e) {
            error = e.what();
            EXPECT_NE(error.find(font), std::string::npos) << error;
            EXPECT_NE(error.find("failed"), std::string::npos) << error;
        } catch (const std::exception &e) {
            ADD_FAILURE() << "unexpected exception type: " << e.what();
        }
        tally_.opened += opened ? 1 : 0;

        AlarmCaption caption(font);
        cv::Mat frame(160, 1920, CV_8UC3, cv::Scalar::all(90));
        ::testing::internal::CaptureStderr();
        caption.draw(frame, gbk_);
        const cv::Mat after_first = frame.clone();
        caption.draw(frame, gbk_);
        caption.draw(frame, gbk_);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(caption.enabled(), opened);
        if (opened) {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_EQ(count_of(said, "\n"), 1) << said;
            EXPECT_EQ(count_of(said, "alarm captions are off"), 1) << said;
            EXPECT_NE(said.find(error), std::string::npos) << said;
            EXPECT_EQ(cv::norm(frame, cv::Mat(160, 1920, CV_8UC3, cv::Scalar::all(90)), cv::NORM_INF), 0.0);
        }
        EXPECT_EQ(cv::norm(frame, after_first, cv::NORM_INF), 0.0); // opaque: drawing again changes nothing
        return opened;
    }

    void report(const char *kind) const
    {
        std::printf("[ badfont  ] %s: %d tried, %d opened, %d refused\n", kind, tally_.tried, tally_.opened,
                    tally_.tried - tally_.opened);
    }

    std::string dir_;
    std::string gbk_;
    Tally tally_;
};

// Damage to the real Chinese font the program would use.
class BadRealFont : public BadFont {
protected:
    void SetUp() override
    {
        BadFont::SetUp();
        const FontMatch match = find_chinese_font();
        if (match.path.empty())
            GTEST_SKIP() << "no Chinese font installed: " << match.reason;
        real_ = read_file(match.path);
        ASSERT_GT(real_.size(), 4096u);
    }

    std::vector<unsigned char> real_;
};

} // namespace

TEST_F(BadFont, MissingPathDirectoryAndEmptyFileAreRefused)
{
    EXPECT_FALSE(check(path("no-such-font.ttf"), "missing"));
    EXPECT_FALSE(check(dir_, "a directory"));
    write_file(path("empty.ttf"), {});
    EXPECT_FALSE(check(path("empty.ttf"), "empty"));
    report("missing, directory, empty");
}

TEST_F(BadFont, RandomBytesNeverCrash)
{
    std::mt19937 rng(20261208);
    // Bare noise, and noise behind each signature FreeType recognises, to get past its first checks.
    const std::vector<std::string> heads = {"", "ttcf", std::string("\0\1\0\0", 4), "OTTO", "true", "wOFF",
                                            "%!PS-AdobeFont-1.0", std::string("\x80\x01", 2), "STARTFONT 2.1\n"};
    const size_t sizes[] = {1, 12, 100, 4096, 65536};
    int n = 0;
    for (const std::string &head : heads)
        for (size_t size : sizes) {
            std::vector<unsigned char> bytes(std::max(size, head.size()));
            for (unsigned char &b : bytes)
                b = static_cast<unsigned char>(rng());
            std::copy(head.begin(), head.end(), bytes.begin());
            const std::string name = path("random" + std::to_string(n++));
            write_file(name, bytes);
            check(name, "random " + std::to_string(size) + " bytes after '" + head + "'");
        }
    report("random bytes");
}

TEST_F(BadRealFont, TruncatedCopiesNeverCrash)
{
    const size_t size = real_.size();
    const std::vector<FontTable> tables = font_tables(real_);
    // Fixed cut points, plus one inside each table FreeType reads while opening.
    std::vector<size_t> cuts = {1, 4, 11, 16, 100, 1000, 4096, 65536, 1 << 20, size / 2, size - size / 10, size - 1};
    for (const FontTable &t : tables)
        if (t.tag != "glyf")
            cuts.push_back(t.offset + t.length / 2);
    std::sort(cuts.rbegin(), cuts.rend());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

    const std::string name = path("truncated.ttc");
    write_file(name, real_);
    for (size_t cut : cuts) {
        ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(cut)), 0); // largest first: one copy serves all
        check(name, "cut at " + std::to_string(cut));
    }
    EXPECT_GE(tally_.tried, 20);
    report("truncated");
}

TEST_F(BadRealFont, ByteFlippedCopiesNeverCrash)
{
    const std::vector<FontTable> tables = font_tables(real_);
    ASSERT_GE(tables.size(), 10u);
    const std::string name = path("flipped.ttc");
    write_file(name, real_);

    // Where the caption's own glyphs lie, so that some damage hits what is drawn.
    std::vector<std::pair<size_t, size_t>> glyph_spans; // (offset, length) in the file
    std::vector<size_t> loca_entries;
    {
        FT_Library library = nullptr;
        FT_Face face = nullptr;
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        ASSERT_EQ(FT_New_Face(library, name.c_str(), 0, &face), 0);
        const FontTable *head = nullptr, *loca = nullptr, *glyf = nullptr;
        for (const FontTable &t : tables) {
            if (t.tag == "head")
                head = &t;
            if (t.tag == "loca")
                loca = &t;
            if (t.tag == "glyf")
                glyf = &t;
        }
        ASSERT_TRUE(head && loca && glyf);
        const bool long_offsets = real_[head->offset + 51] != 0;
        const auto offset_of = [&](size_t glyph) -> size_t {
            const size_t at = loca->offset + glyph * (long_offsets ? 4 : 2);
            if (long_offsets)
                return size_t{real_[at]} << 24 | size_t{real_[at + 1]} << 16 | size_t{real_[at + 2]} << 8 | real_[at + 3];
            return (size_t{real_[at]} << 8 | real_[at + 1]) * 2;
        };
        for (char32_t c : std::u32string(U"有目标闯入禁区离开越线徘徊遗留物品A1")) {
            const size_t glyph = FT_Get_Char_Index(face, c);
            ASSERT_NE(glyph, 0u);
            const size_t from = offset_of(glyph), to = offset_of(glyph + 1);
            loca_entries.push_back(loca->offset + glyph * (long_offsets ? 4 : 2));
            if (to > from)
                glyph_spans.emplace_back(glyf->offset + from, to - from);
        }
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
    ASSERT_FALSE(glyph_spans.empty());

    const int fd = open(name.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::mt19937 rng(6);
    for (int variant = 0; variant < 50; ++variant) {
        std::vector<size_t> spots;
        const int flips = 1 + static_cast<int>(rng() % 3);
        for (int f = 0; f < flips; ++f) {
            size_t at = 0;
            switch (variant % 4) {
            case 0: { // directories and the tables read on opening
                const FontTable &t = tables[rng() % tables.size()];
                at = t.tag == "glyf" ? t.offset : t.offset + rng() % t.length;
                break;
            }
            case 1: // where a drawn glyph starts
                at = loca_entries[rng() % loca_entries.size()] + rng() % 4;
                break;
            default: { // inside a drawn glyph's outline
                const auto &span = glyph_spans[rng() % glyph_spans.size()];
                at = span.first + rng() % span.second;
                break;
            }
            }
            spots.push_back(at);
        }
        std::map<size_t, unsigned char> damaged; // spot -> byte now in the file
        for (size_t at : spots) {
            const auto now = damaged.find(at);
            const unsigned char b = (now != damaged.end() ? now->second : real_[at]) ^ static_cast<unsigned char>(1 + rng() % 255);
            damaged[at] = b;
            ASSERT_EQ(pwrite(fd, &b, 1, static_cast<off_t>(at)), 1);
        }
        std::string where;
        for (const auto &spot : damaged)
            where += " " + std::to_string(spot.first);
        check(name, "variant " + std::to_string(variant) + ", damaged at" + where);
        for (const auto &spot : damaged) // undo before the next variant
            ASSERT_EQ(pwrite(fd, &real_[spot.first], 1, static_cast<off_t>(spot.first)), 1);
    }
    close(fd);
    EXPECT_EQ(tally_.tried, 50);
    report("byte-flipped");
}
