#include "driver/alarm_caption.h"

// Placeholder until the text renderer lands.
AlarmCaption::AlarmCaption(const std::string &font_path) : font_path_(font_path) {}

void AlarmCaption::draw(cv::Mat &, const std::string &) {}
