// PlatformText: the platform layer's descriptions of serial devices in the interface's language.
//
// The platform layer has no Qt and words its descriptions ("USB 串口", "(不可用)", ...) in
// Chinese, the interface's source language. Their fixed phrases are listed here for translation
// and replaced wherever they occur; device names, paths and USB strings pass unchanged. The
// diagnosis of a failed open is worded here from its fields.
#pragma once

#include <QString>
#include <string>

#include "platform/devicediagnosis.h"

namespace talyx::app {

// The text (UTF-8) with every fixed phrase of the platform layer translated.
QString PlatformText(const std::string& text);

// Why the device named device (as "COM1 /dev/ttyUSB0") failed to open, with what mends it; ""
// when the diagnosis has nothing to say.
QString OpenFailureText(const platform::DeviceDiagnosis& diagnosis, const QString& device);

}  // namespace talyx::app
