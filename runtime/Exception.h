#pragma once

#include <exception>
#include <string>

// Base of every failure the program reports. The message is what the error box shows.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  // A silent failure ends the action that raised it without an error box.
  virtual bool IsSilent() const { return false; }

  std::string Message;
};

// A text that should be a number but is not.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
