// The system's side of the start-up name lookup (platform/name_lookup.cpp
// holds the rules common to both systems). One lookup at a time.
#pragma once

// Starts looking name up; false when the system cannot.
bool SystemLookupStart(const char* name);
// PlatformLookupResult; the address as dotted text (16 bytes) when answered.
int SystemLookupPoll(char* address);
// Gives up the running lookup, if any.
void SystemLookupCancel();
