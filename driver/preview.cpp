#include "driver/preview.h"

#include <cstdio>

#include <opencv2/imgcodecs.hpp>

#include "driver/exit_codes.h"
#include "driver/region_check.h"
#include "driver/video_source.h"
#include "overlay/region_marks.h"

int write_preview(const RunOptions &options)
{
    VideoSource capture;
    cv::Mat frame;
    const std::string open_error = capture.open_first(options.input, frame);
    if (!open_error.empty()) {
        std::fprintf(stderr, "qv_demo: %s\n", open_error.c_str());
        return kExitInput;
    }
    cv::Mat picture = frame.clone();
    draw_coordinate_grid(picture);
    draw_marked_regions(picture, options.regions);
    const std::string outside = check_regions_in_frame(options.regions, picture.size());
    if (!outside.empty())
        std::fprintf(stderr, "qv_demo: %s\n", outside.c_str());

    bool written = false;
    try {
        written = cv::imwrite(options.preview_path, picture);
    } catch (const cv::Exception &) {
        written = false;
    }
    if (!written) {
        std::fprintf(stderr, "qv_demo: cannot write preview %s\n", options.preview_path.c_str());
        return kExitOutput;
    }
    const double reported = capture.fps();
    std::printf("frame size %dx%d, %.3g fps%s; preview written to %s\n", picture.cols, picture.rows,
                sane_frame_rate(reported), sane_frame_rate(reported) == reported ? "" : " (source gives none; 30 assumed)",
                options.preview_path.c_str());
    return kExitOk;
}
