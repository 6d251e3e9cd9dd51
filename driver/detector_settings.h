// The detector configuration the demo runs with. The scene scores, the detector tests and
// the benchmark take it from here, so their figures are those of the program as shipped.
#pragma once

#include <opencv2/core.hpp>

#include "detector/quorvane.h"

inline qv_config demo_detector_config(const cv::Mat &first_grey)
{
    qv_config config;
    config.param_a = 0;
    config.param_b = 0;
    config.image = qv_image(first_grey.cols, first_grey.rows, first_grey.channels(), first_grey.data);
    config.param_c = 1;
    config.param_flag = 0;
    config.param_d = 10;
    config.param_e = 1000000;
    return config;
}
