#pragma once
#include <string>

// True when the current LC_CTYPE codeset is GBK, GB18030 or CP936.
bool console_wants_gbk();

// Converts UTF-8 text to what the console expects: GBK bytes on a GBK-family
// locale, the UTF-8 bytes unchanged otherwise. Characters GBK cannot hold are
// passed through as UTF-8 rather than dropped.
std::string console_text(const std::string &utf8);

// Converts UTF-8 text to GBK (code page 936) bytes; throws std::runtime_error
// if the text cannot be represented.
std::string utf8_to_gbk(const std::string &utf8);
