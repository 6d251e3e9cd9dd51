#pragma once
#include <string>

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

// Number of frames OpenCV can decode from a video file (-1 if it cannot be opened).
int count_readable_frames(const std::string &path);
