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
 * bytes apart, so the caller hands over a continuous buffer. The detector takes
 * grey frames only (channels 1), so rows are exactly width bytes apart; an image
 * whose rows are padded (a width not a multiple of 4 in some imaging libraries)
 * must be copied to a continuous buffer first.
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
 * Detector creation parameters, passed by value to qv_init. A value of 0 (or
 * below) selects the default; the values the demo sends (0, 0, 1, 0, 10,
 * 1000000) suit frames from 640x480 to 3840x2160 with people from about 40 px
 * to a third of the frame tall.
 *
 *   param_a     smallest grey-level difference from the background that counts
 *               as an object, 2..128; 0 = default 8. Lower finds clothing closer
 *               to the background, at the price of more noise.
 *   param_b     smallest blob kept, in full-frame pixels of area; 0 = default
 *               120 (about a quarter of a 40 px tall figure).
 *   image       the first frame: fixes the frame size every later qv_detect must
 *               match; grey (channels 1), 16..16384 pixels a side, and the
 *               longer side at most 60 times the shorter.
 *   param_c     1 = suppress cast shadows (a dimming that the ground's texture
 *               shows through, and each walker's shadow remembered beside its
 *               feet over even ground), 0 = keep them as foreground.
 *   param_flag  0 = tolerate a camera shake of one or two pixels (a cell counts
 *               as changed only against its whole neighbourhood in the model);
 *               1 = fixed camera, a little more sensitive at edges.
 *   param_d     frames an object is kept, on its predicted path, without being
 *               seen (short occlusions, crossings); 0 = default 10.
 *   param_e     frames an object may lie still before it becomes background;
 *               0 = default 1000000 (in effect never within a run).
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

/*
 * One rule region. The reserved words are zero-filled by careful callers; the
 * detector never reads them.
 *
 *   kind 1 zone            3..10 points  event 1 on entering, 2 on leaving;
 *                                        region_flag 1 while inside and on the
 *                                        leave frame
 *   kind 2 one-way line    2 points      event 3 on crossing from s > 0 to s < 0
 *   kind 3 two-way line    2 points      event 4 on crossing either way
 *   kind 4 loiter zone     3..10 points  event 5 once per stay, after 300
 *                                        consecutive frames inside
 *   kind 5 left-object     3..10 points  event 6 once per object, when it has
 *          zone                          lain still inside for 150 frames
 *
 * For a line from p0 to p1, s(p) = d.x * (p.y - p0.y) - d.y * (p.x - p0.x) with
 * d = p1 - p0, in image coordinates (y down). An object's reference point is the
 * bottom centre of its box (where a person's feet are): zones judge inside and
 * outside on it, and a crossing counts only where its path crosses the segment
 * between the end points, not the line's extension. A dead band of a few pixels
 * around lines and zone edges keeps a wobbling box from repeated events.
 */
typedef struct qv_region {
    int32_t kind;
    int32_t point_count;
    qv_point points[QV_MAX_REGION_POINTS];
    int32_t reserved[8];
} qv_region;

/*
 * One tracked object of a detection result. Ids start at 1, increase and are
 * never reused within a detector's life. The box and every track point lie
 * inside the frame; track holds the latest reference points, oldest first.
 * region_flag and region_event are filled for the installed regions and zero
 * beyond them; an event is reported on exactly one frame.
 */
typedef struct qv_object {
    int32_t reserved[2];
    int32_t track_length;               /* valid entries in track, 0..200 */
    qv_point track[QV_MAX_TRACK];       /* oldest first */
    int32_t id;
    qv_rect box;
    uint8_t region_flag[QV_MAX_REGIONS];
    int32_t region_event[QV_MAX_REGIONS];
} qv_object;

/*
 * The output of one qv_detect call; only the first count objects are valid and
 * nothing past them is written. At most 100 objects: beyond that the longest
 * followed are kept.
 */
typedef struct qv_result {
    int32_t count;
    qv_object objects[QV_MAX_OBJECTS];
} qv_result;

/*
 * Creates a detector for frames described by config.image and stores its
 * handle in *handle. On failure (no data, not one channel, a side outside
 * 16..16384, one side over 60 times the other) *handle is set to null. The handle keeps all of the detector's
 * state (a few MB at 1080p, not growing with the frames); no threads are started.
 */
QV_API void qv_init(void **handle, qv_config config);

/*
 * Installs count regions from the array. Returns non-zero when all were
 * accepted, 0 (and installs nothing, keeping the regions installed before)
 * for: a null handle or array, a count outside 1..10, an unknown kind, a point
 * count wrong for the kind, a point outside the frame given to qv_init, a line
 * whose two points are equal, or a polygon of zero area. The regions are
 * copied; a later call replaces them. The fourth argument is accepted and
 * ignored (any value).
 */
QV_API int32_t qv_init_region(void *handle, int32_t count, const qv_region *regions, int32_t reserved);

/*
 * Detects and tracks moving objects in one grey frame and judges them against
 * the installed regions, filling *result. The regions are the copy taken by
 * qv_init_region; the regions argument is not read and may be null. A null
 * handle or data pointer, or a frame whose size or channel count differs from
 * the one given to qv_init, gives count 0.
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
