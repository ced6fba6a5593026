// The cb codes above 16, answered at once.
#pragma once

#include <cstdint>

// Answers code (17 and above) by the code table; codes it does not list
// give 0. length bounds data where the code reads text (the key event); now
// is the tick of the call (enabling runs the start-up loads).
intptr_t AnswerCode(int32_t code, int32_t length, const void* data, uint32_t now);
