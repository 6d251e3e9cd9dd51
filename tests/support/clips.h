#pragma once
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// A scratch directory removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes an MJPG AVI of `frames` frames (a bright square moving over a grey
// background) at fps frames per second and returns its path.
std::string write_test_clip(const std::string &path, int frames, int width = 160, int height = 120,
                            double fps = 25.0);

// Number of lines in a text file (0 if it cannot be read).
int count_file_lines(const std::string &path);

// The lines of a text file without their newlines (none if it cannot be read).
std::vector<std::string> read_lines(const std::string &path);

// A file's bytes ("" if it cannot be read).
std::string read_file(const std::string &path);

// True when path names something on disk.
bool path_exists(const std::string &path);

// Number of frames OpenCV can decode from a video file (-1 if it cannot be opened).
int count_readable_frames(const std::string &path);

// Writes an MJPG AVI whose frame k carries the number k in a row of black and
// white blocks along its bottom (frames at least 150x60), and returns its path.
std::string write_numbered_clip(const std::string &path, int frames, int width = 160, int height = 120);

// Paints the number k (0..1023) into an 8-bit BGR frame the way numbered clips carry it.
void paint_frame_number(cv::Mat &frame, int k);

// The number a numbered frame carries (BGR or grey, as written or after drawing
// and JPEG compression).
int read_frame_number(const cv::Mat &frame);

// The numbers carried by every frame of a video file, in order.
std::vector<int> read_frame_numbers(const std::string &path);

// The numbers first, first+1 ... last.
std::vector<int> numbers_from(int first, int last);
