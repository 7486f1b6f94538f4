// DecodeJpeg: a JPEG picture (the about box's) decoded into a QImage with libjpeg.
//
// libjpeg rather than Qt's image plugin: it is the library the product names for its picture,
// and it comes as a maintained Debian package, so the picture does not depend on which Qt image
// plugins a machine happens to have installed. Pure function; any thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace talyx::app {

// The picture as 24-bit RGB (grayscale pictures are widened to RGB). A null image, with the
// decoder's message in *error when error is given, for data that is not a JPEG picture or is
// damaged; the decoder's warnings about slightly damaged data do not fail the decoding.
QImage DecodeJpeg(const QByteArray& jpeg, QString* error = nullptr);

}  // namespace talyx::app
