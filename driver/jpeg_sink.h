#pragma once
#include <cstddef>
#include <cstdint>

// Where the run's compressed pictures go, one after another in frame order.
class JpegSink {
public:
    virtual ~JpegSink() = default;

    // Appends one JPEG picture as the next frame.
    virtual void write_jpeg(const uint8_t *data, size_t size) = 0;

    // True once a picture could not be stored (a full disk, say): the run then
    // stops instead of going on recording nothing.
    virtual bool failed() const = 0;
};
