// Command lines waiting to go through a game's connection, let out at a
// pace the connection keeps up with: at most per_release lines each time
// spacing_ms have passed. The engine ends a connection that has more than
// 64 commands unacknowledged in one direction, so the queue holds at most
// capacity lines and takes a frame's pieces all or none.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/frame_pieces.h"

namespace engine_link {

class PacedQueue {
 public:
  PacedQueue(int capacity, int per_release, uint32_t spacing_ms)
      : lines_(static_cast<size_t>(capacity > 0 ? capacity : 1)),
        per_release_(per_release > 0 ? per_release : 1),
        spacing_ms_(spacing_ms) {}

  enum class Push {
    kQueued,   // every piece waits
    kDropped,  // not all would fit: none was queued, and the frame is counted
    kInvalid,  // no frame to piece (empty or too long), or a word or id out of range
  };
  // Queues every piece of the frame under word, or none.
  Push PushFrame(const char* word, uint32_t id, const uint8_t* frame, int length);

  // Hands the lines due at now to send(const char* line), oldest first;
  // gives how many went.
  template <typename Send>
  int Release(uint32_t now, Send send) {
    if (count_ == 0 || (released_once_ && now - last_release_ < spacing_ms_)) return 0;
    int sent = 0;
    for (; sent < per_release_ && count_ > 0; ++sent) {
      send(lines_[head_].text);
      head_ = (head_ + 1) % lines_.size();
      --count_;
    }
    last_release_ = now;
    released_once_ = true;
    return sent;
  }

  int Waiting() const { return count_; }
  int DroppedFrames() const { return dropped_frames_; }
  // Forgets every waiting line (the connection ended).
  void Clear() { head_ = 0, count_ = 0; }

 private:
  struct Line {
    char text[kMaxCommandChars + 1];
  };
  std::vector<Line> lines_;
  size_t head_ = 0;
  int count_ = 0;
  int per_release_;
  uint32_t spacing_ms_;
  uint32_t last_release_ = 0;
  bool released_once_ = false;
  int dropped_frames_ = 0;
};

inline PacedQueue::Push PacedQueue::PushFrame(const char* word, uint32_t id, const uint8_t* frame, int length) {
  const int pieces = PieceCount(length);
  const size_t word_length = word != nullptr ? strlen(word) : 0;
  if (pieces == 0 || frame == nullptr || id > 65535 || word_length == 0 || word_length > kMaxWordChars)
    return Push::kInvalid;
  if (count_ + pieces > static_cast<int>(lines_.size())) {
    ++dropped_frames_;
    return Push::kDropped;
  }
  for (int i = 0; i < pieces; ++i) {
    Line& line = lines_[(head_ + static_cast<size_t>(count_)) % lines_.size()];
    (void)WritePiece(word, id, frame, length, i, line.text, sizeof line.text);  // in range: checked above
    ++count_;
  }
  return Push::kQueued;
}

}  // namespace engine_link
