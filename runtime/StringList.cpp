#include "StringList.h"

#include "Format.h"

const std::string& TStringList::Strings(int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError(Format("Listenindex überschreitet das Maximum (%d)", index));
  return FItems[static_cast<size_t>(index)];
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& line : FItems)
    text += line + "\r\n";
  return text;
}

int TStringList::IndexOf(const std::string& text) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i] == text) return static_cast<int>(i);
  return -1;
}
