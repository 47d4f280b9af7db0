#pragma once

#include "Exception.h"

#include <cstdint>

// Root of every network failure.
class EIdException : public Exception {
 public:
  using Exception::Exception;
};

// Expected conditions that end an action without an error box.
class EIdSilentException : public EIdException {
 public:
  using EIdException::EIdException;
  bool IsSilent() const override { return true; }
};

inline constexpr const char* RSConnectionClosedGracefully =
    "Die Verbindung wurde erfolgreich geschlossen.";

// The connection is closed, and this side knows it: it closed it itself (a disconnect, an
// abort, a quit) or it was never open. Nothing to tell the user.
class EIdConnClosedGracefully : public EIdSilentException {
 public:
  EIdConnClosedGracefully() : EIdSilentException(RSConnectionClosedGracefully) {}
};

inline constexpr const char* RSConnectionClosedByPeer = "Der Server hat die Verbindung getrennt.";

// The other end closed (or reset) the connection while this side still needed it. In this
// program the other end of every connection is the FTP server, hence the text.
class EIdConnClosedByPeer : public EIdException {
 public:
  EIdConnClosedByPeer() : EIdException(RSConnectionClosedByPeer) {}
};

// A checked socket call failed; ErrorCode tells the cases apart without parsing the text.
class EIdSocketError : public EIdException {
 public:
  EIdSocketError(int32_t errorCode, std::string message)
      : EIdException(std::move(message)), ErrorCode(errorCode) {}
  int32_t ErrorCode;
};

class EIdInvalidSocket : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdInvalidServiceName : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdStackError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdStackSetSizeExceeded : public EIdStackError {
 public:
  using EIdStackError::EIdStackError;
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
 public:
  using EIdSocketHandleError::EIdSocketHandleError;
};
