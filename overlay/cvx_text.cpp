#include "overlay/cvx_text.h"

#include <iconv.h>

#include <climits>
#include <cmath>
#include <cstdio>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

// FreeType's own texts for its error codes, built from its error list.
const char *ft_error_text(FT_Error error)
{
#undef FTERRORS_H_
#define FT_ERRORDEF(e, v, s) {e, s},
#define FT_ERROR_START_LIST {
#define FT_ERROR_END_LIST {0, nullptr}};
    static const struct {
        int code;
        const char *text;
    } table[] =
#include FT_ERRORS_H
    for (const auto &entry : table) {
        if (entry.text != nullptr && entry.code == error)
            return entry.text;
    }
    return "unknown error";
}

std::string describe(const char *call, FT_Error error)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%02x", static_cast<unsigned>(error));
    return std::string(call) + " failed: " + ft_error_text(error) + " (error " + code + ")";
}

int clamp_to_int(double value)
{
    if (std::isnan(value))
        return 0;
    if (value <= INT_MIN)
        return INT_MIN;
    if (value >= INT_MAX)
        return INT_MAX;
    return static_cast<int>(value);
}

// Adds without wrapping, so that pens far off the image stay far off.
int saturating_add(int a, int b)
{
    const long long sum = static_cast<long long>(a) + b;
    return sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : static_cast<int>(sum);
}

// True when no pixel of the bitmap is set. FreeType renders an empty outline
// (a space) as a blank 1 x 1 bitmap; it must still advance like a blank.
bool blank(const MonoBitmap &bitmap)
{
    const int stride = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    const int full_bytes = bitmap.cols / 8;
    const unsigned char tail_mask = static_cast<unsigned char>(0xFF00 >> (bitmap.cols % 8));
    for (int i = 0; i < bitmap.rows; ++i) {
        const unsigned char *row = bitmap.buffer + static_cast<long long>(i) * stride;
        for (int b = 0; b < full_bytes; ++b)
            if (row[b] != 0)
                return false;
        if (tail_mask != 0 && (row[full_bytes] & tail_mask) != 0)
            return false;
    }
    return true;
}

bool drawable(const cv::Mat &image)
{
    return !image.empty() && image.dims == 2 && image.depth() == CV_8U && image.channels() <= 4;
}

} // namespace

void blend_mono_bitmap(cv::Mat &image, const MonoBitmap &bitmap, cv::Point bottom_left, const cv::Scalar &colour,
                       float opacity)
{
    if (bitmap.buffer == nullptr || bitmap.rows <= 0 || bitmap.cols <= 0 || !drawable(image))
        return;
    const int channels = image.channels();
    const float keep = 1.0f - opacity; // single precision on purpose: it decides the rounding
    const long long stride = bitmap.pitch < 0 ? -static_cast<long long>(bitmap.pitch) : bitmap.pitch;
    for (int i = 0; i < bitmap.rows; ++i) {
        // A negative pitch means the rows are stored bottom-up.
        const unsigned char *row = bitmap.buffer + (bitmap.pitch >= 0 ? i : bitmap.rows - 1 - i) * stride;
        const long long y = static_cast<long long>(bottom_left.y) - (bitmap.rows - 1 - i);
        if (y < 0 || y >= image.rows)
            continue;
        unsigned char *line = image.ptr<unsigned char>(static_cast<int>(y));
        for (int j = 0; j < bitmap.cols; ++j) {
            if ((row[j >> 3] & (0xC0 >> (j & 7))) == 0)
                continue;
            const long long x = static_cast<long long>(bottom_left.x) + j;
            if (x < 0 || x >= image.cols)
                continue;
            unsigned char *pixel = line + x * channels;
            for (int c = 0; c < channels; ++c)
                pixel[c] = cv::saturate_cast<unsigned char>(static_cast<double>(keep) * pixel[c] +
                                                            static_cast<double>(opacity) * colour[c]);
        }
    }
}

int glyph_advance(int cols, const cv::Scalar &size)
{
    const double width = cols != 0 ? static_cast<double>(cols) : size[0] * size[1];
    return clamp_to_int(std::trunc(width + size[0] * size[2]));
}

