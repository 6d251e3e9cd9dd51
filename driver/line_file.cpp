#include "driver/line_file.h"

#include <cerrno>
#include <cstring>

LineFile::~LineFile()
{
    close();
}

std::string LineFile::open(const std::string &path)
{
    close();
    path_ = path;
    failed_ = false;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr)
        return "cannot create " + what_ + " " + path + ": " + std::strerror(errno);
    return {};
}

bool LineFile::write_line(const std::string &line)
{
    if (file_ == nullptr || failed_)
        return false;
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fputc('\n', file_) == EOF ||
        std::fflush(file_) != 0) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    return !failed_;
}

std::string LineFile::close()
{
    if (file_ == nullptr)
        return {};
    if (std::fclose(file_) != 0 && !failed_) {
        failed_ = true;
        error_ = std::strerror(errno);
    }
    file_ = nullptr;
    if (failed_)
        return "cannot write " + what_ + " " + path_ + ": " + error_;
    return {};
}
