#include "quorvane/cast_shadows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace qv {

namespace {
// Lengths are in heights of the object that casts the shadow, so they hold at any
// resolution and distance from the camera.
constexpr float kSearchSide = 2.0f;  // a shadow is looked for this far to either side of the feet (a low sun)
constexpr float kSearchAbove = 0.25f; // from this far above the feet, beside the body only: a shadow laid out
                                      // sideways has half its breadth above the feet's row
constexpr float kSearchBelow = 1.3f; // to this far below
constexpr float kAloneSide = 1.0f;   // nobody else within this many heights beside the feet: the shade is its own
constexpr float kMinShare = 0.02f;   // shadow area needed to learn from, in the object's height squared
constexpr float kFeetMargin = 0.05f;  // around the predicted box, of the height, nothing is cleared
constexpr float kRise = 0.2f;        // of the height: an object whose top is this far above the feet stands
// So does one at least this share of the caster's height, and taller than wide: from
// nearer the camera its head can stay below the caster's feet. Lower than that, and
// no higher than the feet, an object in the shadow's place may be a piece of it.
constexpr float kStandHeight = 0.5f;
// Half the breadth of an upright figure's legs and swinging arms, of its height. A box
// can be wider, having taken in its shadow beside the feet; only this much of it is body.
constexpr float kBodyHalf = 0.2f;
// The side the scene's shadows fall to, from the places learnt by upright walkers.
constexpr float kUpright = 1.2f;     // a walker's height over its width at least
constexpr float kVoteFlat = 0.5f;    // a place's height over its breadth at most: lying on the ground
constexpr float kVoteSide = 0.4f;    // heights from the feet to the place's middle, sideways, at least
constexpr float kSunVotes = 20;      // places learnt before a side is taken
constexpr float kSunShare = 0.85f;   // and the share of them on that side
constexpr float kVoteMemory = 2000;  // votes kept; older ones count half
constexpr int kLife = 30;            // frames a learnt place is trusted without being seen again
constexpr float kFollow = 0.3f;      // share of the way to a newly seen place taken per frame
// Heights the place reaches further on the side the scene's shadows fall to, once that is
// known: a soft shadow fades towards its far end, where the ground is dimmed too little
// for the filter to take it out, so the place learnt from what was taken out falls short.
constexpr float kFarEnd = 0.3f;
} // namespace

void CastShadows::init(const Params &params)
{
    params_ = params;
    cleared_ = cv::Mat::zeros(params.grid_height, params.grid_width, CV_8U);
    standing_.reserve(64);
    votes_[0] = votes_[1] = 0;
}

bool CastShadows::inside(const std::vector<cv::Rect> &boxes, cv::Point cell)
{
    for (const cv::Rect &r : boxes)
        if (r.contains(cell))
            return true;
    return false;
}

cv::Rect CastShadows::cells(const cv::Rect2f &box) const
{
    return grid_cells(params_, box, 0);
}

// The shadow's place this frame, from the object's predicted feet, reaching on to the
// far end when it lies on the side the scene's shadows fall to.
cv::Rect2f CastShadows::expected(const Track &t) const
{
    const cv::Point2f foot(t.cx + t.vx, t.cy + t.vy + t.h / 2);
    const cv::Rect2f &s = t.shadow_at;
    cv::Rect2f place(foot.x + s.x * t.h, foot.y + s.y * t.h, s.width * t.h, s.height * t.h);
    const int side = sun_side();
    const float reach = kFarEnd * t.h;
    if (side > 0 && place.x + place.width > foot.x) {
        place.width += reach;
    } else if (side < 0 && place.x < foot.x) {
        place.x -= reach;
        place.width += reach;
    }
    return place;
}

const cv::Mat &CastShadows::clear(const std::vector<Track> &tracks, const cv::Mat &dark, const cv::Mat &clothing,
                                  cv::Mat &fg)
{
    cleared_.setTo(0);
    for (const Track &t : tracks) {
        if (!t.confirmed || t.shadow_life <= 0)
            continue;
        // Only below the predicted feet or a little above them beside the body, and
        // not right at the feet: a step longer than predicted must not lose a foot, and
        // nothing in the body's column above the feet is ever taken for the ground, so
        // a box that went astray cannot eat its own object.
        const float margin = kFeetMargin * t.h;
        const float feet = t.cy + t.vy + t.h / 2;
        const float top = feet - kSearchAbove * t.h;
        const float half = t.h > t.w ? std::min(t.w / 2, kBodyHalf * t.h) : t.w / 2;
        const cv::Rect2f own(t.cx + t.vx - half - margin, 0, 2 * (half + margin), feet + margin);
        const cv::Rect area = cells(expected(t)) & cells(cv::Rect2f(0, top, static_cast<float>(params_.width),
                                                                     static_cast<float>(params_.height))),
                       body = cells(own);
        // Whoever stands in the shadow keeps their cells (see stands()).
        // A car passing through it lies as flat, but an object wider than tall keeps the
        // cells the filter judged clothing (flat over varying ground): they are its own.
        standing_.clear();
        lying_.clear();
        for (const Track &o : tracks) {
            if (&o == &t || !o.confirmed)
                continue;
            const cv::Rect box = cells(o.box() + cv::Point2f(o.vx, o.vy)) & area;
            if (stands(o, t))
                standing_.push_back(box);
            else if (o.w > o.h)
                lying_.push_back(box);
        }
        for (int y = area.y; y < area.y + area.height; ++y) {
            const uint8_t *d = dark.ptr<uint8_t>(y), *k = clothing.ptr<uint8_t>(y);
            uint8_t *m = fg.ptr<uint8_t>(y), *c = cleared_.ptr<uint8_t>(y);
            for (int x = area.x; x < area.x + area.width; ++x) {
                if (m[x] && d[x] && !body.contains(cv::Point(x, y)) && !inside(standing_, cv::Point(x, y)) &&
                    !(k[x] && inside(lying_, cv::Point(x, y)))) {
                    m[x] = 0;
                    c[x] = 255;
                }
            }
        }
    }
    return cleared_;
}

