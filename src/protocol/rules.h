// Console-variable rules sent by the game server: parsed from 'K' payloads,
// checked one per cycle, listed for the player.
//
// Rule line words: 0 number (the rule count on a count line), 1 cvar name,
// 2 kind ("in", "out", "include", "exclude"), 3 low bound or text,
// 4 high bound.
#pragma once

#include <cstdint>

#include "tallyguard/host_interface.h"

// Parses one rule line. -2 when a rule was added, -1 for an invalid line (a
// message is printed) or a rule line beyond kMaxCvarRules (the first one of
// a list says "Cvar Check List Full"), the count (0 or more) for a count line.
int32_t AddRuleLine(char* line);
// A 'K' payload: rule lines separated by "\n".
void HandleRuleText(HostInterface* host, char* text, uint32_t now);
// Checks the next rule of the list; once per cycle.
void CheckNextRule(HostInterface* host, uint32_t now);
// Prints the rules with their state; limit 0 prints all, otherwise at most
// limit rules that are met (violations are always printed).
void ListRules(HostInterface* host, int limit);
// Empties the list for a new connection.
void ClearRules();
