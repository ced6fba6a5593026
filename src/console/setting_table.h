// Every setting word as one row of data: its name and help text, kind and
// range, where its value is stored, whether it is public, which file saves
// it and what happens when it is set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/player_settings.h"
#include "tallyguard/host_interface.h"

namespace console {

enum class SettingKind { kText, kFlag, kNumber };

// The file that tg_WriteCfg saves the setting in.
enum class SettingFile { kNone, kConfig, kLogging };

// What setting the word does besides storing and showing the value.
enum class SettingAction {
  kNone,
  kReloadNames,   // load the registered names from the (new) file
  kSaveNames,     // save the registered names with the (new) key
  kSystemSwitch,  // TG_SYSTEM: kept while connected, persisted in "tgsys.cfg"
};

// What sets a setting apart, as bits.
enum SettingFlag : uint8_t {
  kPublicSetting = 1,  // completed, listed, and in the order of the public table
  kZeroIsUnset = 2,    // a number whose 0 means "not set": 0 is kept, not clamped
  kFileName = 4,       // a file name in the home folder: it must stay inside it
};

// Storage of the message prefix: the host record's field, not Settings.
const size_t kInHostRecord = static_cast<size_t>(-1);

struct SettingEntry {
  const char* name;  // written with these letters; matched regardless of case
  const char* help;  // public settings: shown by completion, saved after "//"
  SettingKind kind;
  int32_t low;    // numbers and flags: the range;
  int32_t high;   // texts: high is the most characters kept
  size_t offset;  // the value's place inside Settings, or kInHostRecord
  uint8_t flags;  // SettingFlag bits
  SettingFile saved_in;
  SettingAction on_change;
};

// The setting words in the order lines are matched against them.
const SettingEntry* SettingTable(int* count);

// The address of the entry's value: an int32_t for numbers and flags, a
// buffer of high + 1 bytes for texts.
void* SettingStorage(const SettingEntry& entry, Settings& settings, HostInterface* host);

}  // namespace console
