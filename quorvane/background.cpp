#include "quorvane/background.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace qv {

namespace {
constexpr float kRate = 0.02f;          // background cells: about 50 frames to follow a change
constexpr float kRateForeground = 0.004f; // unexplained foreground melts in slowly (flicker, junk)
constexpr float kFastRate = 0.1f;       // right after start-up or a sudden change
constexpr float kFastRateForeground = 0.05f;
constexpr int kFastFramesStart = 25;
constexpr int kFastFramesChange = 10;
constexpr float kDevScale = 4.0f;       // threshold = this many mean deviations
constexpr int kMaxThreshold = 80;
constexpr float kDevClip = 40.0f;       // one wild sample moves the deviation only this far
constexpr float kMinDev = 0.5f;
constexpr double kChangedShare = 0.3;   // more foreground than this: the lights changed
constexpr double kGhostRatio = 1.5;
// Pooled evidence: a 3x3 mean has a third of one cell's noise, so a faint but even
// difference over a neighbourhood (clothing close to the background) counts well below
// the per-cell threshold.
constexpr int kPoolArea = 9;
// The limit in mean deviations of the 3x3 sum itself, learnt like the cells' own: about
// five standard deviations where neighbours' noise is independent, and as many more as
// it takes where it is not (compressed video, where it is alike over neighbouring cells).
constexpr float kPoolSpread = 6.0f;
constexpr float kPoolDevClip = 40.0f;
constexpr int kPoolDevEvery = 2;
constexpr int kPoolMinContrast = 3;   // grey levels, mean over the 3x3 cells
constexpr int kDiffClip = 8;          // strong neighbours alone must not carry a plain cell
constexpr int kShadowMargin = 4;      // cells around a shadow where faint darkening is no evidence

// Sums over 3 x 3 cells, edges replicated, into CV_16S. Plain loops the compiler
// vectorises: the library's box filter is several times slower on so small an image.
template <typename T>
void sum3x3(const cv::Mat &src, cv::Mat &dst, std::vector<int16_t> &columns)
{
    const int w = src.cols, h = src.rows;
    dst.create(src.size(), CV_16S);
    columns.resize(static_cast<size_t>(w) + 2);
    int16_t *col = columns.data() + 1;
    for (int y = 0; y < h; ++y) {
        const T *a = src.ptr<T>(std::max(y - 1, 0)), *b = src.ptr<T>(y), *c = src.ptr<T>(std::min(y + 1, h - 1));
        for (int x = 0; x < w; ++x)
            col[x] = static_cast<int16_t>(a[x] + b[x] + c[x]);
        col[-1] = col[0];
        col[w] = col[w - 1];
        int16_t *out = dst.ptr<int16_t>(y);
        for (int x = 0; x < w; ++x)
            out[x] = static_cast<int16_t>(col[x - 1] + col[x] + col[x + 1]);
    }
}
} // namespace

void Background::init(const Params &params)
{
    params_ = params;
    const cv::Size size(params.grid_width, params.grid_height);
    mean_.create(size, CV_32F);
    dev_.create(size, CV_32F);
    pool_dev_.create(size, CV_32F);
    pooled_ = cv::Mat::zeros(size, CV_16S);
    mean8_.create(size, CV_8U);
    low_.create(size, CV_8U);
    high_.create(size, CV_8U);
    scratch_.create(size, CV_8U);
    prev_fg_ = cv::Mat::zeros(size, CV_8U);
    shadows_.init(size);
    frames_ = 0;
    gain_ = 1.0;
}

// A shift of up to two full-frame pixels stays within this many cells.
int Background::shake_radius() const
{
    return params_.factor >= 2 ? 1 : 2;
}

