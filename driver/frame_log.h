#pragma once
#include <cstdint>
#include <string>

#include "detector/quorvane.h"
#include "driver/line_file.h"

// Writes one JSON line per processed frame. The file is flushed after every
// line, so an interrupted run leaves every line written so far intact.
class FrameLog {
public:
    // Opens (truncates) path. Returns an empty string, or why it failed.
    std::string open(const std::string &path) { return file_.open(path); }
    bool is_open() const { return file_.is_open(); }

    // Appends the line for processed frame k. Returns false once a write failed.
    bool write(int64_t frame, int32_t detect_us, const qv_result &result, int region_count);

    // Closes the file; returns an empty string, or why the data may not all be on disk.
    std::string close() { return file_.close(); }

private:
    LineFile file_{"JSON file"};
};

// The JSON line (without its newline) for one frame.
std::string frame_json(int64_t frame, int32_t detect_us, const qv_result &result, int region_count);
