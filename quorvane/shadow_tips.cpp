#include "quorvane/shadow_tips.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {

namespace {
// Lengths are in heights of the walker casting the shadow, so they hold at any
// resolution and distance from the camera.
constexpr float kUpright = 1.2f; // a caster is at least this many widths tall
constexpr float kLow = 0.5f;     // the piece is lower than this share of the caster's height
constexpr float kFlat = 1.2f;    // and no taller than this many of its own widths
constexpr float kNear = 0.5f;    // its centre lies at least this far beside the caster's feet (past
                                 // anything carried or led by the hand)
constexpr float kFar = 2.5f;     // and at most this far
constexpr float kAbove = 0.25f;  // from this far above the feet's row
constexpr float kBelow = 1.3f;   // to this far below it
// It keeps its place beside the caster within this, while the caster walks farther
// than that: nothing lying still passes, however a walker goes by it.
constexpr float kKeep = 0.25f;
constexpr float kWalked = 0.3f;
constexpr float kDarker = 0.8f;    // share of its foreground darker than the ground, at least
constexpr float kOther = 0.05f;    // share brighter than the ground, or judged no shadow, at most
constexpr int kNoise = 2;          // grey levels either way still counted as the ground's own
// Shade belonging to nobody is at a shadow's darkness in at least this share of its
// foreground: a dark car or bag is darker than any shadow.
constexpr float kAtShadowDark = 0.8f;
// A piece risen upright is at least this share of its box's height: one dwindling
// away narrows first.
constexpr float kRisen = 0.9f;
// Frames in one place after which a piece is no moving shadow (a bag set down).
constexpr int kStillFrames = 4;
constexpr int kEdge = 2;           // grid cells from the frame's edge at which a piece is at it
constexpr int kEvidence = 8;       // frames kept beside the caster before the piece is taken for its shadow
constexpr int kLeftEvidence = 4;   // frames of flat shade at the edge before an object is taken for a shadow there
constexpr int kMaxEvidence = 16;   // evidence kept at most, so that frames against it tell soon

cv::Point2f feet(const Track &t)
{
    return {t.cx, t.cy + t.h / 2};
}
} // namespace

void ShadowTips::init(const Params &params)
{
    params_ = params;
}

// Where the measured piece lies beside c's feet, in c's heights.
cv::Point2f ShadowTips::place(const Track &tip, const Track &c)
{
    const cv::Point2f centre(tip.seen.x + tip.seen.width / 2, tip.seen.y + tip.seen.height / 2);
    return (centre - feet(c)) / c.h;
}

// Whether the measured piece lies where c's shadow may: low and flat beside an
// upright c's feet, on the side the scene's shadows fall to once that is known.
bool ShadowTips::beside(const Track &tip, const Track &c, int sun_side) const
{
    if (&tip == &c || !c.confirmed || c.shadow_tip || c.h < kUpright * c.w)
        return false;
    const cv::Rect2f &s = tip.seen;
    if (s.height >= kLow * c.h || s.height > kFlat * s.width || at_edge(s))
        return false; // at the edge, it may be the first of someone coming in
    const cv::Point2f o = place(tip, c);
    if (std::abs(o.x) < kNear || std::abs(o.x) > kFar || o.y < -kAbove || o.y > kBelow)
        return false;
    return sun_side == 0 || (o.x > 0) == (sun_side > 0);
}

// Whether the object, never seen upright, is seen only as something lying flat, once
// the scene's shadows are known to fall sideways: the end of a shadow whose caster is
// not followed upright (coming in at the frame's edge, or lost in a group). Such shade
// must also be at a shadow's darkness all over (see shade()).
bool ShadowTips::lone(const Track &t, int sun_side) const
{
    return sun_side != 0 && !t.was_upright && t.seen.height <= kFlat * t.seen.width;
}

// Whether the object is seen only as something lying flat at the frame's edge, and is
// either what was left of one once followed upright (the body has gone) or lies at the
// edge the scene's shadows point away from (cast by someone outside); what is seen must
// also be shade (see shade()).
bool ShadowTips::left_behind(const Track &t, int sun_side) const
{
    if (!t.confirmed || !at_edge(t.seen) || t.seen.height >= t.seen.width)
        return false;
    const float m = edge_margin();
    const bool from_outside = sun_side > 0   ? t.seen.x <= m
                              : sun_side < 0 ? t.seen.x + t.seen.width >= params_.width - m
                                             : false;
    return t.was_upright || from_outside;
}

float ShadowTips::edge_margin() const
{
    return static_cast<float>(kEdge * params_.factor);
}

bool ShadowTips::at_edge(const cv::Rect2f &s) const
{
    const float m = edge_margin();
    return s.x <= m || s.y <= m || s.x + s.width >= params_.width - m || s.y + s.height >= params_.height - m;
}

