// The capture's text log line.
#include "capture/capturetext.h"

#include <ctime>
#include <string>

#include "platform/hexbytes.h"
#include "text/modbusframetext.h"

namespace talyx::capture {

std::string CaptureTextLine(const modbus::RtuEvent& event, int64_t wallUs,
                            formats::TRegisterFormat format) {
  const time_t seconds = static_cast<time_t>(wallUs / 1'000'000);
  struct tm local {};
  localtime_r(&seconds, &local);
  char stamp[40];
  const size_t length = strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
  std::string line(stamp, length);
  const auto ms = static_cast<int>(wallUs / 1000 % 1000);
  line += '.';
  line += static_cast<char>('0' + ms / 100);
  line += static_cast<char>('0' + ms / 10 % 10);
  line += static_cast<char>('0' + ms % 10);
  line += event.Echo ? " ECHO " : event.Dir == modbus::Direction::Sent ? " TX " : " RX ";
  line += platform::HexBytes(std::string(event.Bytes.begin(), event.Bytes.end()));
  line += ' ';
  line += event.Kind == modbus::RtuEventKind::Frame ? formats::DescribeFrame(event.Frame, format)
                                                    : std::string("(no frame)");
  line += '\n';
  return line;
}

}  // namespace talyx::capture
