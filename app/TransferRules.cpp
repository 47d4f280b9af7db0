#include "TransferRules.h"

#include "Format.h"

namespace {

// Letter case is compared over A-Z only: names are bytes in the locale's encoding.
std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

} // namespace

std::string ZeroPad2(int value) {
  std::string text = std::to_string(value);
  return text.size() == 1 ? "0" + text : text;
}

std::string DatedFolderName(int year, int month, int day, int hour, int minute) {
  return Format("%d%s%s-%s%s", year, ZeroPad2(month).c_str(), ZeroPad2(day).c_str(),
                ZeroPad2(hour).c_str(), ZeroPad2(minute).c_str());
}

bool SkippedByFolderUpload(const std::string& name) {
  if (AsciiLower(name) == "thumbs.db") return true;
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && AsciiLower(name.substr(dot)) == ".send";
}

std::string WithTrailingSeparator(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || byte < 32 || byte == 127) return false;
  }
  return true;
}
