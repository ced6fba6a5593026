// The tokeniser used by every parser of lines, requests and records.
#pragma once

#include <cstdint>

// Splits a text into at most 100 words. Blanks, tabs, CR and LF separate
// words; a double quote groups everything up to the next double quote (or the
// end) into one word, which may be empty. There is no escape character.
//
// With copy 0 the tokens point into the text. A token's pointer then reaches
// to the end of the text unless terminate is set, in which case the byte after
// each token is replaced by NUL while the list lives and put back when it is
// destroyed. With copy 1 each token is a NUL-terminated copy owned by the list.
class ArgList {
 public:
  static const int kMaxTokens = 100;

  ArgList(char* text, int terminate, int copy);
  ~ArgList();
  ArgList(const ArgList&) = delete;
  ArgList& operator=(const ArgList&) = delete;

  int Count() const { return count_; }
  // Token i, or none when i is out of range.
  const char* Token(int i) const;
  // Token i, or an empty text when there is none.
  const char* Word(int i) const;
  // Length of token i in bytes, 0 when there is none.
  int Length(int i) const;
  // Writes a NUL after each of tokens 0 to n that point into the text. The
  // text stays changed after the list is destroyed unless terminate was set.
  void TerminateFirst(int n);
  // Appends a token; a negative length means the length of the text at
  // pointer. Gives 0 when 100 tokens are held or a copy cannot be made.
  int Add(const char* pointer, int copy, int length);

 private:
  int count_ = 0;
  int terminate_ = 0;
  bool owned_[kMaxTokens] = {};
  int32_t lengths_[kMaxTokens] = {};
  char* tokens_[kMaxTokens] = {};
  char saved_[kMaxTokens] = {};
};
