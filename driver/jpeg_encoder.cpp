#include "driver/jpeg_encoder.h"

JpegEncoder::JpegEncoder(int quality) : quality_(quality)
{
    cinfo_.err = jpeg_std_error(&error_.manager);
    error_.manager.error_exit = fail;
    jpeg_create_compress(&cinfo_);
    destination_.manager.init_destination = start_output;
    destination_.manager.empty_output_buffer = grow_output;
    destination_.manager.term_destination = end_output;
    destination_.owner = this;
    cinfo_.dest = &destination_.manager;
}

JpegEncoder::~JpegEncoder()
{
    jpeg_destroy_compress(&cinfo_);
}

bool JpegEncoder::encode(const cv::Mat &frame)
{
    size_ = 0;
    if (frame.empty() || frame.type() != CV_8UC3)
        return false;
    rows_.resize(static_cast<size_t>(frame.rows));
    for (int y = 0; y < frame.rows; ++y)
        rows_[static_cast<size_t>(y)] = const_cast<JSAMPROW>(frame.ptr<uint8_t>(y));

    // libjpeg reports errors by calling fail(), which jumps back here; nothing
    // below owns a resource that the jump would skip.
    if (setjmp(error_.escape) != 0) {
        jpeg_abort_compress(&cinfo_);
        size_ = 0;
        return false;
    }
    cinfo_.image_width = static_cast<JDIMENSION>(frame.cols);
    cinfo_.image_height = static_cast<JDIMENSION>(frame.rows);
    cinfo_.input_components = 3;
    cinfo_.in_color_space = JCS_EXT_BGR;  // libjpeg-turbo takes OpenCV's byte order as it is
    jpeg_set_defaults(&cinfo_);
    jpeg_set_quality(&cinfo_, quality_, TRUE);
    cinfo_.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo_, TRUE);
    while (cinfo_.next_scanline < cinfo_.image_height)
        jpeg_write_scanlines(&cinfo_, &rows_[cinfo_.next_scanline], cinfo_.image_height - cinfo_.next_scanline);
    jpeg_finish_compress(&cinfo_);
    return true;
}

void JpegEncoder::start_output(j_compress_ptr cinfo)
{
    JpegEncoder *self = reinterpret_cast<Destination *>(cinfo->dest)->owner;
    // A first guess that holds a high-quality picture; grow_output covers the rest.
    const size_t guess = static_cast<size_t>(cinfo->image_width) * cinfo->image_height / 2 + 4096;
    if (self->buffer_.size() < guess)
        self->buffer_.resize(guess);
    cinfo->dest->next_output_byte = self->buffer_.data();
    cinfo->dest->free_in_buffer = self->buffer_.size();
}

boolean JpegEncoder::grow_output(j_compress_ptr cinfo)
{
    JpegEncoder *self = reinterpret_cast<Destination *>(cinfo->dest)->owner;
    // libjpeg calls this with the whole buffer used.
    const size_t used = self->buffer_.size();
    self->buffer_.resize(used * 2);
    cinfo->dest->next_output_byte = self->buffer_.data() + used;
    cinfo->dest->free_in_buffer = self->buffer_.size() - used;
    return TRUE;
}

void JpegEncoder::end_output(j_compress_ptr cinfo)
{
    JpegEncoder *self = reinterpret_cast<Destination *>(cinfo->dest)->owner;
    self->size_ = self->buffer_.size() - cinfo->dest->free_in_buffer;
}

void JpegEncoder::fail(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorHandler *>(cinfo->err)->escape, 1);
}
