// TRequestChannel: one Modbus request on the line at a time, for the register poller and the
// bus scan, sharing the line with the window's own sends.
//
// Principles of operation:
// - A request is written through the component (PutBlock), not through the window's send path:
//   it does not count in the window's sent bytes and clears nothing. Its reply is found by the
//   monitor feed's framing and pairing (the channel is a sink of the feed the bus monitor uses),
//   so the window's receive path and views go on receiving every byte as before.
// - The wait for the reply starts when the request has left the line: when it was queued plus
//   its bytes at the line's rate. The outcome is the paired response (a reply or an exception
//   reply), a frame from the slave whose CRC is wrong, or the timeout.
// - After a reply (or a timeout) the next request waits for the line's silence and then the
//   turnaround delay, counted from the end of the reply, not from when the window noticed it.
//   While a reply is due the channel makes the feed look at the line at the moment its silence
//   ends, so a poll cycle is not stretched to the monitor's idle period.
// - The window's sends come first: no request is written while a send of the window runs nor
//   within the response timeout after it ends; a reply in that time belongs to the window.
// - While the port is closed, lost or reconnecting the channel is not Ready; Submit is refused
//   then, and ReadyChanged tells when requests may go again (the port opened, a send of the
//   window ended its wait, the line became free).
// - Main thread only.
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/monitor/monitorfeed.h"
#include "modbus/rtudecoder.h"

namespace talyx {
class TComPort;
}

namespace talyx::app {

class TMonitorHub;
class TPreciseTimer;
class TSendPath;

enum class TRequestOutcome : uint8_t {
  roReply,      // a paired response with a good CRC
  roException,  // a paired exception response (Frame.ExceptionCode)
  roCrcError,   // a frame from the request's slave with a wrong CRC in the reply's time
  roTimeout,    // nothing in the timeout after the request left the line
  roPortAway,   // the port closed (or was lost) before the outcome was known
};

struct TRequestResult {
  TRequestOutcome Outcome = TRequestOutcome::roTimeout;
  modbus::DecodedFrame Frame;  // the reply's decoding (roReply, roException, roCrcError)
  uint64_t ResponseUs = 0;     // from the end of the request to the end of the reply
  uint64_t EndUs = 0;          // when the reply ended (platform::MicrosecondClock)
};

class TRequestChannel : public QObject, private TMonitorSink {
  Q_OBJECT

 public:
  using TDone = std::function<void(const TRequestResult&)>;

  TRequestChannel(TComPort& port, TMonitorHub& hub, const TSendPath& sendPath,
                  QObject* parent = nullptr);
  ~TRequestChannel() override;

  // True when a request may be submitted now: the port is open, no request is on the line, the
  // silence and turnaround after the last reply have passed, and no send of the window runs or
  // ended within the response timeout.
  bool Ready() const;
  // Writes a request (with its CRC) and calls done once, on the main thread, with its outcome;
  // the reply is awaited for timeoutUs after the request has left the line. False (and done is
  // not called) when not Ready.
  bool Submit(std::vector<uint8_t> request, uint64_t timeoutUs, TDone done);
  // The turnaround after each reply, in ms (0-1000).
  void SetTurnaroundMs(uint32_t ms);
  // The response timeout also keeps requests away after a send of the window.
  void SetResponseTimeoutMs(uint32_t ms);
  // The time count bytes take at the port's current line rate, and its silence, in µs.
  uint64_t LineMicroseconds(size_t count) const;
  uint64_t SilenceMicroseconds() const;

 signals:
  void ReadyChanged();

 private:
  // The request on the line.
  struct TPending {
    std::vector<uint8_t> Bytes;
    uint8_t Slave = 0;
    TDone Done;
    uint64_t QueuedUs = 0;    // when it was written to the port
    uint64_t LeftUs = 0;      // when it has left the line (queued plus its bytes)
    uint64_t DeadlineUs = 0;  // LeftUs plus the timeout
    uint64_t Seq = 0;         // its sent frame's number in the feed, once seen
  };

  void OnEvents(const std::vector<modbus::RtuEvent>& events) override;
  // Ends the request: the line is free again at freeUs; done is called, then readiness told.
  void Finish(TRequestResult result, uint64_t freeUs);
  void Deadline();
  // The port opened or is closing.
  void PortChanged(bool opening);
  // Emits ReadyChanged when readiness changed, and times the moment it may come.
  void Reconsider();

  TComPort& port_;
  TMonitorHub& hub_;
  const TSendPath& sendPath_;
  int sendEndedHandler_ = 0;
  std::optional<TPending> pending_;
  uint64_t lineFreeUs_ = 0;
  uint64_t turnaroundUs_ = 0;
  uint32_t responseTimeoutMs_ = 1000;
  bool ready_ = false;
  TPreciseTimer* deadlineTimer_;
  TPreciseTimer* readyTimer_;
};

}  // namespace talyx::app
