// The telnet / COM-PORT-OPTION codec: escaping, commands, pieces of any size, bounds.
#include "platform/rfc2217.h"

#include <gtest/gtest.h>

namespace talyx::platform::rfc2217 {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Rfc2217Encoding, DataDoublesEveryIacAndNothingElse) {
  Bytes out;
  const Bytes data = {0x00, 0xFF, 0x41, 0xFF, 0xFF};
  AppendData(out, data.data(), data.size());
  EXPECT_EQ(out, (Bytes{0x00, 0xFF, 0xFF, 0x41, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(Rfc2217Encoding, SubnegotiationCarriesABigEndianValueWithIacDoubled) {
  Bytes out;
  AppendComPort(out, SetBaudrate, 0x0000FF10u, 4);
  EXPECT_EQ(out, (Bytes{Iac, Sb, OptComPort, SetBaudrate, 0, 0, 0xFF, 0xFF, 0x10, Iac, Se}));
}

TEST(Rfc2217Decoding, SeparatesDataFromCommandsWhateverThePieces) {
  const Bytes stream = {'a',        Iac, Iac,  Iac,  Will, OptBinary, 'b', Iac,        Sb,
                        OptComPort, 107, 0xB0, Iac,  Se,   Iac,       Sb,  OptComPort, 101,
                        0,          0,   0x38, 0x40, Iac,  Se,        'c', Iac,        Iac};
  for (size_t split = 0; split <= stream.size(); ++split) {
    Decoder decoder;
    Bytes data;
    std::vector<Event> events;
    ASSERT_TRUE(decoder.Feed(stream.data(), split, data, events));
    ASSERT_TRUE(decoder.Feed(stream.data() + split, stream.size() - split, data, events));
    EXPECT_EQ(data, (Bytes{'a', 0xFF, 'b', 'c', 0xFF})) << split;
    ASSERT_EQ(events.size(), 3u) << split;
    EXPECT_EQ(events[0].Type, Event::Kind::OfferWill);
    EXPECT_EQ(events[0].Option, OptBinary);
    EXPECT_EQ(events[1].Type, Event::Kind::ComPort);
    EXPECT_EQ(events[1].Command, NotifyModemstate + ServerOffset);
    EXPECT_EQ(events[1].Value, 0xB0u);
    EXPECT_EQ(events[2].Command, SetBaudrate + ServerOffset);
    EXPECT_EQ(events[2].Value, 14400u);
    EXPECT_EQ(events[2].ValueSize, 4);
  }
}

TEST(Rfc2217Decoding, AnOverlongSubnegotiationFailsWithinItsBound) {
  Decoder decoder;
  Bytes data;
  std::vector<Event> events;
  const Bytes start = {Iac, Sb, OptComPort};
  ASSERT_TRUE(decoder.Feed(start.data(), start.size(), data, events));
  const Bytes filler(1 << 20, 0x01);
  EXPECT_FALSE(decoder.Feed(filler.data(), filler.size(), data, events));
  EXPECT_FALSE(decoder.Error().empty());
  EXPECT_TRUE(data.empty());
  // Nothing after the fault is taken as data.
  const Bytes after = {'x'};
  EXPECT_FALSE(decoder.Feed(after.data(), after.size(), data, events));
  EXPECT_TRUE(data.empty());
}

TEST(Rfc2217Decoding, ACommandInsideASubnegotiationIsMalformed) {
  Decoder decoder;
  Bytes data;
  std::vector<Event> events;
  const Bytes stream = {Iac, Sb, OptComPort, SetParity + ServerOffset, Iac, Will, 'x'};
  EXPECT_FALSE(decoder.Feed(stream.data(), stream.size(), data, events));
  EXPECT_TRUE(events.empty());
}

}  // namespace
}  // namespace talyx::platform::rfc2217
