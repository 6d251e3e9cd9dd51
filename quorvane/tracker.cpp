#include "quorvane/tracker.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {
// Sizes and distances are in full-frame pixels or shares of an object's own size,
// so they hold at any resolution; counts are in frames.
constexpr size_t kMaxTracks = 160;    // objects followed at once, tentative ones included
constexpr float kAlpha = 0.6f;        // position gain of the alpha-beta filter
constexpr float kBeta = 0.25f;        // its velocity gain
constexpr float kSizeRate = 0.3f;     // share of a larger measured size taken per frame
constexpr float kShrinkRate = 0.05f;  // share of a smaller size taken per frame
constexpr float kPartial = 0.75f;     // a measurement smaller than this share of the size is partial
constexpr float kExcess = 1.3f;       // and one larger than this share has taken in something beside it
constexpr float kGroupAlpha = 0.3f;   // position gain while sharing a blob: trust the motion more
constexpr float kGroupBeta = 0.05f;   // velocity gain while sharing a blob
constexpr float kGroupDamping = 0.95f; // velocity kept per frame while sharing a blob
constexpr float kCoastDamping = 0.9f; // velocity kept per frame without a measurement
// Found by its look inside a shared blob (see Look):
constexpr int kLookSamples = 10;     // frames alone before a look is trusted
constexpr float kLookReach = 0.5f;   // searched this share of its width either side, a quarter of that up and down
constexpr float kSure = 0.2f;        // a likeness costing no more is the object, in full view
constexpr float kLikeness = 0.45f;   // one costing more is someone else, or too little seen
constexpr float kDistinct = 1.5f;    // looks of members that differ less than this (see difference()) are not used
constexpr float kSeenAlpha = 0.5f;   // position gain
constexpr float kSeenBeta = 0.1f;    // velocity gain
// Two objects stacked one above the other that are the halves of one figure:
constexpr float kStackOverlap = 0.6f; // columns shared, as a share of the narrower one's width
constexpr float kStackGap = 0.25f;    // largest gap between them, as a share of the joined height
constexpr float kStackAspect = 4.0f;  // joined no taller than this many widths: one figure, not two
constexpr float kStackInside = 0.5f;  // one sharing this share of its rows with the other is a piece of it
constexpr float kStackSpeed = 0.3f;   // velocity difference allowed, as a share of the speed
constexpr int kStackFrames = 3;       // frames they must stay so before they are joined
// Objects sharing one blob that are pieces of one figure:
constexpr float kPieceShare = 0.3f;   // each no bigger than this share of the blob's area
constexpr float kPieceAspect = 2.0f;  // and the blob at least this many widths tall
// An object reaches into a blob with this share of its box:
constexpr float kReachShare = 0.3f;
// An object followed no wider than this share of its height is one upright figure:
constexpr float kOneFigure = 0.55f;
// One no wider than this share may still be one person, for learning their size (the
// shade at the feet, a coat, a bag widen a box past an upright figure's).
constexpr float kPersonShare = 0.75f;
// Blobs near an object that are its own pieces:
constexpr float kFragmentReach = 0.3f;  // above and below its box, as a share of its height
constexpr float kFragmentSide = 0.5f;   // beside it, as a share of its width, for small pieces
constexpr float kSmallPiece = 0.5f;     // small: no taller than this share of its height
// Someone standing still (at a table, a counter) turns, bends and reaches out: the arms
// leave the box the body keeps, and show as pieces of their own.
constexpr float kLimbShare = 0.75f;     // pieces within its arms' reach no taller than this share of its height
constexpr float kFragmentGrowth = 1.2f; // pieces joined may exceed the object's main piece by this factor
constexpr float kFeetReach = 0.8f;      // below a box, as a share of its height, shoes may lie under unseen legs
constexpr float kFeetAspect = 4.0f;     // and the figure they complete is no taller than this many widths
constexpr int kConfirmHits = 5;       // measurements before a newcomer is reported
constexpr int kChildHits = 8;         // the same for something put down, which does not travel
constexpr int kTentativeMisses = 2;   // a newcomer unseen this long is dropped
constexpr int kStaticCheckAge = 15;   // an unmoving newcomer is checked for being a ghost this often
constexpr int kTentativeMaxAge = 100; // a newcomer not confirmed by then is dropped
constexpr int kStillCheckEvery = 10;  // a still confirmed object is checked for being a ghost this often
constexpr int kChildLookBack = 30;    // a put-down object lies on its owner's path of this many frames

