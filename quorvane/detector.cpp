#include "quorvane/detector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qv {

namespace {

// Dead band around lines and zone edges, as a share of the object's height: a
// box changing shape (arms, a group merging and parting) must not look like a step across.
constexpr float kBandShare = 0.1f;
// Share of an object's box that must lie in the frame for it to be reported: one going
// out keeps its size, and is cut down to a sliver at the edge before it is dropped.
constexpr float kInFrame = 0.2f;
// Frames an object may go unseen and still be judged against lines. A box coasting
// longer is a guess of where someone went (they may have stepped out of sight short of
// the line); once seen again it is judged from where it was last firmly seen, so
// someone hidden as they pass the line is still counted.
constexpr int kBlindFrames = 1;

class ModelGhostTest : public GhostTest {
public:
    ModelGhostTest(const Background &model, const cv::Mat &frame, const cv::Mat &fg)
        : model_(model), frame_(frame), fg_(fg) {}
    bool is_ghost(cv::Rect rect) const override { return model_.is_ghost(frame_, fg_, rect); }

private:
    const Background &model_;
    const cv::Mat &frame_;
    const cv::Mat &fg_;
};

// The object's box in whole pixels, inside the frame and at least one pixel large.
qv_rect frame_box(const Track &t, int width, int height)
{
    const int x0 = std::clamp(static_cast<int>(std::lround(t.cx - t.w / 2)), 0, width - 1);
    const int y0 = std::clamp(static_cast<int>(std::lround(t.cy - t.h / 2)), 0, height - 1);
    const int x1 = std::clamp(static_cast<int>(std::lround(t.cx + t.w / 2)), x0 + 1, width);
    const int y1 = std::clamp(static_cast<int>(std::lround(t.cy + t.h / 2)), y0 + 1, height);
    return qv_rect{x0, y0, x1 - x0, y1 - y0};
}

// Bottom centre of the box: where a person's feet are.
qv_point reference_point(const qv_rect &box, int height)
{
    return qv_point{box.x + box.width / 2, std::min(box.y + box.height, height - 1)};
}

} // namespace

bool Detector::init(const qv_config &config)
{
    if (!make_params(config, params_))
        return false;
    const cv::Size grid(params_.grid_width, params_.grid_height);
    downscaler_.init(params_.width, params_.factor, params_.grid_width, params_.grid_height);
    background_.init(params_);
    blob_finder_.init(grid, params_.min_area_cells);
    tracker_.init(params_);
    shadows_.init(params_);
    grid_.create(grid, CV_8U);
    fg_ = cv::Mat::zeros(grid, CV_8U);
    keep_ = cv::Mat::zeros(grid, CV_8U);
    order_.reserve(256);
    frames_ = 0;
    crossings_.clear();
    return true;
}

bool Detector::set_regions(const qv_region *regions, int count)
{
    std::vector<Region> parsed;
    if (!parse_regions(regions, count, params_.width, params_.height, parsed))
        return false;
    regions_ = std::move(parsed);
    crossings_.clear();
    for (Track &t : tracker_.tracks()) { // states belong to the old regions
        t.rules = {};
        t.flags = {};
        for (EventQueue &q : t.pending)
            q.clear();
    }
    return true;
}

void Detector::mark_kept(cv::Mat &keep) const
{
    keep.setTo(0);
    for (const Track &t : tracker_.tracks()) {
        if (t.confirmed || t.child)
            keep(tracker_.to_grid(t.box(), 1)).setTo(255);
        // Someone standing for long moves arms and turns out of the box the body keeps,
        // and the box shrinks to what is seen; learnt into the background, the rest would
        // melt away and come back as pieces of their own. Nothing within reach is learnt.
        if (t.standing()) {
            const float top = t.cy - (0.5f + kLimbRise) * t.h;
            const cv::Rect2f reach(t.cx - kArmReach * t.h, top, 2 * kArmReach * t.h, t.cy + t.h / 2 - top);
            keep(tracker_.to_grid(reach, 1)).setTo(255);
        }
    }
}

// One frame, in steps. The masks live on the working grid (one cell is `factor`
// full-frame pixels a side): grid_ the frame, fg_ its foreground (255 strong,
// kWeakForeground faint, 0 background), keep_ the cells the model must not learn,
// and the shadow stage's removed() the cells taken out as shadow (see ShadowStage).
void Detector::detect(const qv_image &image, qv_result &result)
{
    result.count = 0;
    if (image.data == nullptr || image.width != params_.width || image.height != params_.height ||
        image.channels != 1)
        return;
    // 1. Frame -> grid_.
    downscaler_.run(image.data, grid_);
    // 2. Tracks -> keep_: the cells under followed objects, and within arm's reach of
    //    someone standing.
    mark_kept(keep_);
    // 3. grid_, keep_ -> fg_. Brings the model to this frame's exposure first, and takes
    //    out there the shadows whose ground shows through (the shadow filter). After a
    //    change of the whole scene fg_ is empty and objects coast.
    const bool steady = background_.classify(grid_, keep_, fg_);
    // 4. Shadows where each walker's was learnt to lie: fg_ -> fg_, removed().
    shadows_.clear(background_, tracker_.tracks(), fg_);
    // 5. fg_ -> blobs (cleaned fg_, labels); the soft shade at people's feet out of fg_,
    //    grid_ read, and the blobs found again; shadow joined to a blob below or beside
    //    the body -> trimmed boxes, removed().
    std::vector<Blob> &blobs = blob_finder_.find(fg_); // refilled by the second find() too
    if (shadows_.clear_feet(blobs, blob_finder_.labels(), grid_, background_, fg_))
        blob_finder_.find(fg_);
    shadows_.trim(blobs, blob_finder_.labels(), fg_, background_);
    // 6. Blobs -> tracks (a blob of people side by side that no two tracks share is
    //    cut between their heads, fg_ read; people passing in one blob are found by how
    //    they look, grid_ and fg_ read); removed() -> where each walker's shadow lies;
    //    grid_, fg_ -> which objects are shadows themselves, not reported.
    const ModelGhostTest ghosts(background_, grid_, fg_);
    tracker_.update(blobs, blob_finder_.crumbs(), blob_finder_.labels(), fg_, grid_, ghosts);
    shadows_.learn(tracker_.tracks(), grid_, fg_, background_);
    // 7. grid_, fg_, keep_ (again, for the tracks as they are now), removed() -> the model.
    for (const cv::Rect &r : tracker_.to_adopt())
        background_.adopt(grid_, r);
    mark_kept(keep_);
    background_.update(grid_, fg_, keep_, steady ? shadows_.removed() : cv::Mat());
    // 8. Tracks -> events and the result.
    judge_rules();
    report(result);
}

