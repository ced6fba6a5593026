#include "screenshots.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "util/seeded_md5.h"

std::string ScreenshotReceiver::Take(const Bytes& payload) {
  char line[512];
  if (payload.size() > 1 && payload[0] == 'G') {
    std::string text;
    for (size_t i = 1; i < payload.size() && payload[i] != 0; ++i) text.push_back(static_cast<char>(payload[i]));
    std::istringstream in(text);
    Upload upload;
    std::string tagged;
    in >> upload.size >> upload.md5 >> tagged;
    if (tagged.empty() || upload.size == 0 || upload.size > (16u << 20))
      return "screenshot announcement not understood: " + text;
    upload.name = tagged.substr(1);
    upload.bytes.assign(upload.size, 0);
    uploads_[tagged[0]] = upload;
    snprintf(line, sizeof line, "screenshot %s announced: %zu bytes, tag %c, MD5 %s", upload.name.c_str(), upload.size,
             tagged[0], upload.md5.c_str());
    return line;
  }
  if (payload.size() < 4 || payload[0] != 'H') return "";
  const int piece = payload[1] << 8 | payload[2];
  auto it = uploads_.find(static_cast<char>(payload[3]));
  if (it == uploads_.end()) return "screenshot piece for an unknown tag";
  Upload& upload = it->second;
  const size_t offset = static_cast<size_t>(piece) * 1024;
  const size_t n = payload.size() - 4;
  if (offset + n > upload.size) return "screenshot piece beyond its size";
  memcpy(upload.bytes.data() + offset, payload.data() + 4, n);
  upload.pieces[piece] = n;
  size_t have = 0;
  for (const auto& entry : upload.pieces) have += entry.second;
  snprintf(line, sizeof line, "screenshot %s piece %d (%zu of %zu bytes)", upload.name.c_str(), piece, have,
           upload.size);
  if (have < upload.size) return line;
  const std::string md5 = DigestHexText(upload.bytes.data(), static_cast<int32_t>(upload.size), 0);
  const bool good = md5 == upload.md5;
  good ? ++completed : ++bad;
  std::string saved;
  if (good && !folder_.empty()) {
    const std::string path = folder_ + "/" + upload.name;
    FILE* file = fopen(path.c_str(), "wb");
    if (file != nullptr) {
      fwrite(upload.bytes.data(), 1, upload.size, file);
      fclose(file);
      saved = ", saved as " + path;
    }
  }
  snprintf(line, sizeof line, "screenshot %s complete: %zu bytes, MD5 %s%s", upload.name.c_str(), upload.size,
           good ? "matches" : "DOES NOT MATCH", saved.c_str());
  upload.pieces.clear();
  return line;
}
