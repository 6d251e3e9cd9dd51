#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Where the tables of the first face of a TrueType/OpenType file or collection
// lie, so that damage can be aimed at what FreeType actually reads.
struct FontTable {
    std::string tag;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

// The header, the table directory of face 0 (as one entry tagged "dir") and its
// tables, clipped to the file. Empty when bytes is not an sfnt file.
std::vector<FontTable> font_tables(const std::vector<unsigned char> &bytes);

std::vector<unsigned char> read_file(const std::string &path);
void write_file(const std::string &path, const std::vector<unsigned char> &bytes);
