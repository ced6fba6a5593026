// Console-variable rules sent by the game server: parsed from 'K' payloads,
// checked one per cycle, listed for the player.
//
// Rule line words: 0 number (the rule count on a count line), 1 cvar name,
// 2 kind ("in", "out", "include", "exclude"), 3 low bound or text,
// 4 high bound.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"
#include "util/grow_array.h"

enum RuleKind : uint8_t { kRuleIn = 1, kRuleOut = 2, kRuleInclude = 21, kRuleExclude = 22 };

struct CvarRule {
  char name[64];
  uint8_t kind;
  char text[64];
  double low;
  double high;  // low <= high
  uint32_t last_report;  // 0: never reported
};

struct RuleState {
  GrowArray rules{static_cast<int>(sizeof(CvarRule)), "CvarRules"};
  // Negative: the list is complete. 0 or more: still receiving, counting the
  // lines received so far.
  int32_t list_state = 0;
  uint32_t last_rule_line = 0;  // 0: none yet
  uint32_t last_progress = 0;
  int32_t next_index = 0;
};

// Parses one rule line. -2 when a rule was added, -1 for an invalid line (a
// message is printed), the count (0 or more) for a count line.
int32_t AddRuleLine(char* line);
// A 'K' payload: rule lines separated by "\n".
void HandleRuleText(HostInterface* host, char* text);
// Checks the next rule of the list; once per cycle.
void CheckNextRule(HostInterface* host, uint32_t now);
// Prints the rules with their state; limit 0 prints all, otherwise at most
// limit rules that are met (violations are always printed).
void ListRules(HostInterface* host, int limit);
// Empties the list for a new connection.
void ClearRules();
