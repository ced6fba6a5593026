// The script files of the tools (the harness's session scripts and the
// reference server's scenarios): text lines, CR LF or LF, where empty lines
// and lines starting with "#" are comments.
#pragma once

#include <fstream>
#include <string>
#include <vector>

// Appends the file's lines, comments left out, to lines. false when the
// file cannot be read.
inline bool ReadScriptLines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    lines->push_back(line);
  }
  return true;
}
