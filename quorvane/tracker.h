// Frame-to-frame association of blobs with followed objects.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/assignment.h"
#include "quorvane/blobs.h"
#include "quorvane/groups.h"
#include "quorvane/look.h"
#include "quorvane/params.h"
#include "quorvane/person_size.h"
#include "quorvane/track.h"

namespace qv {

// Tells a hole left in the background from a real object (see Background::is_ghost).
class GhostTest {
public:
    virtual ~GhostTest() = default;
    virtual bool is_ghost(cv::Rect grid_rect) const = 0;
};

class Tracker {
public:
    void init(const Params &params);
    // crumbs: components too small to be objects, which may complete one; fg: the
    // cleaned foreground the blobs were labelled in.
    // grid: this frame on the working grid, for how objects look.
    void update(std::vector<Blob> &blobs, const std::vector<Blob> &crumbs, const cv::Mat &labels,
                const cv::Mat &fg, const cv::Mat &grid, const GhostTest &ghosts);

    const std::vector<Track> &tracks() const { return tracks_; }
    std::vector<Track> &tracks() { return tracks_; }
    // Grid rectangles whose content should become background (ghosts, absorbed objects).
    const std::vector<cv::Rect> &to_adopt() const { return adopt_; }

    cv::Rect to_grid(const cv::Rect2f &box, int margin) const;
    cv::Rect2f to_frame(const cv::Rect &cells) const;

private:
    struct Measure {
        cv::Rect2f box;
        bool valid = false;
        bool group = false; // shared blob: position only, size kept
        bool piece = false; // one person cut out of a group's blob
        bool seen = false;  // group: found by its look, not by the cells nearest its box
        float gain = 0, velocity_gain = 0; // seen: how far the box and the motion follow it
        bool held = false;                 // seen: hidden, and its course would take it out of the blob
    };

    void split_groups(std::vector<Blob> &blobs, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &grid);
    bool flat_among_shadows(int i) const;
    bool find_by_look(const Blob &blob, const cv::Mat &labels, const cv::Mat &fg, const cv::Mat &grid);
    void learn_alone(const cv::Mat &fg, const cv::Mat &grid);
    bool cut(std::vector<Blob> &blobs, size_t b, const cv::Mat &labels, const cv::Mat &fg);
    bool alike(const std::vector<int> &members) const;
    bool may_cut(const cv::Rect2f &area);
    void cut_into_people(std::vector<Blob> &blobs, size_t b);
    bool pieces_of_one(Blob &blob, const cv::Rect2f &area);
    void match(std::vector<Blob> &blobs);
    void absorb_fragments(std::vector<Blob> &blobs);
    bool feet_of(const cv::Rect2f &body, const cv::Rect &cells) const;
    void join_feet(std::vector<Blob> &blobs, const std::vector<Blob> &crumbs);
    void correct();
    void join_stacked();
    float moved(const Track &t) const;
    void drop_pieces();
    void spawn(const std::vector<Blob> &blobs);
    void settle(const GhostTest &ghosts);

    Params params_;
    int next_id_ = 1;
    std::vector<Track> tracks_;
    std::vector<Measure> measures_;
    std::vector<int> rows_, cols_;
    std::vector<double> cost_;
    Assignment assignment_;
    GroupCutter group_cutter_;
    LookFinder look_finder_;
    PersonSize person_; // one person's size by row, learnt from those followed alone
    std::vector<cv::Rect> adopt_;
    std::vector<int> members_;
    std::vector<char> by_look_; // per member: found by its look
    std::vector<int> near_;
    std::vector<cv::Vec4i> extents_;
    std::vector<int> counts_;
};

} // namespace qv
