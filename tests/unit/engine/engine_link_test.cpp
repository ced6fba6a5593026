// Frames carried through a game's connection as hex pieces, and the paced
// queue they wait in.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/frame_pieces.h"
#include "engine/paced_queue.h"

using namespace engine_link;

namespace {

std::vector<uint8_t> Frame(int length, uint8_t seed) {
  std::vector<uint8_t> frame(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) frame[static_cast<size_t>(i)] = static_cast<uint8_t>(seed + i * 131);
  return frame;
}

std::vector<std::string> Pieces(const std::vector<uint8_t>& frame, uint32_t id) {
  std::vector<std::string> lines;
  const int length = static_cast<int>(frame.size());
  char line[kMaxCommandChars + 1];
  for (int i = 0; i < PieceCount(length); ++i) {
    EXPECT_TRUE(WritePiece("tgf", id, frame.data(), length, i, line, sizeof line));
    lines.push_back(line);
  }
  return lines;
}

// What a piece's command gives the receiving side: its arguments.
const char* Arguments(const std::string& line) { return line.c_str() + 4; }

}  // namespace

TEST(FramePieces, SizesAtAndAroundThePieceLimitGoThroughInAnyOrder) {
  struct Case {
    int length, pieces;
  } cases[] = {{1, 1},   {479, 1},  {480, 1},  {481, 2},  {959, 2},  {960, 2},
               {961, 3}, {1110, 3}, {1440, 3}, {1441, 4}, {2047, 5}, {2048, 5}};
  uint32_t id = 65530;  // ids wrap at 65535
  for (const Case& c : cases) {
    id = (id + 1) % 65536;
    const std::vector<uint8_t> frame = Frame(c.length, static_cast<uint8_t>(c.length));
    std::vector<std::string> lines = Pieces(frame, id);
    ASSERT_EQ(static_cast<int>(lines.size()), c.pieces) << c.length;
    for (const std::string& line : lines) {
      EXPECT_LE(line.size(), static_cast<size_t>(kMaxCommandChars));
      // Nothing the connection would mangle: no byte above 127, no '%'.
      EXPECT_EQ(line.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789 "), std::string::npos) << line;
    }
    for (const bool reversed : {false, true}) {
      if (reversed) std::reverse(lines.begin(), lines.end());
      PieceAssembler assembler;
      for (size_t i = 0; i < lines.size(); ++i) {
        const PieceAssembler::Outcome outcome = assembler.Take(Arguments(lines[i]));
        ASSERT_EQ(outcome,
                  i + 1 == lines.size() ? PieceAssembler::Outcome::kComplete : PieceAssembler::Outcome::kPartial)
            << c.length << " piece " << i;
      }
      ASSERT_EQ(assembler.Length(), c.length);
      EXPECT_TRUE(std::equal(frame.begin(), frame.end(), assembler.Frame())) << c.length;
    }
  }
  char line[kMaxCommandChars + 1];
  const std::vector<uint8_t> too_long = Frame(kMaxFrameBytes + 1, 1);
  EXPECT_EQ(PieceCount(0), 0);
  EXPECT_EQ(PieceCount(kMaxFrameBytes + 1), 0);
  EXPECT_FALSE(WritePiece("tgf", 1, too_long.data(), kMaxFrameBytes + 1, 0, line, sizeof line));
  EXPECT_FALSE(WritePiece("tgf", 1, too_long.data(), 10, 1, line, sizeof line));       // no such piece
  EXPECT_FALSE(WritePiece("tgf", 65536, too_long.data(), 10, 0, line, sizeof line));   // id out of range
  EXPECT_FALSE(WritePiece("tgf", 1, too_long.data(), 10, 0, line, kMaxCommandChars));  // room too short
}

TEST(FramePieces, LostAndRepeatedPieces) {
  const std::vector<std::string> first = Pieces(Frame(1110, 7), 10);
  const std::vector<std::string> second = Pieces(Frame(600, 9), 11);
  PieceAssembler assembler;
  using Outcome = PieceAssembler::Outcome;
  EXPECT_EQ(assembler.Take(Arguments(first[0])), Outcome::kPartial);
  EXPECT_EQ(assembler.Take(Arguments(first[0])), Outcome::kRepeat);
  EXPECT_EQ(assembler.Take(Arguments(first[2])), Outcome::kPartial);
  // Piece 1 of the first frame is lost: the next frame starts and the first is given up.
  EXPECT_EQ(assembler.Take(Arguments(second[1])), Outcome::kPartial);
  EXPECT_EQ(assembler.Abandoned(), 1);
  EXPECT_EQ(assembler.Take(Arguments(first[1])), Outcome::kPartial);  // too late: a frame of its own again
  EXPECT_EQ(assembler.Abandoned(), 2);
  EXPECT_EQ(assembler.Take(Arguments(second[1])), Outcome::kPartial);  // and given up once more
  EXPECT_EQ(assembler.Abandoned(), 3);
  EXPECT_EQ(assembler.Take(Arguments(second[0])), Outcome::kComplete);
  EXPECT_EQ(assembler.Length(), 600);
  // A late copy of a piece of the frame just completed is only a repeat,
  // also while the next frame is being put together.
  EXPECT_EQ(assembler.Take(Arguments(second[0])), Outcome::kRepeat);
  const std::vector<std::string> third = Pieces(Frame(1000, 3), 12);
  EXPECT_EQ(assembler.Take(Arguments(third[0])), Outcome::kPartial);
  EXPECT_EQ(assembler.Take(Arguments(second[1])), Outcome::kRepeat);
  EXPECT_EQ(assembler.Take(Arguments(third[1])), Outcome::kPartial);
  EXPECT_EQ(assembler.Take(Arguments(third[2])), Outcome::kComplete);
  EXPECT_EQ(assembler.Abandoned(), 3);
  // A connection that ends in the middle of a frame.
  EXPECT_EQ(assembler.Take(Arguments(first[0])), Outcome::kPartial);
  assembler.Reset();
  EXPECT_EQ(assembler.Abandoned(), 4);
  EXPECT_EQ(assembler.Take(Arguments(first[1])), Outcome::kPartial);
}

TEST(FramePieces, MalformedPiecesAreRejected) {
  const std::string full(2 * kPieceBytes, 'a');
  const char* const cases[] = {
      "",
      "1 0 1",
      "1 0 1 ",
      "1 0 1 abc",      // odd count of digits
      "1 0 1 zz",       // not hex
      "1 0 1 00 ",      // trailing blank
      "1 1 1 00",       // index beyond the count
      "1 0 0 00",       // no pieces
      "1 0 6 00",       // more pieces than the longest frame has
      "70000 0 1 00",   // id beyond 65535
      "123456 0 1 00",  // too many digits
      "-1 0 1 00",
      "1  0 1 00",  // two blanks
      "1 0 2 00",   // a piece before the last must be full
  };
  for (const char* text : cases) {
    PieceAssembler assembler;
    EXPECT_EQ(assembler.Take(text), PieceAssembler::Outcome::kRejected) << '"' << text << '"';
  }
  PieceAssembler assembler;
  EXPECT_EQ(assembler.Take(nullptr), PieceAssembler::Outcome::kRejected);
  EXPECT_EQ(assembler.Take(("1 0 1 " + full + "00").c_str()), PieceAssembler::Outcome::kRejected);  // too long
  // The last of five pieces may not take the frame past kMaxFrameBytes.
  const int room = kMaxFrameBytes - (kMaxPieces - 1) * kPieceBytes;
  EXPECT_EQ(assembler.Take(("2 4 5 " + full).c_str()), PieceAssembler::Outcome::kRejected);
  EXPECT_EQ(assembler.Take(("2 4 5 " + std::string(2 * room + 2, 'a')).c_str()), PieceAssembler::Outcome::kRejected);
  EXPECT_EQ(assembler.Take(("2 4 5 " + std::string(2 * room, 'a')).c_str()), PieceAssembler::Outcome::kPartial);
  // A frame cannot change its piece count on the way.
  EXPECT_EQ(assembler.Take(("5 0 3 " + full).c_str()), PieceAssembler::Outcome::kPartial);
  EXPECT_EQ(assembler.Take(("5 1 2 " + full).c_str()), PieceAssembler::Outcome::kRejected);
  EXPECT_EQ(assembler.Take(("5 1 3 " + full).c_str()), PieceAssembler::Outcome::kPartial);
  EXPECT_EQ(assembler.Take("5 2 3 0a0B"), PieceAssembler::Outcome::kComplete);
  EXPECT_EQ(assembler.Length(), 2 * kPieceBytes + 2);
  EXPECT_EQ(assembler.Frame()[2 * kPieceBytes + 1], 0x0B);
}

TEST(PacedQueue, LetsLinesOutAtItsPaceAndTakesFramesWhole) {
  PacedQueue queue(8, 2, 50);
  using Push = PacedQueue::Push;
  EXPECT_EQ(queue.PushFrame("tgf", 1, Frame(1110, 1).data(), 1110), Push::kQueued);   // 3 pieces
  EXPECT_EQ(queue.PushFrame("tgf", 2, Frame(1000, 2).data(), 1000), Push::kQueued);   // 3 pieces
  EXPECT_EQ(queue.PushFrame("tgf", 3, Frame(1000, 3).data(), 1000), Push::kDropped);  // 9 > 8
  EXPECT_EQ(queue.Waiting(), 6);
  EXPECT_EQ(queue.DroppedFrames(), 1);
  EXPECT_EQ(queue.PushFrame("tgf", 4, Frame(10, 4).data(), 10), Push::kQueued);  // one piece still fits
  EXPECT_EQ(queue.PushFrame("tgf", 5, Frame(0, 5).data(), 0), Push::kInvalid);
  EXPECT_EQ(queue.PushFrame("tgf", 5, Frame(2049, 5).data(), 2049), Push::kInvalid);
  EXPECT_EQ(queue.PushFrame("", 5, Frame(10, 5).data(), 10), Push::kInvalid);
  EXPECT_EQ(queue.PushFrame("a_word_too_long_", 5, Frame(10, 5).data(), 10), Push::kInvalid);
  EXPECT_EQ(queue.Waiting(), 7);

  std::vector<std::string> sent;
  const auto send = [&sent](const char* line) { sent.push_back(line); };
  const uint32_t start = 0xFFFFFFF0u;  // the clock wraps on the way
  EXPECT_EQ(queue.Release(start, send), 2);
  EXPECT_EQ(queue.Release(start + 49, send), 0);
  EXPECT_EQ(queue.Release(start + 50, send), 2);
  EXPECT_EQ(queue.Release(start + 100, send), 2);
  EXPECT_EQ(queue.Release(start + 150, send), 1);
  EXPECT_EQ(queue.Release(start + 200, send), 0);
  ASSERT_EQ(sent.size(), 7u);
  const char* const expected[] = {"tgf 1 0 3 ", "tgf 1 1 3 ", "tgf 1 2 3 ", "tgf 2 0 3 ",
                                  "tgf 2 1 3 ", "tgf 2 2 3 ", "tgf 4 0 1 "};
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].rfind(expected[i], 0), 0u) << sent[i];

  EXPECT_EQ(queue.PushFrame("tgf", 6, Frame(1110, 6).data(), 1110), Push::kQueued);
  queue.Clear();  // the connection ended
  EXPECT_EQ(queue.Waiting(), 0);
  EXPECT_EQ(queue.Release(start + 400, send), 0);
}