cv::Point2f centre(const cv::Rect2f &r)
{
    return {r.x + r.width / 2, r.y + r.height / 2};
}

float length(cv::Point2f p)
{
    return std::sqrt(p.dot(p));
}

// One side's centre when only part of the object shows (legs over a floor of their
// own shade, an arm cut off) or when the blob took in more (a shadow left over, a
// passer-by): the edge nearer to its predicted place is taken as true, and the
// centre lies half the known size from it.
float partial_side(float lo, float size, float pred_lo, float known, float excess)
{
    if (size >= kPartial * known && size <= excess * known)
        return lo + size / 2;
    const float hi = lo + size, pred_hi = pred_lo + known;
    return std::abs(lo - pred_lo) <= std::abs(hi - pred_hi) ? lo + known / 2 : hi - known / 2;
}

float resize_toward(float size, float target, bool settled)
{
    if (target < size)
        return size + kShrinkRate * (target - size);
    return settled ? target : size + kSizeRate * (target - size);
}

// A piece within arm's reach of someone standing, no taller than a limb and bent torso:
// up to the reach above the box too, as a box shrinks while its owner bends over.
bool limb_of(const Track &t, const cv::Rect2f &piece)
{
    return t.standing() && std::abs(centre(piece).x - t.cx) <= kArmReach * t.h &&
           piece.y >= t.cy - (0.5f + kLimbRise) * t.h && piece.y + piece.height <= t.cy + t.h / 2 &&
           piece.height < kLimbShare * t.h;
}

// Whether a box is a piece of an object we already follow: inside its box, or in the
// part of it the box does not hold just now (a head above a torso the floor hides), a
// small piece beside it (a limb of a figure the box holds only part of), or a limb of
// someone standing.
bool piece_of(const Track &t, const cv::Rect2f &box)
{
    cv::Rect2f reach = t.box();
    reach.y -= kFragmentReach * t.h;
    reach.height += 2 * kFragmentReach * t.h;
    if ((box & t.box()).area() >= 0.7f * box.area() ||
        ((box & reach).area() >= 0.7f * box.area() && box.width < t.w))
        return true;
    reach.x -= kFragmentSide * t.w;
    reach.width += 2 * kFragmentSide * t.w;
    if (reach.contains(centre(box)) && box.height < kSmallPiece * t.h && box.width < t.w)
        return true;
    return limb_of(t, box);
}

cv::Point2f partial_centre(const Track &t, const cv::Rect2f &m)
{
    const cv::Rect2f p = t.box();
    // A newcomer is still showing itself (coming in, pieces joining): it takes all it is given.
    const float excess = t.sizes.full() ? kExcess : INFINITY;
    return {partial_side(m.x, m.width, p.x, t.w, excess), partial_side(m.y, m.height, p.y, t.h, excess)};
}

} // namespace

void Tracker::init(const Params &params)
{
    params_ = params;
    next_id_ = 1;
    person_ = PersonSize{};
    tracks_.clear();
    tracks_.reserve(kMaxTracks);
    measures_.reserve(kMaxTracks);
    adopt_.reserve(kMaxTracks);
}

cv::Rect Tracker::to_grid(const cv::Rect2f &box, int margin) const
{
    return grid_cells(params_, box, margin);
}

cv::Rect2f Tracker::to_frame(const cv::Rect &cells) const
{
    const float f = static_cast<float>(params_.factor);
    return {cells.x * f, cells.y * f, cells.width * f, cells.height * f};
}