void Background::refresh_limits()
{
    mean_.convertTo(mean8_, CV_8U);
    dev_.convertTo(scratch_, CV_8U, kDevScale);
    cv::max(scratch_, cv::Scalar(params_.min_contrast), scratch_);
    cv::min(scratch_, cv::Scalar(kMaxThreshold), scratch_);
    if (params_.shake) {
        const int radius = shake_radius();
        const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * radius + 1, 2 * radius + 1));
        cv::erode(mean8_, low_, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        cv::dilate(mean8_, high_, kernel, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    } else {
        mean8_.copyTo(low_);
        mean8_.copyTo(high_);
    }
    cv::subtract(low_, scratch_, low_);
    cv::add(high_, scratch_, high_);
}

// Frame-to-model brightness ratio over last frame's background cells (every other row and column).
double Background::estimate_gain(const cv::Mat &frame) const
{
    double sum_frame = 0, sum_model = 0;
    for (int y = 0; y < frame.rows; y += 2) {
        const uint8_t *f = frame.ptr<uint8_t>(y);
        const uint8_t *m = mean8_.ptr<uint8_t>(y);
        const uint8_t *fg = prev_fg_.ptr<uint8_t>(y);
        uint32_t sf = 0, sm = 0;
        for (int x = 0; x < frame.cols; x += 2) {
            const bool use = fg[x] == 0 && m[x] >= 16 && m[x] <= 240 && f[x] >= 4 && f[x] <= 251;
            sf += use ? f[x] : 0;
            sm += use ? m[x] : 0;
        }
        sum_frame += sf;
        sum_model += sm;
    }
    if (sum_model < 64.0 * 100)
        return 1.0;
    return std::clamp(sum_frame / sum_model, 0.2, 5.0);
}

bool Background::classify(const cv::Mat &frame, const cv::Mat &keep, cv::Mat &fg)
{
    fg.create(frame.size(), CV_8U);
    if (frames_++ == 0) {
        frame.convertTo(mean_, CV_32F);
        dev_.setTo(std::max(1.0f, params_.min_contrast / kDevScale / 2));
        pool_dev_ = dev_ * 3; // a sum of nine independent cells
        pooled_fresh_ = false;
        fast_frames_ = kFastFramesStart;
        refresh_limits();
        fg.setTo(0);
        return true;
    }
    gain_ = estimate_gain(frame);
    if (std::abs(gain_ - 1.0) > 0.002) {
        mean_ *= gain_;
        dev_ *= std::max(gain_, 1.0);
        pool_dev_ *= std::max(gain_, 1.0);
        refresh_limits();
    }

    int count = 0;
    const int w = frame.cols, h = frame.rows;
    for (int y = 0; y < h; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(y);
        const uint8_t *lo = low_.ptr<uint8_t>(y);
        const uint8_t *hi = high_.ptr<uint8_t>(y);
        uint8_t *out = fg.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            out[x] = (f[x] < lo[x] || f[x] > hi[x]) ? 255 : 0;
            count += out[x] != 0;
        }
    }

    if (count > kChangedShare * w * h) {
        // Lights switched or the camera moved: take the frame as the new background
        // except under the objects we follow, and learn fast for a few frames.
        cv::Mat fresh;
        frame.convertTo(fresh, CV_32F);
        cv::bitwise_not(keep, scratch_);
        fresh.copyTo(mean_, scratch_);
        fast_frames_ = kFastFramesChange;
        refresh_limits();
        fg.setTo(0);
        prev_fg_.setTo(0);
        shadows_.init(frame.size());
        return false;
    }
    // Shadow cells stay out of the next gain estimate: they are not lit as the model is.
    fg.copyTo(prev_fg_);
    if (params_.shadows)
        shadows_.apply(frame, mean_, low_, fg);
    // After the shadows: faint darkening beside a shadow's rim is no evidence.
    add_pooled_evidence(frame, fg);
    pooled_fresh_ = true;
    return true;
}

