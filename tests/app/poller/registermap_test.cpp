// The register-map CSV: a poll set's round trip, manual-style numbers, rows made of a plain map,
// problems with their line numbers, and the poll set file on disk.
#include "app/poller/registermap.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace talyx::app {
namespace {

using F = formats::TRegisterFormat;

constexpr std::string_view kHeader = "name,slave,function,address,format,scale,offset,unit\n";

PollRegister Reg(std::string name, uint16_t address, F format = F::rfU16, double scale = 1,
                 double offset = 0, std::string unit = "") {
  return PollRegister{.Name = std::move(name),
                      .Address = address,
                      .Format = format,
                      .Scale = scale,
                      .Offset = offset,
                      .Unit = std::move(unit)};
}

// Rows of every kind: every format, awkward scales and offsets, units and names that need quotes,
// Chinese names, a row no register names, a disabled row that writes by 15/16.
PollSet EveryKindOfRow() {
  PollSet set;
  PollRow formats{.Slave = 1,
                  .Function = PollFunction::ReadHoldingRegisters,
                  .Start = 100,
                  .Count = 40,
                  .PeriodMs = 250,
                  .Enabled = true,
                  .MultipleWrites = false,
                  .Registers = {}};
  for (int i = 0; i < formats::kRegisterFormatCount; ++i) {
    formats.Registers.push_back(Reg("温度 " + std::to_string(i), static_cast<uint16_t>(100 + 2 * i),
                                    static_cast<F>(i), 0.1 * (i + 1), -273.15 + i, "°C"));
  }
  formats.Registers.push_back(Reg("a, \"quoted\" name", 139, F::rfS16, 1e-7, 1e300, "m,s"));
  formats.Registers.push_back(Reg("two\r\nlines", 138, F::rfHex, -2.5, 0, " \"unit\" "));
  set.Rows.push_back(formats);
  set.Rows.push_back(PollRow{.Slave = 247,
                             .Function = PollFunction::ReadInputRegisters,
                             .Start = 65535,
                             .Count = 1,
                             .PeriodMs = 10,
                             .Enabled = false,
                             .MultipleWrites = true,
                             .Registers = {}});
  set.Rows.push_back(PollRow{.Slave = 2,
                             .Function = PollFunction::ReadCoils,
                             .Start = 0,
                             .Count = 2000,
                             .PeriodMs = 60000,
                             .Enabled = true,
                             .MultipleWrites = true,
                             .Registers = {Reg("泵", 1999, F::rfF32Dcba), Reg("", 0)}});
  set.Rows.push_back(PollRow{.Slave = 3,
                             .Function = PollFunction::ReadDiscreteInputs,
                             .Start = 7,
                             .Count = 9,
                             .PeriodMs = 1000,
                             .Enabled = true,
                             .MultipleWrites = false,
                             .Registers = {Reg("门", 15)}});
  return set;
}

std::string WithLf(std::string text) {
  std::string lf;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lf += text[i];
  }
  return lf;
}

TEST(RegisterMapRoundTripTest, APollSetComesBackAsItWas) {
  const PollSet set = EveryKindOfRow();
  const std::string text = WriteRegisterMap(set);
  const RegisterMapReading reading = ReadRegisterMap(text);
  ASSERT_TRUE(reading.Ok) << reading.Line << ": " << reading.Problem;
  EXPECT_EQ(reading.Numbering, MapNumbering::mnProtocol);
  EXPECT_EQ(reading.Set, set);
  // Line ends of either kind and a BOM read the same (the name's own CRLF becomes LF).
  PollSet lfSet = set;
  lfSet.Rows[0].Registers.back().Name = "two\nlines";
  const RegisterMapReading lf = ReadRegisterMap("\xEF\xBB\xBF" + WithLf(text));
  ASSERT_TRUE(lf.Ok) << lf.Line << ": " << lf.Problem;
  EXPECT_EQ(lf.Set, lfSet);
}

