#include "replies.h"

#include <cstdio>
#include <cstdlib>

#include "channel/wire_bytes.h"

std::string Printable(const Bytes& bytes) {
  std::string out;
  for (uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out.push_back(static_cast<char>(b));
    } else {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", b);
      out += escaped;
    }
  }
  return out;
}

Bytes Unescape(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(static_cast<uint8_t>(text[i]));
      continue;
    }
    const char next = text[++i];
    if (next == 'n') {
      out.push_back('\n');
    } else if (next == 'x' && i + 2 < text.size()) {
      out.push_back(static_cast<uint8_t>(strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(static_cast<uint8_t>(next));
    }
  }
  return out;
}

namespace {

// The payload's text up to its NUL, from offset on.
std::string TextFrom(const Bytes& payload, size_t offset) {
  std::string text;
  for (size_t i = offset; i < payload.size() && payload[i] != 0; ++i) text.push_back(static_cast<char>(payload[i]));
  return text;
}

bool StartsWith(const Bytes& payload, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i)
    if (i >= payload.size() || payload[i] != static_cast<uint8_t>(prefix[i])) return false;
  return true;
}

}  // namespace

std::string DescribeReply(const Bytes& payload) {
  if (payload.empty()) return "empty payload";
  char line[2048];
  wire::ByteReader reader(payload.data(), static_cast<int32_t>(payload.size()));
  if (payload[0] == 'J' && payload.size() >= 5) {
    reader.Skip(1);
    const unsigned ident = reader.U32LE();
    snprintf(line, sizeof line, "ident announcement: ident %08X, guid \"%s\"", ident, TextFrom(payload, 5).c_str());
  } else if (StartsWith(payload, "Dw")) {
    snprintf(line, sizeof line, "link acknowledged, client version %s", TextFrom(payload, 2).c_str());
  } else if (payload[0] == 'M' || payload[0] == 'L') {
    snprintf(line, sizeof line, "cvar value (%c): %s", payload[0], TextFrom(payload, 1).c_str());
  } else if (StartsWith(payload, "BK")) {
    snprintf(line, sizeof line, "protocol value %s", TextFrom(payload, 2).c_str());
  } else if (StartsWith(payload, "BU")) {
    snprintf(line, sizeof line, "resource entry: %s", TextFrom(payload, 2).c_str());
  } else if (StartsWith(payload, "BC")) {
    snprintf(line, sizeof line, "rule list progress: %s lines received", TextFrom(payload, 2).c_str());
  } else if (StartsWith(payload, "BW") && payload.size() == 6) {
    reader.Skip(2);
    const unsigned result = reader.U32LE();
    snprintf(line, sizeof line, "last relay result %u", result);
  } else if (StartsWith(payload, "BN")) {
    snprintf(line, sizeof line, "screenshot ready (1, sequence, MD5, cycles, not in front, changes): %s",
             TextFrom(payload, 2).c_str());
  } else if (StartsWith(payload, "BF")) {
    snprintf(line, sizeof line, "screenshot capture failed (sequence, reason): %s", TextFrom(payload, 2).c_str());
  } else if (StartsWith(payload, "BH")) {
    snprintf(line, sizeof line, "the host has something to report");
  } else if (StartsWith(payload, "Tq")) {
    snprintf(line, sizeof line, "timing reply %s", TextFrom(payload, 2).c_str());
  } else if (payload[0] == 'T') {
    const std::string result = TextFrom(payload, 1);
    const char* meaning = result == "40003" ? "executed" : result == "40002" ? "GUID did not match" : "no GUID";
    snprintf(line, sizeof line, "relay result %s (%s)", result.c_str(), meaning);
  } else if (payload[0] == 'A') {
    snprintf(line, sizeof line, "key bindings / console line: %s", TextFrom(payload, 1).c_str());
  } else if (payload[0] == 'Q') {
    snprintf(line, sizeof line, "cvar list: %s", TextFrom(payload, 1).c_str());
  } else if (payload[0] == 'R') {
    snprintf(line, sizeof line, "registered names: %s", TextFrom(payload, 1).c_str());
  } else {
    snprintf(line, sizeof line, "payload: %s", Printable(payload).c_str());
  }
  return line;
}
