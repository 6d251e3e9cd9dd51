#include "driver/recording.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

std::string segment_path(const std::string &output, int64_t number)
{
    const size_t slash = output.rfind('/');
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = output.rfind('.');
    if (dot == std::string::npos || dot <= name_start)
        dot = output.size();  // no extension (a leading dot names a hidden file, not an extension)
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "-%04lld", static_cast<long long>(number));
    return output.substr(0, dot) + suffix + output.substr(dot);
}

int64_t frames_per_segment(double minutes, double fps)
{
    const double frames = std::round(minutes * 60.0 * fps);
    return frames < 1.0 ? 1 : static_cast<int64_t>(frames);
}

Recording::Recording(std::string output, int64_t frames_per_segment, int keep)
    : output_(std::move(output)), per_segment_(frames_per_segment), keep_(keep)
{
}

Recording::~Recording()
{
    close();
}

std::string Recording::first_path() const
{
    return per_segment_ > 0 ? segment_path(output_, 1) : output_;
}

std::string Recording::open(cv::Size size, double fps)
{
    size_ = size;
    fps_ = fps;
    segment_ = 0;
    return start_segment();
}

std::string Recording::start_segment()
{
    ++segment_;
    const std::string path = per_segment_ > 0 ? segment_path(output_, segment_) : output_;
    const std::string error = file_.open(path, size_, fps_);
    if (!error.empty())
        return error;
    files_.push_back(path);
    remove_old_segments();
    return {};
}

void Recording::remove_old_segments()
{
    // Only files this run wrote are counted or removed; the one being written always stays.
    while (keep_ > 0 && files_.size() > static_cast<size_t>(keep_)) {
        if (unlink(files_.front().c_str()) != 0 && errno != ENOENT)
            std::fprintf(stderr, "qv_demo: cannot remove old segment %s: %s\n", files_.front().c_str(),
                         std::strerror(errno));
        files_.pop_front();
    }
}

void Recording::write_jpeg(const uint8_t *data, size_t size)
{
    if (!file_.is_open() || failed())
        return;
    if (per_segment_ > 0 && file_.frames() >= per_segment_) {
        std::string error = file_.close();
        if (error.empty())
            error = start_segment();
        if (!error.empty()) {
            error_ = error;
            return;
        }
    }
    file_.write_jpeg(data, size);
}

std::string Recording::close()
{
    const bool empty_segment = file_.is_open() && segment_ > 1 && file_.frames() == 0;
    const std::string error = file_.close();
    if (empty_segment) {
        // A segment begun just before the disk filled holds nothing worth keeping.
        unlink(files_.back().c_str());
        files_.pop_back();
    }
    return error_.empty() ? error : error_;
}
