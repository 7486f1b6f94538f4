// The poll log: its columns and lines for a set of two rows, quoting, '.' under a German locale,
// local times with their offset, the BOM, new files on column change, size and day, flushing
// without Stop, and a failed write stopping the log.
#include "app/poller/polllog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <locale>
#include <string>

#include "../../port/qttesting.h"
#include "port/porttesting.h"

namespace talyx::app {
namespace {

PollRegister Named(std::string name, uint16_t address) {
  PollRegister reg;
  reg.Name = std::move(name);
  reg.Address = address;
  return reg;
}

// Row 1: "temp" and "pressure"; row 2: "temp", an unnamed register and "flow, \"net\"";
// row 3 is disabled.
PollSet TwoRows() {
  PollSet set;
  PollRow first;
  first.Count = 2;
  first.Registers = {Named("temp", 0), Named("pressure", 1)};
  PollRow second;
  second.Slave = 2;
  second.Count = 3;
  second.Registers = {Named("temp", 0), Named("", 1), Named("flow, \"net\"", 2)};
  PollRow disabled;
  disabled.Enabled = false;
  disabled.Registers = {Named("off", 0)};
  set.Rows = {first, second, disabled};
  return set;
}

TPollSample Sample(size_t row, std::vector<double> values, bool ok = true) {
  TPollSample sample;
  sample.WallMs = QDateTime::currentMSecsSinceEpoch();
  sample.Row = row;
  sample.Ok = ok;
  for (const double value : values) sample.Values.push_back({ok, value, ""});
  return sample;
}

// The lines of a file, without their CR LF, and whether every line ended in CR LF.
std::vector<std::string> Lines(const QString& path, bool* crlf = nullptr) {
  const std::string text = talyx::testing::ReadWholeFile(path.toStdString());
  std::vector<std::string> lines;
  bool allCrlf = true;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      allCrlf = false;
      lines.push_back(text.substr(start));
      break;
    }
    const bool cr = end > start && text[end - 1] == '\r';
    allCrlf = allCrlf && cr;
    lines.push_back(text.substr(start, end - start - (cr ? 1 : 0)));
    start = end + 1;
  }
  if (crlf != nullptr) *crlf = allCrlf;
  return lines;
}

// The cells after the time: the line from its first ','.
std::string AfterTime(const std::string& line) { return line.substr(line.find(',')); }

QStringList CsvFiles(const QString& folder) {
  return QDir(folder).entryList({"talyx-poll-*.csv"}, QDir::Files);
}

class PollLog : public ::testing::Test {
 protected:
  PollLog() { talyx::testing::EnsureQtApplication(); }

  TPollLogSettings Settings() const {
    TPollLogSettings settings;
    settings.Folder = folder.path();
    return settings;
  }

  QTemporaryDir folder;
};

TEST_F(PollLog, ColumnsAreTheNamedRegistersOfEnabledRowsAndOtherRowsCellsStayEmpty) {
  TPollLog log(Settings());
  ASSERT_TRUE(log.Start(TwoRows())) << log.Failure().toStdString();
  log.Add(Sample(0, {21.5, 1013}));
  log.Add(Sample(1, {0, 0, 0}, /*ok=*/false));
  log.Add(Sample(1, {3, 7, 0.25}));
  log.Stop();

  bool crlf = false;
  const std::vector<std::string> lines = Lines(log.FilePath(), &crlf);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_TRUE(crlf);
  EXPECT_EQ(AfterTime(lines[0]), ",行,temp (row 1),pressure,temp (row 2),\"flow, \"\"net\"\"\"");
  EXPECT_EQ(AfterTime(lines[1]), ",1,21.5,1013,,");
  EXPECT_EQ(AfterTime(lines[2]), ",2,,,,");
  EXPECT_EQ(AfterTime(lines[3]), ",2,,,3,0.25");
  EXPECT_TRUE(QFileInfo(log.FilePath())
                  .fileName()
                  .contains(QRegularExpression("^talyx-poll-\\d{8}-\\d{6}(-\\d+)?\\.csv$")));
}

TEST(PollLogColumns, ANameSharedWithinOneRowAlsoNamesTheRegister) {
  PollSet set;
  PollRow row;
  row.Count = 3;
  row.Registers = {Named("v", 0), Named("v", 1), Named("w", 2)};
  set.Rows = {row, row};
  set.Rows[1].Registers.pop_back();
  std::vector<std::string> headers;
  for (const PollLogColumn& column : PollLogColumns(set)) headers.push_back(column.Header);
  EXPECT_EQ(headers,
            (std::vector<std::string>{"v (row 1, register 1)", "v (row 1, register 2)", "w",
                                      "v (row 2, register 1)", "v (row 2, register 2)"}));
}

TEST(PollLogFields, QuotedOnlyWhenTheyHoldASeparatorQuoteOrLineEnd) {
  EXPECT_EQ(CsvField("plain text"), "plain text");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(CsvField("cr\r"), "\"cr\r\"");
}

// A numeric facet with ',' as the decimal point stands for a German locale where the C library
// has none installed; the C library's own is set too where it exists.
struct CommaDecimal : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST(PollLogNumbers, KeepThePointAndTheShortestTextUnderAGermanLocale) {
  const std::locale savedStd = std::locale::global(std::locale(std::locale(), new CommaDecimal));
  const std::string savedC = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  const QLocale savedQt;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));

  const std::string half = CsvNumber(0.5);
  const std::string tenth = CsvNumber(0.1);
  const std::string big = CsvNumber(-1234567.25);

  QLocale::setDefault(savedQt);
  std::setlocale(LC_ALL, savedC.c_str());
  std::locale::global(savedStd);
  EXPECT_EQ(half, "0.5");
  EXPECT_EQ(tenth, "0.1");
  EXPECT_EQ(big, "-1234567.25");
}

