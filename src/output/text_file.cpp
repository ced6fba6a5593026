#include "output/text_file.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "output/console.h"
#include "platform/platform.h"
#include "util/memory.h"
#include "util/seeded_md5.h"
#include "util/text.h"

TextFile::TextFile(const char* mode, const char* path_format, ...) {
  CopyBounded(mode_, mode, sizeof mode_ - 1);
  va_list args;
  va_start(args, path_format);
  FormatTextV(path_, sizeof path_, path_format, args);
  va_end(args);
  for (char* p = path_; *p != '\0'; ++p)
    if (*p == '/') *p = '\\';
}

bool TextFile::Open() {
  if (handle_ != nullptr) return true;
  handle_ = PlatformOpenFile(path_, mode_);
  lines_read_ = 0;
  return handle_ != nullptr;
}

void TextFile::Close() {
  if (handle_ != nullptr) fclose(handle_);
  handle_ = nullptr;
}

int TextFile::Seek(long offset, int origin) {
  if (!Open()) return -1;
  lines_read_ = 0;
  return fseek(handle_, offset, origin) == 0 ? 1 : 0;
}

long TextFile::Size(int close_after) {
  if (!Open()) return 0;
  if (fseek(handle_, 0, SEEK_END) != 0) return -1;
  long size = ftell(handle_);
  if (close_after) {
    Close();
  } else {
    fseek(handle_, 0, SEEK_SET);
  }
  return size;
}

int TextFile::Write(const void* bytes, int length) {
  if (!Open()) return -1;
  if (length <= 0 || bytes == nullptr) return 0;
  return static_cast<int>(fwrite(bytes, 1, static_cast<size_t>(length), handle_));
}

int TextFile::WriteAndClose(const void* bytes, int length, int close_after) {
  int written = Write(bytes, length);
  if (close_after) Close();
  return written;
}

int TextFile::Print(const char* format, ...) {
  if (!Open()) return 0;
  va_list args;
  va_start(args, format);
  int result = vfprintf(handle_, format, args);
  va_end(args);
  return result;
}

int TextFile::ReadLine(char* buffer, int size, int strip) {
  if (buffer == nullptr || size <= 0) return 0;
  buffer[0] = '\0';
  if (!Open()) return 0;
  if (fgets(buffer, size, handle_) == nullptr) {
    buffer[0] = '\0';
    return 0;
  }
  if (strip) {
    size_t n = strlen(buffer);
    while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n')) buffer[--n] = '\0';
  }
  ++lines_read_;
  return 1;
}

int TextFile::Md5Hex(char* out) {
  if (Seek(0, SEEK_SET) == 0) return 0;
  SeededMd5 digest(0);
  if (handle_ != nullptr) {
    uint8_t chunk[2048];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, handle_)) > 0) digest.Update(chunk, static_cast<int32_t>(n));
  }
  digest.Finish();
  memcpy(out, digest.Hex(), 33);
  return 1;
}

ReplacingFile::ReplacingFile(const char* path, WriteFailure failure) : failure_(failure) {
  CopyBounded(path_, path, sizeof path_ - 1);
  FormatText(temporary_, sizeof temporary_, "%s.tmp", path_);
  PlatformDeleteFile(temporary_);
  handle_ = PlatformCreateNewFile(temporary_);
}

ReplacingFile::~ReplacingFile() { Abandon(); }

void ReplacingFile::Abandon() {
  if (handle_ == nullptr) return;
  fclose(handle_);
  handle_ = nullptr;
  PlatformDeleteFile(temporary_);
}

void ReplacingFile::Write(const void* bytes, int length) {
  if (handle_ == nullptr || length <= 0) return;
  if (fwrite(bytes, 1, static_cast<size_t>(length), handle_) != static_cast<size_t>(length)) failed_ = true;
}

void ReplacingFile::Print(const char* format, ...) {
  if (handle_ == nullptr) return;
  va_list args;
  va_start(args, format);
  if (vfprintf(handle_, format, args) < 0) failed_ = true;
  va_end(args);
}

bool ReplacingFile::Commit() {
  bool done = false;
  if (handle_ != nullptr) {
    const bool flushed = fflush(handle_) == 0 && ferror(handle_) == 0;
    if (failed_ || !flushed) {
      Abandon();
    } else {
      const bool closed = fclose(handle_) == 0;
      handle_ = nullptr;
      done = closed && PlatformReplaceFile(temporary_, path_);
      if (!done) PlatformDeleteFile(temporary_);
    }
  }
  if (!done && failure_ == WriteFailure::kTell) ConsolePrint(0, "cannot write %s", path_);
  return done;
}

FileRead ReadWholeFile(const char* path, long max_size, uint8_t** bytes, long* size) {
  *bytes = nullptr;
  *size = 0;
  FILE* stream = PlatformOpenFile(path, "rb");
  if (stream == nullptr) return PlatformFileExists(path) ? FileRead::kUnreadable : FileRead::kMissing;
  FileRead result = FileRead::kUnreadable;
  long length = -1;
  if (fseek(stream, 0, SEEK_END) == 0 && (length = ftell(stream)) >= 0 && length <= max_size &&
      fseek(stream, 0, SEEK_SET) == 0) {
    *bytes = static_cast<uint8_t*>(MemoryAllocate(static_cast<size_t>(length) + 1));
    if (*bytes != nullptr && fread(*bytes, 1, static_cast<size_t>(length), stream) == static_cast<size_t>(length)) {
      (*bytes)[length] = '\0';
      *size = length;
      result = FileRead::kRead;
    } else {
      MemoryFree(*bytes);
      *bytes = nullptr;
    }
  }
  fclose(stream);
  return result;
}
