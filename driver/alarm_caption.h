#pragma once
#include <string>

#include <opencv2/core.hpp>

// Draws the alarm caption onto frames. The font is looked up once; a fresh
// renderer is built for every frame that has a caption.
class AlarmCaption {
public:
    // font_path empty: find a font with Chinese glyphs through fontconfig.
    explicit AlarmCaption(const std::string &font_path);

    // Draws a GBK caption at the fixed caption place.
    void draw(cv::Mat &colour_frame, const std::string &caption_gbk);

private:
    std::string font_path_;
};