void Tracker::update(std::vector<Blob> &blobs, const std::vector<Blob> &crumbs, const cv::Mat &labels,
                     const cv::Mat &fg, const cv::Mat &grid, const GhostTest &ghosts)
{
    for (Track &t : tracks_) {
        t.cx += t.vx;
        t.cy += t.vy;
    }
    measures_.assign(tracks_.size(), Measure{});
    split_groups(blobs, labels, fg, grid);
    match(blobs);
    absorb_fragments(blobs);
    join_feet(blobs, crumbs);
    correct();
    learn_alone(fg, grid);
    join_stacked();
    drop_pieces();
    spawn(blobs);
    settle(ghosts);
}

// Cuts a blob of people into one piece per person, by one person's size at its feet
// row where that is known; returns whether it did.
bool Tracker::cut(std::vector<Blob> &blobs, size_t b, const cv::Mat &labels, const cv::Mat &fg)
{
    cv::Size2f person;
    if (person_.known()) {
        const cv::Rect &r = blobs[b].box;
        person = person_.at(static_cast<float>((r.y + r.height) * params_.factor)) / static_cast<float>(params_.factor);
    }
    if (!group_cutter_.split(blobs[b], labels, fg, person))
        return false;
    cut_into_people(blobs, b);
    return true;
}

// The blob's pieces, one per person, take its place.
void Tracker::cut_into_people(std::vector<Blob> &blobs, size_t b)
{
    blobs[b].used = true;
    blobs.insert(blobs.end(), group_cutter_.pieces().begin(), group_cutter_.pieces().end());
}

// Whether the objects move alike: walking together rather than passing each other.
bool Tracker::alike(const std::vector<int> &members) const
{
    const Track &a = tracks_[members[0]];
    const float allowed = kStackSpeed * (length(cv::Point2f(a.vx, a.vy)) + params_.factor);
    for (int i : members)
        if (length(cv::Point2f(tracks_[i].vx - a.vx, tracks_[i].vy - a.vy)) > allowed)
            return false;
    return true;
}

// Whether a blob no two objects share may be cut into people. Not when objects
// moving apart reach into it (one coming past another, its box stretched by a
// shadow): the matching sorts that out. Nor when the one object reaching into it
// has long been followed at its width as one upright figure: one figure whose outline only looks like
// two (a stride, a limb the floor hides).
bool Tracker::may_cut(const cv::Rect2f &area)
{
    near_.clear();
    for (size_t i = 0; i < tracks_.size(); ++i) {
        const Track &t = tracks_[i];
        if (t.confirmed && !measures_[i].valid && (t.box() & area).area() >= kReachShare * t.w * t.h)
            near_.push_back(static_cast<int>(i));
    }
    if (near_.size() == 1) {
        const Track &t = tracks_[near_[0]];
        return !t.sizes.full() || t.w > kOneFigure * t.h || area.width > kExcess * t.w;
    }
    return near_.size() < 2 || alike(near_);
}