int decode_gbk(const char *text, std::vector<std::uint16_t> &codes)
{
    codes.clear();
    if (text == nullptr)
        return -1;
    iconv_t converter = iconv_open("WCHAR_T", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return -1;
    std::size_t i = 0;
    while (text[i] != 0 && i < INT_MAX - 1) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        std::uint16_t code = static_cast<std::uint16_t>(static_cast<signed char>(byte));
        if (byte & 0x80) {
            if (text[i + 1] == 0) {
                // A lead byte cut off by the terminator: consume it, draw nothing.
                ++i;
                break;
            }
            char pair[2] = {text[i], text[i + 1]};
            wchar_t wide = 0;
            char *in = pair;
            std::size_t in_left = sizeof pair;
            char *out = reinterpret_cast<char *>(&wide);
            std::size_t out_left = sizeof wide;
            if (iconv(converter, &in, &in_left, &out, &out_left) != static_cast<std::size_t>(-1) &&
                out_left == 0 && wide >= 0 && wide <= 0xFFFF)
                code = static_cast<std::uint16_t>(wide);
            else
                iconv(converter, nullptr, nullptr, nullptr, nullptr);
            ++i; // the follower is skipped whether or not the pair decoded
        }
        codes.push_back(code);
        ++i;
    }
    iconv_close(converter);
    return static_cast<int>(i);
}

CvxText::CvxText(const std::string &font_path)
{
    FT_Error error = FT_Init_FreeType(&library_);
    if (error != 0) {
        library_ = nullptr;
        throw CvxTextError("cannot load font " + font_path + ": " + describe("FT_Init_FreeType", error));
    }
    error = FT_New_Face(library_, font_path.c_str(), 0, &face_);
    if (error != 0) {
        FT_Done_FreeType(library_);
        throw CvxTextError("cannot load font " + font_path + ": " + describe("FT_New_Face", error));
    }
    if (!resetStyle()) {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
        throw CvxTextError("cannot load font " + font_path + ": FT_Set_Pixel_Sizes failed for 20 pixels");
    }
}

CvxText::~CvxText()
{
    FT_Done_Face(face_);
    FT_Done_FreeType(library_);
}

bool CvxText::resetStyle()
{
    style_kind_ = 0;
    size_ = cv::Scalar(20.0, 0.5, 0.1, 0.0);
    underline_ = false;
    opacity_ = 1.0f;
    return applyPixelSize();
}

bool CvxText::setStyle(const int *kind, const cv::Scalar *size, const bool *underline, const float *opacity)
{
    bool sized = true;
    if (kind != nullptr)
        style_kind_ = *kind;
    if (size != nullptr) {
        for (int k = 0; k < 4; ++k)
            size_[k] = std::fabs((*size)[k]);
        sized = applyPixelSize();
    }
    if (underline != nullptr)
        underline_ = *underline;
    if (opacity != nullptr)
        opacity_ = *opacity;
    return sized;
}

bool CvxText::applyPixelSize()
{
    double width = std::trunc(size_[0]);
    if (!(width >= 0.0))
        width = 0.0;
    if (width > 0xFFFF) // FreeType's limit
        width = 0xFFFF;
    return FT_Set_Pixel_Sizes(face_, static_cast<FT_UInt>(width), 0) == 0;
}

int CvxText::pixelSize() const
{
    return face_->size != nullptr ? face_->size->metrics.x_ppem : 0;
}

int CvxText::drawText(cv::Mat *image, const char *text, cv::Point position, const cv::Scalar &colour)
{
    if (image == nullptr || text == nullptr || !drawable(*image))
        return -1;
    std::vector<std::uint16_t> codes;
    const int consumed = decode_gbk(text, codes);
    if (consumed < 0)
        return -1;
    for (const std::uint16_t code : codes)
        drawGlyph(*image, code, position, colour);
    return consumed;
}

void CvxText::drawGlyph(cv::Mat &image, std::uint16_t code, cv::Point &position, const cv::Scalar &colour)
{
    int cols = 0;
    const FT_UInt index = FT_Get_Char_Index(face_, code);
    FT_Error error = FT_Load_Glyph(face_, index, FT_LOAD_DEFAULT);
    if (error == 0)
        error = FT_Render_Glyph(face_->glyph, FT_RENDER_MODE_MONO);
    // Embedded grey or colour strikes are not one-bit: treat them like a glyph that failed.
    if (error == 0 && face_->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        const FT_Bitmap &bitmap = face_->glyph->bitmap;
        MonoBitmap mono;
        mono.buffer = bitmap.buffer;
        mono.rows = static_cast<int>(bitmap.rows);
        mono.cols = static_cast<int>(bitmap.width);
        mono.pitch = bitmap.pitch;
        if (mono.buffer != nullptr && !blank(mono)) {
            blend_mono_bitmap(image, mono, position, colour, opacity_);
            cols = mono.cols;
        }
    }
    position.x = saturating_add(position.x, glyph_advance(cols, size_));
}
