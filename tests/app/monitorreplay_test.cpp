// A capture replayed with talyx-sim --replay into the window: the monitor shows the same
// received frames (bytes, address, function, summary, CRC) with the captured gaps; the sent
// frames are not replayed.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <chrono>
#include <string>
#include <vector>

#include "app/monitor/frametablemodel.h"
#include "apptesting.h"
#include "capture/capturewriter.h"
#include "modbus/modbuscrc.h"
#include "modbus/modbussimulator.h"
#include "modbus/rtumonitor.h"
#include "text/modbusframetext.h"

extern char** environ;

namespace talyx::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using Col = app::TFrameTableModel::Column;

const modbus::LineFormat Line{115200, 8, false, modbus::StopBits::One};

Bytes WithCrc(Bytes body) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

// Requests to the demo slave and its replies (one corrupted) as the monitor cut them, the
// exchanges a few tens of milliseconds apart.
std::vector<modbus::RtuEvent> Session() {
  modbus::RtuMonitor monitor(Line);
  modbus::SimulatorRegisters registers;
  modbus::ModbusSimulator slave(registers);
  uint64_t now = 1'000'000;
  const auto exchange = [&](const Bytes& request, bool corrupt, uint64_t pauseUs) {
    monitor.Sent(request.data(), request.size(), now);
    Bytes reply = slave.Receive(request.data(), request.size());
    if (corrupt) reply[3] ^= 0x40;
    const uint64_t start = now + modbus::TransmissionMicroseconds(Line, request.size()) + 4000;
    for (size_t i = 0; i < reply.size(); ++i) {
      monitor.Received(reply[i], start + modbus::TransmissionMicroseconds(Line, i + 1));
    }
    now = start + pauseUs;
    monitor.Idle(now);
  };
  exchange(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}), false, 30'000);
  exchange(WithCrc({0x01, 0x04, 0x00, 0x05, 0x00, 0x03}), false, 60'000);
  exchange(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0xC8}), false, 25'000);
  exchange(WithCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x01}), true, 40'000);
  return monitor.TakeEvents();
}

// talyx-sim with the given arguments, its standard output on a pipe; ended by its pid.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int ends[2];
    if (pipe(ends) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, ends[0]);
    args.insert(args.begin(), TALYX_SIM_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TALYX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(ends[1]);
    output_ = ends[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }
  std::string ReadLine() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{output_, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char c;
      if (read(output_, &c, 1) != 1 || c == '\n') return line;
      line += c;
    }
    return line;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

TEST_F(MainFormTest, AReplayedCaptureGivesTheWindowTheSameReceivedRows) {
  const std::vector<modbus::RtuEvent> events = Session();
  capture::TCaptureSettings settings;
  settings.Folder = folder.File("captures");
  std::string file;
  {
    capture::TCaptureWriter writer(settings);
    ASSERT_EQ(writer.Start(), "");
    writer.Add(events, 1'700'000'000'000'000);
    writer.Stop();
    file = writer.Files().at(0);
  }
  std::vector<const modbus::RtuEvent*> received;
  for (const modbus::RtuEvent& event : events) {
    if (event.Dir == modbus::Direction::Received) received.push_back(&event);
  }
  ASSERT_EQ(received.size(), 4u);

  SimProcess sim({"--replay", file});
  const std::string path = sim.ReadLine();
  ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
  ScopedPortMap map{{{1, path}}};
  WriteSettings("[parameter]\nBaud=10\n");  // 115200
  auto form = CreateForm();
  form->MonitorAction->trigger();  // before the port opens: the first byte is seen
  form->show();
  ASSERT_TRUE(form->ComPort1.Open());
  // The monitor keeps collecting while hidden; its drawing stays out of the read times.
  form->MonitorHub->Window()->hide();
  app::TFrameTableModel* model = form->MonitorHub->Window()->Model;
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount() == 4; }, 10000));
  // Let a late, wrong cut show itself.
  QTest::qWait(200);
  ASSERT_EQ(model->rowCount(), 4);

  uint64_t previousEnd = 0;
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE(row);
    const modbus::RtuEvent& original = *received[static_cast<size_t>(row)];
    EXPECT_EQ(model->Text(row, Col::ColDirection), "接收");
    EXPECT_EQ(model->Text(row, Col::ColLength).toUInt(), original.Bytes.size());
    EXPECT_EQ(model->Text(row, Col::ColAddress).toUInt(), original.Frame.Address);
    EXPECT_EQ(model->Text(row, Col::ColFunction).toUInt(nullptr, 16), original.Frame.Function);
    // Without the requests, a response cannot take its request's first register.
    const modbus::DecodedFrame alone = modbus::DecodeFrame(
        original.Bytes.data(), original.Bytes.size(), modbus::FrameRole::Response);
    EXPECT_EQ(model->Text(row, Col::ColSummary).toStdString(),
              formats::DescribeFrame(alone, formats::TRegisterFormat::rfU16));
    EXPECT_EQ(model->Text(row, Col::ColCrc), original.Frame.CrcOk ? "正确" : "错误");
    if (row > 0) {
      const double gapMs = static_cast<double>(original.StartUs - previousEnd) / 1000.0;
      EXPECT_NEAR(model->Text(row, Col::ColGap).toDouble(), gapMs, 5.0);
    }
    previousEnd = original.EndUs;
  }
  const app::TFrameStore& store = *form->MonitorHub->Store();
  for (uint64_t position = store.Dropped(); position < store.End(); ++position) {
    const app::TFrameRecord& record = store.Record(position);
    const modbus::RtuEvent& original = *received[static_cast<size_t>(position)];
    EXPECT_EQ(Bytes(store.Bytes(record), store.Bytes(record) + record.Length), original.Bytes);
  }
}

}  // namespace
}  // namespace talyx::testing
