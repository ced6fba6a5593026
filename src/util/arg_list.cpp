#include "util/arg_list.h"
#include "util/memory.h"

#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

ArgList::ArgList(char* text, int terminate, int copy) : terminate_(terminate) {
  if (text == nullptr) return;
  char* p = text;
  while (*p != '\0') {
    while (IsBlank(*p)) ++p;
    bool quoted = (*p == '"');
    char* start = quoted ? p + 1 : p;
    char* end = start;
    if (quoted) {
      while (*end != '\0' && *end != '"') ++end;
    } else {
      while (*end != '\0' && !IsBlank(*end)) ++end;
    }
    int length = static_cast<int>(end - start);
    if (length == 0 && !quoted) break;
    char following = *end;  // read before Add may overwrite it
    if (!Add(start, copy, length)) break;
    p = end;
    if (following != '\0')
      ++p;  // the delimiter or closing quote
    else
      break;
  }
}

ArgList::~ArgList() {
  for (int i = 0; i < count_; ++i) {
    if (owned_[i]) {
      MemoryFree(tokens_[i]);
    } else if (terminate_) {
      tokens_[i][lengths_[i]] = saved_[i];
    }
  }
}

const char* ArgList::Token(int i) const {
  if (i < 0 || i >= kMaxTokens || i >= count_) return nullptr;
  return tokens_[i];
}

const char* ArgList::Word(int i) const {
  const char* token = Token(i);
  return token != nullptr ? token : "";
}

int ArgList::Length(int i) const {
  if (i < 0 || i >= kMaxTokens || i >= count_) return 0;
  return lengths_[i];
}

void ArgList::TerminateFirst(int n) {
  for (int i = 0; i <= n && i < count_; ++i)
    if (!owned_[i]) tokens_[i][lengths_[i]] = '\0';
}

int ArgList::Add(const char* pointer, int copy, int length) {
  if (count_ >= kMaxTokens) return 0;
  if (length < 0) length = pointer != nullptr ? static_cast<int>(strlen(pointer)) : 0;
  int i = count_;
  if (copy) {
    char* block = static_cast<char*>(MemoryAllocate(static_cast<size_t>(length) + 1));
    if (block == nullptr) return 0;
    if (length > 0) memcpy(block, pointer, static_cast<size_t>(length));
    block[length] = '\0';
    tokens_[i] = block;
    owned_[i] = true;
    saved_[i] = '\0';
  } else {
    tokens_[i] = const_cast<char*>(pointer);
    owned_[i] = false;
    saved_[i] = pointer != nullptr ? pointer[length] : '\0';
    if (terminate_ && pointer != nullptr) tokens_[i][length] = '\0';
  }
  lengths_[i] = length;
  count_ = i + 1;
  return 1;
}