// Cells that missed the per-cell test join the foreground, as weak cells, where their 3x3
// neighbourhood as a whole lies beyond the pooled limit on one side and the cell itself
// leans that way.
// Near cells the shadow test took out, faint darkening is a shadow's soft edge, not clothing.
void Background::add_pooled_evidence(const cv::Mat &frame, cv::Mat &fg)
{
    const int w = frame.cols, h = frame.rows;
    diff_.create(frame.size(), CV_16S);
    shadow_.create(frame.size(), CV_8U);
    uint8_t any_shadow = 0;
    // Loops of one element type each, so that the compiler vectorises them.
    for (int y = 0; y < h; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(y), *m = mean8_.ptr<uint8_t>(y);
        const uint8_t *lo = low_.ptr<uint8_t>(y), *hi = high_.ptr<uint8_t>(y);
        const uint8_t *out = fg.ptr<uint8_t>(y);
        int16_t *d = diff_.ptr<int16_t>(y);
        uint8_t *sh = shadow_.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            const int16_t v = static_cast<int16_t>(f[x] - m[x]);
            d[x] = std::min<int16_t>(std::max<int16_t>(v, -kDiffClip), kDiffClip);
        }
        for (int x = 0; x < w; ++x) {
            const uint8_t outside = (f[x] < lo[x]) | (f[x] > hi[x]);
            sh[x] = static_cast<uint8_t>(-(outside & (out[x] == 0)));
            any_shadow |= sh[x];
        }
    }
    if (any_shadow)
        cv::dilate(shadow_, shadow_, cv::Mat(), cv::Point(-1, -1), kShadowMargin, cv::BORDER_CONSTANT, cv::Scalar(0));
    sum3x3<int16_t>(diff_, pooled_, columns_);
    sum3x3<uint8_t>(mean8_, model_sum_, columns_);
    // The full limit is worked out only for the few cells past its floor, found
    // without a branch per cell (the sign of the difference is a coin toss on noise).
    constexpr int16_t floor = kPoolMinContrast * kPoolArea;
    candidates_.resize(static_cast<size_t>(w));
    uint8_t *c = candidates_.data();
    for (int y = 0; y < h; ++y) {
        const int16_t *d = diff_.ptr<int16_t>(y), *p = pooled_.ptr<int16_t>(y);
        for (int x = 0; x < w; ++x)
            c[x] = static_cast<uint8_t>(((d[x] > 0) & (p[x] >= floor)) | (((d[x] < 0) & (p[x] <= -floor)) << 1));
        const uint8_t *sh = shadow_.ptr<uint8_t>(y);
        uint8_t *out = fg.ptr<uint8_t>(y);
        for (int x = 0; x < w; ++x) {
            uint64_t eight = 0;
            if (x + 8 <= w && (std::memcpy(&eight, c + x, 8), eight == 0)) {
                x += 7;
                continue;
            }
            if (c[x] == 0 || out[x] != 0)
                continue;
            const bool brighter = c[x] == 1;
            if (!brighter && sh[x] != 0)
                continue;
            if ((brighter ? p[x] : -p[x]) >= pool_limit(x, y, brighter))
                out[x] = kWeakForeground;
        }
    }
}

