#include "screenshot/delivery.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/wire_bytes.h"
#include "output/console.h"
#include "output/text_file.h"
#include "screenshot/capture.h"
#include "screenshot/memory.h"
#include "screenshot/png.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace screenshot {

namespace {

// A slot restarted this often keeps its place in the upload.
const int32_t kMostRestarts = 20;
const int32_t kPieceBytes = 1024;
const int32_t kPieceIntervalMs = 1000;
// The send list a request made with one gets: every piece from the first.
const char kSendAll[] = "**";

// The first free slot, else the oldest one that is not sending (slot 0 when
// every slot is sending).
ScreenshotSlot& TakeSlot(uint32_t delay_seconds, uint32_t now) {
  ScreenshotState& state = Screenshots();
  ScreenshotSlot* chosen = nullptr;
  for (ScreenshotSlot& slot : state.slots)
    if (chosen == nullptr && slot.state == kSlotFree) chosen = &slot;
  if (chosen == nullptr) {
    for (ScreenshotSlot& slot : state.slots)
      if (slot.state != kSlotSending && (chosen == nullptr || slot.sequence < chosen->sequence)) chosen = &slot;
  }
  if (chosen == nullptr) chosen = &state.slots[0];
  ClearScreenshotSlot(*chosen);
  chosen->queued_at = now;
  chosen->sequence = state.sequence++;
  chosen->delay_ms = delay_seconds > 0 ? static_cast<uint32_t>(rand()) % (delay_seconds * 1000u) : 0;
  return *chosen;
}

// The PNG's MD5, digested during the encoding.
void ComputeDigest(ScreenshotSlot& slot) { memcpy(slot.digest, slot.capture->digest, sizeof slot.digest); }

void DigestText(const uint8_t digest[16], char out[33]) {
  for (int i = 0; i < 16; ++i) FormatText(out + 2 * i, 3, "%02X", digest[i]);
}

// Where the sending of the image starts: size, digest, tag and name.
void Announce(HostInterface* host, ScreenshotSlot& slot, uint32_t now) {
  slot.restart_count = 0;
  slot.image = slot.capture != nullptr ? slot.capture->canvas : nullptr;
  slot.image_size = slot.capture != nullptr ? slot.capture->canvas_size : 0;
  FormatText(slot.image_name, sizeof slot.image_name, "tg%06lu.png", static_cast<unsigned long>(slot.request_number));
  if (slot.image != nullptr) ComputeDigest(slot);  // the image lives in the capture
  if (slot.tag == 0) slot.tag = static_cast<char>('A' + Screenshots().tag_counter++ % 26);
  const char* base = strrchr(slot.image_name, '\\');
  base = base != nullptr ? base + 1 : slot.image_name;
  char digest[33];
  DigestText(slot.digest, digest);
  char text[400];
  FormatText(text, sizeof text, "%c%lu %s %c%s", 'G', static_cast<unsigned long>(slot.image_size), digest, slot.tag,
             base);
  SendPayload(host, text, static_cast<int32_t>(strlen(text)) + 1, now);
}

void SendScreenshot(HostInterface* host, ScreenshotSlot& slot, uint32_t now) {
  if (slot.request[0] == '\0') {
    slot.state = kSlotSaving;  // the player's own: saved, not sent
    return;
  }
  if (slot.send_list[0] == '\0') {
    slot.state = kSlotDone;
    return;
  }
  // The pace holds for the announcement too: a run that starts again
  // within the second of the last piece announces once, when it sends.
  if (slot.last_piece_at != 0 && ElapsedMs(now, slot.last_piece_at) < kPieceIntervalMs) return;
  if (slot.next_piece == 0) Announce(host, slot, now);
  bool over = true;
  const int64_t offset = static_cast<int64_t>(slot.next_piece) * kPieceBytes;
  // A piece number from the server may be anything: only pieces inside the
  // image are sent, anything else ends the run.
  if (slot.image_name[0] != '\0' && slot.image != nullptr && offset >= 0 && offset < slot.image_size) {
    const int32_t n =
        static_cast<int32_t>(slot.image_size - offset < kPieceBytes ? slot.image_size - offset : kPieceBytes);
    uint8_t payload[4 + kPieceBytes];
    wire::ByteWriter out(payload, sizeof payload);
    out.U8('H');
    out.U8(static_cast<uint8_t>(slot.next_piece >> 8));
    out.U8(static_cast<uint8_t>(slot.next_piece & 0xFF));
    out.U8(static_cast<uint8_t>(slot.tag));
    out.Bytes(slot.image + offset, n);
    SendPayload(host, payload, out.Length(), now);
    slot.last_piece_at = now;
    ++slot.next_piece;
    const bool more = static_cast<int64_t>(slot.next_piece) * kPieceBytes < slot.image_size;
    if (slot.send_list[0] == '*' && more) {
      over = false;
    } else {
      // The list names pieces one word at a time; the first is done.
      const char* rest = slot.send_list;
      while (*rest != '\0' && *rest != ' ') ++rest;
      while (*rest == ' ') ++rest;
      if (*rest != '\0') {
        slot.next_piece = *rest == '*' ? 0 : ReadDigits(rest);
        memmove(slot.send_list, rest, strlen(rest) + 1);
        over = false;
      }
    }
  }
  if (over) {
    slot.send_list[0] = '\0';
    slot.state = kSlotDone;
  }
}

// Room for a host text (at most a query buffer) with every character
// written as an HTML entity of up to six bytes.
const int kHtmlTextBytes = 6 * TG_QUERY_BUFFER_SIZE;

// Writes bytes to path, all of them or nothing; false when that failed.
bool WriteWholeFile(const char* path, const void* bytes, size_t size) {
  ReplacingFile file(path, WriteFailure::kQuiet);
  file.Write(bytes, static_cast<int>(size));
  return file.Commit();
}

// The names a day's saved screenshots take: "scrnshot\MMDD_000.png" to
// "_999.png".
const uint32_t kSavedNamesPerDay = 1000;

// Picks the first name of the day, from the saved-files counter on and round
// to the counter again, whose picture and page are both free, so that no
// earlier screenshot (of this run or an earlier one) is overwritten; a new
// day finds its low numbers free again. False when the day has none left.
bool PickFreeScreenshotName(const PlatformLocalTime& t, char* file, int file_size, char* page, int page_size) {
  ScreenshotState& state = Screenshots();
  for (uint32_t tried = 0; tried < kSavedNamesPerDay; ++tried) {
    const uint32_t number = (state.saved_files + tried) % kSavedNamesPerDay;
    FormatText(file, file_size, "%s%s%02u%02u_%03u.png", "scrnshot", "\\", static_cast<unsigned>(t.month),
               static_cast<unsigned>(t.day), static_cast<unsigned>(number));
    CopyBounded(page, file, page_size - 1);
    memcpy(page + strlen(page) - 3, "htm", 3);
    char path[kHomePathBufferSize];
    CopyHomePath(file, path, sizeof path);
    if (PlatformFileExists(path)) continue;
    CopyHomePath(page, path, sizeof path);
    if (PlatformFileExists(path)) continue;
    state.saved_files = number + 1;
    return true;
  }
  return false;
}

// Saving the slot's PNG as "scrnshot\MMDD_NNN.png" with its page, and
// logging it in "tgsslog.htm" with a link, in three steps (each file costs
// the file system's work of its own): the picture first, then its page,
// then the log line, so the log never links a picture that is not there.
// who and what (texts of the host's) close the log line, written as text.
enum SaveStep : int32_t { kSavePicture = 0, kSavePage, kSaveLogLine, kSaveDone };

void SavePicture(ScreenshotSlot& slot) {
  const PlatformLocalTime& t = slot.capture_local;
  slot.save_step = kSaveDone;
  if (!PickFreeScreenshotName(t, slot.saved_file, sizeof slot.saved_file, slot.saved_page, sizeof slot.saved_page)) {
    ConsolePrint(0, "Screenshot not saved: the %u names of the day (scrnshot\\%02u%02u_NNN.png) are taken",
                 static_cast<unsigned>(kSavedNamesPerDay), static_cast<unsigned>(t.month),
                 static_cast<unsigned>(t.day));
    return;
  }
  char path[kHomePathBufferSize];
  CopyHomePath(slot.saved_file, path, sizeof path);
  if (!WriteWholeFile(path, slot.image, static_cast<size_t>(slot.image_size))) {
    ConsolePrint(0, "ERROR Creating Screenshot file %s", path);
    return;
  }
  slot.save_step = kSavePage;
}

void SavePage(ScreenshotSlot& slot) {
  char line[128];
  FormatText(line, sizeof line, "<p> <img src=%s>\r\n", slot.saved_file + 9);
  char page_path[kHomePathBufferSize];
  CopyHomePath(slot.saved_page, page_path, sizeof page_path);
  if (!WriteWholeFile(page_path, line, strlen(line))) ConsolePrint(0, "ERROR Creating Screenshot file %s", page_path);
  slot.save_step = kSaveLogLine;
}

void LogSavedPicture(ScreenshotSlot& slot, const char* who, const char* what) {
  const PlatformLocalTime& t = slot.capture_local;
  slot.save_step = kSaveDone;
  char digest[33];
  DigestText(slot.digest, digest);
  char who_html[kHtmlTextBytes], what_html[kHtmlTextBytes];
  EscapeHtml(who, who_html, sizeof who_html);
  EscapeHtml(what, what_html, sizeof what_html);
  FILE* log = PlatformOpenFile(HomePath("tgsslog.htm"), "ab");
  if (log != nullptr) {
    fprintf(log, "<p> <a href=%s target=_blank>%s</a> tg%06d.png [%02u:%02u:%02u] MD5=%s %s %s\r\n", slot.saved_page,
            slot.saved_file, static_cast<int>(slot.request_number), static_cast<unsigned>(t.hour),
            static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second), digest, who_html, what_html);
    const bool written = fflush(log) == 0 && ferror(log) == 0;
    if (fclose(log) != 0 || !written) ConsolePrint(0, "cannot write %s", HomePath("tgsslog.htm"));
  } else {
    ConsolePrint(0, "cannot write %s", HomePath("tgsslog.htm"));
  }
  char path[kHomePathBufferSize];
  CopyHomePath(slot.saved_file, path, sizeof path);
  ConsolePrint(0, "Screenshot saved to %s", path);
}

