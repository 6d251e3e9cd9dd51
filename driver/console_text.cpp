#include "driver/console_text.h"

#include <iconv.h>
#include <langinfo.h>
#include <strings.h>

#include <cerrno>
#include <stdexcept>

namespace {

std::string convert(const std::string &text, const char *to, const char *from)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    std::string out(text.size() * 4 + 4, '\0');
    char *in_ptr = const_cast<char *>(text.data());
    size_t in_left = text.size();
    char *out_ptr = &out[0];
    size_t out_left = out.size();
    const size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    const int err = errno;
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1))
        throw std::runtime_error(std::string("text is not representable in ") + to + " (errno " +
                                 std::to_string(err) + ")");
    out.resize(out.size() - out_left);
    return out;
}

} // namespace

bool console_wants_gbk()
{
    const char *codeset = nl_langinfo(CODESET);
    if (codeset == nullptr)
        return false;
    return strcasecmp(codeset, "GBK") == 0 || strcasecmp(codeset, "GB18030") == 0 ||
           strcasecmp(codeset, "CP936") == 0;
}

std::string utf8_to_gbk(const std::string &utf8)
{
    return convert(utf8, "GBK", "UTF-8");
}

std::string console_text(const std::string &utf8)
{
    if (!console_wants_gbk())
        return utf8;
    try {
        return utf8_to_gbk(utf8);
    } catch (const std::runtime_error &) {
        return utf8;
    }
}
