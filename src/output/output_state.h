// State of the player's output: the home folder and the path buffer of
// HomePath. Whether lines also go to the log file is a setting; core points
// the output at it when it lays out the state.
#pragma once

#include <cstdint>

#include "output/home_path_size.h"

struct OutputRoute {
  const int32_t* log_to_file = &kOff;  // 1: module lines also go to "tgcl.log"

  static constexpr int32_t kOff = 0;
};

struct OutputState {
  char home_dir[256] = "";  // ends in "\"
  char home_path_buffer[kHomePathBufferSize] = "";
  OutputRoute route;
};

// The output's part of the one state object (core/client_state.cpp).
extern OutputState* const g_output_state;
inline OutputState& Output() { return *g_output_state; }