TEST(RegisterMapRoundTripTest, WritesProtocolAddressesAndQuotesOnlyWhereNeeded) {
  PollSet set;
  set.Rows.push_back(PollRow{.Slave = 5,
                             .Function = PollFunction::ReadHoldingRegisters,
                             .Start = 0,
                             .Count = 2,
                             .PeriodMs = 100,
                             .Enabled = true,
                             .MultipleWrites = false,
                             .Registers = {Reg("压力", 1, F::rfF32Cdab, 0.01, 2, "k\"Pa")}});
  EXPECT_EQ(WriteRegisterMap(set),
            "name,slave,function,address,format,scale,offset,unit,row,start,count,period,"
            "enabled,writes\r\n"
            "压力,5,3,1,f32-cdab,0.01,2,\"k\"\"Pa\",1,0,2,100,1,0\r\n");
}

TEST(RegisterMapManualNumbersTest, FiveDigitRangesGiveFunctionAndAddress) {
  const RegisterMapReading reading = ReadRegisterMap(
      std::string(kHeader) +
      "c1,1,,00001,,,,\nc2,1,,09999,,,,\nd,1,,10001,,,,\ni,1,,39999,,,,\nh,1,,40001,,,,\n"
      "h2,1,,49999,u32-abcd,,,\n");
  ASSERT_TRUE(reading.Ok) << reading.Line << ": " << reading.Problem;
  EXPECT_EQ(reading.Numbering, MapNumbering::mnManual5);
  const std::vector<PollRow>& rows = reading.Set.Rows;
  ASSERT_EQ(rows.size(), 6u);  // coils 0 and 9998 and holding 0 and 9998 are too far apart
  const auto first = [&](size_t r) { return rows[r].Registers.at(0); };
  EXPECT_EQ(rows[0].Function, PollFunction::ReadCoils);
  EXPECT_EQ(first(0).Address, 0);
  EXPECT_EQ(first(1).Address, 9998);
  EXPECT_EQ(rows[2].Function, PollFunction::ReadDiscreteInputs);
  EXPECT_EQ(first(2).Address, 0);
  EXPECT_EQ(rows[3].Function, PollFunction::ReadInputRegisters);
  EXPECT_EQ(first(3).Address, 9998);
  EXPECT_EQ(rows[4].Function, PollFunction::ReadHoldingRegisters);
  EXPECT_EQ(first(4).Address, 0);
  EXPECT_EQ(first(5).Address, 9998);
  EXPECT_EQ(rows[5].Count, 2);
  // Export gives the protocol addresses with their functions.
  const RegisterMapReading exported = ReadRegisterMap(WriteRegisterMap(reading.Set));
  EXPECT_EQ(exported.Numbering, MapNumbering::mnProtocol);
  EXPECT_EQ(exported.Set, reading.Set);
}

TEST(RegisterMapManualNumbersTest, SixDigitRangesReachAddress65535) {
  const RegisterMapReading reading = ReadRegisterMap(
      std::string(kHeader) +
      "c,9,,000001,,,,\nc,9,,065536,,,,\nd,9,,165536,,,,\ni,9,,300001,,,,\nh,9,,465536,,,,\n");
  ASSERT_TRUE(reading.Ok) << reading.Line << ": " << reading.Problem;
  EXPECT_EQ(reading.Numbering, MapNumbering::mnManual6);
  const std::vector<PollRow>& rows = reading.Set.Rows;
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].Registers[0].Address, 0);
  EXPECT_EQ(rows[1].Registers[0].Address, 65535);
  EXPECT_EQ(rows[2].Function, PollFunction::ReadDiscreteInputs);
  EXPECT_EQ(rows[2].Start, 65535);
  EXPECT_EQ(rows[3].Function, PollFunction::ReadInputRegisters);
  EXPECT_EQ(rows[3].Start, 0);
  EXPECT_EQ(rows[4].Function, PollFunction::ReadHoldingRegisters);
  EXPECT_EQ(rows[4].Start, 65535);
}

