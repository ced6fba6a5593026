#include "core/client_state.h"

#include <new>

ClientState::ClientState() {
  ChannelRoute& route = channel.route;
  route.frames_received = &protocol.connection.frames_received;
  route.oob_address = protocol.connection.oob_address;
  route.oob_port = &protocol.connection.oob_port;
  route.force_oob = &settings.values.force_oob;
  route.connected = &protocol.connection.connected;
  route.server_client_version = &protocol.connection.server_client_version;
  route.server_agent_version = &protocol.connection.server_agent_version;
  output.route.log_to_file = &settings.values.log_to_file;
}

namespace {

ClientState g_client;

}  // namespace

ClientState& Client() { return g_client; }

CoreState* const g_core_state = &g_client.core;
EventQueue* const g_event_queue = &g_client.events;
RoutingState* const g_routing_state = &g_client.routing;
ServicesState* const g_services_state = &g_client.services;
SettingsState* const g_settings_state = &g_client.settings;
ChannelState* const g_channel_state = &g_client.channel;
OutputState* const g_output_state = &g_client.output;
ConsoleState* const g_console_state = &g_client.console;
ProtocolState* const g_protocol_state = &g_client.protocol;
ScreenshotState* const g_screenshot_state = &g_client.screenshots;
MasterState* const g_master_state = &g_client.master;
IntegrityState* const g_integrity_state = &g_client.integrity;

void ResetClientState() {
  g_client.~ClientState();
  new (&g_client) ClientState();
}