// People who share a blob are told apart by their heads when they walk together
// (their predicted boxes drift over one another), or came in together and were
// never apart. Objects that pass each other keep their own boxes: each blob cell
// goes to the nearest predicted box, scaled by its size.
void Tracker::split_groups(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &grid)
{
    const float f = static_cast<float>(params_.factor);
    const size_t count = blobs.size(); // pieces appended are measurements already
    for (size_t b = 0; b < count; ++b) {
        Blob &blob = blobs[b];
        const cv::Rect2f area = to_frame(blob.box);
        members_.clear();
        for (size_t i = 0; i < tracks_.size(); ++i) {
            const Track &t = tracks_[i];
            if (!(t.confirmed || t.hits >= 3) || measures_[i].valid)
                continue;
            if (area.contains(cv::Point2f(t.cx, t.cy)) && t.w * t.h < 0.8f * area.area())
                members_.push_back(static_cast<int>(i));
        }
        if (members_.size() < 2) {
            if (may_cut(area))
                cut(blobs, b, labels, fg);
            continue;
        }
        if (pieces_of_one(blob, area))
            continue;
        if (alike(members_) && cut(blobs, b, labels, fg))
            continue;
        if (find_by_look(blob, labels, fg, grid)) {
            blob.used = true;
            continue;
        }
        extents_.assign(members_.size(), cv::Vec4i(INT32_MAX, INT32_MAX, -1, -1));
        counts_.assign(members_.size(), 0);
        for (int y = blob.box.y; y < blob.box.y + blob.box.height; ++y) {
            const int *row = labels.ptr<int>(y);
            const float py = (y + 0.5f) * f;
            for (int x = blob.box.x; x < blob.box.x + blob.box.width; ++x) {
                if (row[x] != blob.label)
                    continue;
                const float px = (x + 0.5f) * f;
                size_t best = 0;
                float best_d = 1e30f;
                for (size_t k = 0; k < members_.size(); ++k) {
                    const Track &t = tracks_[members_[k]];
                    const float dx = (px - t.cx) / t.w, dy = (py - t.cy) / t.h;
                    const float d = dx * dx + dy * dy;
                    if (d < best_d) {
                        best_d = d;
                        best = k;
                    }
                }
                cv::Vec4i &e = extents_[best];
                e[0] = std::min(e[0], x);
                e[1] = std::min(e[1], y);
                e[2] = std::max(e[2], x);
                e[3] = std::max(e[3], y);
                ++counts_[best];
            }
        }
        for (size_t k = 0; k < members_.size(); ++k) {
            if (counts_[k] < 2 || measures_[members_[k]].valid) // found by its look
                continue;
            const cv::Vec4i &e = extents_[k];
            Measure &m = measures_[members_[k]];
            m.box = to_frame(cv::Rect(e[0], e[1], e[2] - e[0] + 1, e[3] - e[1] + 1));
            m.valid = true;
            m.group = !flat_among_shadows(members_[k]);
        }
        blob.used = true;
    }
}

// Whether the object's box is flat and every other object sharing its blob is a shadow.
// The size kept while a blob is shared is then the one it came in with, its shadow taken
// in (someone coming in at the frame's edge beside their long shadow): kept, the walker
// never stands upright enough to be taken for the caster of the pieces beside them.
bool Tracker::flat_among_shadows(int i) const
{
    const Track &t = tracks_[i];
    if (t.shadow_tip || t.w <= t.h)
        return false;
    for (int o : members_)
        if (o != i && !tracks_[o].shadow_tip)
            return false;
    return true;
}

// Objects passing or meeting in one blob: the cells nearest each predicted box are the
// half on the side it came from, which holds it back until the two bounce off each
// other and swap. Where one's look is known and tells it from all the others, it is
// looked for instead; returns whether every member was (the others then get the cells
// nearest them, beside those found).
bool Tracker::find_by_look(const Blob &blob, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &grid)
{
    // Each member on its own: one unlike everyone else in the blob, and passing someone,
    // is looked for. Someone dressed like another is not told apart so; nor need those
    // going the same way as all the others be: their nearest cells hold them back no
    // more than the blob does. The rest get the cells nearest them.
    by_look_.assign(members_.size(), 0);
    bool any = false, all = true;
    for (size_t j = 0; j < members_.size(); ++j) {
        const Track &a = tracks_[members_[j]];
        bool unlike = a.look.samples >= kLookSamples, passes = false;
        for (int k : members_) {
            const Track &b = tracks_[k];
            if (k == members_[j] || !unlike)
                continue;
            unlike = b.look.samples >= kLookSamples && difference(a.look, b.look) >= kDistinct;
            passes = passes || a.vx * b.vx + a.vy * b.vy <= 0;
        }
        by_look_[j] = unlike && passes;
        any = any || by_look_[j];
        all = all && by_look_[j];
    }
    if (!any)
        return false;
    look_finder_.prepare(grid, fg, labels, blob.label, blob.box);
    for (size_t j = 0; j < members_.size(); ++j) {
        if (!by_look_[j])
            continue;
        const int i = members_[j];
        const Track &t = tracks_[i];
        const cv::Rect around = to_grid(t.box(), 0);
        const int reach_x = std::max(2, static_cast<int>(kLookReach * around.width));
        const int reach_y = std::max(1, static_cast<int>(kLookReach * around.height / 4));
        float cost = 1;
        const cv::Rect found = look_finder_.find(t.look, around, reach_x, reach_y, cost);
        Measure &m = measures_[i];
        m.valid = m.group = m.seen = true;
        if (cost <= kSure) {
            m.box = to_frame(found);
            m.gain = kSeenAlpha;
            m.velocity_gain = kSeenBeta;
        } else if (cost <= kLikeness) {
            // Partly hidden: its visible part pulls it back, so its velocity is kept.
            m.box = to_frame(found);
            m.gain = kGroupAlpha;
        } else {
            // Hidden behind the others: it keeps its course, within the blob.
            const cv::Rect2f b = to_frame(blob.box);
            const cv::Point2f c(std::clamp(t.cx, b.x, b.x + b.width), std::clamp(t.cy, b.y, b.y + b.height));
            m.box = cv::Rect2f(c.x - t.w / 2, c.y - t.h / 2, t.w, t.h);
            m.gain = 1;
            m.held = c != cv::Point2f(t.cx, t.cy);
        }
    }
    return all;
}

