#include "tests/badfont/font_damage.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::uint32_t be32(const std::vector<unsigned char> &b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
           static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

} // namespace

std::vector<FontTable> font_tables(const std::vector<unsigned char> &bytes)
{
    std::vector<FontTable> tables;
    if (bytes.size() < 12)
        return tables;
    std::size_t face = 0;
    if (bytes[0] == 't' && bytes[1] == 't' && bytes[2] == 'c' && bytes[3] == 'f') {
        if (bytes.size() < 16)
            return tables;
        face = be32(bytes, 12);
        tables.push_back({"ttc", 0, 16});
    }
    if (face + 12 > bytes.size())
        return tables;
    const std::size_t count = static_cast<std::size_t>(bytes[face + 4]) << 8 | bytes[face + 5];
    const std::size_t directory = face + 12 + 16 * count;
    if (directory > bytes.size())
        return tables;
    tables.push_back({"dir", static_cast<std::uint32_t>(face), static_cast<std::uint32_t>(directory - face)});
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = face + 12 + 16 * i;
        FontTable t;
        t.tag.assign(bytes.begin() + entry, bytes.begin() + entry + 4);
        t.offset = be32(bytes, entry + 8);
        t.length = be32(bytes, entry + 12);
        if (t.offset >= bytes.size() || t.length == 0)
            continue;
        if (t.length > bytes.size() - t.offset)
            t.length = static_cast<std::uint32_t>(bytes.size() - t.offset);
        tables.push_back(t);
    }
    return tables;
}

std::vector<unsigned char> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::vector<unsigned char> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