TEST(RegisterMapGroupingTest, RowsBySlaveAndFunctionWithinTheCountLimit) {
  // Columns in another order and case, an extra column, a short line, an empty line.
  const RegisterMapReading reading = ReadRegisterMap(
      "Address,NAME,Slave,Function,Format,Scale,Offset,Unit,Comment\n"
      "10,b,1,3,,,,,x\n"
      "0,a,1,3\n"
      "123,c,1,3,f32-abcd,,,,\n"
      "\n"
      "5,e,2,3,,,,,\n"
      "124,d,1,3,f32-abcd,,,,\n"
      "0,f,1,4,,,,,\n");
  ASSERT_TRUE(reading.Ok) << reading.Line << ": " << reading.Problem;
  const std::vector<PollRow>& rows = reading.Set.Rows;
  ASSERT_EQ(rows.size(), 4u);
  const auto names = [&](size_t r) {
    std::string all;
    for (const PollRegister& reg : rows[r].Registers) all += reg.Name;
    return all;
  };
  // The float at 123 ends at 125, just within 125 registers; the one at 124 would end at 126.
  EXPECT_EQ(names(0), "abc");
  EXPECT_EQ(rows[0].Start, 0);
  EXPECT_EQ(rows[0].Count, 125);
  EXPECT_EQ(names(1), "d");
  EXPECT_EQ(rows[1].Start, 124);
  EXPECT_EQ(rows[1].Count, 2);
  EXPECT_EQ(names(2), "e");
  EXPECT_EQ(rows[2].Slave, 2);
  EXPECT_EQ(names(3), "f");
  EXPECT_EQ(rows[3].Function, PollFunction::ReadInputRegisters);
  for (const PollRow& row : rows) {
    EXPECT_EQ(CheckPollRow(row), PollRowProblem::rpOk);
    EXPECT_EQ(row.PeriodMs, 1000u);
  }
}

struct BadMap {
  std::string Text;
  size_t Line;
  MapProblem Kind;
};

TEST(RegisterMapProblemsTest, EachProblemAtItsLine) {
  const std::string h(kHeader);
  const std::string rows =
      "name,slave,function,address,format,scale,offset,unit,row,start,count,period,enabled,"
      "writes\n";
  const std::vector<BadMap> maps = {
      {"", 1, MapProblem::mpNoHeader},
      {"name,slave,function,format,scale,offset,unit\n", 1, MapProblem::mpColumnMissing},
      {h + "\"a,1,3,0\n", 2, MapProblem::mpQuote},
      {h + "\"a\"b,1,3,0\n", 2, MapProblem::mpQuote},
      {h + "\"two\nlines\",1,3,0\nb,0,3,0\n", 4, MapProblem::mpSlave},
      {h + "a,248,3,0\n", 2, MapProblem::mpSlave},
      {h + "a,1,5,0\n", 2, MapProblem::mpFunction},
      {h + "a,1,3,65536\n", 2, MapProblem::mpAddress},
      {h + "a,1,3,65535,s32-badc\n", 2, MapProblem::mpAddress},
      {h + "a,1,,20001\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,50000\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,00000\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,400000\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,465537\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,4000001\n", 2, MapProblem::mpRegisterNumber},
      {h + "a,1,,40001\nb,1,,400002\n", 3, MapProblem::mpMixedNumbering},
      {h + "a,1,3,1\nb,1,,40002\n", 3, MapProblem::mpMixedNumbering},
      {h + "a,1,3,0,float\n", 2, MapProblem::mpFormat},
      {h + "a,1,3,0,,0\n", 2, MapProblem::mpScale},
      {h + "a,1,3,0,,\"1,5\"\n", 2, MapProblem::mpScale},
      {h + "a,1,3,0,,1,nan\n", 2, MapProblem::mpOffset},
      {rows + "a,1,3,0,,,,,1,0,1,100,1,2\n", 2, MapProblem::mpRowField},
      {rows + "a,1,,40001,,,,,1,0,1,100,1,0\n", 2, MapProblem::mpFunction},
      {rows + "a,1,3,0,,,,,2,0,1,100,1,0\n", 2, MapProblem::mpRowNumber},
      {rows + "a,1,3,0,,,,,1,0,2,100,1,0\nb,1,3,1,,,,,1,0,2,90,1,0\n", 3,
       MapProblem::mpRowMismatch},
      {rows + "a,1,3,0,,,,,1,0,126,100,1,0\n", 2, MapProblem::mpRowCount},
      {rows + "a,1,3,65535,,,,,1,65535,2,100,1,0\n", 2, MapProblem::mpRowRange},
      {rows + "a,1,3,0,,,,,1,0,1,9,1,0\n", 2, MapProblem::mpRowPeriod},
      {rows + "a,1,3,0,,,,,1,0,1,100,1,0\nb,1,3,0,u32-abcd,,,,1,0,1,100,1,0\n", 3,
       MapProblem::mpRegisterOutsideRow},
  };
  for (const BadMap& map : maps) {
    SCOPED_TRACE(map.Text);
    const RegisterMapReading reading = ReadRegisterMap(map.Text);
    EXPECT_FALSE(reading.Ok);
    EXPECT_EQ(reading.Line, map.Line);
    EXPECT_EQ(reading.Kind, map.Kind);
    EXPECT_EQ(reading.Problem, MapProblemText(map.Kind));
    EXPECT_FALSE(reading.Problem.empty());
  }
}