// What an object looks like is learnt while it has a blob to itself; so is one person's
// size, from walkers followed a while, whole in the picture and no wider than one can be.
void Tracker::learn_alone(const cv::Mat &fg, const cv::Mat &grid)
{
    const float margin = static_cast<float>(params_.factor);
    const cv::Rect2f inside(margin, margin, params_.width - 2 * margin, params_.height - 2 * margin);
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Track &t = tracks_[i];
        if (!t.measured || measures_[i].group)
            continue;
        const cv::Rect2f box = t.box();
        bool alone = true;
        for (size_t k = 0; k < tracks_.size() && alone; ++k)
            alone = k == i || (tracks_[k].box() & box).empty();
        if (!alone)
            continue;
        learn_look(t.look, look_of(grid, fg, to_grid(box, 0)));
        if (t.confirmed && !measures_[i].piece && t.sizes.full() && !t.standing() && t.w <= kPersonShare * t.h &&
            (box & inside) == box)
            person_.learn(t.cy + t.h / 2, t.w, t.h);
    }
}

// Objects that are each a small piece of one blob and move alike were pieces of
// one figure all along (legs seen apart as it came in): the most established one
// takes the whole blob and the others go.
bool Tracker::pieces_of_one(Blob &blob, const cv::Rect2f &area)
{
    // One upright figure, not people side by side.
    if (area.height < kPieceAspect * area.width)
        return false;
    int first = members_[0];
    for (int i : members_) {
        const Track &t = tracks_[i];
        if (t.w * t.h > kPieceShare * area.area())
            return false;
        const Track &a = tracks_[members_[0]];
        if (length(cv::Point2f(t.vx - a.vx, t.vy - a.vy)) > kStackSpeed * (length(cv::Point2f(a.vx, a.vy)) + params_.factor))
            return false;
        if (t.hits > tracks_[first].hits)
            first = i;
    }
    for (int i : members_)
        if (i != first)
            tracks_[i].gone = true;
    measures_[first] = Measure{area, true, false};
    blob.used = true;
    return true;
}

// Optimal matching of the remaining objects and blobs on a gated cost: distance
// from the predicted centre relative to the object's size, plus the change of area.
void Tracker::match(std::vector<Blob> &blobs)
{
    rows_.clear();
    cols_.clear();
    for (size_t i = 0; i < tracks_.size(); ++i)
        if (!measures_[i].valid && !tracks_[i].gone) // a piece merged away takes no blob from the others
            rows_.push_back(static_cast<int>(i));
    for (size_t j = 0; j < blobs.size(); ++j)
        if (!blobs[j].used)
            cols_.push_back(static_cast<int>(j));
    if (rows_.empty() || cols_.empty())
        return;
    cost_.assign(rows_.size() * cols_.size(), kForbidden);
    for (size_t r = 0; r < rows_.size(); ++r) {
        const Track &t = tracks_[rows_[r]];
        const float gate = 0.75f * std::max(t.w, t.h) + 2.0f * length({t.vx, t.vy}) + 2.0f * params_.factor;
        for (size_t c = 0; c < cols_.size(); ++c) {
            const cv::Rect2f b = to_frame(blobs[cols_[c]].box);
            const float d = length(centre(b) - cv::Point2f(t.cx, t.cy));
            if (d > gate)
                continue;
            double cost = d / t.scale() + 0.5 * std::abs(std::log(b.area() / std::max(t.w * t.h, 1.0f)));
            if (!t.confirmed)
                cost += 0.3; // an established object has the first claim
            cost_[r * cols_.size() + c] = cost;
        }
    }
    const std::vector<int> &pick = assignment_.solve(cost_, static_cast<int>(rows_.size()),
                                                     static_cast<int>(cols_.size()));
    for (size_t r = 0; r < rows_.size(); ++r) {
        if (pick[r] < 0)
            continue;
        Blob &b = blobs[cols_[pick[r]]];
        measures_[rows_[r]] = Measure{to_frame(b.box), true, false, b.piece};
        b.used = true;
    }
}

