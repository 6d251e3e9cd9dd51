#include "driver/alarm_caption.h"

#include <cstdio>

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

void AlarmCaption::draw(cv::Mat &colour_frame, const std::string &caption_gbk)
{
    if (disabled_ || caption_gbk.empty())
        return;
    try {
        // A renderer per captioned frame: frames without events never touch the font.
        CvxText text(font_path_);
        const cv::Scalar size(40.0, 0.5, 0.1, 0.0);
        const float opacity = 1.0f;
        text.setStyle(nullptr, &size, nullptr, &opacity);
        text.drawText(&colour_frame, caption_gbk.c_str(), cv::Point(1500, 135), cv::Scalar(10, 10, 255, 0));
    } catch (const CvxTextError &error) {
        disable(error.what());
    }
}