// Zone events go straight to each object; line crossings wait until every object has
// been judged, then the tallest go first, so that the crossing of a piece of a walker
// (followed apart, lagging) is told from its owner's.
void Detector::judge_rules()
{
    crossings_.start_frame(++frames_);
    fired_.clear();
    std::vector<Track> &tracks = tracker_.tracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
        Track &t = tracks[i];
        const qv_rect box = frame_box(t, params_.width, params_.height);
        const qv_point foot = reference_point(box, params_.height);
        t.path.push(foot);
        Step step;
        step.point = cv::Point2f(static_cast<float>(foot.x), static_cast<float>(foot.y));
        step.velocity = cv::Point2f(t.vx, t.vy);
        step.band = std::max(2.0f * params_.factor, kBandShare * t.h);
        step.still_frames = t.still;
        step.at_border = box.x <= 0 || box.y <= 0 || box.x + box.width >= params_.width ||
                         box.y + box.height >= params_.height;
        const bool blind = t.misses > kBlindFrames;
        for (size_t r = 0; r < regions_.size(); ++r) {
            if (blind && is_line(regions_[r].kind))
                continue;
            const int code = judge(regions_[r], t.rules[r], step, t.flags[r]);
            if (code == 0 || held_back(t)) // a shadow's state is kept, should it prove to be none
                continue;
            if (code == QV_EVENT_CROSS_ONE_WAY || code == QV_EVENT_CROSS_TWO_WAY)
                fired_.push_back({i, static_cast<int>(r), code});
            else
                t.pending[r].push(code);
        }
    }
    std::stable_sort(fired_.begin(), fired_.end(),
                     [&](const Fired &a, const Fired &b) { return tracks[a.track].h > tracks[b.track].h; });
    for (const Fired &f : fired_) {
        Track &t = tracks[f.track];
        const int side = t.rules[f.region].side;
        if (crossings_.piece(f.region, side, t.box()))
            continue;
        t.pending[f.region].push(f.code);
        if (t.confirmed) // a newcomer may yet prove to be nothing
            crossings_.add(f.region, side, t.box());
    }
}

// Whether the object is kept out of the result and its events as a shadow: proven one,
// or passing for one while never shown yet, or while unseen.
bool Detector::held_back(const Track &t)
{
    return t.shadow_tip || (t.shade_suspect && (!t.reported || t.misses > 0));
}

// Whether the object is reported: confirmed, no shadow, and not all but gone out of
// the frame (its box mostly outside, cut down to a sliver at the edge), unless it
// still has an event to tell.
bool Detector::shown(const Track &t) const
{
    if (!t.confirmed || held_back(t))
        return false;
    for (const EventQueue &q : t.pending)
        if (!q.empty())
            return true;
    const qv_rect b = frame_box(t, params_.width, params_.height);
    return static_cast<float>(b.width) * static_cast<float>(b.height) >= kInFrame * t.w * t.h;
}

void Detector::report(qv_result &result)
{
    std::vector<Track> &tracks = tracker_.tracks();
    order_.clear();
    for (size_t i = 0; i < tracks.size(); ++i)
        if (shown(tracks[i]))
            order_.push_back(static_cast<int>(i));
    if (order_.size() > QV_MAX_OBJECTS) { // keep the most established
        std::nth_element(order_.begin(), order_.begin() + QV_MAX_OBJECTS, order_.end(),
                         [&](int a, int b) { return tracks[a].hits > tracks[b].hits; });
        order_.resize(QV_MAX_OBJECTS);
    }
    std::sort(order_.begin(), order_.end(), [&](int a, int b) { return tracks[a].id < tracks[b].id; });

    const int regions = static_cast<int>(regions_.size());
    int n = 0;
    for (int i : order_) {
        Track &t = tracks[i];
        t.reported = true;
        qv_object &o = result.objects[n++];
        o.reserved[0] = o.reserved[1] = 0;
        o.track_length = t.path.copy_to(o.track);
        o.id = t.id;
        o.box = frame_box(t, params_.width, params_.height);
        std::memset(o.region_flag, 0, sizeof o.region_flag);
        std::memset(o.region_event, 0, sizeof o.region_event);
        for (int r = 0; r < regions; ++r) {
            o.region_flag[r] = t.flags[r];
            o.region_event[r] = t.pending[r].pop();
        }
    }
    result.count = n;
}

} // namespace qv
