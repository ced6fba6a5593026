// Console-variable rules sent by the game server: parsed from 'K' payloads,
// checked one per cycle, listed for the player.
//
// Rule line words: 0 number (the rule count on a count line), 1 cvar name,
// 2 kind ("in", "out", "include", "exclude"), 3 low bound or text,
// 4 high bound.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

namespace protocol {

// What one line of a rule list was.
struct RuleLine {
  enum class Kind {
    kAdded,    // a rule, now in the list
    kRefused,  // an invalid rule (a message is printed) or one beyond kMaxCvarRules
               // (the first one of a list says "Cvar Check List Full")
    kCount,    // the list's closing count line
  };
  Kind kind;
  int32_t count;  // with kCount: the count the line gives (0 or more)
};
// Parses one rule line.
[[nodiscard]] RuleLine AddRuleLine(char* line);
// A 'K' payload: rule lines separated by "\n".
void HandleRuleText(HostInterface* host, char* text, uint32_t now);
// Checks the next rule of the list; once per cycle.
void CheckNextRule(HostInterface* host, uint32_t now);
// Prints the rules with their state; limit 0 prints all, otherwise at most
// limit rules that are met (violations are always printed).
void ListRules(HostInterface* host, int limit);
// Empties the list for a new connection.
void ClearRules();

}  // namespace protocol
