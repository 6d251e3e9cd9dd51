#include "driver/output_check.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string parent_of(const std::string &path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : trimmed.substr(0, slash);
}

// Whether a new entry can be made in the folder holding path.
std::string creatable(const std::string &path)
{
    const std::string parent = parent_of(path);
    struct stat st;
    if (stat(parent.c_str(), &st) != 0)
        return std::string("folder ") + parent + ": " + std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return parent + " is not a folder";
    if (access(parent.c_str(), W_OK | X_OK) != 0)
        return std::string("folder ") + parent + ": " + std::strerror(errno);
    return {};
}

// Looks path up. False when it is missing or cannot be looked at; why then says
// what stops it being made ("" when it can be).
bool look_up(const std::string &path, struct stat &st, std::string &why)
{
    why.clear();
    if (stat(path.c_str(), &st) == 0)
        return true;
    why = errno == ENOENT ? creatable(path) : std::string(std::strerror(errno));
    return false;
}

} // namespace

std::string check_file_target(const std::string &path, const std::string &what, bool regular_only)
{
    const std::string prefix = "cannot create " + what + " " + path + ": ";
    struct stat st;
    std::string why;
    if (path.empty())
        return prefix + "empty path";
    if (!look_up(path, st, why))
        return why.empty() ? std::string() : prefix + why;
    if (S_ISDIR(st.st_mode))
        return prefix + "it is a folder";
    if (regular_only && !S_ISREG(st.st_mode))
        return prefix + "not a regular file";
    if (access(path.c_str(), W_OK) != 0)
        return prefix + std::strerror(errno);
    return {};
}

std::string check_folder_target(const std::string &path, const std::string &what)
{
    const std::string prefix = "cannot use " + what + " " + path + ": ";
    struct stat st;
    std::string why;
    if (path.empty())
        return prefix + "empty path";
    if (!look_up(path, st, why))
        return why.empty() ? std::string() : prefix + why;
    if (!S_ISDIR(st.st_mode))
        return prefix + "not a folder";
    if (access(path.c_str(), W_OK | X_OK) != 0)
        return prefix + std::strerror(errno);
    return {};
}
