#include "core/initialise.h"

#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "console/config_files.h"
#include "console/module_switch.h"
#include "core/core_state.h"
#include "core/main_work.h"
#include "integrity/integrity.h"
#include "master/database.h"
#include "master/modules.h"
#include "master/schedule.h"
#include "master/transport.h"
#include "output/console.h"
#include "platform/platform.h"
#include "routing/console_words.h"
#include "screenshot/capture.h"
#include "screenshot/glyphs.h"
#include "services/host_services.h"
#include "settings/player_settings.h"
#include "util/memory.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace {

const char kDefaultPrefix[] = "[skipnotify]Tallyguard Client";
// The home directory's buffer holds this many characters.
const size_t kMostHomeCharacters = 255;

// Operations installed in the host record.
const char* TG_CALL DigestHexForHost(const void* data, int32_t length, uint32_t seed) {
  return DigestHexText(data, length, seed);
}
int32_t TG_CALL SecondModuleSlot(int32_t, int32_t) { return 0; }
void TG_CALL ThirdModuleSlot() {}

void InstallOperations(HostInterface* host) {
  host->annotate_connect = AnnotateConnect;
  host->module_slot3 = ThirdModuleSlot;
  host->module_slot2 = SecondModuleSlot;
  host->digest_hex = DigestHexForHost;
}

void WarnWithoutScreenInfo(HostInterface* host) {
  if (host->host_screen_info == nullptr) ConsolePrint(0, "Warning: Corrupted Interface");
}

void CheckSecondTable(HostInterface* host) {
  KeepSecondTable(nullptr);
  if (host->second_table == nullptr) return;
  uint32_t magic;
  memcpy(&magic, host->second_table, sizeof magic);
  if (magic != TG_SECOND_TABLE_MAGIC) {
    ConsolePrint(0, "Host command table not recognised (%X)", magic & 0xFFFFu);
    return;
  }
  KeepSecondTable(host->second_table);
}

// The home directory: the record's home path when the host preset one,
// otherwise fs_homepath (or the working directory) followed by "tg\". A
// path that does not fit in 255 characters is refused, never cut: a cut
// path would name another folder. false then, and nothing is created.
bool SetUpHomeDirectory(HostInterface* host) {
  char home[2 * TG_QUERY_BUFFER_SIZE];
  if (host->home_path[0] != '\0') {
    if (strnlen(host->home_path, sizeof host->home_path) == sizeof host->home_path) return false;
    CopyBounded(home, host->home_path, sizeof home - 1);
  } else {
    char base[TG_QUERY_BUFFER_SIZE];
    if (QueryHostCvar(host, "fs_homepath", base) != 0) PlatformWorkingDirectory(base, sizeof base);
    CopyBounded(home, base, sizeof home - 1);
    size_t length = strlen(home);
    if (length == 0 || home[length - 1] != '\\') AppendText(home, sizeof home, "\\");
    AppendText(home, sizeof home, "tg\\");
  }
  if (strlen(home) > kMostHomeCharacters) return false;
  SetHomeDirectory(home);
  char directory[sizeof home];
  CopyBounded(directory, HomeDirectory(), sizeof directory - 1);
  size_t length = strlen(directory);
  if (length > 0 && directory[length - 1] == '\\') directory[length - 1] = '\0';
  PlatformCreateDirectory(directory);
  const char* const kSubdirectories[] = {"scrnshot", "dll", "htm"};
  for (const char* name : kSubdirectories) PlatformCreateDirectory(HomePath(name));
  // Leftovers of an earlier run that ended before it could remove them.
  const char* const kLeftovers[] = {"tgtmp0.dat", "tgtmp1.dat", "tgtmp2.dat", "tgtmp3.dat"};
  for (const char* name : kLeftovers) PlatformDeleteFile(HomePath(name));
  return true;
}

void Fail(const char* reason) {
  char* failure = Core().init_failure;
  FormatText(failure, sizeof Core().init_failure, "%s", reason);
}

}  // namespace

void StartupLoads(HostInterface* host, uint32_t now) {
  memcpy(host->message_prefix, kDefaultPrefix, sizeof kDefaultPrefix);
  if (!ModuleEnabled()) return;
  master::LoadServerDatabase(host);
  console::LoadConfigFile(host, "tgcl.cfg", 0, 0, now, DispatchLine);
  console::LoadConfigFile(host, "tgsys.cfg", 0, 0, now, DispatchLine);
}

const char* InitFailure() { return Core().init_failure; }

int Initialise(HostInterface* host, uint32_t now) {
  CoreState& core = Core();
  if (core.initialised) return 1;
  InstallOperations(host);
  if (core.start_dir[0] == '\0') PlatformWorkingDirectory(core.start_dir, sizeof core.start_dir);

  char value[TG_QUERY_BUFFER_SIZE];
  if (host->host_query == nullptr) return 1;
  QueryHostCvar(host, "cl_tallyguard", value);
  if (value[0] != '1') return 1;  // stays disabled; every later call tries again
  console::MarkModuleEnabled();

  if (host->magic != TG_HOST_MAGIC) {
    Fail("Host Interface Mismatch");
    ConsolePrint(0, "%s (%X)", InitFailure(), host->magic & 0xFFFFu);
    return 0;
  }
  PlatformGetSystemFacts(&core.facts);
  if (core.facts.page_size == 0) {
    Fail("System Memory Facts Unavailable");
    return 0;
  }
  srand(now);
  DrawClientIdent();
  WarnWithoutScreenInfo(host);
  screenshot::PrepareGlyphMasks();
  integrity::ResolveSystemInterfaces();
  CheckSecondTable(host);
  WarnWithoutScreenInfo(host);
  if (!SetUpHomeDirectory(host)) {
    Fail("Home Path Too Long");
    if (!core.home_refusal_reported)
      ConsolePrint(0, "Home Path Too Long (at most %d characters with \"tg\\\"): the client does not start",
                   static_cast<int>(kMostHomeCharacters));
    core.home_refusal_reported = 1;
    return 0;
  }
  StartupLoads(host, now);
  master::StartMasterTransport(host, now);
  MainWork(host, now);
  integrity::ReserveAgentData();
  ReserveOutboundQueue();
  master::ScheduleFirstMasterQuery(now);
  core.initialised = 1;
  core.memory_failures_told = MemoryFailureCount();
  master::StartAgent(host);
  console::PrintVersionLine(master::AgentVersion());
  return 1;
}

const char* TG_CALL AnnotateConnect(int32_t, int32_t kind, char* buffer, int32_t* length) {
  if (!ModuleEnabled()) return nullptr;
  if (kind != 2 || buffer == nullptr || length == nullptr || *length < 0) return nullptr;
  char annotation[129];
  FormatText(annotation, sizeof annotation, " *%s", PlayerGuid());
  int32_t added = static_cast<int32_t>(strlen(annotation));
  if (*length > 1099 - added) return "Max Packet Length Reached";
  memcpy(buffer + *length, annotation, static_cast<size_t>(added) + 1);
  *length += added;
  return nullptr;
}
