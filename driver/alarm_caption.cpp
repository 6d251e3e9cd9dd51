#include "driver/alarm_caption.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "overlay/cvx_text.h"
#include "overlay/font_lookup.h"

AlarmCaption::AlarmCaption(const std::string &font_path) : font_path_(font_path)
{
    if (font_path_.empty()) {
        const FontMatch match = find_chinese_font();
        if (match.path.empty())
            disable(match.reason);
        font_path_ = match.path;
    }
}

void AlarmCaption::disable(const std::string &reason)
{
    if (!disabled_)
        std::fprintf(stderr, "qv_demo: alarm captions are off: %s\n", reason.c_str());
    disabled_ = true;
}

CaptionPlace caption_place(cv::Size frame, int width_at_40)
{
    if (frame.height >= 135 && 1500 + width_at_40 <= frame.width)
        return {cv::Point(1500, 135), 40};
    CaptionPlace place;
    place.pixel_size = std::max(12, static_cast<int>(std::lround(40.0 * frame.height / 1080.0)));
    const int width = static_cast<int>(std::lround(static_cast<double>(width_at_40) * place.pixel_size / 40.0));
    const int x = static_cast<int>(std::lround(frame.width * 1500.0 / 1920.0));
    const int y = static_cast<int>(std::lround(frame.height * 135.0 / 1080.0));
    place.origin = cv::Point(std::max(0, std::min(x, frame.width - width)), std::max(y, place.pixel_size));
    return place;
}

std::string CaptionHold::pick(int64_t frame, const std::string &caption_gbk)
{
    if (!caption_gbk.empty()) {
        text_ = caption_gbk;
        until_ = frame + hold_frames_;
        return caption_gbk;
    }
    return frame <= until_ ? text_ : std::string();
}

namespace {

// How far the pen moves over text in the renderer's current style.
int text_advance(CvxText &text, const std::string &gbk)
{
    std::vector<std::uint16_t> codes;
    decode_gbk(gbk.c_str(), codes);
    cv::Mat scratch(1, 1, CV_8UC3);
    cv::Point pen(0, 0);
    for (const std::uint16_t code : codes)
        text.drawGlyph(scratch, code, pen, cv::Scalar());
    return pen.x;
}

} // namespace

void AlarmCaption::draw(cv::Mat &colour_frame, const std::string &caption_gbk)
{
    if (disabled_ || caption_gbk.empty())
        return;
    try {
        // A renderer per captioned frame: frames without events never touch the font.
        CvxText text(font_path_);
        cv::Scalar size(40.0, 0.5, 0.1, 0.0);
        const float opacity = 1.0f;
        text.setStyle(nullptr, &size, nullptr, &opacity);
        const CaptionPlace place = caption_place(colour_frame.size(), text_advance(text, caption_gbk));
        if (place.pixel_size != 40) {
            size[0] = place.pixel_size;
            text.setStyle(nullptr, &size, nullptr, nullptr);
        }
        text.drawText(&colour_frame, caption_gbk.c_str(), place.origin, cv::Scalar(10, 10, 255, 0));
    } catch (const CvxTextError &error) {
        disable(error.what());
    }
}
