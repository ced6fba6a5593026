#include <cstdlib>
#include <cstring>

#include "console/config_files.h"
#include "console/console.h"
#include "console/dispatch.h"
#include "core/client_state.h"
#include "core/cycle.h"
#include "core/host_query.h"
#include "master/database.h"
#include "master/transport.h"
#include "platform/platform.h"
#include "screenshot/capture.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace {

const char kDefaultPrefix[] = "[skipnotify]Tallyguard Client";

// Operations installed in the host record.
const char* TG_CALL DigestHexForHost(const void* data, int32_t length, uint32_t seed) {
  return DigestHexText(data, length, seed);
}
int32_t TG_CALL SecondModuleSlot(int32_t, int32_t) { return 0; }
void TG_CALL ThirdModuleSlot() {}

void WarnWithoutScreenInfo(HostInterface* host) {
  if (host->host_screen_info == nullptr) ConsolePrint(0, "Warning: Corrupted Interface");
}

void CheckSecondTable(HostInterface* host) {
  ClientState& state = Client();
  state.second_table = nullptr;
  if (host->second_table == nullptr) return;
  uint32_t magic;
  memcpy(&magic, host->second_table, sizeof magic);
  if (magic != TG_SECOND_TABLE_MAGIC) {
    ConsolePrint(0, "Host command table not recognised (%X)", magic & 0xFFFFu);
    return;
  }
  state.second_table = host->second_table;
}

void SetUpHomeDirectory(HostInterface* host) {
  ClientState& state = Client();
  if (host->home_path[0] != '\0') {
    CopyBounded(state.home_dir, host->home_path, sizeof state.home_dir - 1);
  } else {
    char base[TG_QUERY_BUFFER_SIZE];
    if (QueryHostCvar(host, "fs_homepath", base) != 0) PlatformWorkingDirectory(base, sizeof base);
    CopyBounded(state.home_dir, base, sizeof state.home_dir - 1);
    size_t length = strlen(state.home_dir);
    if (length == 0 || state.home_dir[length - 1] != '\\') AppendText(state.home_dir, sizeof state.home_dir, "\\");
    AppendText(state.home_dir, sizeof state.home_dir, "tg\\");
  }
  char directory[sizeof state.home_dir];
  CopyBounded(directory, state.home_dir, sizeof directory - 1);
  size_t length = strlen(directory);
  if (length > 0 && directory[length - 1] == '\\') directory[length - 1] = '\0';
  PlatformCreateDirectory(directory);
  const char* const kSubdirectories[] = {"scrnshot", "dll", "htm"};
  for (const char* name : kSubdirectories) PlatformCreateDirectory(HomePath(name));
  // Leftovers of an earlier run that ended before it could remove them.
  const char* const kLeftovers[] = {"tgtmp0.dat", "tgtmp1.dat", "tgtmp2.dat", "tgtmp3.dat"};
  for (const char* name : kLeftovers) PlatformDeleteFile(HomePath(name));
}

}  // namespace

void StartupLoads(HostInterface* host) {
  memcpy(host->message_prefix, kDefaultPrefix, sizeof kDefaultPrefix);
  if (!Client().enabled) return;
  LoadServerDatabase(host);
  LoadConfigFile(host, "tgcl.cfg", 0, 0);
  LoadConfigFile(host, "tgsys.cfg", 0, 0);
}

int Initialise(HostInterface* host) {
  ClientState& state = Client();
  if (state.initialised) return 1;
  host->annotate_connect = AnnotateConnect;
  host->module_slot3 = ThirdModuleSlot;
  host->module_slot2 = SecondModuleSlot;
  host->digest_hex = DigestHexForHost;
  if (state.start_dir[0] == '\0') PlatformWorkingDirectory(state.start_dir, sizeof state.start_dir);

  char value[TG_QUERY_BUFFER_SIZE];
  if (host->host_query == nullptr) return 1;
  QueryHostCvar(host, "cl_tallyguard", value);
  if (value[0] != '1') return 1;  // stays disabled; every later call tries again
  state.enabled = 1;

  if (host->magic != TG_HOST_MAGIC) {
    FormatText(state.init_failure, sizeof state.init_failure, "Host Interface Mismatch");
    ConsolePrint(0, "%s (%X)", state.init_failure, host->magic & 0xFFFFu);
    return 0;
  }
  PlatformGetSystemFacts(&state.facts);
  if (state.facts.page_size == 0) {
    FormatText(state.init_failure, sizeof state.init_failure, "System Memory Facts Unavailable");
    return 0;
  }
  const uint32_t now = PlatformTick();
  srand(now);
  DrawClientIdent();
  WarnWithoutScreenInfo(host);
  PrepareGlyphMasks();
  ResolveSystemInterfaces();
  CheckSecondTable(host);
  WarnWithoutScreenInfo(host);
  SetUpHomeDirectory(host);
  StartupLoads(host);
  StartMasterTransport(host);
  state.timers.cache_request = now - 31000u;
  MainWork(host);
  state.agent.data.SetInitialCapacity(1024);
  state.agent.data.EnsureRoom();
  state.framing.outbound.SetInitialCapacity(64);
  state.framing.outbound.EnsureRoom();
  state.master.last_query_time = now - (kMasterQueryPeriodMs - 120000u);
  state.initialised = 1;
  StartAgent(host);
  PrintVersionLine();
  return 1;
}
