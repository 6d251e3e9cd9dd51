#pragma once
#include <string>

#include <opencv2/core.hpp>

// Draws the alarm caption onto frames. The font is looked up once; a fresh
// renderer is built for every frame that has a caption. When no font can be
// found or opened, one note goes to standard error and captions stay off for
// the rest of the run.
class AlarmCaption {
public:
    // font_path empty: find a font with Chinese glyphs through fontconfig.
    explicit AlarmCaption(const std::string &font_path);

    // Draws a GBK caption with its bottom-left corner at (1500, 135) in red.
    // An empty caption draws nothing and opens no font.
    void draw(cv::Mat &colour_frame, const std::string &caption_gbk);

    // False once captions have been turned off.
    bool enabled() const { return !disabled_; }

private:
    void disable(const std::string &reason);

    std::string font_path_;
    bool disabled_ = false;
};
