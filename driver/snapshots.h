#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// One JPEG of the drawn frame per frame with events, named after the processed
// frame: <folder>/000123.jpg.
class Snapshots {
public:
    // Makes the folder if it is missing. Returns "" or why it cannot be used.
    std::string open(const std::string &folder);
    bool is_open() const { return !folder_.empty(); }

    // Writes frame k and returns its path, or "" when it could not be written
    // (the first such failure is kept for error()).
    std::string save(int64_t frame, const cv::Mat &image);

    // "" or the first failure, naming the file.
    const std::string &error() const { return error_; }

    // The JPEG bytes of the last picture save() made (empty if it could not be made).
    const std::vector<uint8_t> &last_picture() const { return picture_; }

private:
    std::string folder_;
    std::vector<uint8_t> picture_;
    std::string error_;
};
