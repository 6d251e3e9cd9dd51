#include "quorvane/shadows.h"

#include <algorithm>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace qv {

namespace {
// Sizes here are in grid cells (see Params: `factor` frame pixels a side, so a window
// covers 15 pixels at 480 pixels wide and 60 at 1080p): the texture of the ground that
// tells a shadow is judged at the grid's own scale.
constexpr float kRatioLow = 0.3f;   // a shadow keeps this share of the light at least
constexpr float kRatioHigh = 0.92f; // and darkens by at least the rest
constexpr int kWindow = 15;         // cells a side pooled for one verdict
constexpr int kBlock = 3;           // cells a side judged together
constexpr int kCoreErosion = 2;     // cells; along a soft edge the ratio itself changes: judge inside only
constexpr int kMinCells = 12;       // core cells needed in the window
constexpr float kMinTexture = 2.0f; // the dimmed ground's variation in the window, grey levels (rms) at least
constexpr float kFit = 0.5f;        // one model must leave at most this share of the other's residual
constexpr float kMaxMisfit = 12.0f;  // and fit within this, grey levels squared per cell: the noise, no more
// Work happens on views of whole-grid images: a view's neighbours are not its border.
constexpr int kIsolated = cv::BORDER_CONSTANT | cv::BORDER_ISOLATED;
constexpr float kGrainShown = 0.5f; // share of the dimmed ground's grain a shadow shows in the frame at least
constexpr int kGrainDepth = 3;      // cells inside the core where the ratio is flat enough to compare grain
// Neighbour pairs deep inside needed in a window, a quarter of what it holds: a wide
// body (a vehicle), not the thin limbs of someone dark beside a shadow.
constexpr int kGrainPairs = kWindow * kWindow / 2;
constexpr float kGrainDoubt = 0.2f; // judged on grain only where that share is known this well (one sd)
constexpr int kMemory = 4;          // frames a verdict holds without being judged again
} // namespace

void ShadowFilter::init(cv::Size grid)
{
    candidate_ = cv::Mat::zeros(grid, CV_8U);
    dark_ = cv::Mat::zeros(grid, CV_8U);
    core_ = cv::Mat::zeros(grid, CV_8U);
    shadow_ = cv::Mat::zeros(grid, CV_8U);
    wide_ = cv::Mat::zeros(grid, CV_8U);
    removed_ = cv::Mat::zeros(grid, CV_8U);
    thin_ = cv::Mat::zeros(grid, CV_8U);
    cloth_ = cv::Mat::zeros(grid, CV_8U);
    life_ = cv::Mat::zeros(grid, CV_8U);
    grown_ = cv::Mat::zeros(grid, CV_8U);
    held_ = cv::Mat::zeros(grid, CV_8U);
    remnants_.init(grid);
    // Everything per frame works on views of these, so no frame allocates.
    const cv::Size blocks((grid.width + kBlock - 1) / kBlock, (grid.height + kBlock - 1) / kBlock);
    for (cv::Mat &m : sums_)
        m = cv::Mat::zeros(blocks, CV_32F);
    block_shadow_ = cv::Mat::zeros(blocks, CV_8U);
    block_cloth_ = cv::Mat::zeros(blocks, CV_8U);
    block_near_ = cv::Mat::zeros(blocks, CV_8U);
    remembered_ = false;
}

void ShadowFilter::apply(const cv::Mat &frame, const cv::Mat &mean, const cv::Mat &low, cv::Mat &fg)
{
    removed_.setTo(0);
    int x0 = frame.cols, y0 = frame.rows, x1 = -1, y1 = -1;
    for (int y = 0; y < frame.rows; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(y), *lo = low.ptr<uint8_t>(y), *m = fg.ptr<uint8_t>(y);
        const float *mu = mean.ptr<float>(y);
        uint8_t *c = candidate_.ptr<uint8_t>(y), *d = dark_.ptr<uint8_t>(y);
        for (int x = 0; x < frame.cols; ++x) {
            d[x] = (m[x] && f[x] < lo[x] && f[x] <= kRatioHigh * mu[x]) ? 255 : 0;
            c[x] = (d[x] && f[x] >= kRatioLow * mu[x]) ? 255 : 0;
            if (d[x]) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
        }
    }
    if (x1 < 0) {
        if (remembered_)
            life_.setTo(0);
        remembered_ = false;
        return;
    }
    const int pad = kWindow / 2 + kCoreErosion;
    const cv::Rect area = cv::Rect(x0 - pad, y0 - pad, x1 - x0 + 1 + 2 * pad, y1 - y0 + 1 + 2 * pad) &
                          cv::Rect(0, 0, frame.cols, frame.rows);
    judge(frame, mean, area);
    remember(area);
    cv::Mat part = fg(area), removed = removed_(area);
    part.copyTo(removed);
    part.setTo(0, shadow_(area));
    remnants_.drop(fg, shadow_, candidate_, cloth_, area, {}, nullptr);
    removed.setTo(0, part);
}

