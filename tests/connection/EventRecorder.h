#pragma once

#include "IdComponent.h"

#include <string>
#include <vector>

// Writes the status and work events of component down as text lines ("status 1 Verbinden
// mit 127.0.0.1.", "begin 0 100", "work 0 10", "end 0").
inline void RecordEvents(TIdComponent& component, std::vector<std::string>& lines) {
  component.OnStatus = [&lines](TIdComponent*, TIdStatus s, const std::string& text) {
    lines.push_back("status " + std::to_string(s) + " " + text);
  };
  component.OnWorkBegin = [&lines](TIdComponent*, TWorkMode m, int32_t max) {
    lines.push_back("begin " + std::to_string(m) + " " + std::to_string(max));
  };
  component.OnWork = [&lines](TIdComponent*, TWorkMode m, int32_t count) {
    lines.push_back("work " + std::to_string(m) + " " + std::to_string(count));
  };
  component.OnWorkEnd = [&lines](TIdComponent*, TWorkMode m) {
    lines.push_back("end " + std::to_string(m));
  };
}
