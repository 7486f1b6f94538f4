// The far end of a pseudo-terminal for the window benchmarks: a forked process that writes a
// paced or unpaced stream into the master, drains what the window sends back, and can vanish.
//
// Principles of operation: Start forks before the application creates any thread. The child
// owns the master; the parent keeps only the slave's path and two pipes. The child waits for
// Go, writes TotalBytes in 64-byte writes (paced to BytesPerSecond when it is non-zero, on a
// schedule from the start so that a late write is followed by catching up), reads and drops
// whatever the window sends meanwhile (so that the window's writes never block), reports on the
// result pipe when the stream is written, and goes on draining until it is ended. Vanish ends
// the child at once (its master closes as a pulled adapter's would). Main thread only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace talyx::bench {

// What the stream is made of.
enum class StreamKind {
  Binary,  // pseudo-random bytes, shown in hexadecimal
  Text,    // printable ASCII lines ending in CR LF
  Modbus,  // Modbus RTU exchanges back to back: a read of 10 registers and its 25-byte reply
};

// The bytes of one exchange of the Modbus stream.
inline constexpr size_t kModbusExchangeBytes = 8 + 25;

class FarEnd {
 public:
  FarEnd() = default;
  ~FarEnd();
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  // Opens the pair and forks the writer. False (with a message on stderr) on failure.
  bool Start(StreamKind kind, uint64_t totalBytes, uint32_t bytesPerSecond);
  const std::string& SlavePath() const { return slavePath_; }
  // Releases the writer.
  void Go();
  // True once the writer has written the whole stream (non-blocking).
  bool Done();
  // Ends the writer at once: the master closes mid-stream.
  void Vanish();

 private:
  void RunWriter(int master, StreamKind kind, uint64_t totalBytes, uint32_t bytesPerSecond);

  std::string slavePath_;
  pid_t child_ = -1;
  int goPipe_ = -1;      // parent writes one byte to release the writer
  int resultPipe_ = -1;  // the writer writes one byte when the whole stream is written
  bool done_ = false;
};

// The stream's bytes: the same for every run of a kind (fixed seed).
void FillStream(StreamKind kind, uint64_t offset, uint8_t* out, size_t count);

}  // namespace talyx::bench
