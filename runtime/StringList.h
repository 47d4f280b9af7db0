#pragma once

#include "Exception.h"

#include <string>
#include <vector>

// "Listenindex überschreitet das Maximum (%d)"
class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

// An ordered list of text lines.
class TStringList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  // The line at index; an index outside the list raises EStringListError naming it.
  const std::string& Strings(int index) const;
  void Add(std::string line) { FItems.push_back(std::move(line)); }
  void Clear() { FItems.clear(); }
  // Every line followed by CR LF.
  std::string Text() const;
  // Index of the first line equal to text (case-sensitive), or -1.
  int IndexOf(const std::string& text) const;

  std::vector<std::string>::const_iterator begin() const { return FItems.begin(); }
  std::vector<std::string>::const_iterator end() const { return FItems.end(); }

 private:
  std::vector<std::string> FItems;
};