// The next step of saving; false until the last is done.
bool SaveStepDone(ScreenshotSlot& slot, const char* who, const char* what) {
  switch (slot.save_step) {
    case kSavePicture:
      SavePicture(slot);
      break;
    case kSavePage:
      SavePage(slot);
      break;
    case kSaveLogLine:
      LogSavedPicture(slot, who, what);
      break;
    default:
      break;
  }
  return slot.save_step == kSaveDone;
}

// All the steps at once (a server's screenshot kept with tg_SsSave).
void SaveAndLog(ScreenshotSlot& slot, const char* who, const char* what) {
  slot.save_step = kSavePicture;
  while (!SaveStepDone(slot, who, what)) {
  }
}

// The player's screenshot, a step a cycle.
void SaveScreenshot(ScreenshotSlot& slot) {
  if (slot.request[0] != '\0' || slot.capture == nullptr) {
    slot.state = kSlotDone;
    return;
  }
  slot.image = slot.capture->canvas;
  slot.image_size = slot.capture->canvas_size;
  ComputeDigest(slot);
  if (SaveStepDone(slot, "Local", "Screenshot")) slot.state = kSlotDone;
}

// A server screenshot whose PNG is ready: with tg_SsSave it is saved and
// linked like the player's own; otherwise, with tg_SsLog, it is logged as
// not saved. The line ends with the game server's address and the player's
// name, so the player can tell which server took which picture.
void RecordServerScreenshot(HostInterface* host, ScreenshotSlot& slot) {
  const Settings& settings = CurrentSettings();
  if (settings.ss_save != 1 && settings.ss_log != 1) return;
  slot.image = slot.capture->canvas;
  slot.image_size = slot.capture->canvas_size;
  ComputeDigest(slot);
  char server[TG_QUERY_BUFFER_SIZE] = "", name[TG_QUERY_BUFFER_SIZE];
  QueryHost(host, TG_QUERY_SERVER_ADDRESS, server);
  CopyBounded(name, "name", sizeof name - 1);
  QueryHost(host, TG_QUERY_NAMED_TEXT, name);
  if (settings.ss_save == 1) {
    SaveAndLog(slot, server, name);
    return;
  }
  const PlatformLocalTime& t = slot.capture_local;
  char digest[33];
  DigestText(slot.digest, digest);
  char server_html[kHtmlTextBytes], name_html[kHtmlTextBytes];
  EscapeHtml(server, server_html, sizeof server_html);
  EscapeHtml(name, name_html, sizeof name_html);
  FILE* log = PlatformOpenFile(HomePath("tgsslog.htm"), "ab");
  if (log == nullptr) return;
  fprintf(log, "<p> %02u%02u (Not Saved) tg%06d.png [%02u:%02u:%02u] MD5=%s %s %s\r\n", static_cast<unsigned>(t.month),
          static_cast<unsigned>(t.day), static_cast<int>(slot.request_number), static_cast<unsigned>(t.hour),
          static_cast<unsigned>(t.minute), static_cast<unsigned>(t.second), digest, server_html, name_html);
  fclose(log);
}

}  // namespace

