#pragma once
#include <string>

// Checks, without creating or changing anything, that path can be created or
// overwritten as a file. regular_only also refuses devices and pipes (the
// video writer cannot report write errors on them). what names the file in
// the message ("output video"). Returns "" or "cannot create <what> <path>: why".
std::string check_file_target(const std::string &path, const std::string &what, bool regular_only);

// The same for a folder that files will be written into: it exists and is
// writable, or it can be made in its parent folder.
std::string check_folder_target(const std::string &path, const std::string &what);
