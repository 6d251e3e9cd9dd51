#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// FreeType's handle types, declared here so that callers need no FreeType headers.
struct FT_LibraryRec_;
struct FT_FaceRec_;

// Raised when a renderer cannot be built; the message names the file and the call that failed.
class CvxTextError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A one-bit glyph bitmap laid out as FreeType renders it: most significant bit
// leftmost, rows |pitch| bytes apart, stored bottom row first when pitch is negative.
struct MonoBitmap {
    const unsigned char *buffer = nullptr;
    int rows = 0;
    int cols = 0;
    int pitch = 0;
};

// Blends the set pixels of bitmap into an 8-bit image (1 to 4 channels) with the
// bitmap's bottom-left corner at bottom_left. A pixel counts as set when its bit
// or its right-hand neighbour within the same byte is set, which thickens thin
// strokes. Each channel becomes (1 - opacity) * pixel + opacity * colour, rounded
// half to even and saturated. Pixels outside the image are skipped one by one.
void blend_mono_bitmap(cv::Mat &image, const MonoBitmap &bitmap, cv::Point bottom_left, const cv::Scalar &colour,
                       float opacity);

// How far the pen moves after a glyph whose bitmap is cols wide: cols (or the
// blank width size[0] * size[1] when cols is 0) plus the gap size[0] * size[2],
// truncated toward zero.
int glyph_advance(int cols, const cv::Scalar &size);

// Decodes a zero-terminated GBK (code page 936) string into the 16-bit codes
// drawText draws, one per character. A byte with its top bit set starts a
// two-byte character and its follower is always consumed; a pair that is not
// GBK keeps the lead byte sign-extended as its code. A lead byte right before
// the terminator is consumed without producing a code. Returns the number of
// bytes consumed, or -1 when text is null or the GBK converter is unavailable.
int decode_gbk(const char *text, std::vector<std::uint16_t> &codes);

// Draws GBK text onto OpenCV images with glyphs from a TrueType/OpenType font.
// Each renderer owns its FreeType library instance and face, so it cannot be copied.
class CvxText {
public:
    // Opens face 0 of font_path and applies the default style. Throws CvxTextError.
    explicit CvxText(const std::string &font_path);
    virtual ~CvxText();
    CvxText(const CvxText &) = delete;
    CvxText &operator=(const CvxText &) = delete;

    // Defaults: kind 0, size (20, 0.5, 0.1, 0), no underline, opacity 1. Returns false
    // when the face refused the 20-pixel size.
    bool resetStyle();

    // Each input is optional (null leaves the field unchanged). Size components are
    // stored as absolute values; size[0] truncated is the face's pixel size. Returns
    // false when the face refused that pixel size (the fields are stored anyway).
    bool setStyle(const int *kind, const cv::Scalar *size, const bool *underline, const float *opacity);

    // Draws text with the first glyph's bottom-left corner at position. Returns the
    // number of bytes consumed, or -1 for a null or unsupported image, or null text.
    int drawText(cv::Mat *image, const char *text, cv::Point position, const cv::Scalar &colour);

    // Draws one character and moves position to where the next one starts. A glyph
    // FreeType cannot load or render draws nothing and advances like a blank.
    void drawGlyph(cv::Mat &image, std::uint16_t code, cv::Point &position, const cv::Scalar &colour);

    int styleKind() const { return style_kind_; }
    const cv::Scalar &size() const { return size_; }
    bool underline() const { return underline_; }
    float opacity() const { return opacity_; }
    // The pixel size the face is currently set to.
    int pixelSize() const;

private:
    bool applyPixelSize();

    FT_LibraryRec_ *library_ = nullptr;
    FT_FaceRec_ *face_ = nullptr;
    int style_kind_ = 0;
    cv::Scalar size_;
    bool underline_ = false;
    float opacity_ = 1.0f;
};
