#pragma once

#include <fstream>
#include <sstream>
#include <string>

// Whole files as byte strings ("" for a file that cannot be read).
inline std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void WriteFileBytes(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}
