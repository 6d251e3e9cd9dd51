#pragma once
#include <string>

// A library's error text as one line for stderr: OpenCV's exceptions, for one, end in a
// newline and can span several lines. Line breaks become "; ", trailing ones are dropped.
std::string one_line(const std::string &text);