// Sets TZ for the test and restores it after.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string saved_;
};

TEST(PollLogTimes, AreLocalWithMillisecondsAndTheOffsetOfThatMoment) {
  const ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");
  // 2026-12-09 20:45:03.123 UTC, in winter; 2026-07-01 10:00:00.007 UTC, in summer.
  EXPECT_EQ(LocalIsoTime(1796849103123), "2026-12-09T21:45:03.123+01:00");
  EXPECT_EQ(LocalIsoTime(1782900000007), "2026-07-01T12:00:00.007+02:00");
  const ZoneScope west("EST+5");
  EXPECT_EQ(LocalIsoTime(1796849103123), "2026-12-09T15:45:03.123-05:00");
}

TEST_F(PollLog, StartsWithABomOnlyWhenAsked) {
  for (const bool bom : {true, false}) {
    TPollLogSettings settings = Settings();
    settings.Bom = bom;
    TPollLog log(settings);
    ASSERT_TRUE(log.Start(TwoRows()));
    log.Stop();
    const std::string text = talyx::testing::ReadWholeFile(log.FilePath().toStdString());
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF", 0) == 0, bom) << text;
    EXPECT_NE(text.find("pressure"), std::string::npos);
  }
}

TEST_F(PollLog, StartsANewFileWhenTheColumnsChangeOnly) {
  TPollLog log(Settings());
  PollSet set = TwoRows();
  ASSERT_TRUE(log.Start(set));
  log.Add(Sample(0, {1, 2}));
  const QString first = log.FilePath();

  set.Rows[0].PeriodMs = 250;
  log.SetPollSet(set);
  EXPECT_EQ(log.FilePath(), first);

  set.Rows[0].Registers[1].Name = "level";
  log.SetPollSet(set);
  log.Add(Sample(0, {3, 4}));
  log.Stop();
  ASSERT_NE(log.FilePath(), first);
  const std::vector<std::string> old = Lines(first);
  const std::vector<std::string> now = Lines(log.FilePath());
  ASSERT_EQ(old.size(), 2u);
  ASSERT_EQ(now.size(), 2u);
  EXPECT_NE(now[0].find(",level,"), std::string::npos) << now[0];
  EXPECT_EQ(AfterTime(now[1]), ",1,3,4,,");
}

TEST_F(PollLog, StartsANewFileBeforeOneWouldPassItsSize) {
  TPollLogSettings settings = Settings();
  settings.RotateDaily = false;
  settings.RotateBytes = 300;
  TPollLog log(settings);
  ASSERT_TRUE(log.Start(TwoRows()));
  constexpr int Polls = 20;
  for (int i = 0; i < Polls; ++i) log.Add(Sample(0, {static_cast<double>(i), 0}));
  log.Stop();

  const QStringList files = CsvFiles(folder.path());
  EXPECT_GT(files.size(), 2);
  int rows = 0;
  for (const QString& name : files) {
    const QString path = folder.path() + "/" + name;
    EXPECT_LE(QFileInfo(path).size(), 300);
    const std::vector<std::string> lines = Lines(path);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("pressure"), std::string::npos);
    rows += static_cast<int>(lines.size()) - 1;
  }
  EXPECT_EQ(rows, Polls);
}

TEST_F(PollLog, StartsANewFileWhenThePollsDayChanges) {
  TPollLog log(Settings());
  ASSERT_TRUE(log.Start(TwoRows()));
  TPollSample today = Sample(0, {1, 2});
  TPollSample tomorrow = today;
  tomorrow.WallMs += 24 * 3600 * 1000;
  log.Add(today);
  log.Add(today);
  const QString first = log.FilePath();
  log.Add(tomorrow);
  log.Stop();
  EXPECT_NE(log.FilePath(), first);
  EXPECT_EQ(Lines(first).size(), 3u);
  EXPECT_EQ(Lines(log.FilePath()).size(), 2u);
}

TEST_F(PollLog, WritesHeldLinesWithinASecondWithoutStop) {
  TPollLog log(Settings());
  ASSERT_TRUE(log.Start(TwoRows()));
  log.Add(Sample(0, {5, 6}));
  QElapsedTimer waited;
  waited.start();
  while (Lines(log.FilePath()).size() < 2 && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  EXPECT_EQ(Lines(log.FilePath()).size(), 2u);
  EXPECT_LT(waited.elapsed(), 3000);
}

TEST_F(PollLog, AFailedWriteStopsTheLogAndSaysWhy) {
  TPollLog log(Settings());
  ASSERT_TRUE(log.Start(TwoRows()));
  QSignalSpy stopped(&log, &TPollLog::Stopped);
  {
    const talyx::testing::ScopedFileSizeLimit limit(200);
    for (int i = 0; i < 2000 && log.Running(); ++i) log.Add(Sample(0, {1e300, -1e300}));
    log.Stop();
  }
  EXPECT_FALSE(log.Running());
  EXPECT_EQ(stopped.count(), 1);
  EXPECT_TRUE(log.Failure().contains(log.FilePath())) << log.Failure().toStdString();
}

TEST_F(PollLog, FailsToStartWhereNoFolderCanBeMade) {
  TPollLogSettings settings = Settings();
  settings.Folder = folder.path() + "/file/sub";
  QFile blocker(folder.path() + "/file");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  TPollLog log(settings);
  EXPECT_FALSE(log.Start(TwoRows()));
  EXPECT_FALSE(log.Running());
  EXPECT_FALSE(log.Failure().isEmpty());
}

}  // namespace
}  // namespace talyx::app
