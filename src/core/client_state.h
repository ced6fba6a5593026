// The one module-wide state object. Constructed when the library loads,
// torn down when it unloads. It only aggregates: each layer and subsystem
// defines its own state in its own header and reaches it through the
// accessor declared there (defined in client_state.cpp).
#pragma once

#include "channel/channel_state.h"
#include "console/console_state.h"
#include "core/core_state.h"
#include "core/event_queue.h"
#include "integrity/integrity_state.h"
#include "master/master_state.h"
#include "output/output_state.h"
#include "protocol/protocol_state.h"
#include "routing/routing_state.h"
#include "screenshot/screenshot_state.h"
#include "services/services_state.h"
#include "settings/player_settings.h"

struct ClientState {
  // Points the channel and the output at the facts of their routes, which
  // the connection and the settings keep.
  ClientState();

  CoreState core;
  RoutingState routing;
  EventQueue events;
  ServicesState services;
  SettingsState settings;
  ChannelState channel;
  OutputState output;
  ConsoleState console;
  ProtocolState protocol;
  ScreenshotState screenshots;
  MasterState master;
  IntegrityState integrity;
};

ClientState& Client();

// Tears the state down and builds it anew, as an unload and reload would.
// For tests.
void ResetClientState();
