// Configuration files in the home directory: "tgcl.cfg" (the player's
// settings), "tgcllog.cfg" (remote-logging settings) and "tgsys.cfg"
// (TG_SYSTEM). Lines end in CR LF.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace console {

// Runs one line of a configuration file (the dispatcher's entry).
typedef void (*ConfigLineRunner)(HostInterface* host, int32_t length, char* line, int depth, int report_unknown,
                                 uint32_t now);

// Runs each line of the file through run at depth + 1, reporting unknown
// words. Refuses at depth 5 or more ("Error: Too Many Nested Loads"); no
// name loads "tgcl.cfg"; a missing file is reported only with
// report_missing. Lines starting with ";", "/" or "\" are skipped; a line
// longer than 2047 characters arrives in pieces, each taken as a line.
void LoadConfigFile(HostInterface* host, const char* name, int depth, int report_missing, uint32_t now,
                    ConfigLineRunner run);

// tg_WriteCfg: without a name writes "tgcllog.cfg" and "tgcl.cfg" (which
// then ends with the line that loads "tgcllog.cfg"), otherwise only the
// named file. ss_options_help is the help text of the tg_SsOptions command,
// written after its line.
void WriteConfig(HostInterface* host, char* argument, const char* ss_options_help);

// Writes "tgsys.cfg" with the TG_SYSTEM value.
void WriteSystemFile(int32_t system);

}  // namespace console
