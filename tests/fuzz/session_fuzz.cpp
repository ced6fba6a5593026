// A whole session from any bytes: a fresh module on the reference host, then
// a sequence of steps read from the input, with a clock that moves only when
// a step says so.
//
// Step (first byte % 8), then its operands:
//   0  server frame: length byte, bytes (handed to cb 13 with 1 retry)
//   1  server payload in a plain frame with the module's ident: length, bytes
//   2  server payload in a frame scrambled with the current key: length, bytes
//   3  console line: length byte, text (cb 14)
//   4  ca with a budget: one byte (0 to 255, 255 meaning -1)
//   5  the clock moves on: one byte, times 97 ms
//   6  the game server changes: one byte picks an address (or none)
//   7  a cb code above 16: code byte, then a length byte and text
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "channel/framing.h"
#include "channel/wire_format.h"
#include "core/client_state.h"
#include "fuzz_module.h"
#include "platform/platform.h"
#include "support/fake_host.h"

namespace {

const char kHome[] = TG_FUZZ_HOME;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::vector<uint8_t> Bytes() {
    const size_t n = Byte();
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + (n < size_ - at_ ? n : size_ - at_));
    at_ += out.size();
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Lines that would switch the module off or write files under names of the
// fuzzer's choice add nothing but noise on the disk.
bool Unwanted(const std::string& line) {
  for (const char* word : {"isable", "WriteCfg", "RegNameFn", "tg_Load"})
    if (line.find(word) != std::string::npos) return true;
  return false;
}

void Frame(FakeHost& host, const std::vector<uint8_t>& frame) {
  std::vector<uint8_t> copy = frame;
  copy.push_back(0);
  cb(&host.record, TG_EVENT_SERVER_PACKET, static_cast<int32_t>(frame.size()), copy.data(), 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8000) return 0;
  ResetClientState();
  TestClock::now = 7000000;
  TestClock::step_ms = 0;
  PlatformSetTickSource(TestClock::Read);
  PlatformSetFaultGuard(0);  // a fault in a cycle is a finding, not a notice
  // Every input starts from an empty home: names registered by earlier inputs
  // would otherwise pile up in the home and be read back on every start.
  std::error_code ignored;
  std::filesystem::remove_all(kHome, ignored);
  std::filesystem::create_directories(kHome, ignored);
  FuzzModule::SmallDisplay();
  FakeHost host;
  host.keep_prints = false;
  host.cvars["fs_homepath"] = kHome;
  host.cvars["cl_tallyguard"] = "1";
  host.cvars["sensitivity"] = "5";
  host.server_address = "127.0.0.1:27960";
  host.bindings = {{178, "MOUSE1", "+attack"}};
  host.resources = {"fs_game base 1"};

  Reader in(data, size);
  for (int steps = 0; in.More() && steps < 200; ++steps) {
    const int step = in.Byte() % 8;
    switch (step) {
      case 0:
        Frame(host, in.Bytes());
        break;
      case 1:
      case 2: {
        const bool scrambled = step == 2;
        std::vector<uint8_t> payload = in.Bytes();
        if (payload.empty()) break;
        std::vector<uint8_t> frame(wire::kFrameBufferSize);
        const int32_t n = static_cast<int32_t>(payload.size());
        frame.resize(static_cast<size_t>(
            scrambled ? wire::BuildScrambledFrame(ChannelKey(), payload.data(), n, frame.data())
                      : wire::BuildPlainFrame(Client().channel.client_ident, payload.data(), n, frame.data())));
        Frame(host, frame);
        break;
      }
      case 3: {
        const std::vector<uint8_t> bytes = in.Bytes();
        const std::string line(bytes.begin(), bytes.end());
        if (!Unwanted(line))
          cb(&host.record, TG_EVENT_CONSOLE_LINE, static_cast<int32_t>(line.size()), line.c_str(), 0);
        break;
      }
      case 4: {
        const uint8_t budget = in.Byte();
        ca(&host.record, budget == 255 ? -1 : budget);
        break;
      }
      case 5:
        TestClock::now += 97u * in.Byte();
        break;
      case 6: {
        static const char* const kAddresses[] = {"127.0.0.1:27960", "127.0.0.1:27961", TG_NO_SERVER_ADDRESS, ""};
        host.server_address = kAddresses[in.Byte() % 4];
        break;
      }
      case 7: {
        const int32_t code = 17 + in.Byte() % 110;
        std::vector<uint8_t> text = in.Bytes();
        text.resize(TG_QUERY_BUFFER_SIZE, 0);  // completion may extend the text in place
        cb(&host.record, code, static_cast<int32_t>(strnlen(reinterpret_cast<char*>(text.data()), 255)), text.data(),
           0);
        break;
      }
    }
    host.frames.clear();
  }
  ResetClientState();
  PlatformSetTickSource(nullptr);
  return 0;
}
