#include "output/console.h"

#include <cstdarg>
#include <cstdio>

#include "output/output_state.h"
#include "platform/platform.h"
#include "services/host_services.h"
#include "util/path_check.h"
#include "util/text.h"

void ConsolePrint(int level, const char* format, ...) {
  char text[kMessageMax + 1];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);

  HostInterface* host = RememberedHost();
  if (level != kLogOnly && host != nullptr && host->host_print != nullptr) host->host_print(text, 1);
  if (*Output().route.log_to_file == 1) LogLine(HomePath("tgcl.log"), "%s", text);
}

void ConsoleReportLeftOut(NoticeLimit& limit, uint32_t now) {
  const int left_out = NoticesLeftOut(limit, now);
  if (left_out > 0) ConsolePrint(0, "(%d more message%s like the last left out)", left_out, PluralS(left_out));
}

void ConsolePrintLimited(NoticeLimit& limit, uint32_t now, const char* format, ...) {
  ConsoleReportLeftOut(limit, now);
  if (!NoticeAllowed(limit, now)) return;
  char text[kMessageMax + 1];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);
  ConsolePrint(0, "%s", text);
}

void LogLine(const char* path, const char* format, ...) {
  FILE* file = PlatformOpenFile(path, "abc");
  if (file == nullptr) return;
  char text[kMessageMax + 1];
  va_list args;
  va_start(args, format);
  FormatTextV(text, sizeof text, format, args);
  va_end(args);
  PlatformLocalTime now;
  PlatformGetLocalTime(&now);
  fprintf(file, "[%02u.%02u.%04u %02u:%02u:%02u] %s\r\n", static_cast<unsigned>(now.month),
          static_cast<unsigned>(now.day), static_cast<unsigned>(now.year), static_cast<unsigned>(now.hour),
          static_cast<unsigned>(now.minute), static_cast<unsigned>(now.second), text);
  fflush(file);
  fclose(file);
}

void SetHomeDirectory(const char* directory) {
  char* home = Output().home_dir;
  CopyBounded(home, directory, sizeof Output().home_dir - 1);
}

const char* HomeDirectory() { return Output().home_dir; }

const char* HomePath(const char* name) {
  char* buffer = Output().home_path_buffer;
  FormatText(buffer, kHomePathBufferSize, "%s%s", Output().home_dir, name != nullptr ? name : "");
  return buffer;
}

void CopyHomePath(const char* name, char* out, int size) { CopyBounded(out, HomePath(name), size - 1); }

int AcceptHomeName(const char* name) {
  if (IsSafeHomeName(name)) return 1;
  ConsolePrint(0, "File Name Refused - it must stay inside the TG folder: %s", name != nullptr ? name : "");
  return 0;
}
