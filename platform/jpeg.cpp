#include "jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace strandel {
namespace {

// libjpeg reports fatal errors through error_exit, which must not return: jump back out.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

constexpr long kMaxPixels = 16384L * 16384L;

} // namespace

bool JpegReadSize(const uint8_t *data, size_t size, int *width, int *height)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    *width = int(cinfo.image_width);
    *height = int(cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

namespace {

// The setjmp frames below hold no locals that change after them, so nothing is clobbered by the jump.
bool DecodeIntoGuarded(jpeg_decompress_struct *cinfo, ErrorManager *err, const uint8_t *data, size_t size,
                       const JpegTarget *target, std::string *error, int reduction)
{
    if (setjmp(err->jump)) {
        if (error)
            *error = err->message;
        return false;
    }
    jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(cinfo, TRUE);
    cinfo->out_color_space = JCS_EXT_BGRA;
    if (reduction == 2 || reduction == 4 || reduction == 8) {
        cinfo->scale_num = 1;
        cinfo->scale_denom = unsigned(reduction);
    }
    jpeg_start_decompress(cinfo);
    if (long(cinfo->output_width) * long(cinfo->output_height) > kMaxPixels) {
        if (error)
            *error = "JPEG picture too large";
        return false;
    }
    size_t stride = 0;
    uint32_t *rows = (*target)(int(cinfo->output_width), int(cinfo->output_height), &stride);
    if (!rows || stride < cinfo->output_width) {
        if (error)
            *error = "no room for the picture";
        return false;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(rows + size_t(cinfo->output_scanline) * stride);
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

bool EncodeGuarded(jpeg_compress_struct *cinfo, ErrorManager *err, const uint32_t *pixels, int width, int height,
                   int stride, int quality, unsigned char **buffer, unsigned long *bufferSize, std::string *error)
{
    if (setjmp(err->jump)) {
        if (error)
            *error = err->message;
        return false;
    }
    jpeg_mem_dest(cinfo, buffer, bufferSize);
    cinfo->image_width = JDIMENSION(width);
    cinfo->image_height = JDIMENSION(height);
    cinfo->input_components = 4;
    cinfo->in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t *>(pixels + size_t(cinfo->next_scanline) * size_t(stride)));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

} // namespace

bool JpegDecode(const uint8_t *data, size_t size, JpegImage &out, std::string *error)
{
    JpegImage image;
    const JpegTarget target = [&image](int width, int height, size_t *stride) {
        image.width = width;
        image.height = height;
        image.pixels.resize(size_t(width) * size_t(height));
        *stride = size_t(width);
        return image.pixels.data();
    };
    if (!JpegDecodeInto(data, size, target, error))
        return false;
    out = std::move(image);
    return true;
}

bool JpegDecodeInto(const uint8_t *data, size_t size, const JpegTarget &target, std::string *error, int reduction)
{
    if (!data || size < 4 || !target) {
        if (error)
            *error = "no JPEG data";
        return false;
    }
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    jpeg_create_decompress(&cinfo);
    const bool ok = DecodeIntoGuarded(&cinfo, &err, data, size, &target, error, reduction);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

bool JpegEncode(const uint32_t *pixels, int width, int height, int stride, int quality,
                std::vector<uint8_t> &out, std::string *error)
{
    if (!pixels || width <= 0 || height <= 0 || stride < width) {
        if (error)
            *error = "no picture";
        return false;
    }
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.emit_message = OnMessage;
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long bufferSize = 0;
    const bool ok = EncodeGuarded(&cinfo, &err, pixels, width, height, stride, quality, &buffer, &bufferSize, error);
    jpeg_destroy_compress(&cinfo);
    if (ok)
        out.assign(buffer, buffer + bufferSize);
    std::free(buffer);
    return ok;
}

} // namespace strandel
