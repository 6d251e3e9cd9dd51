/*
 * The boundary between the run and the Quorvane detector library: the plain
 * records both sides exchange and the library's three C functions. Nothing
 * else of the library is visible to its callers.
 *
 * The records are a wire format. On a 32-bit build every offset is exactly the
 * historical one; on a 64-bit build the pointer in qv_image widens to 8 bytes
 * and the later fields of qv_config move with natural alignment. Both layouts
 * are checked at compile time at the end of this header.
 *
 * Usable from C and C++. The C++ constructors give values only where noted;
 * qv_region, qv_object and qv_result are plain storage.
 */
#ifndef QUORVANE_H
#define QUORVANE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUORVANE_BUILDING_LIBRARY)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

#define QV_MAX_OBJECTS 100
#define QV_MAX_TRACK 200
#define QV_MAX_REGIONS 10
#define QV_MAX_REGION_POINTS 10

/* Event codes carried in qv_object.region_event; 0 means nothing happened. */
enum {
    QV_EVENT_NONE = 0,
    QV_EVENT_ENTER = 1,          /* entered a forbidden zone */
    QV_EVENT_LEAVE = 2,          /* left a forbidden zone */
    QV_EVENT_CROSS_ONE_WAY = 3,  /* crossed a one-way line in its alarm direction */
    QV_EVENT_CROSS_TWO_WAY = 4,  /* crossed a two-way line in either direction */
    QV_EVENT_LOITER = 5,         /* stayed in a loiter zone too long */
    QV_EVENT_LEFT_OBJECT = 6     /* an object was left behind */
};

/* Region kinds accepted by qv_init_region. */
enum {
    QV_REGION_ZONE = 1,          /* polygon, 3..10 points: events 1 and 2 */
    QV_REGION_LINE_ONE_WAY = 2,  /* 2 points: event 3 */
    QV_REGION_LINE_TWO_WAY = 3,  /* 2 points: event 4 */
    QV_REGION_LOITER = 4,        /* polygon, 3..10 points: event 5 */
    QV_REGION_LEFT_OBJECT = 5    /* polygon, 3..10 points: event 6 */
};

/* A pixel position: column x from the left, row y from the top. */
typedef struct qv_point {
    int32_t x;
    int32_t y;
} qv_point;

/* An axis-aligned box; its right edge is column x + width, its bottom edge row y + height. */
typedef struct qv_rect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} qv_rect;

/*
 * A view of an 8-bit image. It carries no row stride: rows are width * channels
 * bytes apart, so the caller hands over a continuous buffer.
 */
typedef struct qv_image {
    unsigned char *data;
    int32_t width;
    int32_t height;
    int32_t channels;
#ifdef __cplusplus
    qv_image() = default;
    qv_image(int32_t w, int32_t h, int32_t c, unsigned char *d)
        : data(d), width(w), height(h), channels(c) {}
#endif
} qv_image;

/*
 * Detector creation parameters, passed by value to qv_init.
 * (Meaning of each parameter: see the section below on tuning.)
 */
typedef struct qv_config {
    int32_t param_a;
    int32_t param_b;
    qv_image image;
    int32_t param_c;
    uint8_t param_flag;
    int32_t param_d;
    int32_t param_e;
#ifdef __cplusplus
    /* Only these four get defaults; image, param_c and param_flag stay unset. */
    qv_config() : param_a(10), param_b(0), param_d(0), param_e(1000000) {}
#endif
} qv_config;

/* One rule region. The reserved words are zero-filled by careful callers. */
typedef struct qv_region {
    int32_t kind;
    int32_t point_count;
    qv_point points[QV_MAX_REGION_POINTS];
    int32_t reserved[8];
} qv_region;

/* One tracked object of a detection result. */
typedef struct qv_object {
    int32_t reserved[2];
    int32_t track_length;               /* valid entries in track, 0..200 */
    qv_point track[QV_MAX_TRACK];       /* oldest first */
    int32_t id;
    qv_rect box;
    uint8_t region_flag[QV_MAX_REGIONS];
    int32_t region_event[QV_MAX_REGIONS];
} qv_object;

/* The output of one qv_detect call; only the first count objects are valid. */
typedef struct qv_result {
    int32_t count;
    qv_object objects[QV_MAX_OBJECTS];
} qv_result;

/*
 * Creates a detector for frames described by config.image and stores its
 * handle in *handle. On failure *handle is left null.
 */
QV_API void qv_init(void **handle, qv_config config);

/*
 * Installs count regions from the array. Returns non-zero when all were
 * accepted, 0 (and installs nothing) otherwise. The array must stay valid and
 * unchanged while qv_detect is called with it.
 */
QV_API int32_t qv_init_region(void *handle, int32_t count, const qv_region *regions, int32_t reserved);

/*
 * Detects and tracks moving objects in one grey frame and judges them against
 * the installed regions, filling *result.
 */
QV_API void qv_detect(void *handle, qv_image image, const qv_region *regions, qv_result *result);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The wire layout, checked for the build at hand. */
#ifdef __cplusplus
#define QV_STATIC_ASSERT static_assert
#else
#define QV_STATIC_ASSERT _Static_assert
#endif

QV_STATIC_ASSERT(sizeof(qv_point) == 8, "qv_point layout");
QV_STATIC_ASSERT(sizeof(qv_rect) == 16, "qv_rect layout");
QV_STATIC_ASSERT(sizeof(qv_region) == 120, "qv_region layout");
QV_STATIC_ASSERT(offsetof(qv_region, points) == 8, "qv_region layout");
QV_STATIC_ASSERT(offsetof(qv_region, reserved) == 88, "qv_region layout");
QV_STATIC_ASSERT(sizeof(qv_object) == 1684, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, track_length) == 8, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, track) == 12, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, id) == 1612, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, box) == 1616, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, region_flag) == 1632, "qv_object layout");
QV_STATIC_ASSERT(offsetof(qv_object, region_event) == 1644, "qv_object layout");
QV_STATIC_ASSERT(sizeof(qv_result) == 4 + 100 * 1684, "qv_result layout");
QV_STATIC_ASSERT(offsetof(qv_result, objects) == 4, "qv_result layout");

#if UINTPTR_MAX == 0xFFFFFFFFu
QV_STATIC_ASSERT(sizeof(qv_image) == 16, "qv_image layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_image, width) == 4, "qv_image layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_image, channels) == 12, "qv_image layout (32-bit)");
QV_STATIC_ASSERT(sizeof(qv_config) == 40, "qv_config layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, image) == 8, "qv_config layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_c) == 24, "qv_config layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_flag) == 28, "qv_config layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_d) == 32, "qv_config layout (32-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_e) == 36, "qv_config layout (32-bit)");
#else
QV_STATIC_ASSERT(sizeof(qv_image) == 24, "qv_image layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_image, width) == 8, "qv_image layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_image, channels) == 16, "qv_image layout (64-bit)");
QV_STATIC_ASSERT(sizeof(qv_config) == 48, "qv_config layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, image) == 8, "qv_config layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_c) == 32, "qv_config layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_flag) == 36, "qv_config layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_d) == 40, "qv_config layout (64-bit)");
QV_STATIC_ASSERT(offsetof(qv_config, param_e) == 44, "qv_config layout (64-bit)");
#endif

#endif /* QUORVANE_H */
