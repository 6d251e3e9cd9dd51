#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "detector/quorvane.h"

// Writes one JSON line per processed frame. The file is flushed after every
// line, so an interrupted run leaves every line written so far intact.
class FrameLog {
public:
    FrameLog() = default;
    ~FrameLog();
    FrameLog(const FrameLog &) = delete;
    FrameLog &operator=(const FrameLog &) = delete;

    // Opens (truncates) path. Returns an empty string, or why it failed.
    std::string open(const std::string &path);
    bool is_open() const { return file_ != nullptr; }

    // Appends the line for processed frame k. Returns false once a write failed.
    bool write(int64_t frame, int32_t detect_us, const qv_result &result, int region_count);

    // Closes the file; returns an empty string, or why the data may not all be on disk.
    std::string close();

private:
    std::FILE *file_ = nullptr;
    std::string path_;
    bool failed_ = false;
    std::string error_;  // what the first failed write said
};

// The JSON line (without its newline) for one frame.
std::string frame_json(int64_t frame, int32_t detect_us, const qv_result &result, int region_count);