// A figure broken into pieces (clothing like the background) is one measurement
// as long as the pieces lie in its predicted box and together are no bigger than
// the object's main piece has been; someone standing takes in their limbs within
// reach besides. Measured against that size, never against the
// growing union, so something put down does not drag the box along once its owner walks off.
void Tracker::absorb_fragments(std::vector<Blob> &blobs)
{
    const float slack = static_cast<float>(params_.factor);
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Measure &m = measures_[i];
        if (!m.valid || m.group)
            continue;
        Track &t = tracks_[i];
        t.main_w += kSizeRate * (m.box.width - t.main_w);
        t.main_h += kSizeRate * (m.box.height - t.main_h);
        const cv::Rect2f reach = t.box();
        for (Blob &b : blobs) {
            if (b.used || b.piece) // the people beside it are no pieces of it
                continue;
            const cv::Rect2f box = to_frame(b.box);
            const cv::Rect2f joined = m.box | box;
            const bool limb = limb_of(t, box);
            if (!limb && !reach.contains(centre(box)))
                continue;
            if (!limb &&
                (joined.width > kFragmentGrowth * t.main_w + slack || joined.height > kFragmentGrowth * t.main_h + slack))
                continue;
            m.box = joined;
            b.used = true;
        }
    }
}

// Legs the shade of the floor leave a figure's box ending at the knees, with its
// shoes, or legs over a darker patch, seen below apart. A piece under the box, in
// its column and no wider, that leaves the whole no thinner than a standing figure,
// is its lower part. Crumbs too small to be objects count too.
bool Tracker::feet_of(const cv::Rect2f &body, const cv::Rect &cells) const
{
    const float slack = static_cast<float>(params_.factor);
    const cv::Rect2f box = to_frame(cells);
    const float mid = box.x + box.width / 2, bottom = body.y + body.height;
    if (mid < body.x || mid > body.x + body.width || box.width > body.width + slack)
        return false;
    if (box.y + box.height / 2 < bottom || box.y + box.height > bottom + kFeetReach * body.height)
        return false;
    return (body | box).height <= kFeetAspect * (body | box).width;
}

void Tracker::join_feet(std::vector<Blob> &blobs, const std::vector<Blob> &crumbs)
{
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Measure &m = measures_[i];
        if (!m.valid || m.group || !tracks_[i].confirmed)
            continue;
        const cv::Rect2f body = m.box;
        for (Blob &b : blobs) {
            if (!b.used && feet_of(body, b.box)) {
                m.box |= to_frame(b.box);
                b.used = true;
            }
        }
        for (const Blob &c : crumbs)
            if (feet_of(body, c.box))
                m.box |= to_frame(c.box);
    }
}

