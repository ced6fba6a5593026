// State of the routers: the console words' counters.
#pragma once

#include <cstdint>

struct RoutingState {
  uint32_t forward_window_start = 0;  // "tg_ypg_" lines: at most 2 per 2000 ms
  int forward_count = 0;
  uint32_t netstat_time = 0;  // time of the last TG_NETSTAT report
  int netstat_started = 0;
  int cycle_wanted = 0;  // a command asked for the next cycle at once
};

// The routers' part of the one state object (core/client_state.cpp).
extern RoutingState* const g_routing_state;
inline RoutingState& Routing() { return *g_routing_state; }
