// Frames of the module carried through a game's own connection, which takes
// only text commands of about a thousand characters (bytes above 127 and
// '%' are mangled on the way): a frame goes as hex in pieces, one command
// each,
//
//   <word> <id> <index> <count> <hex>
//
// id (0 to 65535) names the frame, index counts from 0, every piece but the
// last holds kPieceBytes bytes. The receiving side puts a frame together
// from its pieces in any order; a repeated piece changes nothing, and a
// frame whose pieces stop coming is given up when the next frame starts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace engine_link {

// The longest command line a piece makes (the engine cuts near 1,022).
constexpr int kMaxCommandChars = 1000;
// Bytes of a frame in one piece (twice as many hex digits).
constexpr int kPieceBytes = 480;
// The longest frame carried: the module's frames are at most 1,110 bytes.
constexpr int kMaxFrameBytes = 2048;
constexpr int kMaxPieces = (kMaxFrameBytes + kPieceBytes - 1) / kPieceBytes;
// The longest command word: the line stays within kMaxCommandChars.
constexpr int kMaxWordChars = 15;

// The pieces a frame of length bytes takes; 0 when it is empty or longer
// than kMaxFrameBytes.
int PieceCount(int length);

// Writes piece index of the frame as a command line (with its NUL) into
// out; false when the word, the frame or the index is out of range, or out
// is shorter than kMaxCommandChars + 1.
bool WritePiece(const char* word, uint32_t id, const uint8_t* frame, int length, int index, char* out, size_t size);

class PieceAssembler {
 public:
  enum class Outcome {
    kPartial,   // taken; the frame still misses pieces
    kComplete,  // the frame is whole: Frame() and Length()
    kRepeat,    // a piece already taken (also of the frame last completed)
    kRejected,  // not a piece: malformed, out of range, or at odds with its frame
  };

  // Takes the arguments of one piece command: "<id> <index> <count> <hex>".
  // After kComplete the frame is in Frame() until the next call.
  Outcome Take(const char* arguments);
  const uint8_t* Frame() const { return bytes_; }
  int Length() const { return length_; }
  // Frames given up with pieces missing.
  int Abandoned() const { return abandoned_; }
  // Forgets a frame in the making (the connection ended).
  void Reset();

 private:
  bool active_ = false;
  uint32_t id_ = 0;
  int count_ = 0;
  uint32_t have_ = 0;  // one bit per piece taken
  int last_length_ = 0;
  bool completed_any_ = false;
  uint32_t completed_id_ = 0;
  int length_ = 0;
  int abandoned_ = 0;
  uint8_t bytes_[kMaxFrameBytes] = {};
};

}  // namespace engine_link
