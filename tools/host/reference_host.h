// The reference host: one implementation of the game's side of the host
// record (console variables, key bindings, the enumerations, the server
// address, the host report and the second table), shared by the harness and
// the module's unit tests so that their answers cannot disagree.
//
// Everything the module hands to the game (printed lines, frames, keywords,
// game commands) goes to a virtual method; the base records it, the harness
// shows it. The services are plain C functions, so one host is current at a
// time: the one constructed last.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tallyguard/host_interface.h"

// Console variable names are compared without regard to letter case, as
// games compare them.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};
bool SameNoCase(const std::string& a, const std::string& b);
bool ContainsNoCase(const std::string& text, const std::string& part);

class ReferenceHost {
 public:
  ReferenceHost();
  virtual ~ReferenceHost();
  ReferenceHost(const ReferenceHost&) = delete;
  ReferenceHost& operator=(const ReferenceHost&) = delete;

  HostInterface record;

  // What the game knows, as the queries answer it.
  std::map<std::string, std::string, NoCaseLess> cvars;  // query 103 (and 109)
  std::string server_address = TG_NO_SERVER_ADDRESS;     // query 105
  intptr_t report_result = 0;                            // query 115
  std::string report_text;
  struct Binding {
    int key;
    std::string name;
    std::string command;
  };
  std::vector<Binding> bindings;                                   // queries 106 to 108
  std::vector<std::pair<std::string, int>> user_cvars;             // query 110: name, flags
  std::vector<std::pair<std::string, std::string>> changed_cvars;  // query 111: name, value
  std::vector<std::string> resources;                              // query 118: entry lines
  std::map<int32_t, int> query_counts;
  int32_t screen_width = 640;   // host_screen_info TG_SCREEN_WIDTH
  int32_t screen_height = 480;  // host_screen_info TG_SCREEN_HEIGHT
  bool offer_pixels = true;     // a pixel routine for the module (32-bit hosts only)

  // Offers the second host table with its game-command operation.
  void OfferGameCommand();

  // What the module handed to the game (recorded by the base methods).
  std::vector<std::string> prints;
  std::vector<std::string> print_prefixes;  // the record's prefix at each print
  std::vector<std::pair<std::string, std::string>> keywords;
  std::vector<std::vector<uint8_t>> frames;      // host_send
  std::vector<std::vector<uint8_t>> oob_frames;  // host_send_oob
  std::string oob_address;
  int32_t oob_port = 0;
  std::vector<std::pair<std::string, std::string>> game_commands;
  bool keep_prints = true;  // benchmarks switch the record of prints off

  void ClearPrints();
  // True when some printed line equals text.
  bool Printed(const std::string& text) const;
  int CountPrinted(const std::string& text) const;

  // The services' bodies. Keyword also sets cl_tallyguard for
  // "set_cl_tallyguard"; the others only record.
  virtual void Keyword(const char* service, const char* argument);
  virtual void Print(const char* text);
  virtual void Send(int32_t length, const void* frame);
  virtual void SendOutOfBand(const char* address, int32_t port, int32_t length, const void* data);
  virtual void GameCommand(const char* keyword, const char* line);
  virtual int32_t ScreenInfo(int32_t code, int32_t value);
  // The game's pixel routine: width x height pixels of R, G, B from (x, y),
  // bottom row first. The base fills a pattern that tells each pixel's
  // place (red the column, green the row, blue their sum, all mod 256).
  virtual void ReadPixels(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t* out);
  // Answers a query by the table of the public header.
  intptr_t Query(int32_t code, char* buffer);

  static ReferenceHost* current;

 private:
  size_t search_position_ = 0;
  size_t user_position_ = 0;
  size_t changed_position_ = 0;
  uint32_t second_table_[128] = {};
};
