#include "master/modules.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/framing.h"
#include "channel/master_wire.h"
#include "channel/wire_constants.h"
#include "master/master_state.h"
#include "master/name_cache.h"
#include "master/transport.h"
#include "master/update.h"
#include "output/console.h"
#include "output/text_file.h"
#include "platform/platform.h"
#include "settings/player_settings.h"
#include "util/arg_list.h"
#include "util/elapsed.h"
#include "util/memory.h"
#include "util/seeded_md5.h"
#include "util/text.h"

namespace master {

namespace {

const int32_t kProbeVersionCode = 77;
const int32_t kPeriodicCode = 1;
const int32_t kUnloadRequestCode = 78;
const int32_t kClientVersionCode = 17;
const int32_t kDistressSpacingMs = 30000;
const int32_t kReportSpacingMs = 3000;
const int kDistressReportsFrom = 5;
const int kDistressTextChars = 1000;
const char kAgentFile[] = "tgag.dll";
const char kNewClientFile[] = "tgclnew.dll";

AgentState& Agent() { return Master().agent; }

bool Verified() { return CurrentSettings().security != 0 && CurrentSettings().lan != 1; }

// "dll\\wa001300.dll", "htm\\wc001300.htm" and so on, lower case.
void ModulePath(char* out, int size, bool package, char kind, int32_t n) {
  if (package) {
    FormatText(out, size, "htm\\%c%c%06u.htm", kPlatformLetter, kind, static_cast<unsigned>(n));
  } else {
    FormatText(out, size, "dll\\%c%c%06u%s", kPlatformLetter, kind, static_cast<unsigned>(n), ".dll");
  }
  for (char* p = out; *p != '\0'; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
}

// A home file name as the file system resolves it, for comparing: lower
// case, "\\" between parts, "." parts dropped and the dots and blanks that
// Windows ignores at the end of a part taken off. False when it does not fit.
bool CanonicalName(const char* name, char* out, size_t size) {
  size_t n = 0;
  for (const char* part = name; *part != '\0';) {
    size_t length = 0;
    while (part[length] != '\0' && part[length] != '\\' && part[length] != '/') ++length;
    size_t kept = length;
    while (kept > 0 && (part[kept - 1] == '.' || part[kept - 1] == ' ')) --kept;
    if (kept > 0) {
      if (n + kept + 2 > size) return false;
      if (n > 0) out[n++] = '\\';
      for (size_t i = 0; i < kept; ++i) {
        const char c = part[i];
        out[n++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      }
    }
    part += length;
    if (*part != '\0') ++part;
  }
  out[n] = '\0';
  return true;
}

// The module kind ('A' agent, 'C' client) of a home file the module hands to
// the library loader, with the version its name gives (0: any version);
// 0 for a name the module never loads.
char LoadedModuleKind(const char* name, int32_t* version) {
  char canonical[512];
  *version = 0;
  if (!CanonicalName(name, canonical, sizeof canonical)) return 0;
  if (strcmp(canonical, kAgentFile) == 0) return 'A';
  if (strcmp(canonical, kNewClientFile) == 0) return 'C';
  // "dll\\wa001300.dll": the unpacked file of a version.
  const char* file = canonical + 4;
  if (strncmp(canonical, "dll\\", 4) != 0 || strlen(file) != 12 || file[0] != kPlatformLetter ||
      (file[1] != 'a' && file[1] != 'c') || strcmp(file + 8, ".dll") != 0)
    return 0;
  int32_t n = 0;
  for (int i = 2; i < 8; ++i) {
    if (file[i] < '0' || file[i] > '9') return 0;
    n = n * 10 + (file[i] - '0');
  }
  *version = n;
  return file[1] == 'a' ? 'A' : 'C';
}

// The first entry, master after master, of the master table's list of a
// module kind ('A' agent, 'C' client) on this platform that matches; none
// when no master lists one.
template <typename Match>
const FileEntry* FindListedModule(char kind, Match matches) {
  const MasterTable& table = Master().table;
  const int list = (kind == 'A' ? 0 : 1) * 4 + (kPlatformLetter == 'w' ? 0 : 1);
  for (int r = 0; r < table.count; ++r) {
    const FileEntryList& entries = table.records[r].lists[list];
    for (int i = 0; i < entries.count; ++i)
      if (matches(entries.entries[i])) return &entries.entries[i];
  }
  return nullptr;
}

// The size and the two digests the master table lists for version n of a
// module kind on this platform; false when no master lists it.
bool ListedModule(char kind, int32_t n, uint32_t* size, uint8_t digests[2][16]) {
  const FileEntry* entry = FindListedModule(kind, [n](const FileEntry& e) { return e.id == n; });
  if (entry == nullptr) return false;
  SeededMd5 first, second;
  first.SetFromHex(entry->first_hash);
  second.SetFromHex(entry->second_hash);
  memcpy(digests[0], first.DigestBytes(), 16);
  memcpy(digests[1], second.DigestBytes(), 16);
  *size = entry->value;
  return true;
}

// True when a master lists these bytes as a module of the kind for this
// platform: version n, or any version when n is 0.
bool ListedBytes(char kind, int32_t n, const uint8_t* bytes, long length) {
  if (length < 2 || length > static_cast<long>(kMaxModuleSize)) return false;
  SeededMd5 whole, rest;
  whole.Digest(bytes, static_cast<int32_t>(length), 0);
  rest.Digest(bytes + 1, static_cast<int32_t>(length) - 1, 0);
  const char* whole_hex = whole.Hex();
  const char* rest_hex = rest.Hex();
  return FindListedModule(kind, [&](const FileEntry& e) {
           return (n == 0 || e.id == n) && e.value == static_cast<uint32_t>(length) &&
                  SameLetters(e.first_hash, whole_hex) && SameLetters(e.second_hash, rest_hex);
         }) != nullptr;
}

// With tg_Security, a home file reaches the library loader only when the
// master table lists its bytes for the kind (and version) its name gives.
// Checked at every load, so a file put there in any other way is refused.
bool MayLoad(const char* name) {
  if (!Verified()) return true;
  int32_t version = 0;
  const char kind = LoadedModuleKind(name, &version);
  if (kind == 0) return false;
  char path[512];
  CopyHomePath(name, path, sizeof path);
  uint8_t* bytes = nullptr;
  long length = 0;
  if (ReadWholeFile(path, static_cast<long>(kMaxModuleSize), &bytes, &length) != FileRead::kRead) return false;
  const bool listed = ListedBytes(kind, version, bytes, length);
  MemoryFree(bytes);
  return listed;
}

void* LoadCheckedLibrary(const char* name) { return MayLoad(name) ? PlatformLoadLibrary(HomePath(name)) : nullptr; }

void* LoadAgent(HostInterface* host) {
  if (host->agent_handle == nullptr) host->agent_handle = LoadCheckedLibrary(kAgentFile);
  return host->agent_handle;
}

void UnloadAgent(HostInterface* host) {
  if (host->agent_handle != nullptr) PlatformFreeLibrary(host->agent_handle);
  host->agent_handle = nullptr;
}

TgAgentEntry AgentEntry(void* library) {
  void* entry = library != nullptr ? PlatformFindEntry(library, "a") : nullptr;
  TgAgentEntry call = nullptr;
  memcpy(&call, &entry, sizeof call);
  return call;
}

int32_t AskVersion(HostInterface* host, void* library) {
  const TgAgentEntry entry = AgentEntry(library);
  return entry != nullptr ? static_cast<int32_t>(entry(host, kProbeVersionCode, 0, nullptr)) : 0;
}

// The version the agent module at name (in the home folder) says it is.
int32_t ProbeAgentVersion(HostInterface* host, const char* name) {
  void* library = LoadCheckedLibrary(name);
  if (library == nullptr) return 0;
  const int32_t version = AskVersion(host, library);
  PlatformFreeLibrary(library);
  return version;
}

// The version a client module at name says it is (its "cb" with code 17).
int32_t ProbeClientVersion(HostInterface* host, const char* name) {
  void* library = LoadCheckedLibrary(name);
  if (library == nullptr) return 0;
  void* entry = PlatformFindEntry(library, "cb");
  TgCbFunction cb = nullptr;
  memcpy(&cb, &entry, sizeof cb);
  const int32_t version = cb != nullptr ? static_cast<int32_t>(cb(host, kClientVersionCode, 0, nullptr, 0)) : 0;
  PlatformFreeLibrary(library);
  return version;
}

// Copies the whole source to target (home folder names); true only when
// every byte was written. The target is replaced only by a whole copy.
bool CopyHomeFile(const char* source, const char* target) {
  char from[512];
  CopyHomePath(source, from, sizeof from);
  FILE* in = PlatformOpenFile(from, "rb");
  if (in == nullptr) return false;
  ReplacingFile out(HomePath(target), WriteFailure::kQuiet);
  size_t copied = 0;
  char block[8192];
  for (size_t n; out.IsOpen() && (n = fread(block, 1, sizeof block, in)) > 0; copied += n)
    out.Write(block, static_cast<int>(n));
  fclose(in);
  return copied > 0 && out.Commit();  // an empty copy is thrown away
}

// The package file and the unpacked file of version n of a kind.
void VersionPaths(char kind, int32_t n, char* package, char* unpacked, int size) {
  char name[64];
  ModulePath(name, sizeof name, true, static_cast<char>(kind - 'A' + 'a'), n);
  CopyHomePath(name, package, size);
  ModulePath(name, sizeof name, false, static_cast<char>(kind - 'A' + 'a'), n);
  CopyHomePath(name, unpacked, size);
}

FruitlessPackage& FruitlessOf(char kind) { return Agent().fruitless[kind == 'A' ? 0 : 1]; }

// Remembers that the package of version n, as its file stands now and for
// what the master table wants, gave no module of that version.
void RememberFruitless(char kind, int32_t n, uint32_t expected_size, const uint8_t (*expected)[16]) {
  char package[512], unpacked[512];
  VersionPaths(kind, n, package, unpacked, sizeof package);
  FruitlessPackage& known = FruitlessOf(kind);
  known = FruitlessPackage();
  if (!PlatformGetFileStamp(package, &known.stamp)) return;
  known.kind = kind;
  known.version = n;
  known.expected_size = expected_size;
  if (expected != nullptr) memcpy(known.expected_digests, expected, sizeof known.expected_digests);
}

bool KnownFruitless(char kind, int32_t n, uint32_t expected_size, const uint8_t (*expected)[16]) {
  const FruitlessPackage& known = FruitlessOf(kind);
  uint8_t none[2][16] = {};
  if (known.kind != kind || known.version != n || known.expected_size != expected_size ||
      memcmp(known.expected_digests, expected != nullptr ? expected : none, sizeof none) != 0)
    return false;
  char package[512], unpacked[512];
  VersionPaths(kind, n, package, unpacked, sizeof package);
  PlatformFileStamp now = {};
  return PlatformGetFileStamp(package, &now) && now.size == known.stamp.size && now.modified == known.stamp.modified;
}

// What the master table wants of version n: its size and digests, or
// nothing without tg_Security. False when tg_Security wants it listed and
// no master lists it.
bool WantedOf(char kind, int32_t n, uint32_t* size, uint8_t digests[2][16], bool* checked) {
  *size = 0;
  memset(digests, 0, 2 * 16);
  *checked = Verified();
  return !*checked || ListedModule(kind, n, size, digests);
}

// Installs the package of version n into its unpacked file: kRefused when
// tg_Security wants it listed and it is not, kNotReady when installing
// failed (or a package file that gave nothing before is unchanged).
ModuleOutcome InstallVersion(char kind, int32_t n) {
  uint32_t size = 0;
  uint8_t digests[2][16];
  bool checked = false;
  if (!WantedOf(kind, n, &size, digests, &checked)) return ModuleOutcome::kRefused;
  const uint8_t(*expected)[16] = checked ? digests : nullptr;
  if (KnownFruitless(kind, n, size, expected)) return ModuleOutcome::kNotReady;
  char package_path[512], unpacked_path[512];
  VersionPaths(kind, n, package_path, unpacked_path, sizeof package_path);
  const char* error = InstallPackage(package_path, unpacked_path, size, expected);
  if (error == nullptr) return ModuleOutcome::kReady;
  // A package not here yet is the usual wait for the server's download.
  if (PlatformFileExists(package_path)) ConsolePrint(0, "%s (%s)", error, package_path);
  RememberFruitless(kind, n, size, expected);
  return ModuleOutcome::kNotReady;
}

// After a package installed but its module was not version n.
void InstalledButFruitless(char kind, int32_t n) {
  uint32_t size = 0;
  uint8_t digests[2][16];
  bool checked = false;
  if (WantedOf(kind, n, &size, digests, &checked)) RememberFruitless(kind, n, size, checked ? digests : nullptr);
}

void ReportVersion(HostInterface* host, char letter, int32_t wanted, int32_t have, uint32_t now) {
  AgentState& agent = Agent();
  if (agent.last_version_report != 0 && ElapsedMs(now, agent.last_version_report) <= kReportSpacingMs) return;
  char report[64];
  FormatText(report, sizeof report, "%c%c %d %d", letter, kPlatformLetter, static_cast<int>(wanted),
             static_cast<int>(have));
  SendPayload(host, report, static_cast<int32_t>(strlen(report)) + 1, now);
  agent.last_version_report = now;
}

// Distress itself runs once 30000 ms have passed; the reconcile steps that
// lead to it wait for more than that, so a hello exactly 30000 ms after a
// distress neither prints the line nor distresses again.
bool DistressDue(uint32_t now) {
  const AgentState& agent = Agent();
  return agent.last_distress == 0 || ElapsedMs(now, agent.last_distress) >= kDistressSpacingMs;
}

bool ModuleDistressDue(uint32_t now) {
  const AgentState& agent = Agent();
  return agent.last_distress == 0 || ElapsedMs(now, agent.last_distress) > kDistressSpacingMs;
}

// A module version no master lists: a distress, with its line from the
// second distress on.
void DistressOverModule(HostInterface* host, char kind, int32_t version, const char* text, uint32_t now) {
  if (!ModuleDistressDue(now)) return;
  if (Agent().distress_count > 0)
    ConsolePrint(0, "TG Client in Distress - Cannot Authenticate with TG Server (%c%d)", kind,
                 static_cast<int>(version));
  Distress(host, text, now);
}

}  // namespace

bool ModuleFileMayBeStored(const char* name, const uint8_t* bytes, int32_t size) {
  if (!Verified()) return true;
  int32_t version = 0;
  const char kind = LoadedModuleKind(name, &version);
  return kind == 0 || ListedBytes(kind, version, bytes, size);
}

void StartAgent(HostInterface* host) {
  if (Agent().version <= 0) QueryAgentVersion(host);
  const TgAgentEntry entry = AgentEntry(host->agent_handle);
  if (entry != nullptr) Agent().version = static_cast<int32_t>(entry(host, kPeriodicCode, 0, nullptr));
}

void QueryAgentVersion(HostInterface* host) { Agent().version = AskVersion(host, LoadAgent(host)); }

int32_t AgentVersion() { return Agent().version; }

ModuleOutcome LoadAgentVersion(HostInterface* host, int32_t n, bool retry) {
  AgentState& agent = Agent();
  if (n < 1) {
    ConsolePrint(0, "Invalid Agent Version Requested: %d", static_cast<int>(n));
    return ModuleOutcome::kRefused;
  }
  if (n == agent.version) return ModuleOutcome::kReady;
  UnloadAgent(host);
  char unpacked[64];
  ModulePath(unpacked, sizeof unpacked, false, 'a', n);
  if (MayLoad(unpacked) && ProbeAgentVersion(host, unpacked) == n) {
    if (!CopyHomeFile(unpacked, kAgentFile)) {
      ConsolePrint(0, "ERROR Copying %s to tgag%s", unpacked, ".dll");
    } else {
      agent.version = 0;
      QueryAgentVersion(host);
      if (agent.version == n) return ModuleOutcome::kReady;
      UnloadAgent(host);
    }
  }
  if (retry) return ModuleOutcome::kRefused;
  const ModuleOutcome installed = InstallVersion('A', n);
  if (installed != ModuleOutcome::kReady) return installed;
  const ModuleOutcome loaded = LoadAgentVersion(host, n, true);
  if (loaded != ModuleOutcome::kReady) InstalledButFruitless('A', n);
  return loaded;
}

ModuleOutcome PrepareClientVersion(HostInterface* host, int32_t n, bool retry) {
  if (n == wire::kClientVersion) return ModuleOutcome::kReady;
  char unpacked[64];
  ModulePath(unpacked, sizeof unpacked, false, 'c', n);
  if (MayLoad(unpacked) && CopyHomeFile(unpacked, kNewClientFile)) {
    if (ProbeClientVersion(host, kNewClientFile) == n) {
      host->new_client_ready = 1;
      UnloadAgent(host);
      return ModuleOutcome::kReady;
    }
    PlatformDeleteFile(HomePath(kNewClientFile));
  }
  PlatformDeleteFile(HomePath(unpacked));
  if (retry) return ModuleOutcome::kNotReady;
  const ModuleOutcome installed = InstallVersion('C', n);
  if (installed == ModuleOutcome::kRefused) return ModuleOutcome::kRefused;
  if (installed == ModuleOutcome::kReady && PrepareClientVersion(host, n, true) != ModuleOutcome::kReady)
    InstalledButFruitless('C', n);
  return ModuleOutcome::kNotReady;
}

void ReconcileModules(HostInterface* host, uint32_t now) {
  AgentState& agent = Agent();
  const int32_t wanted_agent = ServerAgentVersion();
  const int32_t wanted_client = ServerClientVersion();
  if (wanted_agent >= 1 && wanted_agent != agent.version) {
    UnloadAgent(host);
    PlatformClearReadOnly(HomePath(kAgentFile));
    PlatformDeleteFile(HomePath(kAgentFile));
    agent.version = 0;
    FILE* still = PlatformOpenFile(HomePath(kAgentFile), "rb");
    if (still != nullptr) {
      fclose(still);
      ConsolePrint(0, "ERROR: Cannot remove tgag%s after unloading", ".dll");
    }
    const ModuleOutcome result = LoadAgentVersion(host, wanted_agent, false);
    if (result == ModuleOutcome::kRefused && Verified()) {
      DistressOverModule(host, 'A', wanted_agent, "Error loading tgag", now);
    } else if (result == ModuleOutcome::kNotReady) {
      ReportVersion(host, 'E', wanted_agent, agent.version, now);
      return;
    }
  }
  if (wanted_client < 1) return;
  const ModuleOutcome result = PrepareClientVersion(host, wanted_client, false);
  if (result == ModuleOutcome::kRefused && Verified()) {
    DistressOverModule(host, 'C', wanted_client, "Error loading tgcl", now);
    return;
  }
  if (result == ModuleOutcome::kNotReady && host->new_client_ready == 0)
    ReportVersion(host, 'F', wanted_client, wire::kClientVersion, now);
}

void Distress(HostInterface* host, const char* text, uint32_t now) {
  AgentState& agent = Agent();
  if (!DistressDue(now)) return;
  agent.last_distress = now;
  char report[kDistressTextChars + 2];
  report[0] = 'P';
  CopyBounded(report + 1, text, kDistressTextChars);
  ++agent.distress_count;
  if (agent.distress_count >= kDistressReportsFrom)
    SendPayload(host, report, static_cast<int32_t>(strlen(report)) + 1, now);
  if (CurrentSettings().lan == 1) return;
  char query[128];
  master_wire::FormatQuery(1, query, sizeof query, QueryToken(), 67);
  MasterTable& table = Master().table;
  for (int r = 0; r < table.count; ++r) {
    MasterRecord& master = table.records[r];
    if (master.id == 0 || master.id == 1) continue;
    ResolveIntoText(master.host, master.address);
    if (master.address[0] != '\0')
      SendMasterTextThroughHost(host, master.address, static_cast<uint16_t>(master.port), query, now);
  }
}

void HandleAgentDelivery(HostInterface* host, const uint8_t* argument, int32_t length, uint32_t now) {
  if (LoadAgent(host) == nullptr) {
    ConsolePrint(0, "ERROR loading tgag%s %s", ".dll", "(A)");
    Distress(host, "Cannot load tgag", now);
    return;
  }
  char text[1200];
  const int32_t n = argument == nullptr || length < 0 ? 0 : length < 1199 ? length : 1199;
  if (n > 0) memcpy(text, argument, static_cast<size_t>(n));
  text[n] = '\0';
  ArgList words(text, 1, 0);
  const int32_t code = ReadInteger(words.Word(0));
  if (code == kUnloadRequestCode) {
    UnloadAgent(host);
    return;
  }
  const TgAgentEntry entry = AgentEntry(host->agent_handle);
  if (entry == nullptr) {
    ConsolePrint(0, "ERROR loading tgag%s %s", ".dll", "(B)");
    Distress(host, "Corrupt tgag", now);
    return;
  }
  const char* error = reinterpret_cast<const char*>(entry(host, code, 0, words.Word(1)));
  if (error != nullptr) {
    char shown[kDistressTextChars + 1];
    CopyBounded(shown, error, kDistressTextChars);
    ConsolePrint(0, "ERROR: %s", shown);
    Distress(host, shown, now);
  }
}

}  // namespace master