void FreeScreenshotSlots() {
  for (ScreenshotSlot& slot : Screenshots().slots) ClearScreenshotSlot(slot);
  DropSpareScreenshotMemory();
}

int FirstScreenshotSlotFree() { return Screenshots().slots[0].state == kSlotFree; }

uint32_t ScreenshotSequence() { return Screenshots().sequence; }
void SetScreenshotSequence(uint32_t sequence) { Screenshots().sequence = sequence; }

void HandleScreenshotPacket(HostInterface* host, uint8_t kind, uint8_t* argument, int32_t length, uint32_t now) {
  char text[1200];
  const int32_t n = length < static_cast<int32_t>(sizeof text) - 1 ? length : static_cast<int32_t>(sizeof text) - 1;
  memcpy(text, argument, n > 0 ? static_cast<size_t>(n) : 0);
  text[n > 0 ? n : 0] = '\0';
  ArgList words(text, 1, 0);
  if (kind == 'I') {
    ServerShotParameters& server = Screenshots().server;
    server.check = static_cast<uint32_t>(ReadDigits(words.Word(1)));
    server.check_given = 1;
    server.width = ReadDigits(words.Word(3));
    server.height = ReadDigits(words.Word(4));
    server.x = ReadDigits(words.Word(5));
    server.y = ReadDigits(words.Word(6));
    server.srate = ReadDigits(words.Word(7));
    if (((server.check ^ static_cast<uint32_t>(host->key_c)) / 10) % 2 == 0)
      QueueServerScreenshot(host, static_cast<uint32_t>(ReadDigits(words.Word(2))), 1, now);
    return;
  }
  const uint32_t sequence = static_cast<uint32_t>(ReadDigits(words.Word(0)));
  for (ScreenshotSlot& slot : Screenshots().slots)
    if (slot.state != kSlotFree && slot.sequence == sequence)
      CopyBounded(slot.send_list, words.Word(1), sizeof slot.send_list - 1);
}

