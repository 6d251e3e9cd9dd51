#include "driver/error_text.h"

std::string one_line(const std::string &text)
{
    std::string out;
    bool line_break = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            line_break = !out.empty();
            continue;
        }
        if (line_break)
            out += "; ";
        line_break = false;
        out += c;
    }
    return out;
}