void Tracker::correct()
{
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Track &t = tracks_[i];
        const Measure &m = measures_[i];
        ++t.age;
        t.measured = m.valid;
        if (m.valid) {
            t.seen = m.box;
            if (m.group && m.seen) {
                if (m.held) { // the group has stopped
                    t.vx *= kGroupDamping;
                    t.vy *= kGroupDamping;
                }
                const cv::Point2f c = centre(m.box);
                const float rx = c.x - t.cx, ry = c.y - t.cy;
                t.cx += m.gain * rx;
                t.cy += m.gain * ry;
                t.vx += m.velocity_gain * rx;
                t.vy += m.velocity_gain * ry;
            } else if (m.group) {
                const cv::Point2f c = centre(m.box);
                const float rx = c.x - t.cx, ry = c.y - t.cy;
                t.cx += kGroupAlpha * rx;
                t.cy += kGroupAlpha * ry;
                // Mostly the motion it had, but not forever: a group that stops stops its members.
                t.vx = kGroupDamping * t.vx + kGroupBeta * rx;
                t.vy = kGroupDamping * t.vy + kGroupBeta * ry;
            } else {
                if (m.piece && t.w > kExcess * m.box.width) {
                    // Followed as one while the group came in: from now on it is the
                    // one person it was given, and the others get their own.
                    t.cx = centre(m.box).x;
                    t.w = t.main_w = m.box.width;
                    t.sizes = SizeHistory{};
                }
                const cv::Point2f p = partial_centre(t, m.box);
                const float px = p.x - t.cx, py = p.y - t.cy;
                t.cx += kAlpha * px;
                t.cy += kAlpha * py;
                t.vx += kBeta * px;
                t.vy += kBeta * py;
                // Growing follows the median of recent sizes, so a shadow taken in for
                // a few frames does not stretch the box; shrinking is slow besides, as a
                // smaller blob is more often a part hidden than the object changing.
                t.sizes.push(m.box.width, m.box.height);
                const bool settled = t.sizes.full();
                t.w = resize_toward(t.w, settled ? t.sizes.median_width() : m.box.width, settled);
                t.h = resize_toward(t.h, settled ? t.sizes.median_height() : m.box.height, settled);
            }
            ++t.hits;
            t.misses = 0;
        } else {
            ++t.misses;
            t.vx *= kCoastDamping;
            t.vy *= kCoastDamping;
        }
        t.travel = std::max(t.travel, length(cv::Point2f(t.cx, t.cy) - t.birth));
        const cv::Point2f foot(t.cx, t.cy + t.h / 2);
        if (length(foot - t.anchor) <= std::max(1.5f * params_.factor, 0.1f * t.h)) {
            ++t.still;
        } else {
            t.anchor = foot;
            t.still = 0;
        }
    }
}

// Two objects, one right above the other, moving alike and together shaped like
// one upright figure, are the halves of one (legs the colour of the floor between
// a shirt and shoes). After a few such frames the younger joins the older.
void Tracker::join_stacked()
{
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Track &young = tracks_[i];
        bool stacked_now = false;
        for (size_t k = 0; k < tracks_.size() && !stacked_now; ++k) {
            Track &old = tracks_[k];
            if (k == i || old.hits <= young.hits || !old.measured || !young.measured)
                continue;
            const cv::Rect2f a = old.box(), b = young.box();
            const cv::Rect2f joined = a | b;
            const float overlap = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
            const float gap = std::max(b.y - (a.y + a.height), a.y - (b.y + b.height));
            const float dv = length(cv::Point2f(old.vx - young.vx, old.vy - young.vy));
            // Together taller than wide, as two cars one lane above the other are not;
            // a piece lying mostly in the other's rows goes to it whatever the shape.
            const bool upright = joined.height >= joined.width || -gap >= kStackInside * std::min(a.height, b.height);
            stacked_now = overlap >= kStackOverlap * std::min(a.width, b.width) && gap <= kStackGap * joined.height &&
                          joined.height <= kStackAspect * joined.width && upright &&
                          joined.height <= a.height + b.height + kStackGap * joined.height &&
                          dv <= kStackSpeed * (length(cv::Point2f(old.vx, old.vy)) + params_.factor);
            if (stacked_now && ++young.stacked >= kStackFrames) {
                old.cx = joined.x + joined.width / 2;
                old.cy = joined.y + joined.height / 2;
                old.w = old.main_w = joined.width;
                old.h = old.main_h = joined.height;
                old.sizes = SizeHistory{};
                old.sizes.push(old.w, old.h);
                young.gone = true;
            }
        }
        if (!stacked_now)
            young.stacked = 0;
    }
}

// How far a newcomer must get from where it was born to be something moving.
float Tracker::moved(const Track &t) const
{
    return std::max(2.0f * params_.factor, 0.35f * std::max(t.w, t.h));
}

