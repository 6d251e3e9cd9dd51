#include <gtest/gtest.h>

#include <cstring>

#include "detector/quorvane.h"
#include "driver/run_options.h"

extern "C" {
size_t qv_c_sizeof_config(void);
size_t qv_c_sizeof_image(void);
size_t qv_c_sizeof_result(void);
size_t qv_c_offsetof_param_e(void);
size_t qv_c_offsetof_region_event(void);
}

TEST(Records, CAndCxxAgreeOnLayout)
{
    EXPECT_EQ(qv_c_sizeof_config(), sizeof(qv_config));
    EXPECT_EQ(qv_c_sizeof_image(), sizeof(qv_image));
    EXPECT_EQ(qv_c_sizeof_result(), sizeof(qv_result));
    EXPECT_EQ(qv_c_offsetof_param_e(), offsetof(qv_config, param_e));
    EXPECT_EQ(qv_c_offsetof_region_event(), offsetof(qv_object, region_event));
}

TEST(Records, ConstructorsGiveOnlyTheirDefaults)
{
    unsigned char pixel = 0;
    const qv_image image(640, 480, 1, &pixel);
    EXPECT_EQ(image.width, 640);
    EXPECT_EQ(image.height, 480);
    EXPECT_EQ(image.channels, 1);
    EXPECT_EQ(image.data, &pixel);

    const qv_config config;
    EXPECT_EQ(config.param_a, 10);
    EXPECT_EQ(config.param_b, 0);
    EXPECT_EQ(config.param_d, 0);
    EXPECT_EQ(config.param_e, 1000000);
}

TEST(Records, DefaultRegionIsTheVerticalLineAndZeroFilled)
{
    const qv_region region = default_region();
    EXPECT_EQ(region.kind, 3);
    EXPECT_EQ(region.point_count, 2);
    EXPECT_EQ(region.points[0].x, 1200);
    EXPECT_EQ(region.points[0].y, 450);
    EXPECT_EQ(region.points[1].x, 1200);
    EXPECT_EQ(region.points[1].y, 700);
    for (int i = 2; i < QV_MAX_REGION_POINTS; ++i)
        EXPECT_TRUE(region.points[i].x == 0 && region.points[i].y == 0);
    for (int32_t word : region.reserved)
        EXPECT_EQ(word, 0);
}
