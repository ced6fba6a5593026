#include "console/setting_table.h"

namespace console {

namespace {

// A number or flag: its place in Settings. A text: its size (the buffer less
// its NUL) and its place, so the table cannot disagree with the buffer.
#define TG_AT(field) offsetof(Settings, field)
#define TG_TEXT(field) 0, static_cast<int32_t>(sizeof(Settings::field) - 1), offsetof(Settings, field)

const SettingEntry kSettings[] = {
    {"tg_MsgPrefix", "[TG Message Prefix]", SettingKind::kText, 0,
     static_cast<int32_t>(sizeof(HostInterface::message_prefix) - 1), kInHostRecord, kPublicSetting,
     SettingFile::kConfig, SettingAction::kNone},
    {"tg_Security", "[0=No, 1=Yes (default=1)]", SettingKind::kFlag, 0, 1, TG_AT(security), kPublicSetting,
     SettingFile::kNone, SettingAction::kNone},
    {"tg_Sleep", "[# of Milliseconds (default=250)]", SettingKind::kNumber, 20, 500, TG_AT(sleep_ms), kPublicSetting,
     SettingFile::kConfig, SettingAction::kNone},
    {"tg_LogToFile", "[0=No, 1=Yes (default=0)]", SettingKind::kFlag, 0, 1, TG_AT(log_to_file), kPublicSetting,
     SettingFile::kConfig, SettingAction::kNone},
    {"tg_SsLog", "[0=No, 1=Yes (default=1)]", SettingKind::kFlag, 0, 1, TG_AT(ss_log), kPublicSetting,
     SettingFile::kConfig, SettingAction::kNone},
    {"tg_SsSave", "[0=No, 1=Yes (default=0)]", SettingKind::kFlag, 0, 1, TG_AT(ss_save), kPublicSetting,
     SettingFile::kConfig, SettingAction::kNone},
    {"tg_RegNameFn", "[Filename for Registered Names]", SettingKind::kText, TG_TEXT(reg_name_file),
     kPublicSetting | kFileName, SettingFile::kNone, SettingAction::kReloadNames},
    {"tg_RegNamePw", "[Encryption Key for RegName Files]", SettingKind::kText, TG_TEXT(reg_name_password),
     kPublicSetting, SettingFile::kNone, SettingAction::kSaveNames},
    {"tg_forceoob", "", SettingKind::kNumber, 0, 1, TG_AT(force_oob), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_SYSTEM", "", SettingKind::kNumber, 0, 1, TG_AT(system), 0, SettingFile::kNone, SettingAction::kSystemSwitch},
    {"TG_NETPORT", "", SettingKind::kNumber, 0, 65535, TG_AT(net_port), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_LOGMD5TOOL", "", SettingKind::kNumber, 0, 1, TG_AT(log_md5_tool), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_LAN", "", SettingKind::kNumber, 0, 1, TG_AT(lan), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_SSBPP", "", SettingKind::kNumber, 3, 8, TG_AT(ss_bpp), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_AUTOEXEC", "", SettingKind::kText, TG_TEXT(autoexec), 0, SettingFile::kNone, SettingAction::kNone},
    {"TG_IGNORE", "", SettingKind::kNumber, 0, 1, TG_AT(ignore_faults), 0, SettingFile::kNone, SettingAction::kNone},
    {"tg_LogUser", "[remote_log_username]", SettingKind::kText, TG_TEXT(log_user), kPublicSetting,
     SettingFile::kLogging, SettingAction::kNone},
    {"tg_LogPw", "[remote_log_password]", SettingKind::kText, TG_TEXT(log_password), kPublicSetting,
     SettingFile::kLogging, SettingAction::kNone},
    {"tg_LogAddr", "[remote_log_address]", SettingKind::kText, TG_TEXT(log_address), kPublicSetting,
     SettingFile::kLogging, SettingAction::kNone},
    {"tg_LogPort", "[remote_log_port]", SettingKind::kNumber, 1, 65535, TG_AT(log_port), kPublicSetting | kZeroIsUnset,
     SettingFile::kLogging, SettingAction::kNone},
};

#undef TG_AT
#undef TG_TEXT

}  // namespace

const SettingEntry* SettingTable(int* count) {
  *count = static_cast<int>(sizeof kSettings / sizeof kSettings[0]);
  return kSettings;
}

void* SettingStorage(const SettingEntry& entry, Settings& settings, HostInterface* host) {
  if (entry.offset == kInHostRecord) return host->message_prefix;
  return reinterpret_cast<uint8_t*>(&settings) + entry.offset;
}

}  // namespace console