// Least 3x3 sum of frame - model (brighter) or model - frame that counts at a cell: the
// noise of the sum, plus how far a shift within the shake reach moves the smoothed model.
// That band comes from the smoothed model, where a plain stretch of ground gives next to
// none; the per-cell band is mostly the model's own noise there.
int Background::pool_limit(int x, int y, bool brighter) const
{
    const int noise = static_cast<int>(kPoolSpread * pool_dev_.at<float>(y, x) + 0.5f);
    int limit = std::max(noise, kPoolMinContrast * kPoolArea);
    if (!params_.shake)
        return limit;
    const int r = shake_radius();
    const int x0 = std::max(0, x - r), x1 = std::min(model_sum_.cols - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(model_sum_.rows - 1, y + r);
    const int centre = model_sum_.at<int16_t>(y, x);
    int band = 0;
    for (int yy = y0; yy <= y1; ++yy) {
        const int16_t *row = model_sum_.ptr<int16_t>(yy);
        for (int xx = x0; xx <= x1; ++xx)
            band = std::max(band, brighter ? row[xx] - centre : centre - row[xx]);
    }
    return limit + band;
}

void Background::update(const cv::Mat &frame, const cv::Mat &fg, const cv::Mat &keep, const cv::Mat &shade)
{
    const bool shaded = !shade.empty();
    const bool fast = fast_frames_ > 0;
    if (fast)
        --fast_frames_;
    const float rate_bg = fast ? kFastRate : kRate;
    const float rate_fg = fast ? kFastRateForeground : kRateForeground;
    for (int y = 0; y < frame.rows; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(y);
        const uint8_t *fgr = fg.ptr<uint8_t>(y);
        const uint8_t *kr = keep.ptr<uint8_t>(y);
        const uint8_t *sh = shaded ? shade.ptr<uint8_t>(y) : kr;
        float *m = mean_.ptr<float>(y);
        float *d = dev_.ptr<float>(y);
        for (int x = 0; x < frame.cols; ++x) {
            const float rate = kr[x] ? 0.0f : (fgr[x] ? rate_fg : rate_bg);
            const float rate_dev = shaded && sh[x] ? std::min(rate, rate_fg) : rate;
            const float diff = f[x] - m[x];
            m[x] += rate * diff;
            d[x] += rate_dev * (std::min(std::abs(diff), kDevClip) - d[x]);
            d[x] = std::max(d[x], kMinDev);
        }
    }
    // The deviation of the sums moves slowly: learnt on every few frames, at that many
    // times the rate. None when this frame had no sums (the first one, or the lights changed).
    if (pooled_fresh_ && frames_ % kPoolDevEvery == 0) {
        const float pool_bg = kPoolDevEvery * rate_bg, pool_fg = kPoolDevEvery * rate_fg;
        for (int y = 0; y < frame.rows; ++y) {
            const uint8_t *fgr = fg.ptr<uint8_t>(y);
            const uint8_t *kr = keep.ptr<uint8_t>(y);
            const uint8_t *sh = shaded ? shade.ptr<uint8_t>(y) : kr;
            const int16_t *p = pooled_.ptr<int16_t>(y);
            float *pd = pool_dev_.ptr<float>(y);
            for (int x = 0; x < frame.cols; ++x) {
                const float rate = kr[x] ? 0.0f : (fgr[x] || (shaded && sh[x]) ? pool_fg : pool_bg);
                pd[x] += rate * (std::min(static_cast<float>(std::abs(p[x])), kPoolDevClip) - pd[x]);
            }
        }
    }
    pooled_fresh_ = false;
    refresh_limits();
}

void Background::adopt(const cv::Mat &frame, cv::Rect rect)
{
    rect &= cv::Rect(0, 0, frame.cols, frame.rows);
    if (rect.empty())
        return;
    frame(rect).convertTo(mean_(rect), CV_32F);
}

bool Background::is_ghost(const cv::Mat &frame, const cv::Mat &fg, cv::Rect rect) const
{
    rect &= cv::Rect(1, 1, frame.cols - 2, frame.rows - 2);
    double edge_frame = 0, edge_model = 0;
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const uint8_t *m = fg.ptr<uint8_t>(y);
        const uint8_t *mu = fg.ptr<uint8_t>(y - 1), *md = fg.ptr<uint8_t>(y + 1);
        const uint8_t *f = frame.ptr<uint8_t>(y), *fu = frame.ptr<uint8_t>(y - 1), *fd = frame.ptr<uint8_t>(y + 1);
        const uint8_t *b = mean8_.ptr<uint8_t>(y), *bu = mean8_.ptr<uint8_t>(y - 1), *bd = mean8_.ptr<uint8_t>(y + 1);
        for (int x = rect.x; x < rect.x + rect.width; ++x) {
            const bool outline = m[x] && (!m[x - 1] || !m[x + 1] || !mu[x] || !md[x]);
            if (!outline)
                continue;
            edge_frame += std::abs(f[x + 1] - f[x - 1]) + std::abs(fd[x] - fu[x]);
            edge_model += std::abs(b[x + 1] - b[x - 1]) + std::abs(bd[x] - bu[x]);
        }
    }
    return edge_model > kGhostRatio * edge_frame;
}

} // namespace qv
