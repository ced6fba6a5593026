#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "channel/wire_bytes.h"
#include "channel/wire_format.h"
#include "support/wire_peer.h"

TEST(WireBytes, FieldsRoundTripInTheirByteOrder) {
  uint8_t buffer[16];
  wire::ByteWriter out(buffer, sizeof buffer);
  out.U8(0xA5);
  out.U16BE(0x1234);
  out.U32BE(0x01020304u);
  out.U32LE(0x0A0B0C0Du);
  out.Text("ok");
  ASSERT_FALSE(out.Overflowed());
  ASSERT_EQ(out.Length(), 13);
  const uint8_t expected[13] = {0xA5, 0x12, 0x34, 1, 2, 3, 4, 0x0D, 0x0C, 0x0B, 0x0A, 'o', 'k'};
  EXPECT_EQ(memcmp(buffer, expected, sizeof expected), 0);

  wire::ByteReader in(buffer, out.Length());
  EXPECT_EQ(in.U8(), 0xA5);
  EXPECT_EQ(in.U16BE(), 0x1234);
  EXPECT_EQ(in.U32BE(), 0x01020304u);
  EXPECT_EQ(in.U32LE(), 0x0A0B0C0Du);
  EXPECT_EQ(in.Remaining(), 2);
  EXPECT_FALSE(in.Overflowed());
}

TEST(WireBytes, OverflowIsStickyAndWritesNothingPastTheEnd) {
  uint8_t buffer[6] = {1, 2, 3, 4, 5, 0xEE};
  wire::ByteReader in(buffer, 5);
  EXPECT_EQ(in.U32BE(), 0x01020304u);
  EXPECT_EQ(in.U16BE(), 0);  // one byte left: the read fails ...
  EXPECT_TRUE(in.Overflowed());
  EXPECT_EQ(in.U8(), 0);     // ... and so does every later one
  EXPECT_EQ(in.Position(), 4);

  wire::ByteWriter out(buffer, 5);
  out.U32LE(0);
  out.U16BE(0xFFFF);  // no room for two bytes
  out.U8(7);          // nor for anything after
  EXPECT_TRUE(out.Overflowed());
  EXPECT_EQ(out.Length(), 4);
  EXPECT_EQ(buffer[4], 5);
  EXPECT_EQ(buffer[5], 0xEE);
}

TEST(WireFormat, ScrambledFrameOpensOnlyWhenWholeAndChecked) {
  const std::string key = PeerChannelKey(11, 22, 33, 44);
  const Bytes payload = ToBytes("Ahello from the server");
  Bytes frame = PeerScrambledFrame(key, payload);
  Bytes copy = frame;
  const int32_t n = wire::OpenScrambledFrame(copy.data(), static_cast<int32_t>(copy.size()), key.c_str());
  ASSERT_EQ(n, static_cast<int32_t>(payload.size()));
  EXPECT_EQ(Bytes(copy.begin() + 10, copy.end()), payload);

  struct Case {
    const char* what;
    size_t cut;          // bytes removed from the end
    size_t flip;         // index of a byte flipped (0: none)
  } cases[] = {{"short header", frame.size() - 9, 0}, {"length mismatch", 1, 0}, {"check value", 0, 5},
               {"payload byte", 0, 12}};
  for (const Case& c : cases) {
    Bytes bad(frame.begin(), frame.end() - static_cast<long>(c.cut));
    if (c.flip != 0) bad[c.flip] ^= 0x40;
    const Bytes before = bad;
    EXPECT_EQ(wire::OpenScrambledFrame(bad.data(), static_cast<int32_t>(bad.size()), key.c_str()), -1) << c.what;
    EXPECT_EQ(bad, before) << c.what << ": a refused frame stays as it came";
  }
}

TEST(WireFormat, BuiltFramesMatchTheIndependentPeer) {
  const Bytes payload = ToBytes("Mname = \"value\"");
  uint8_t frame[wire::kFrameBufferSize];
  const int32_t plain = wire::BuildPlainFrame(0x11223344u, payload.data(), static_cast<int32_t>(payload.size()), frame);
  EXPECT_EQ(Bytes(frame, frame + plain), PeerPlainFrame(0x11223344u, payload));
  uint32_t ident = 0;
  ASSERT_TRUE(wire::ReadPlainIdent(frame, plain, &ident));
  EXPECT_EQ(ident, 0x11223344u);
  EXPECT_FALSE(wire::ReadPlainIdent(frame, 7, &ident));

  const std::string key = PeerChannelKey(1, 2, 3, 4);
  const int32_t scrambled = wire::BuildScrambledFrame(key.c_str(), payload.data(), static_cast<int32_t>(payload.size()), frame);
  EXPECT_EQ(Bytes(frame, frame + scrambled), PeerScrambledFrame(key, payload));
}
