// The tools' command lines: options of the form "--name value" and flags of
// the form "--name", read one after another.
//   OptionReader options(argc, argv);
//   while (options.Next()) {
//     if (options.Is("--port") && options.Int(&port)) ...
//     else if (options.Is("--stdin")) ...
//     else return Usage();
//   }
#pragma once

#include <cstdlib>
#include <string>

class OptionReader {
 public:
  OptionReader(int argc, char** argv) : argc_(argc), argv_(argv) {}

  // Moves to the next option; false after the last.
  bool Next() {
    if (at_ + 1 >= argc_) return false;
    name_ = argv_[++at_];
    return true;
  }
  bool Is(const char* name) const { return name_ == name; }

  // Takes the word after the option as its value; false when there is none.
  bool Text(std::string* out) {
    if (at_ + 1 >= argc_) return false;
    *out = argv_[++at_];
    return true;
  }
  template <typename Number>
  bool Int(Number* out) {
    std::string text;
    if (!Text(&text)) return false;
    *out = static_cast<Number>(atol(text.c_str()));
    return true;
  }

 private:
  int argc_;
  char** argv_;
  int at_ = 0;
  std::string name_;
};
