// Lines typed on standard input, taken without stopping the tool's loop:
// whatever has arrived is gathered, and whole lines are handed out.
#pragma once

#include <deque>
#include <string>

#include "platform/platform.h"

class StdinLines {
 public:
  // Takes what has arrived; gives the next whole line, if any.
  bool Next(std::string* line) {
    Gather();
    if (lines_.empty()) return false;
    *line = lines_.front();
    lines_.pop_front();
    return true;
  }
  // True once standard input has ended (lines may still wait in Next).
  bool Done() {
    Gather();
    return done_ && lines_.empty();
  }

 private:
  void Gather() {
    char buffer[1024];
    int n;
    while (!done_ && (n = PlatformReadInput(buffer, sizeof buffer)) != 0) {
      if (n < 0) {
        done_ = true;
        if (!partial_.empty()) lines_.push_back(partial_);
        partial_.clear();
        break;
      }
      for (int i = 0; i < n; ++i) {
        if (buffer[i] != '\n') {
          partial_.push_back(buffer[i]);
          continue;
        }
        if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
        lines_.push_back(partial_);
        partial_.clear();
      }
    }
  }

  std::string partial_;
  std::deque<std::string> lines_;
  bool done_ = false;
};
