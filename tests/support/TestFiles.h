#pragma once

#include <fstream>
#include <random>
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

// size bytes of noise, the same for the same seed: file content no transfer could fake.
inline std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(random());
  return bytes;
}
