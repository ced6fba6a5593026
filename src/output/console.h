// The one route for every message the player sees, the log file, and the
// home directory with its path helper.
#pragma once

#include <cstdint>

#include "output/home_path_size.h"
#include "util/notice_limit.h"

// Level for messages that go to the log file only.
const int kLogOnly = -99;
// The longest message: longer output is cut to this many characters.
const int kMessageMax = 4149;

// Formats the message (cut to 4149 characters), hands it to the host's print
// service unless level is kLogOnly, and appends it to "tgcl.log" when
// tg_LogToFile is 1. Does nothing visible before a host record is known.
void ConsolePrint(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A message strangers on the network can cause at any rate, paced by limit
// (util/notice_limit.h): a few a second, the rest counted.
void ConsolePrintLimited(NoticeLimit& limit, uint32_t now, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Tells how many were left out once their second is over; called every cycle
// so the count is told even when no further message comes.
void ConsoleReportLeftOut(NoticeLimit& limit, uint32_t now);

// Appends "[MM.DD.YYYY hh:mm:ss] text\r\n" to the file at path, opening and
// closing it for this one line. A file that cannot be opened loses the line.
void LogLine(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The home directory (ending in "\"), as initialisation set it up.
void SetHomeDirectory(const char* directory);
const char* HomeDirectory();

// The home directory joined to name, in one shared buffer that the next call
// overwrites. Cut, never overrun, when the two together are too long.
const char* HomePath(const char* name);
// The same path copied into out (size bytes).
void CopyHomePath(const char* name, char* out, int size);

// 1 when a file name from outside the module (the console, a configuration
// file, the game server) may be joined to the home directory; otherwise
// tells the player and gives 0. The rule is IsSafeHomeName's.
int AcceptHomeName(const char* name);