TEST(RegisterMapProblemsTest, LinesAreBounded) {
  std::string text(kHeader);
  for (size_t i = 0; i < MaxMapLines; ++i) text += "r,1,3,0\n";
  EXPECT_TRUE(ReadRegisterMap(text).Ok);
  text += "r,1,3,0\n";
  const RegisterMapReading reading = ReadRegisterMap(text);
  EXPECT_EQ(reading.Kind, MapProblem::mpTooManyLines);
  EXPECT_EQ(reading.Line, MaxMapLines + 2);
}

// A fresh folder under the system's temporary directory, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "talyx-poll-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create " << pattern;
    root_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(root_),
                                             std::filesystem::directory_iterator()));
  }

 private:
  std::filesystem::path root_;
};

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(PollSetFileTest, SavedWholeOverTheOldFileAndLoadedBack) {
  ScratchFolder folder;
  const std::string path = folder.Path(std::string(DefaultPollSetFileName));
  std::ofstream(path) << "old";
  const PollSet set = EveryKindOfRow();
  EXPECT_EQ(SavePollSetFile(path, set), "");
  EXPECT_EQ(FileText(path), WriteRegisterMap(set));
  EXPECT_EQ(folder.Entries(), 1u);  // no temporary left beside it
  const RegisterMapReading reading = LoadPollSetFile(path);
  ASSERT_TRUE(reading.Ok) << reading.Problem;
  EXPECT_EQ(reading.Set, set);
}

TEST(PollSetFileTest, AFailedSaveLeavesWhatWasThere) {
  ScratchFolder folder;
  // A folder where the file should be: the rename fails after the temporary was written.
  const std::string path = folder.Path("taken");
  std::filesystem::create_directory(path);
  std::ofstream(folder.Path("taken/inside")) << "kept";
  EXPECT_EQ(SavePollSetFile(path, EveryKindOfRow()), "Is a directory");
  EXPECT_EQ(FileText(folder.Path("taken/inside")), "kept");
  EXPECT_EQ(folder.Entries(), 1u);
  EXPECT_EQ(SavePollSetFile(folder.Path("missing/poll.csv"), {}), "No such file or directory");
}

TEST(PollSetFileTest, MissingAndOversizedFilesAreToldApart) {
  ScratchFolder folder;
  const RegisterMapReading missing = LoadPollSetFile(folder.Path("none.csv"));
  EXPECT_FALSE(missing.Ok);
  EXPECT_EQ(missing.Kind, MapProblem::mpFileMissing);
  EXPECT_EQ(missing.Line, 0u);
  const std::string large = folder.Path("large.csv");
  std::ofstream(large) << kHeader;
  std::filesystem::resize_file(large, MaxPollSetFileBytes + 1);
  EXPECT_EQ(LoadPollSetFile(large).Kind, MapProblem::mpFileTooLarge);
  const RegisterMapReading folderRead = LoadPollSetFile(folder.Path(""));
  EXPECT_EQ(folderRead.Kind, MapProblem::mpFileUnreadable);
  EXPECT_EQ(folderRead.Problem, "Is a directory");
}

}  // namespace
}  // namespace talyx::app
