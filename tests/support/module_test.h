// The fixture of the module's unit tests.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_host.h"
#include "support/wire_peer.h"

// Fresh module state, a fake host with its own home directory and the test
// clock for every test.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Enables the module (cl_tallyguard "1") and runs the first cycle.
  void StartModule();
  // Sends a console line as cb code 14.
  intptr_t Line(const std::string& text);
  // Advances the clock and calls ca with budget 0.
  intptr_t Cycle(uint32_t advance_ms = 100);
  // A file inside the home directory as a path the test can open, and as
  // the module names it in its messages.
  std::string HomeFile(const std::string& name) const;
  std::string ModulePath(const std::string& name) const;
  std::string ReadHome(const std::string& name) const;
  void WriteHome(const std::string& name, const std::string& bytes) const;
  // Runs a console line (cb code 14 and the cycle it forces) and gives what
  // the module printed meanwhile.
  std::vector<std::string> Run(const std::string& line);

  FakeHost host;
  std::string home_base;
};

// A started module connected to a game server that has not spoken yet.
class ConnectedTest : public ModuleTest {
 protected:
  void SetUp() override;

  // Hands a frame to cb (code 13) and handles it at once. Gives true when
  // the module consumed it, false when it stayed queued (refused).
  bool Deliver(const Bytes& frame, int32_t retries = 0);
  // A payload in a plain frame with the module's own ident.
  bool DeliverPlain(const Bytes& payload);
  bool DeliverPlain(const std::string& text) { return DeliverPlain(ToBytes(text)); }
  // Sends the hello: kind, versions, key parameters and GUID.
  bool Hello(int server_version, int client_version, int agent_version, int a, int b, int c, int d,
             const std::string& guid);
  // Lets queued replies fall due and sends them.
  void Flush(uint32_t advance_ms = 50);
  // The frames the module sent, decoded with the current channel key (or
  // plain), and forgotten.
  std::vector<PeerFrame> TakeFrames();
  std::string key;  // the key the server side holds
};
