// Tests of the data-trigger matcher (the examples of its rule and a randomized comparison with
// a reference model) and of timer expiry across the clock's wrap.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "dispatch/triggers.h"

namespace talyx {
namespace {

TDataTrigger Trigger(const std::string& sequence, bool ignoreCase = false) {
  TDataTrigger trigger;
  trigger.Length = static_cast<uint32_t>(sequence.size());
  trigger.IgnoreCase = ignoreCase;
  for (size_t i = 0; i < sequence.size(); ++i) {
    const auto byte = static_cast<uint8_t>(sequence[i]);
    trigger.MatchData[i] = ignoreCase ? UpperCaseByte(byte) : byte;
  }
  return trigger;
}

// The positions (1-based) of the input bytes at which the trigger completes.
std::vector<int> MatchPositions(TDataTrigger trigger, const std::string& input) {
  std::vector<int> positions;
  for (size_t i = 0; i < input.size(); ++i) {
    if (MatchDataTrigger(trigger, static_cast<uint8_t>(input[i]))) {
      positions.push_back(static_cast<int>(i + 1));
    }
  }
  return positions;
}

using Positions = std::vector<int>;

TEST(MatchDataTrigger, OverlappingOccurrencesOfARepeatedByte) {
  EXPECT_EQ(MatchPositions(Trigger("aa"), "aaa"), (Positions{2, 3}));
  EXPECT_EQ(MatchPositions(Trigger("aba"), "ababa"), (Positions{3, 5}));
  EXPECT_EQ(MatchPositions(Trigger("aab"), "aaaab"), (Positions{5}));
  EXPECT_EQ(MatchPositions(Trigger("OK"), "xyOKOK"), (Positions{4, 6}));
  EXPECT_EQ(MatchPositions(Trigger("Z"), "ZaZZ"), (Positions{1, 3, 4}));
}

TEST(MatchDataTrigger, CaseInsensitiveSequencesAreHeldInUpperCase) {
  const TDataTrigger trigger = Trigger("ab", true);
  EXPECT_EQ(trigger.MatchData[0], 'A');
  EXPECT_EQ(trigger.MatchData[1], 'B');
  EXPECT_EQ(MatchPositions(trigger, "xAb"), (Positions{3}));
  // The second a restarts the candidate.
  EXPECT_EQ(MatchPositions(trigger, "aab"), (Positions{3}));
  EXPECT_EQ(MatchPositions(Trigger("ab"), "xAb"), Positions{});
  // Only the letters a..z change case; bytes of the double-byte code page stay as they are.
  EXPECT_EQ(UpperCaseByte(0xE4), 0xE4);
  EXPECT_EQ(UpperCaseByte('{'), '{');
}

TEST(MatchDataTrigger, ACompletedMatchClearsEveryCandidate) {
  TDataTrigger trigger = Trigger("aab");
  EXPECT_EQ(MatchPositions(trigger, "aaab"), (Positions{4}));
  trigger = Trigger("aab");
  MatchDataTrigger(trigger, 'a');
  MatchDataTrigger(trigger, 'a');
  EXPECT_TRUE(MatchDataTrigger(trigger, 'b'));
  EXPECT_TRUE(std::all_of(trigger.MatchState.begin(), trigger.MatchState.end(),
                          [](uint32_t slot) { return slot == 0; }));
}

// Reference model of the matching rule, written from the candidates' side instead of as the
// slot walk with its "examine" decision. The sequence has Length slots; each holds the
// progress of one candidate occurrence (bytes matched so far) or is free (0). For each byte the
// slots are visited in order:
// - A candidate whose next expected byte is this byte advances. If that completes the sequence
//   the byte is a match and every slot is freed, the ones already visited included.
// - A candidate that does not advance restarts at progress 1 when the byte is the sequence's
//   first byte, and is freed otherwise.
// - A free slot takes a new candidate when the byte is the first byte and no candidate was
//   started or restarted at progress 1 earlier in this byte's visit (a one-byte sequence then
//   matches at once).
// So a byte starts at most one new candidate, in the first free slot it reaches.
class ReferenceMatcher {
 public:
  ReferenceMatcher(const std::string& sequence, bool ignoreCase)
      : ignoreCase_(ignoreCase), slots_(sequence.size(), 0) {
    for (char c : sequence) sequence_.push_back(Fold(static_cast<uint8_t>(c)));
  }

