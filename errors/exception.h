// Exception: the base of every exception the engine raises; it holds the message text.
#pragma once

#include <stdexcept>
#include <string>

namespace talyx {

// The runtime base exception class: every exception raised by the engine derives from it, so a
// handler that wants every failure (string tables, comm errors, I/O and out-of-memory errors)
// catches Exception. Copying never throws (the message is shared), as an exception must allow.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& Message) : std::runtime_error(Message) {}

  std::string Message() const { return what(); }
};

}  // namespace talyx
