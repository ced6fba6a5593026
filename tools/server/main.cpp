// tgserver: a reference game server for the client module, on loopback.
//
//   tgserver [--port N (0: any free port)] [--scenario FILE] [--stdin] [--linger-ms N]
//            [--duration-ms N] [--hello "VERSION CLIENT AGENT A B C D GUID"]
//
// It waits for a game client to connect, learns the module's ident, then
// plays the scenario: each line is "<delay ms> <action>", the delay counted
// from the previous action. The same actions can be typed with --stdin:
//
//   hello [VERSION CLIENT AGENT A B C D GUID]   the server hello
//   rules TEXT          cvar rule lines ('K'); "\n" separates lines
//   ask S [ARGUMENT]    request 'B' with subtype letter S
//   say TEXT            console text for the player ('A')
//   relay TEXT          any payload relayed behind the player's GUID (0x03)
//   restart TEXT        screenshot restart ('O')
//   shot W H X Y RATE   screenshot request ('I'); uploads are put together,
//                       checked against their MD5 and kept with --shots DIR
//   sendlist SEQ LIST   asks the screenshot SEQ for pieces again (0x01): LIST
//                       is "*" (all) or a piece number
//   raw TEXT            any payload ("\n", "\\", "\xHH" escapes)
//   update FILE NAME [N]  streams FILE as an update download named NAME
//                       ('G' and 'H' chunks), leaving chunk N out once
//   quit
//
// Every reply of the module is printed in readable form; frames that fail
// their checks are counted and reported.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/script_lines.h"
#include "common/stdin_lines.h"
#include "peer.h"
#include "platform/platform.h"
#include "replies.h"
#include "screenshots.h"
#include "tallyguard/host_interface.h"
#include "updates.h"