  bool Feed(uint8_t byte) {
    byte = Fold(byte);
    const size_t length = sequence_.size();
    bool match = false;
    bool startedHere = false;
    for (size_t i = 0; i < length; ++i) {
      uint32_t& progress = slots_[i];
      if (progress != 0) {
        if (sequence_[progress] == byte) {
          if (progress + 1 == length) {
            match = true;
            std::fill(slots_.begin(), slots_.end(), 0);
          } else {
            ++progress;
          }
        } else if (sequence_[0] == byte) {
          progress = 1;
          startedHere = true;
        } else {
          progress = 0;
        }
      } else if (!startedHere && sequence_[0] == byte) {
        if (length == 1) {
          match = true;
        } else {
          progress = 1;
          startedHere = true;
        }
      }
    }
    return match;
  }

  const std::vector<uint32_t>& Slots() const { return slots_; }

 private:
  uint8_t Fold(uint8_t byte) const {
    return ignoreCase_ && byte >= 'a' && byte <= 'z' ? static_cast<uint8_t>(byte - 32) : byte;
  }

  bool ignoreCase_;
  std::vector<uint8_t> sequence_;
  std::vector<uint32_t> slots_;
};

TEST(MatchDataTrigger, AgreesWithTheReferenceModelOnRandomStreams) {
  std::mt19937 random(4711);
  int matches = 0;
  for (int run = 0; run < 3000; ++run) {
    const std::string alphabet = run % 2 == 0 ? "ab" : "abc";
    const bool ignoreCase = run % 5 == 0;
    const size_t length = 1 + random() % (run % 10 == 0 ? MaxTriggerLen : 6);
    std::string sequence;
    for (size_t i = 0; i < length; ++i) sequence.push_back(alphabet[random() % alphabet.size()]);

    TDataTrigger trigger = Trigger(sequence, ignoreCase);
    ReferenceMatcher model(sequence, ignoreCase);
    std::string seen;
    for (int i = 0; i < 200; ++i) {
      char c = alphabet[random() % alphabet.size()];
      if (ignoreCase && random() % 2 == 0) c = static_cast<char>(c - 32);
      seen.push_back(c);
      const bool matched = MatchDataTrigger(trigger, static_cast<uint8_t>(c));
      ASSERT_EQ(matched, model.Feed(static_cast<uint8_t>(c)))
          << "sequence " << sequence << " after " << seen;
      for (size_t slot = 0; slot < length; ++slot) {
        ASSERT_EQ(trigger.MatchState[slot], model.Slots()[slot])
            << "slot " << slot << " of sequence " << sequence << " after " << seen;
      }
      if (matched) {
        // Whatever the candidates did, a match ends an occurrence of the sequence.
        ++matches;
        std::string tail = seen.substr(seen.size() - length);
        if (ignoreCase) {
          for (char& t : tail) t = static_cast<char>(UpperCaseByte(static_cast<uint8_t>(t)));
          std::string upper = sequence;
          for (char& u : upper) u = static_cast<char>(UpperCaseByte(static_cast<uint8_t>(u)));
          ASSERT_EQ(tail, upper);
        } else {
          ASSERT_EQ(tail, sequence);
        }
      }
    }
  }
  EXPECT_GT(matches, 1000);
}

TEST(TimerExpired, RunsOutAfterItsTickAndAcrossTheClocksWrap) {
  TTimerTrigger timer{8, 1000, 1010, true};
  EXPECT_FALSE(TimerExpired(timer, 1000));
  EXPECT_FALSE(TimerExpired(timer, 1010));
  EXPECT_TRUE(TimerExpired(timer, 1011));

  // Started at the fifth-last tick before the wrap, 20 ticks long: it expires at the wrapped
  // tick 15 and has run out from tick 16 on.
  const int32_t last = TicksPerClockWrap - 1;
  TTimerTrigger late{16, last - 4, last + 16, true};
  EXPECT_FALSE(TimerExpired(late, last));
  EXPECT_FALSE(TimerExpired(late, 0));
  EXPECT_FALSE(TimerExpired(late, 15));
  EXPECT_TRUE(TimerExpired(late, 16));
}

}  // namespace
}  // namespace talyx
