// A file opened on first use, for line reading, writing, measuring and
// hashing. It never reports anything itself: callers turn its results into
// their own messages.
#pragma once

#include <cstdint>
#include <cstdio>

class TextFile {
 public:
  // Copies the mode (31 characters at most) and formats the path (255 at
  // most), turning "/" into "\". Nothing is opened yet.
  TextFile(const char* mode, const char* path_format, ...) __attribute__((format(printf, 3, 4)));
  ~TextFile() { Close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  void Close();
  // 1 on success, 0 when the seek fails, -1 when the file cannot be opened.
  int Seek(long offset, int origin);
  // The size in bytes; then closes (close_after) or rewinds. -1 when the
  // seek fails, 0 when the file cannot be opened.
  long Size(int close_after);
  // The count written (0 for length <= 0), -1 when the file cannot be opened.
  int Write(const void* bytes, int length);
  int WriteAndClose(const void* bytes, int length, int close_after);
  // As fprintf; 0 when the file cannot be opened.
  int Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Reads one line of at most size - 1 characters; strip removes trailing CR
  // and LF. 1 when a line was read; 0 at the end, when the file cannot be
  // opened or when size <= 0 (the buffer is then empty).
  int ReadLine(char* buffer, int size, int strip);
  // MD5 of the whole file as 32 hex digits into out (33 bytes). 1, or 0 when
  // rewinding an open file fails. A file that cannot be opened gives the
  // digest of no bytes.
  int Md5Hex(char* out);

  const char* Path() const { return path_; }
  int LinesRead() const { return lines_read_; }

 private:
  // Opens the stream on first use. false when it cannot be opened.
  bool Open();

  char path_[256];
  char mode_[32];
  int lines_read_ = 0;
  FILE* handle_ = nullptr;
};

// Writes a file under a temporary name ("<path>.tmp", created new: whatever
// stood under that name is removed first and a link is never followed) and
// puts it in place of the old file only when every byte has been written, so
// that a failed write never leaves a half-written file behind. A failure is
// reported to the player as "cannot write <path>", unless the writer says
// it reports failures in its own words (quiet).
enum class WriteFailure { kTell, kQuiet };
class ReplacingFile {
 public:
  explicit ReplacingFile(const char* path, WriteFailure failure = WriteFailure::kTell);
  ~ReplacingFile();  // a file that was not committed is thrown away
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  void Write(const void* bytes, int length);
  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Closes the file and puts it in place. false when anything failed (the
  // temporary file is removed and the old file is as it was); the player is
  // told.
  bool Commit();

 private:
  void Abandon();

  char path_[512];
  char temporary_[520];
  FILE* handle_ = nullptr;
  bool failed_ = false;
  WriteFailure failure_;
};

// How reading a whole file went.
enum class FileRead { kRead, kMissing, kUnreadable };

// Reads the whole file at path, NUL-terminated, into *bytes (the caller
// frees it; an empty file reads as 0 bytes). A file larger than max_size
// counts as unreadable, so a stranger's file cannot make the module reserve
// unbounded memory.
FileRead ReadWholeFile(const char* path, long max_size, uint8_t** bytes, long* size);
