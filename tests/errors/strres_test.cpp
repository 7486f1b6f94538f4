// Tests of TStringResource over tables built by the tests: lookup, selection, refusal, threads.
#include "errors/strres.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tablebuilder.h"

namespace talyx {
namespace {

using test::BuildTable;
using test::IndexField;
using test::ModuleOf;
using test::PutU32At;
using ::testing::AnyOf;
using ::testing::Eq;

// Runs Body and returns the message of the EStringResourceError it raises.
template <class Body>
std::string ReaderFailure(Body&& body) {
  try {
    body();
  } catch (const EStringResourceError& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// Id -7 comes first: the order is that of signed ids (unsigned, it would come last).
const std::vector<uint8_t> kSample = BuildTable({
    {-7, u"minus seven"},
    {1, u"one"},
    {2, u""},
    {40, u"forty"},
    {41, u"forty-one"},
    {1000, u"thousand"},
});

TEST(StringResourceLookUp, FindsEveryPresentIdAndNothingElse) {
  const ResourceModule module = ModuleOf("SAMPLE", kSample);
  TStringResource reader(&module, "SAMPLE");
  EXPECT_EQ(reader.LookUp(-7), "minus seven");
  EXPECT_EQ(reader.LookUp(1), "one");
  EXPECT_EQ(reader.LookUp(40), "forty");
  EXPECT_EQ(reader.LookUp(41), "forty-one");
  EXPECT_EQ(reader.LookUp(1000), "thousand");
  for (const int32_t missing : {-8, 0, 3, 39, 42, 999, 1001, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(reader.LookUp(missing), "") << "id " << missing;
  }
}

TEST(StringResourceLookUp, PresentIdWithEmptyTextYieldsEmptyEvenWhenRaisingOnMissing) {
  const ResourceModule module = ModuleOf("SAMPLE", kSample);
  TStringResource reader(&module, "SAMPLE");
  reader.RaiseOnMissing = true;
  EXPECT_EQ(reader.LookUp(2), "");
}

TEST(StringResourceLookUp, TableWithNoEntriesYieldsEmptyForEveryId) {
  const std::vector<uint8_t> empty = BuildTable({});
  ASSERT_EQ(empty.size(), 8u);
  const ResourceModule module = ModuleOf("EMPTY", empty);
  TStringResource reader(&module, "EMPTY");
  for (const int32_t id : {INT32_MIN, -1, 0, 1, 3006, INT32_MAX}) EXPECT_EQ(reader.LookUp(id), "");
}

TEST(StringResourceLookUp, MissingIdRaisesItsNumberWhenAsked) {
  const ResourceModule module = ModuleOf("SAMPLE", kSample);
  TStringResource reader(&module, "SAMPLE");
  reader.RaiseOnMissing = true;
  EXPECT_EQ(ReaderFailure([&] { reader.LookUp(42); }), "String not found: 42");
  EXPECT_EQ(ReaderFailure([&] { reader.LookUp(-3); }), "String not found: -3");
  EXPECT_EQ(reader.LookUp(41), "forty-one");
}

TEST(StringResourceLookUp, ConvertsUtf16ToUtf8) {
  const std::vector<uint8_t> bytes = BuildTable({
      {1, u"caf\u00e9 \u4e2d"},
      {2, u"\U0001F600!"},
      {3, std::u16string{u'a', char16_t{0xD800}, u'b'}},  // high surrogate without its partner
      {4, std::u16string{char16_t{0xDC00}}},              // low surrogate alone
  });
  const ResourceModule module = ModuleOf("WIDE", bytes);
  TStringResource reader(&module, "WIDE");
  EXPECT_EQ(reader.LookUp(1), "caf\xC3\xA9 \xE4\xB8\xAD");
  EXPECT_EQ(reader.LookUp(2), "\xF0\x9F\x98\x80!");
  EXPECT_EQ(reader.LookUp(3),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(reader.LookUp(4), "\xEF\xBF\xBD");
}

TEST(StringResourceSelection, NamesMatchWithoutRegardToCase) {
  const ResourceModule module = ModuleOf("Sample", kSample);
  TStringResource reader(&module, "sAMPLE");
  EXPECT_EQ(reader.LookUp(1), "one");
}

TEST(StringResourceSelection, GivenModuleIsSearchedBeforeTheProgramModule) {
  const std::vector<uint8_t> shadow = BuildTable({{3006, u"shadowed"}});
  const ResourceModule module = ModuleOf("ERROR_STRINGS_ENGLISH", shadow);
  TStringResource own(&module, "ERROR_STRINGS_ENGLISH");
  EXPECT_EQ(own.LookUp(3006), "shadowed");

  const ResourceModule unrelated = ModuleOf("SAMPLE", kSample);
  TStringResource fallback(&unrelated, "ERROR_STRINGS_ENGLISH");
  EXPECT_EQ(fallback.LookUp(3006), "Output buffer too small for block");
}

TEST(StringResourceSelection, NameLongerThan255CharactersIsCutBeforeTheSearch) {
  const std::string name255(255, 'N');
  const ResourceModule module = ModuleOf(name255, kSample);
  TStringResource reader(&module, name255 + "TAIL BEYOND THE LIMIT");
  EXPECT_EQ(reader.LookUp(1), "one");

  const std::string name256 = std::string(255, 'M') + "X";
  const ResourceModule longNamed = ModuleOf(name256, kSample);
  EXPECT_EQ(ReaderFailure([&] { TStringResource r(&longNamed, name256); }),
            "String resource not found: " + std::string(255, 'M'));
}

TEST(StringResourceSelection, MissingOrUnloadableResourcesAreReportedWithTheirName) {
  const ResourceModule module{{"BROKEN", nullptr, 0}};
  EXPECT_EQ(ReaderFailure([&] { TStringResource r(&module, "NO_SUCH_TABLE"); }),
            "String resource not found: NO_SUCH_TABLE");
  EXPECT_EQ(ReaderFailure([&] { TStringResource r(nullptr, "NO_SUCH_TABLE"); }),
            "String resource not found: NO_SUCH_TABLE");
  EXPECT_EQ(ReaderFailure([&] { TStringResource r(&module, "BROKEN"); }),
            "Unable to open string resource: BROKEN");
}

TEST(StringResourceSelection, ReaderWithoutTableCannotLock) {
  TStringResource reader(nullptr, "");
  EXPECT_EQ(ReaderFailure([&] { reader.LookUp(1); }), "Cannot lock resource");
}

TEST(StringResourceSelection, SelectingAnotherTableReplacesTheFirst) {
  const std::vector<uint8_t> other = BuildTable({{1, u"uno"}});
  const ResourceModule module{{"SAMPLE", kSample.data(), kSample.size()},
                              {"OTHER", other.data(), other.size()}};
  TStringResource reader(&module, "SAMPLE");
  reader.SelectTable(&module, "OTHER");
  EXPECT_EQ(reader.LookUp(1), "uno");
  EXPECT_EQ(reader.LookUp(40), "");
}

TEST(StringResourceSelection, BadMagicIsRefusedWhenSelectedNotAtLookUp) {
  std::vector<uint8_t> bytes = kSample;
  bytes[3] = '1';
  const ResourceModule module{{"SAMPLE", kSample.data(), kSample.size()},
                              {"BAD", bytes.data(), bytes.size()}};
  EXPECT_EQ(ReaderFailure([&] { TStringResource r(&module, "BAD"); }), "Invalid STR0 string table");

  // A reader that is refused a table keeps none, so no later lookup reads the refused bytes.
  TStringResource reader(&module, "SAMPLE");
  EXPECT_EQ(ReaderFailure([&] { reader.SelectTable(&module, "BAD"); }),
            "Invalid STR0 string table");
  EXPECT_EQ(ReaderFailure([&] { reader.LookUp(1); }), "Cannot lock resource");
}

// Each case breaks one bound of an otherwise sound table; every one must be refused whole.
TEST(StringResourceSelection, TablesPointingPastTheirDataOrOutOfOrderAreRefused) {
  struct Case {
    const char* What;
    std::vector<uint8_t> Bytes;
  };
  std::vector<Case> cases;
  auto broken = [&](const char* what, auto&& change) {
    std::vector<uint8_t> bytes = kSample;
    change(bytes);
    cases.push_back({what, std::move(bytes)});
  };
  broken("shorter than the header", [](auto& b) { b.resize(7); });
  broken("magic only", [](auto& b) { b.resize(4); });
  broken("three bytes", [](auto& b) { b.resize(3); });
  broken("no bytes", [](auto& b) { b.clear(); });
  broken("count one too many", [](auto& b) { PutU32At(b, 4, 7); });
  broken("count wraps 32 bits", [](auto& b) { PutU32At(b, 4, 0x80000000u); });
  broken("count all ones", [](auto& b) { PutU32At(b, 4, 0xFFFFFFFFu); });
  broken("offset past the end",
         [](auto& b) { PutU32At(b, IndexField(1, 1), static_cast<uint32_t>(b.size()) + 1); });
  broken("offset wraps with its length",
         [](auto& b) { PutU32At(b, IndexField(1, 1), 0xFFFFFFFFu); });
  broken("length one unit too long", [](auto& b) { PutU32At(b, IndexField(5, 2), 9); });
  broken("length wraps when doubled", [](auto& b) { PutU32At(b, IndexField(0, 2), 0x80000000u); });
  broken("last text cut short", [](auto& b) { b.pop_back(); });
  broken("ids out of order", [](auto& b) { PutU32At(b, IndexField(3, 0), 0); });
  broken("duplicate id", [](auto& b) { PutU32At(b, IndexField(4, 0), 40); });

  for (const Case& c : cases) {
    const ResourceModule module = ModuleOf("T", c.Bytes);
    EXPECT_EQ(ReaderFailure([&] { TStringResource r(&module, "T"); }), "Invalid STR0 string table")
        << c.What;
  }
}

TEST(StringResourceSelection, TextEndingExactlyAtTheDataEndIsAccepted) {
  std::vector<uint8_t> bytes = BuildTable({{1, u"abc"}, {2, u""}});
  PutU32At(bytes, IndexField(1, 1),
           static_cast<uint32_t>(bytes.size()));  // empty text at the very end
  const ResourceModule module = ModuleOf("EDGE", bytes);
  TStringResource reader(&module, "EDGE");
  EXPECT_EQ(reader.LookUp(1), "abc");
  EXPECT_EQ(reader.LookUp(2), "");
}

TEST(StringResourceThreads, ConcurrentLookUpsAndReselectionNeverMixTables) {
  const std::vector<uint8_t> first = BuildTable({{1, u"first one"}, {2, u"first two"}});
  const std::vector<uint8_t> second = BuildTable({{1, u"second one"}, {2, u"second two"}});
  const ResourceModule module{{"A", first.data(), first.size()},
                              {"B", second.data(), second.size()}};
  TStringResource reader(&module, "A");

  constexpr int kLookUpsPerThread = 3000;
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::thread selector([&] {
    for (int i = 0; !stop.load(); ++i) reader.SelectTable(&module, i % 2 ? "A" : "B");
  });
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&, t] {
      const int32_t id = 1 + t % 2;
      const std::string a = id == 1 ? "first one" : "first two";
      const std::string b = id == 1 ? "second one" : "second two";
      for (int i = 0; i < kLookUpsPerThread; ++i) {
        const std::string text = reader.LookUp(id);
        if (text != a && text != b) ++wrong;
        if (ErrorStrings().LookUp(3007) != "Buffer is empty") ++wrong;
      }
    });
  }
  for (std::thread& r : readers) r.join();
  stop = true;
  selector.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_THAT(reader.LookUp(1), AnyOf(Eq("first one"), Eq("second one")));
}

}  // namespace
}  // namespace talyx
