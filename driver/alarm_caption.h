#pragma once
#include <cstdint>
#include <string>

#include <opencv2/core.hpp>

// Where the caption goes on a frame and how tall it is.
struct CaptionPlace {
    cv::Point origin;    // bottom-left of the first glyph
    int pixel_size = 40;
};

// The design place (1500, 135) at 40 px when a caption width_at_40 px wide
// fits there; otherwise the same place relative to a 1920x1080 frame, 40 px
// per 1080 rows (at least 12), moved left as far as needed to end inside.
CaptionPlace caption_place(cv::Size frame, int width_at_40);

// The caption to show on each frame when a caption stays up for hold_frames
// further frames after its own (0: its own frame only).
class CaptionHold {
public:
    explicit CaptionHold(int64_t hold_frames) : hold_frames_(hold_frames) {}
    // caption_gbk: this frame's caption, "" when it has no event.
    std::string pick(int64_t frame, const std::string &caption_gbk);

private:
    int64_t hold_frames_;
    std::string text_;
    int64_t until_ = -1;
};

// Draws the alarm caption onto frames. The font is looked up once; a fresh
// renderer is built for every frame that has a caption. When no font can be
// found or opened, one note goes to standard error and captions stay off for
// the rest of the run.
class AlarmCaption {
public:
    // font_path empty: find a font with Chinese glyphs through fontconfig.
    explicit AlarmCaption(const std::string &font_path);

    // Draws a GBK caption in red at caption_place(): (1500, 135) at 40 px on
    // frames it fits. An empty caption draws nothing and opens no font.
    void draw(cv::Mat &colour_frame, const std::string &caption_gbk);

    // False once captions have been turned off.
    bool enabled() const { return !disabled_; }

private:
    void disable(const std::string &reason);

    std::string font_path_;
    bool disabled_ = false;
};