// Whether the measured piece is shade: darker than the ground nearly everywhere, and
// hardly anything in it the shadow filter judged to be no shadow; strict, also at a
// shadow's darkness nearly everywhere.
bool ShadowTips::shade(const Track &t, const cv::Mat &grid, const cv::Mat &mean, const cv::Mat &fg,
                       const cv::Mat &dark, const cv::Mat &clothing, bool strict) const
{
    const cv::Rect cells = grid_cells(params_, t.seen, 0);
    int n = 0, darker = 0, brighter = 0, cloth = 0, at_dark = 0;
    for (int y = cells.y; y < cells.y + cells.height; ++y) {
        const uint8_t *g = grid.ptr<uint8_t>(y), *m = mean.ptr<uint8_t>(y), *f = fg.ptr<uint8_t>(y),
                      *d = dark.ptr<uint8_t>(y), *k = clothing.ptr<uint8_t>(y);
        for (int x = cells.x; x < cells.x + cells.width; ++x) {
            if (!f[x])
                continue;
            ++n;
            darker += g[x] + kNoise < m[x];
            brighter += g[x] > m[x] + kNoise;
            cloth += d[x] && k[x]; // the verdicts are stale away from the shadow-dark cells
            at_dark += d[x] != 0;
        }
    }
    return n > 0 && darker >= kDarker * n && brighter <= kOther * n && cloth <= kOther * n &&
           (!strict || at_dark >= kAtShadowDark * n);
}

void ShadowTips::judge(std::vector<Track> &tracks, const cv::Mat &grid, const cv::Mat &mean, const cv::Mat &fg,
                       const cv::Mat &dark, const cv::Mat &clothing, int sun_side) const
{
    for (Track &t : tracks) {
        if (!t.measured)
            continue;
        t.was_upright = t.was_upright || (t.sizes.full() && t.sizes.median_height() >= kUpright * t.sizes.median_width());
        // The nearest walker it may be the shadow of, or itself, a shadow at the edge
        // (gone but for it, or cast from outside); the cells are looked at last, for the
        // few that lie so.
        const Track *caster = nullptr;
        float nearest = 0;
        for (const Track &c : tracks) {
            if (!beside(t, c, sun_side))
                continue;
            const float d = static_cast<float>(cv::norm(place(t, c)));
            if (!caster || d < nearest) {
                caster = &c;
                nearest = d;
            }
        }
        bool strict = false;
        if (!caster && left_behind(t, sun_side))
            caster = &t;
        else if (!caster && lone(t, sun_side))
            caster = &t, strict = true;
        if (caster && !shade(t, grid, mean, fg, dark, clothing, strict))
            caster = nullptr;
        // Until it is proven either way, a moving piece that passes for a shadow is not
        // shown (see Track::shade_suspect).
        t.shade_suspect = caster && (caster == &t || t.still < kStillFrames);
        if (!caster) {
            // Risen upright, it was no shadow; else the evidence drains.
            const bool risen = t.seen.height > kFlat * t.seen.width && t.seen.height >= kRisen * t.h;
            t.tip_evidence = risen ? 0 : std::max(0, t.tip_evidence - 1);
            t.shadow_tip = t.shadow_tip && t.tip_evidence > 0;
        } else if (caster == &t) {
            // A shadow at the edge slides out after its caster, follows them outside, or
            // lies still; someone coming in (where another went out, or whose shadow came
            // first) grows out of the edge.
            const float grown = edge_margin();
            if (t.tip_caster != t.id || t.tip_evidence == 0) {
                t.tip_caster = t.id;
                t.tip_height = t.seen.height;
                t.tip_evidence = 1;
            } else if (t.seen.height > t.tip_height + grown) {
                t.tip_evidence = 0;
                t.shadow_tip = false;
            } else {
                t.tip_evidence = std::min(kMaxEvidence, t.tip_evidence + 1);
                t.tip_height = std::min(t.tip_height, t.seen.height);
            }
            t.shadow_tip = t.shadow_tip || t.tip_evidence >= kLeftEvidence;
        } else {
            const cv::Point2f o = place(t, *caster);
            if (caster->id != t.tip_caster || cv::norm(o - t.tip_place) > kKeep) {
                // Someone else's, or it moved beside them: judged from here on; a shadow
                // it was proven to be stays one, unless it fails the test.
                t.tip_caster = caster->id;
                t.tip_place = o;
                t.tip_from = feet(*caster);
                t.tip_evidence = 1;
            } else {
                t.tip_evidence = std::min(kMaxEvidence, t.tip_evidence + 1);
                t.shadow_tip = t.shadow_tip || (t.tip_evidence >= kEvidence &&
                                                cv::norm(feet(*caster) - t.tip_from) >= kWalked * caster->h);
            }
        }
    }
}

} // namespace qv