// A newcomer that comes to lie on an object we follow, no taller than half of it, is a
// piece of it after all (shoes seen apart ahead of a box that lagged behind its owner):
// it goes before it is confirmed, or it would share the owner's blob and take it over.
// Only one that moves: something put down, or a hole left in the background, is judged
// by its own rules.
void Tracker::drop_pieces()
{
    for (Track &young : tracks_) {
        if (young.confirmed || young.child || young.gone || young.travel < moved(young))
            continue;
        for (const Track &t : tracks_) {
            if (t.confirmed && !t.gone && young.h < kSmallPiece * t.h && young.w < t.w &&
                piece_of(t, young.box())) {
                young.gone = true;
                break;
            }
        }
    }
}

void Tracker::spawn(const std::vector<Blob> &blobs)
{
    for (const Blob &b : blobs) {
        if (b.used)
            continue;
        if (tracks_.size() >= kMaxTracks)
            break;
        const cv::Rect2f box = to_frame(b.box);
        const cv::Point2f foot(box.x + box.width / 2, box.y + box.height);
        bool fragment = false, child = false;
        for (const Track &t : tracks_) {
            if (!t.confirmed || b.piece) // a person cut from a group is neither
                continue;
            if (piece_of(t, box))
                fragment = true;
            const int look = std::min(t.path.size(), kChildLookBack);
            for (int k = 0; k < look && !child; ++k) {
                const qv_point p = t.path.latest(k);
                child = length(foot - cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y))) <
                        0.5f * t.h + 2.0f * params_.factor;
            }
        }
        if (fragment)
            continue;
        Track t;
        t.child = child;
        t.w = t.main_w = box.width;
        t.h = t.main_h = box.height;
        t.sizes.push(t.w, t.h);
        t.cx = box.x + box.width / 2;
        t.cy = box.y + box.height / 2;
        t.birth = cv::Point2f(t.cx, t.cy);
        t.anchor = foot;
        t.age = 1;
        t.hits = 1;
        t.measured = true;
        tracks_.push_back(t);
    }
}

// Confirms newcomers, drops the lost, and sends ghosts and long-still objects to the background.
void Tracker::settle(const GhostTest &ghosts)
{
    adopt_.clear();
    const cv::Rect2f frame(0, 0, static_cast<float>(params_.width), static_cast<float>(params_.height));
    size_t kept = 0;
    for (size_t i = 0; i < tracks_.size(); ++i) {
        Track &t = tracks_[i];
        bool drop = t.gone || (t.box() & frame).empty();
        const cv::Rect cells = to_grid(t.box(), 1);
        if (t.confirmed) {
            if (t.misses > params_.coast_frames)
                drop = true;
            else if (t.still >= params_.absorb_frames) {
                adopt_.push_back(cells);
                drop = true;
            } else if (t.measured && t.still >= kStillCheckEvery && t.still % kStillCheckEvery == 0 &&
                       ghosts.is_ghost(cells)) {
                adopt_.push_back(cells);
                drop = true;
            }
        } else if (t.misses >= kTentativeMisses || t.age > kTentativeMaxAge) {
            drop = true;
        } else {
            const float needed = moved(t);
            const bool mostly_seen = t.hits >= t.age - 2;
            if (t.hits >= kConfirmHits && mostly_seen && t.travel >= needed) {
                t.confirmed = true;
            } else if (t.child && t.hits >= kChildHits && mostly_seen && t.still >= kChildHits / 2) {
                if (ghosts.is_ghost(cells)) {
                    adopt_.push_back(cells);
                    drop = true;
                } else {
                    t.confirmed = true;
                }
            } else if (!t.child && t.age % kStaticCheckAge == 0 && t.travel < needed && ghosts.is_ghost(cells)) {
                adopt_.push_back(cells);
                drop = true;
            }
            if (t.confirmed)
                t.id = next_id_++;
        }
        if (!drop) {
            if (kept != i)
                tracks_[kept] = tracks_[i];
            ++kept;
        }
    }
    tracks_.resize(kept);
}

} // namespace qv