void HandleScreenshotRestart(const uint8_t* argument, int32_t length) {
  if (length < 3 || argument[0] != 'P' || argument[1] != 'N' || argument[2] != 'G') {
    const unsigned b0 = length > 0 ? argument[0] : 0, b1 = length > 1 ? argument[1] : 0;
    const unsigned b2 = length > 2 ? argument[2] : 0;
    ConsolePrint(0, "Invalid Restart Packet: %x %x %x", b0, b1, b2);
    return;
  }
  if (length < 4) return;  // no tag letter
  const char tag = static_cast<char>(argument[3]);
  for (ScreenshotSlot& slot : Screenshots().slots) {
    if (slot.tag != tag || slot.state == kSlotFree) continue;
    ++slot.restart_count;
    if (slot.restart_count < kMostRestarts)
      slot.next_piece =
          (length > 4 && argument[4] == '-') ? 0 : ReadDigits(reinterpret_cast<const char*>(argument) + 4);
  }
}

void QueueServerScreenshot(HostInterface* host, uint32_t request_number, int with_send_list, uint32_t now) {
  ScreenshotState& state = Screenshots();
  if (state.sequence == 0) return;
  const ServerShotParameters& server = state.server;
  const uint32_t check = server.check_given ? server.check : static_cast<uint32_t>(host->key_c);
  ScreenshotSlot& slot = TakeSlot(0, now);
  slot.request_number = request_number;
  FormatText(slot.request, sizeof slot.request, "%lu %lu %d %d %d %d %d", static_cast<unsigned long>(check),
             static_cast<unsigned long>(request_number), static_cast<int>(server.width),
             static_cast<int>(server.height), static_cast<int>(server.x), static_cast<int>(server.y),
             static_cast<int>(server.srate));
  slot.state = kSlotCapture;
  if (with_send_list) CopyBounded(slot.send_list, kSendAll, sizeof slot.send_list - 1);
}

