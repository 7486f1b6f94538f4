// DecodeJpeg: libjpeg decompression from memory into a QImage.
#include "app/dialogs/jpegdecoder.h"

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstddef>
#include <jpeglib.h>
// clang-format on

namespace talyx::app {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back to
// the setjmp in DecodeInto with the message kept here.
struct ErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Return;
  char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ExitToDecoder(j_common_ptr info) {
  auto* errors = reinterpret_cast<ErrorManager*>(info->err);
  errors->Base.format_message(info, errors->Message);
  std::longjmp(errors->Return, 1);
}

// Warnings (trace level -1) would go to stderr by default; a picture we can show is enough.
void IgnoreMessage(j_common_ptr, int) {}

// The decoding between setjmp and its longjmp: only this function's trivially destructible
// locals live there, and the image it fills belongs to the caller, so a jump skips no
// destructor and leaves no local in doubt.
bool DecodeInto(const QByteArray& jpeg, QImage* image, ErrorManager* errors) {
  jpeg_decompress_struct info{};  // zeroed, so destroying it before its creation ended is safe
  info.err = jpeg_std_error(&errors->Base);
  errors->Base.error_exit = ExitToDecoder;
  errors->Base.emit_message = IgnoreMessage;
  errors->Message[0] = '\0';
  if (setjmp(errors->Return) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.constData()),
               static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  // No libjpeg call runs while the QImage temporary lives, so no jump can skip its destructor.
  *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                  QImage::Format_RGB888);
  if (image->isNull()) {
    jpeg_destroy_decompress(&info);
    std::snprintf(errors->Message, sizeof errors->Message, "picture too large");
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& jpeg, QString* error) {
  QImage image;
  ErrorManager errors;
  if (!DecodeInto(jpeg, &image, &errors)) {
    if (error) *error = QString::fromLocal8Bit(errors.Message);
    return {};
  }
  return image;
}

}  // namespace talyx::app