namespace {

struct Options {
  uint16_t port = 27960;
  std::string scenario;
  bool use_stdin = false;
  int linger_ms = 1500;
  int duration_ms = 60000;
  std::string shots;  // folder for uploaded screenshots
  HelloValues hello;
};

struct Step {
  int delay_ms;
  std::string action;
};

bool ParseHello(const std::string& text, HelloValues* hello) {
  std::istringstream in(text);
  HelloValues values = *hello;
  if (!(in >> values.server_version >> values.client_version >> values.agent_version >> values.a >> values.b >>
        values.c >> values.d))
    return false;
  std::string guid;
  if (in >> guid) values.guid = guid;
  *hello = values;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  OptionReader in(argc, argv);
  while (in.Next()) {
    std::string value;
    bool ok = true;
    if (in.Is("--port")) {
      ok = in.Int(&options->port);
    } else if (in.Is("--scenario")) {
      ok = in.Text(&options->scenario);
    } else if (in.Is("--stdin")) {
      options->use_stdin = true;
    } else if (in.Is("--linger-ms")) {
      ok = in.Int(&options->linger_ms);
    } else if (in.Is("--shots")) {
      ok = in.Text(&options->shots);
    } else if (in.Is("--duration-ms")) {
      ok = in.Int(&options->duration_ms);
    } else if (in.Is("--hello")) {
      ok = in.Text(&value) && ParseHello(value, &options->hello);
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return true;
}

// Runs one action; false for "quit".
bool RunAction(ClientPeer& peer, HelloValues& hello, UpdateSender& updates, const std::string& line) {
  const size_t space = line.find(' ');
  const std::string verb = line.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
  Bytes payload;
  auto text_payload = [](char kind, const std::string& text) {
    Bytes bytes = Unescape(text);
    bytes.insert(bytes.begin(), static_cast<uint8_t>(kind));
    bytes.push_back(0);
    return bytes;
  };
  if (verb == "quit") return false;
  if (verb == "hello") {
    if (!rest.empty() && !ParseHello(rest, &hello)) {
      printf("[server] bad hello: %s\n", rest.c_str());
      return true;
    }
    payload = peer.Hello(hello);
  } else if (verb == "rules") {
    payload = text_payload('K', rest);
  } else if (verb == "ask" && !rest.empty()) {
    payload = text_payload('B', rest.substr(0, 1) + (rest.size() > 2 ? rest.substr(2) : ""));
  } else if (verb == "say") {
    payload = text_payload('A', rest);
  } else if (verb == "relay" && !rest.empty()) {
    Bytes inner = Unescape(rest);
    inner.push_back(0);
    payload = peer.Relay(inner);
  } else if (verb == "shot") {
    // The check value that passes: the key parameter C itself.
    static int request_number = 100;
    payload = text_payload('I', "0 " + std::to_string(hello.c) + " " + std::to_string(++request_number) + " " + rest);
  } else if (verb == "sendlist" && !rest.empty()) {
    payload = text_payload(0x01, rest);
  } else if (verb == "restart") {
    payload = text_payload('O', rest);
  } else if (verb == "raw") {
    payload = Unescape(rest);
  } else if (verb == "update") {
    std::istringstream words(rest);
    std::string path, name;
    int drop = -1;
    words >> path >> name >> drop;
    printf("[server] -> %s\n", line.c_str());
    if (name.empty() || !updates.Start(peer, path, name, drop)) printf("[server] cannot stream %s\n", path.c_str());
    return true;
  } else {
    printf("[server] unknown action: %s\n", line.c_str());
    return true;
  }
  printf("[server] -> %s\n", line.c_str());
  peer.Send(payload);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);  // line buffering is full buffering on Windows
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    fprintf(stderr,
            "usage: tgserver [--port N] [--scenario FILE] [--stdin] [--linger-ms N] [--duration-ms N]\n"
            "                [--hello \"VERSION CLIENT AGENT A B C D GUID\"]\n");
    return 2;
  }
  std::vector<Step> steps;
  std::vector<std::string> lines;
  if (!options.scenario.empty() && !ReadScriptLines(options.scenario, &lines)) {
    fprintf(stderr, "tgserver: cannot read %s\n", options.scenario.c_str());
    return 1;
  }
  for (const std::string& line : lines) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) steps.push_back({atoi(line.c_str()), line.substr(space + 1)});
  }

  ClientPeer peer;
  if (!peer.Listen(options.port)) {
    fprintf(stderr, "tgserver: cannot listen on 127.0.0.1:%u\n", options.port);
    return 1;
  }
  printf("[server] listening on 127.0.0.1:%u\n", PlatformUdpLocalPort(peer.Socket()));
  StdinLines input;

  HelloValues hello = options.hello;
  ScreenshotReceiver shots(options.shots);
  UpdateSender updates;
  const uint32_t start = PlatformTick();
  size_t next_step = 0;
  uint32_t last_action = 0;
  bool playing = false;
  bool quit = false;
  uint32_t finished_at = 0;
  while (!quit) {
    const uint32_t now = PlatformTick();
    peer.Poll([&shots, &updates, &peer](const Bytes& payload) {
      const std::string update = updates.Take(peer, payload);
      const std::string upload = update.empty() ? shots.Take(payload) : "";
      if (!update.empty()) {
        printf("[server] <- %s\n", update.c_str());
      } else if (!upload.empty()) {
        if (payload[0] == 'G' || upload.find("complete") != std::string::npos)
          printf("[server] <- %s\n", upload.c_str());
      } else {
        printf("[server] <- %s\n", DescribeReply(payload).c_str());
      }
    });
    peer.ProbeWhileUnknown(now);
    if (!playing && peer.IdentKnown()) {
      playing = true;
      last_action = now;
    }
    if (playing && next_step < steps.size() && static_cast<int32_t>(now - last_action) >= steps[next_step].delay_ms) {
      quit = !RunAction(peer, hello, updates, steps[next_step].action);
      ++next_step;
      last_action = now;
    }
    std::string line;
    if (options.use_stdin && input.Next(&line) && !line.empty()) quit = !RunAction(peer, hello, updates, line) || quit;

    const bool scenario_done = options.scenario.empty() ? false : next_step >= steps.size();
    const bool input_done = !options.use_stdin || input.Done();
    if ((scenario_done || options.scenario.empty()) && input_done && (scenario_done || options.use_stdin)) {
      if (finished_at == 0) finished_at = now;
      if (static_cast<int32_t>(now - finished_at) >= options.linger_ms) break;
    }
    if (static_cast<int32_t>(now - start) >= options.duration_ms) {
      printf("[server] time is up\n");
      break;
    }
    PlatformSleep(5);
  }
  printf("[server] done: %d good frame%s, %d bad; %d screenshot%s received, %d bad\n", peer.frames_ok,
         peer.frames_ok == 1 ? "" : "s", peer.frames_bad, shots.completed, shots.completed == 1 ? "" : "s", shots.bad);
  return peer.frames_bad > 0 || shots.bad > 0 ? 4 : 0;
}
