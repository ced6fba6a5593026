// tghost: loads the module like a game does and drives it frame by frame.
//
//   tghost --module PATH [--script FILE] [--stdin] [--home DIR]
//          [--set NAME=VALUE]... [--frame-ms N] [--frames N] [--after-ms N]
//          [--connect ADDRESS:PORT] [--retries N]
//
// With --connect the game is connected to a game server on loopback: the
// module's frames go there as datagrams, and the server's datagrams come back
// to the module as packet events (cb code 13) with --retries retries.
//
// Script lines are console lines for the module (cb code 14), except:
//   # ...              a comment
//   @wait MS           keep running frames for MS milliseconds
//   @set NAME VALUE    set a console variable of the game
//   @cb CODE [TEXT]    call cb with a code and a text, and print the result
//   @complete TEXT     command completion (cb code 51) on TEXT
// A line typed on stdin that ends with a TAB asks for completion of what
// stands before the TAB.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/script_lines.h"
#include "common/stdin_lines.h"
#include "harness_game.h"
#include "platform/platform.h"
#include "tallyguard/host_interface.h"

namespace {

struct Options {
  std::string module;
  std::string script;
  bool use_stdin = false;
  std::string home = "tghome";
  std::vector<std::pair<std::string, std::string>> cvars;
  int frame_ms = 16;
  long frames = -1;     // -1: until the script (or stdin) is done
  int after_ms = 1000;  // frames to keep running after the last line
  std::string connect;  // game server address:port
  int retries = 2;
};

int Usage() {
  fprintf(stderr,
          "usage: tghost --module PATH [--script FILE] [--stdin] [--home DIR] [--set NAME=VALUE]...\n"
          "              [--frame-ms N] [--frames N] [--after-ms N] [--connect ADDRESS:PORT] [--retries N]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  OptionReader in(argc, argv);
  while (in.Next()) {
    std::string value;
    bool ok = true;
    if (in.Is("--module")) {
      ok = in.Text(&options->module);
    } else if (in.Is("--script")) {
      ok = in.Text(&options->script);
    } else if (in.Is("--stdin")) {
      options->use_stdin = true;
    } else if (in.Is("--home")) {
      ok = in.Text(&options->home);
    } else if (in.Is("--set") && in.Text(&value) && value.find('=') != std::string::npos) {
      const size_t eq = value.find('=');
      options->cvars.push_back({value.substr(0, eq), value.substr(eq + 1)});
    } else if (in.Is("--frame-ms")) {
      ok = in.Int(&options->frame_ms);
    } else if (in.Is("--frames")) {
      ok = in.Int(&options->frames);
    } else if (in.Is("--after-ms")) {
      ok = in.Int(&options->after_ms);
    } else if (in.Is("--connect")) {
      ok = in.Text(&options->connect);
    } else if (in.Is("--retries")) {
      ok = in.Int(&options->retries);
    } else {
      ok = false;
    }
    if (!ok) return false;
  }
  return !options->module.empty();
}

void ShowResult(const char* what, intptr_t result) {
  // Small values are numbers; anything else is the address of a text.
  if (result >= -65536 && result <= 65536 * 2) {
    printf("[host] %s -> %ld\n", what, static_cast<long>(result));
  } else {
    std::string shown;
    for (const char* p = reinterpret_cast<const char*>(result); *p != '\0'; ++p) {
      unsigned char c = static_cast<unsigned char>(*p);
      char escaped[8];
      if (c >= 0x20 && c < 0x7F && c != '\\') {
        shown += static_cast<char>(c);
      } else {
        snprintf(escaped, sizeof escaped, "\\x%02X", c);
        shown += escaped;
      }
    }
    printf("[host] %s -> \"%s\"\n", what, shown.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);  // line buffering is full buffering on Windows
  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();

  void* library = PlatformLoadLibrary(options.module.c_str());
  if (library == nullptr) {
    fprintf(stderr, "tghost: cannot load %s\n", options.module.c_str());
    return 1;
  }
  void* ca_address = PlatformFindEntry(library, "ca");
  void* cb_address = PlatformFindEntry(library, "cb");
  TgCaFunction call_ca = nullptr;
  TgCbFunction call_cb = nullptr;
  TG_BIND_EXPORT(call_ca, ca_address);
  TG_BIND_EXPORT(call_cb, cb_address);
  if (call_ca == nullptr || call_cb == nullptr) {
    fprintf(stderr, "tghost: %s does not export ca and cb\n", options.module.c_str());
    return 1;
  }

  static HarnessGame game;
  HostInterface& record = game.record;
  PlatformOpenGameWindow(game.screen_width, game.screen_height);
  PlatformCreateDirectory(options.home.c_str());
  game.SetCvar("fs_homepath", options.home);
  for (const auto& cvar : options.cvars) game.SetCvar(cvar.first, cvar.second);
  printf("[host] loaded %s (module version %ld)\n", options.module.c_str(),
         static_cast<long>(call_cb(&record, TG_CODE_VERSION, 0, nullptr, 0)));
  if (!options.connect.empty()) {
    std::string error;
    if (!game.link.Open(options.connect, &error)) {
      fprintf(stderr, "tghost: --connect %s: %s\n", options.connect.c_str(), error.c_str());
      return 1;
    }
    game.server_address = game.link.Address();
    printf("[host] connecting to game server %s\n", game.server_address.c_str());
  }

  std::vector<std::string> script;
  if (!options.script.empty() && !ReadScriptLines(options.script, &script)) {
    fprintf(stderr, "tghost: cannot read %s\n", options.script.c_str());
    return 1;
  }
  StdinLines input;

  size_t next_line = 0;
  uint32_t wait_until = 0;
  bool waiting = false;
  uint32_t idle_since = 0;
  bool idle = false;
  for (long frame = 0; options.frames < 0 || frame < options.frames; ++frame) {
    const uint32_t now = PlatformTick();
    std::string line;
    bool have_line = false;
    if (waiting && static_cast<int32_t>(now - wait_until) >= 0) waiting = false;
    if (!waiting && next_line < script.size()) {
      line = script[next_line++];
      have_line = true;
    } else if (options.use_stdin && input.Next(&line)) {
      have_line = true;
    }
    if (have_line) {
      idle = false;
      if (line.empty() || line[0] == '#') {
      } else if (line.compare(0, 6, "@wait ") == 0) {
        wait_until = now + static_cast<uint32_t>(atoi(line.c_str() + 6));
        waiting = true;
      } else if (line.compare(0, 5, "@set ") == 0) {
        std::string rest = line.substr(5);
        size_t space = rest.find(' ');
        std::string name = rest.substr(0, space);
        std::string value = space == std::string::npos ? "" : rest.substr(space + 1);
        game.SetCvar(name, value);
        printf("[host] %s = \"%s\"\n", name.c_str(), value.c_str());
      } else if (line.compare(0, 10, "@complete ") == 0 || line.back() == '\t') {
        std::string text = line.back() == '\t' ? line.substr(0, line.size() - 1) : line.substr(10);
        char buffer[TG_QUERY_BUFFER_SIZE] = "";
        snprintf(buffer, sizeof buffer, "%s", text.c_str());
        call_cb(&record, TG_CODE_COMPLETE, static_cast<int32_t>(strlen(buffer)), buffer, 0);
        printf("[host] completion of \"%s\": \"%s\"\n", text.c_str(), buffer);
      } else if (line.compare(0, 4, "@cb ") == 0) {
        int code = atoi(line.c_str() + 4);
        size_t space = line.find(' ', 4);
        std::string text = space == std::string::npos ? "" : line.substr(space + 1);
        ShowResult(line.c_str() + 1, call_cb(&record, code, static_cast<int32_t>(text.size()), text.c_str(), 0));
      } else {
        printf("] %s\n", line.c_str());
        intptr_t result = call_cb(&record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(line.size()), line.c_str(), 0);
        if (result != 0) printf("[host] cb: %s\n", reinterpret_cast<const char*>(result));
      }
    }

    PlatformPumpGameWindow();
    if (game.link.IsOpen()) game.link.Connect(now);
    std::vector<uint8_t> datagram;
    while (game.link.Receive(&datagram) || game.ReceiveOutOfBand(&datagram)) {
      datagram.push_back(0);  // hosts may hand the bytes with a terminator; the length excludes it
      intptr_t refused = call_cb(&record, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(datagram.size() - 1),
                                 datagram.data(), options.retries);
      if (refused != 0) printf("[host] cb: %s\n", reinterpret_cast<const char*>(refused));
    }

    intptr_t result = call_ca(&record, options.frame_ms);
    if (result != 0) printf("[host] ca: %s\n", reinterpret_cast<const char*>(result));

    bool script_done = !waiting && next_line >= script.size();
    bool input_done = !options.use_stdin || input.Done();
    if (options.frames < 0 && script_done && input_done) {
      if (!idle) {
        idle = true;
        idle_since = now;
      } else if (static_cast<int32_t>(now - idle_since) >= options.after_ms) {
        break;
      }
    }
    PlatformSleep(static_cast<uint32_t>(options.frame_ms));
  }

  printf("[host] done: %d frame%s sent, %d out-of-band send%s refused\n", game.frames_sent,
         game.frames_sent == 1 ? "" : "s", game.refused_sends, game.refused_sends == 1 ? "" : "s");
  fflush(stdout);
  // The module is left loaded: the process ends here, as a game's would.
  return game.refused_sends > 0 ? 3 : 0;
}
