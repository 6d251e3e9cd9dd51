#include "overlay/region_marks.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace {

const cv::Scalar kYellow(0, 230, 255);
const cv::Scalar kBlack(0, 0, 0);

double text_scale(const cv::Mat &image)
{
    return std::max(0.45, image.rows / 1080.0 * 1.0);
}

std::vector<cv::Point> outline(const qv_region &region)
{
    std::vector<cv::Point> points;
    for (int i = 0; i < std::clamp<int>(region.point_count, 0, QV_MAX_REGION_POINTS); ++i)
        points.emplace_back(region.points[i].x, region.points[i].y);
    return points;
}

} // namespace

void draw_label(cv::Mat &image, const std::string &text, cv::Point anchor)
{
    if (image.empty() || text.empty())
        return;
    const double scale = text_scale(image);
    const int thickness = std::max(1, static_cast<int>(scale * 2));
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, thickness + 2, &baseline);
    const int x = std::clamp(anchor.x, 2, std::max(2, image.cols - size.width - 2));
    const int y = std::clamp(anchor.y, size.height + 2, std::max(size.height + 2, image.rows - baseline - 2));
    cv::putText(image, text, {x, y}, cv::FONT_HERSHEY_SIMPLEX, scale, kBlack, thickness + 3, cv::LINE_AA);
    cv::putText(image, text, {x, y}, cv::FONT_HERSHEY_SIMPLEX, scale, kYellow, thickness, cv::LINE_AA);
}

cv::Point region_label_anchor(const qv_region &region)
{
    return {region.points[0].x + 10, region.points[0].y - 10};
}

void draw_marked_regions(cv::Mat &image, const std::vector<qv_region> &regions)
{
    const int thickness = std::max(2, image.rows / 270);
    for (size_t r = 0; r < regions.size(); ++r) {
        const std::vector<cv::Point> points = outline(regions[r]);
        if (points.size() < 2)
            continue;
        const bool closed = points.size() > 2;
        cv::polylines(image, points, closed, kBlack, thickness + 4, cv::LINE_AA);
        cv::polylines(image, points, closed, kYellow, thickness, cv::LINE_AA);
        for (const cv::Point &p : points)
            cv::circle(image, p, thickness + 3, kYellow, cv::FILLED, cv::LINE_AA);
        draw_label(image, std::to_string(r + 1), region_label_anchor(regions[r]));
    }
}

void draw_coordinate_grid(cv::Mat &image)
{
    cv::Mat grid = image.clone();
    for (int x = 100; x < image.cols; x += 100)
        cv::line(grid, {x, 0}, {x, image.rows - 1}, cv::Scalar(255, 255, 255), 1);
    for (int y = 100; y < image.rows; y += 100)
        cv::line(grid, {0, y}, {image.cols - 1, y}, cv::Scalar(255, 255, 255), 1);
    cv::addWeighted(grid, 0.35, image, 0.65, 0.0, image);
    for (int x = 200; x < image.cols - 40; x += 200)
        draw_label(image, std::to_string(x), {x + 3, 0});
    for (int y = 200; y < image.rows - 10; y += 200)
        draw_label(image, std::to_string(y), {3, y - 3});
}