// A verdict holds for a few frames on the candidate cells around it, so a shadow
// over a stretch of even ground, or judged on one frame and not the next, stays out.
void ShadowFilter::remember(cv::Rect area)
{
    cv::Mat shadow = shadow_(area);
    if (remembered_) {
        cv::subtract(life_, cv::Scalar(1), grown_);
        life_.setTo(0);
        cv::Mat keep = held_(area);
        cv::bitwise_not(cloth_(area), keep);
        cv::bitwise_and(candidate_(area), keep, keep);
        grown_(area).copyTo(life_(area), keep);
    }
    // Only a verdict of this frame renews the memory; a remembered cell fades.
    cv::Mat held = held_(area);
    cv::compare(life_(area), 0, held, cv::CMP_GT);
    life_(area).setTo(kMemory, shadow);
    cv::bitwise_or(shadow, held, shadow);
    remembered_ = true;
}

// Per block, over neighbouring cells both in `core`: the sums of squared frame and model
// differences and of their products, across and down.
void ShadowFilter::add_gradients(const cv::Mat &frame, const cv::Mat &mean, cv::Rect area, const cv::Mat &core,
                                 cv::Mat *sums) const
{
    for (int y = 0; y < area.height; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(area.y + y) + area.x, *c = core.ptr<uint8_t>(y);
        const float *mu = mean.ptr<float>(area.y + y) + area.x;
        const bool down = y + 1 < area.height;
        const uint8_t *fd = down ? f + frame.step[0] : f, *cd = down ? c + core.step[0] : c;
        const float *md = down ? mean.ptr<float>(area.y + y + 1) + area.x : mu;
        float *ff = sums[6].ptr<float>(y / kBlock), *mm = sums[7].ptr<float>(y / kBlock);
        float *fm = sums[8].ptr<float>(y / kBlock), *pairs = sums[9].ptr<float>(y / kBlock);
        for (int x = 0; x < area.width; ++x) {
            if (!c[x])
                continue;
            const int b = x / kBlock;
            if (x + 1 < area.width && c[x + 1]) {
                const float df = float(f[x + 1]) - f[x], dm = mu[x + 1] - mu[x];
                ff[b] += df * df;
                mm[b] += dm * dm;
                fm[b] += df * dm;
                pairs[b] += 1;
            }
            if (down && cd[x]) {
                const float df = float(fd[x]) - f[x], dm = md[x] - mu[x];
                ff[b] += df * df;
                mm[b] += dm * dm;
                fm[b] += df * dm;
                pairs[b] += 1;
            }
        }
    }
}

