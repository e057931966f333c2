#include "flash/ui/jpegpicture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vork {

namespace {

// libjpeg reports errors by calling error_exit, which must not return: it jumps back
// to decode() with the message kept. Warnings (a truncated file is one) jump too.
struct ErrorJump
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo)
{
    auto *e = reinterpret_cast<ErrorJump *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    std::longjmp(e->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) // a warning: the data is damaged
        errorExit(cinfo);
}

// Only plain data lives in this frame, so the jump out of libjpeg skips no destructor;
// the image is the caller's and is assigned once its size is known.
bool decode(jpeg_decompress_struct &cinfo, ErrorJump &err, const unsigned char *data, unsigned long size, QImage &out)
{
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(err.message, sizeof err.message, "no JPEG header");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > JDIMENSION(maxJpegSide)
        || cinfo.image_height > JDIMENSION(maxJpegSide)) {
        std::snprintf(err.message, sizeof err.message, "picture of %ux%u pixels", unsigned(cinfo.image_width),
                      unsigned(cinfo.image_height));
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::snprintf(err.message, sizeof err.message, "%d colour components", cinfo.output_components);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (out.isNull()) {
        std::snprintf(err.message, sizeof err.message, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.scanLine(int(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            std::snprintf(err.message, sizeof err.message, "no more lines");
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray &bytes, QString *error)
{
    QImage image;
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("no data");
        return {};
    }
    jpeg_decompress_struct cinfo{};
    ErrorJump err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    const bool ok = decode(cinfo, err, reinterpret_cast<const unsigned char *>(bytes.constData()),
                           static_cast<unsigned long>(bytes.size()), image);
    if (!ok) {
        if (error)
            *error = QString::fromLocal8Bit(err.message);
        return {};
    }
    if (error)
        error->clear();
    return image;
}

} // namespace vork