void QueueLocalScreenshot(const char* delay_text, uint32_t now) {
  if (delay_text == nullptr || delay_text[0] == '\0' || delay_text[0] == ' ') return;
  const uint32_t delay = static_cast<uint32_t>(ReadDigits(delay_text));
  const char* rest = delay_text;
  while (*rest != '\0' && *rest != ' ') ++rest;
  while (*rest == ' ') ++rest;
  ScreenshotSlot& slot = TakeSlot(delay, now);
  CopyBounded(slot.request, rest, sizeof slot.request - 1);
  slot.state = kSlotCapture;
}

void ServeScreenshots(HostInterface* host, uint32_t now) {
  UpdateForegroundStatistics(now);
  bool sent = false;
  for (ScreenshotSlot& slot : Screenshots().slots) {
    if (slot.state <= kSlotFree || ElapsedMs(now, slot.queued_at) < static_cast<int32_t>(slot.delay_ms)) continue;
    switch (slot.state) {
      case kSlotCapture:
        CaptureScreenshot(host, slot, now);
        break;
      case kSlotEncoding:
        EncodeScreenshot(host, slot, now);
        if (slot.state == kSlotSending && slot.request[0] != '\0') RecordServerScreenshot(host, slot);
        break;
      case kSlotSending:
        if (!sent) SendScreenshot(host, slot, now);
        sent = true;
        break;
      case kSlotSaving:
        SaveScreenshot(slot);
        break;
      default:
        if (slot.send_list[0] != '\0') {
          slot.state = kSlotSending;
          slot.next_piece = slot.send_list[0] == '*' ? 0 : ReadDigits(slot.send_list);
        }
        break;
    }
  }
}

void ReadyScreenshotMemory() {
  ScreenshotState& state = Screenshots();
  if (state.readying == 0) return;
  state.readying = 0;
  for (ScreenshotSlot& slot : state.slots) {
    if (slot.capture == nullptr) continue;
    const bool ready = slot.state == kSlotCapture    ? CaptureMemoryReady(*slot.capture)
                       : slot.state == kSlotEncoding ? EncodeMemoryReady(*slot.capture)
                                                     : true;
    if (!ready) return;  // a share a call; readying is set again
  }
}

}  // namespace screenshot

// The state object is torn down with the module: every capture goes with it.
ScreenshotState::~ScreenshotState() {
  for (ScreenshotSlot& slot : slots) screenshot::ClearScreenshotSlot(slot);
  screenshot::DropSpareScreenshotMemory();
}