// Least squares over the core cells of a window: the residual of frame = ratio *
// model against that of one flat shade, where the ground varies enough to decide.
// A shadow verdict spreads to the rim of its candidate patch.
void ShadowFilter::judge(const cv::Mat &frame, const cv::Mat &mean, cv::Rect area)
{
    const cv::Mat cand = candidate_(area);
    cv::Mat core = core_(area), shadow = shadow_(area), cloth = cloth_(area);
    // Thin patches (the shadow of someone small) have no such inside; there the
    // cells one step in stand for it.
    cv::erode(cand, core, cv::Mat(), cv::Point(-1, -1), kCoreErosion, kIsolated, cv::Scalar(0));
    cv::Mat thin = thin_(area), wide = wide_(area);
    cv::erode(cand, thin, cv::Mat(), cv::Point(-1, -1), 1, kIsolated, cv::Scalar(0));
    cv::dilate(core, wide, cv::Mat(), cv::Point(-1, -1), kCoreErosion + 1, kIsolated, cv::Scalar(0));
    thin.setTo(0, wide);
    cv::bitwise_or(core, thin, core);
    // Sums of f, m, f*f, m*m, f*m and the count over the core cells of each block,
    // then over windows of blocks: a verdict per block costs a ninth of one per cell.
    const cv::Size blocks((area.width + kBlock - 1) / kBlock, (area.height + kBlock - 1) / kBlock);
    const cv::Rect used(0, 0, blocks.width, blocks.height);
    cv::Mat sums[kSums];
    for (int k = 0; k < kSums; ++k) {
        sums[k] = sums_[k](used);
        sums[k].setTo(0);
    }
    for (int y = 0; y < area.height; ++y) {
        const uint8_t *f = frame.ptr<uint8_t>(area.y + y) + area.x, *c = core.ptr<uint8_t>(y);
        const float *mu = mean.ptr<float>(area.y + y) + area.x;
        float *s0 = sums[0].ptr<float>(y / kBlock), *s1 = sums[1].ptr<float>(y / kBlock);
        float *s2 = sums[2].ptr<float>(y / kBlock), *s3 = sums[3].ptr<float>(y / kBlock);
        float *s4 = sums[4].ptr<float>(y / kBlock), *s5 = sums[5].ptr<float>(y / kBlock);
        for (int x = 0; x < area.width; ++x) {
            if (!c[x])
                continue;
            const float fv = f[x], mv = mu[x];
            const int b = x / kBlock;
            s0[b] += fv;
            s1[b] += mv;
            s2[b] += fv * fv;
            s3[b] += mv * mv;
            s4[b] += fv * mv;
            s5[b] += 1;
        }
    }
    // The grain is compared deep inside all the darker foreground, also what is too dark
    // for a shadow: cut at a shadow's darkest ratio, a dark body leaves just its cells
    // over darker ground, and frame and model seem to go together where they do not.
    // Deep inside, too, a shadow's soft rim no longer changes the ratio from cell to
    // cell by more than the grain itself.
    cv::Mat deep = thin_(area);
    cv::erode(dark_(area), deep, cv::Mat(), cv::Point(-1, -1), kCoreErosion + kGrainDepth, kIsolated, cv::Scalar(0));
    add_gradients(frame, mean, area, deep, sums);
    const cv::Size window(kWindow / kBlock, kWindow / kBlock);
    for (cv::Mat &m : sums)
        cv::boxFilter(m, m, -1, window, cv::Point(-1, -1), false, kIsolated);
    shadow.setTo(0);
    cloth.setTo(0);
    cv::Mat block_shadow = block_shadow_(used), block_cloth = block_cloth_(used), block_near = block_near_(used);
    block_shadow.setTo(0);
    block_cloth.setTo(0);
    for (int by = 0; by < blocks.height; ++by) {
        uint8_t *bs = block_shadow.ptr<uint8_t>(by), *bc = block_cloth.ptr<uint8_t>(by);
        const float *sf = sums[0].ptr<float>(by), *sm = sums[1].ptr<float>(by), *sff = sums[2].ptr<float>(by);
        const float *smm = sums[3].ptr<float>(by), *sfm = sums[4].ptr<float>(by), *sn = sums[5].ptr<float>(by);
        const float *gff = sums[6].ptr<float>(by), *gmm = sums[7].ptr<float>(by), *gfm = sums[8].ptr<float>(by);
        const float *gn = sums[9].ptr<float>(by);
        for (int bx = 0; bx < blocks.width; ++bx) {
            const double n = sn[bx];
            if (n < kMinCells || sm[bx] <= 0)
                continue;
            const double r = sf[bx] / sm[bx];
            const double ground = r * r * (smm[bx] - double(sm[bx]) * sm[bx] / n); // the dimmed ground's variation
            if (ground < kMinTexture * kMinTexture * n)
                continue; // too even to tell
            const double misfit_ratio = sff[bx] - 2 * r * sfm[bx] + r * r * smm[bx];
            const double misfit_flat = sff[bx] - double(sf[bx]) * sf[bx] / n;
            // The ground's fine grain must show through too, dimmed: in the differences
            // between neighbouring cells, frame = ratio * model again. A body's own
            // edges, or none, do not follow the ground's. Where the grain is faint
            // against the frame's noise its share cannot be told, and this says nothing.
            const double grain = r * r * gmm[bx];
            const bool grain_known = gn[bx] >= kGrainPairs && gff[bx] <= kGrainDoubt * kGrainDoubt * gn[bx] * grain;
            const bool grain_missing = grain_known && r * gfm[bx] < kGrainShown * grain;
            if (grain_missing)
                bc[bx] = 255;
            else if (misfit_ratio <= kFit * misfit_flat && misfit_ratio <= kMaxMisfit * n)
                bs[bx] = 255;
            else if (misfit_flat <= kFit * misfit_ratio)
                bc[bx] = 255;
        }
    }
    // Right beside clothing the window holds both: a dark coat and the trousers below
    // it can pass for a dimmed patch of ground. Only clear shadow counts there.
    cv::dilate(block_cloth, block_near, cv::Mat(), cv::Point(-1, -1), 1, kIsolated, cv::Scalar(0));
    block_shadow.setTo(0, block_near);
    for (int by = 0; by < blocks.height; ++by) {
        const uint8_t *bs = block_shadow.ptr<uint8_t>(by), *bc = block_cloth.ptr<uint8_t>(by);
        for (int bx = 0; bx < blocks.width; ++bx) {
            if (!bs[bx] && !bc[bx])
                continue;
            const cv::Rect cells = cv::Rect(bx * kBlock, by * kBlock, kBlock, kBlock) & cv::Rect(0, 0, area.width, area.height);
            (bs[bx] ? shadow : cloth)(cells).setTo(255, core(cells));
        }
    }
    cv::dilate(shadow, shadow, cv::Mat(), cv::Point(-1, -1), kCoreErosion + 1, kIsolated, cv::Scalar(0));
    cv::bitwise_and(shadow, cand, shadow);
}

} // namespace qv
