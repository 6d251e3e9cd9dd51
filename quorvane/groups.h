// People walking side by side come as one blob; their heads tell them apart.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "quorvane/blobs.h"

namespace qv {

class GroupCutter {
public:
    // Whether the blob holds people shoulder to shoulder; if so pieces() gives one
    // blob per person (marked `piece`, same label), cut between their heads. A blob
    // whose outline shows no two heads (one person, a vehicle) is not cut. person: one
    // person's size at the blob's feet row in grid cells where it is known, else empty.
    bool split(const Blob &blob, const cv::Mat &labels, const cv::Mat &fg, cv::Size2f person = {});
    const std::vector<Blob> &pieces() const { return pieces_; }

private:
    Blob piece(const Blob &blob, int x0, int x1, const cv::Mat &labels, const cv::Mat &fg) const;

    std::vector<int> top_;  // per column of the blob, the highest strong cell's row, relative to the box
    std::vector<int> cuts_; // columns, relative to the box, where one person ends and the next begins
    std::vector<Blob> pieces_; // of the blob last split
};

} // namespace qv
