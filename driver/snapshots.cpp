#include "driver/snapshots.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include <opencv2/imgcodecs.hpp>

std::string Snapshots::open(const std::string &folder)
{
    folder_.clear();
    error_.clear();
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
        return "cannot create snapshot folder " + folder + ": " + std::strerror(errno);
    folder_ = folder;
    while (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    return {};
}

std::string Snapshots::save(int64_t frame, const cv::Mat &image)
{
    if (folder_.empty())
        return {};
    char name[32];
    std::snprintf(name, sizeof name, "/%06lld.jpg", static_cast<long long>(frame));
    const std::string path = folder_ + name;
    // Encoded once: the same bytes go to the file and, with --mqtt, to the broker.
    picture_.clear();
    try {
        if (!cv::imencode(".jpg", image, picture_))
            picture_.clear();
    } catch (const cv::Exception &) {
        picture_.clear();
    }
    bool written = false;
    if (!picture_.empty()) {
        std::FILE *file = std::fopen(path.c_str(), "wb");
        if (file != nullptr) {
            written = std::fwrite(picture_.data(), 1, picture_.size(), file) == picture_.size();
            written = std::fclose(file) == 0 && written;
        }
    }
    if (written)
        return path;
    if (error_.empty())
        error_ = "cannot write snapshot " + path;
    return {};
}
