// Lines typed on stdin, read by a thread of their own so that a tool's loop
// keeps running while nobody types.
#pragma once

#include <atomic>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

class StdinLines {
 public:
  void Start() {
    std::thread([this] {
      std::string line;
      while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.push_back(line);
      }
      done_ = true;
    }).detach();
  }
  bool Next(std::string* line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (lines_.empty()) return false;
    *line = lines_.front();
    lines_.pop_front();
    return true;
  }
  // True once stdin has ended (every line may not have been taken yet).
  bool Done() const { return done_; }

 private:
  std::mutex mutex_;
  std::deque<std::string> lines_;
  std::atomic<bool> done_{false};
};
