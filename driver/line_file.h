#pragma once
#include <cstdio>
#include <string>

// A text file written a line at a time and flushed after every line, so an
// interrupted run leaves every line written so far intact. A failed write is
// remembered and reported by close().
class LineFile {
public:
    // what names the file in messages ("JSON file", "event log").
    explicit LineFile(std::string what) : what_(std::move(what)) {}
    ~LineFile();
    LineFile(const LineFile &) = delete;
    LineFile &operator=(const LineFile &) = delete;

    // Opens (truncates) path. Returns an empty string, or why it failed.
    std::string open(const std::string &path);
    bool is_open() const { return file_ != nullptr; }

    // Appends line and a newline. Returns false once a write failed.
    bool write_line(const std::string &line);

    // Closes the file; returns an empty string, or why the data may not all be on disk.
    std::string close();

private:
    std::string what_;
    std::FILE *file_ = nullptr;
    std::string path_;
    bool failed_ = false;
    std::string error_;  // what the first failed write said
};