// Whether o's predicted top is above the caster's predicted feet: the shadow, and
// anything lying on the ground, does not rise so.
bool CastShadows::rises(const Track &o, const Track &caster)
{
    const float feet = caster.cy + caster.vy + caster.h / 2;
    return o.cy + o.vy - o.h / 2 < feet - kRise * caster.h;
}

// Someone standing in the shadow rises above the feet that cast it, or is tall.
bool CastShadows::stands(const Track &o, const Track &caster)
{
    return rises(o, caster) || (o.h >= kStandHeight * caster.h && o.h > o.w);
}

void CastShadows::bodies(const std::vector<Track> &tracks, std::vector<cv::Rect> &boxes) const
{
    boxes.clear();
    for (const Track &o : tracks) {
        if (!o.confirmed)
            continue;
        const cv::Rect2f box = o.box() + cv::Point2f(o.vx, o.vy);
        bool piece = false;
        for (const Track &t : tracks) {
            if (&t == &o || !t.confirmed || t.shadow_life <= 0 || (box & expected(t)).area() <= 0)
                continue;
            piece = piece || (!rises(o, t) && o.h < kStandHeight * t.h);
        }
        if (!piece)
            boxes.push_back(cells(box));
    }
}

int CastShadows::sun_side() const
{
    const float sum = votes_[0] + votes_[1];
    for (int k = 0; k < 2; ++k)
        if (votes_[k] >= kSunVotes && votes_[k] >= kSunShare * sum)
            return 2 * k - 1;
    return 0;
}

// A place learnt by an upright walker that lies flat and well out to one side is a
// vote for that side.
void CastShadows::vote(const Track &t, const cv::Rect2f &rel)
{
    const float centre = rel.x + rel.width / 2;
    if (t.h < kUpright * t.w || rel.height > kVoteFlat * rel.width || std::abs(centre) < kVoteSide)
        return;
    votes_[centre > 0 ? 1 : 0] += 1;
    if (votes_[0] + votes_[1] > kVoteMemory) { // the sun moves over the day
        votes_[0] /= 2;
        votes_[1] /= 2;
    }
}

void CastShadows::learn(std::vector<Track> &tracks, const cv::Mat &removed)
{
    const float f = static_cast<float>(params_.factor);
    for (Track &t : tracks) {
        if (!t.confirmed)
            continue;
        const cv::Point2f foot(t.cx, t.cy + t.h / 2);
        const cv::Rect2f search(foot.x - kSearchSide * t.h, foot.y - kSearchAbove * t.h, 2 * kSearchSide * t.h,
                                (kSearchAbove + kSearchBelow) * t.h);
        // Beside someone else, the shade found may be theirs, or them: what was
        // learnt holds until this one is alone again, as the light has not moved.
        const cv::Rect2f near(foot.x - kAloneSide * t.h, search.y, 2 * kAloneSide * t.h, search.height);
        bool alone = true;
        for (const Track &o : tracks)
            if (&o != &t && o.confirmed && (o.box() & near).area() > 0)
                alone = false;
        if (!alone)
            continue;
        --t.shadow_life;
        if (!t.measured)
            continue;
        const cv::Rect area = cells(search), body = cells(t.box());
        int x0 = INT32_MAX, y0 = INT32_MAX, x1 = -1, y1 = -1, n = 0, kept = 0;
        for (int y = area.y; y < area.y + area.height; ++y) {
            const uint8_t *r = removed.ptr<uint8_t>(y), *c = cleared_.ptr<uint8_t>(y);
            for (int x = area.x; x < area.x + area.width; ++x) {
                if (!r[x] || body.contains(cv::Point(x, y)))
                    continue;
                // What clear() took out right under the box only keeps the memory
                // alive: were the place learnt from it, a box that lost its legs
                // would learn them as its shadow and never get them back.
                if (c[x] && x >= body.x && x < body.x + body.width) {
                    ++kept;
                    continue;
                }
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
                ++n;
            }
        }
        const float enough = kMinShare * t.h * t.h / (f * f);
        if (n + kept >= enough && t.shadow_life > 0)
            t.shadow_life = kLife;
        if (n < enough)
            continue;
        // Relative to the feet, in heights; a little larger than seen, as its rim is soft.
        // A cast shadow starts at the feet that cast it: the stretch between the two,
        // right beside the legs, is shadow too, though no test could take it out yet.
        const cv::Rect2f seen = cv::Rect2f((x0 - 1) * f - foot.x, (y0 - 1) * f - foot.y, (x1 - x0 + 3) * f,
                                           (y1 - y0 + 3) * f) |
                                cv::Rect2f(-f, -f, 2 * f, 2 * f);
        const cv::Rect2f rel(seen.x / t.h, seen.y / t.h, seen.width / t.h, seen.height / t.h);
        vote(t, rel);
        if (t.shadow_life <= 0) {
            t.shadow_at = rel;
        } else {
            cv::Rect2f &s = t.shadow_at;
            s.x += kFollow * (rel.x - s.x);
            s.y += kFollow * (rel.y - s.y);
            s.width += kFollow * (rel.width - s.width);
            s.height += kFollow * (rel.height - s.height);
        }
        t.shadow_life = kLife;
    }
}

} // namespace qv
