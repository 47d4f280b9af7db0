#pragma once

#include "IdException.h"

#include <cstdint>

class EIdTCPConnectionError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
 public:
  EIdNotEnoughDataInBuffer() : EIdTCPConnectionError("Nicht genügend Daten im Puffer.") {}
};

class EIdNoDataToRead : public EIdTCPConnectionError {
 public:
  EIdNoDataToRead() : EIdTCPConnectionError("Keine Daten für den Lesezugriff.") {}
};

class EIdInterceptPropIsNil : public EIdTCPConnectionError {
 public:
  EIdInterceptPropIsNil()
      : EIdTCPConnectionError(
            "InterceptEnabled darf nicht auf true gesetzt sein, wenn Intercept nil ist.") {}
};

// The peer sent a line or a reply larger than the connection is willing to hold; the
// connection has been dropped.
class EIdPeerDataTooLong : public EIdTCPConnectionError {
 public:
  using EIdTCPConnectionError::EIdTCPConnectionError;
};

// A reply whose code the caller does not accept. The message is the reply's last line.
class EIdProtocolReplyError : public EIdException {
 public:
  EIdProtocolReplyError(int32_t replyCode, std::string message)
      : EIdException(std::move(message)), ReplyCode(replyCode) {}
  int32_t ReplyCode;
};

// A wait for the peer ran into its limit; the connection has been dropped.
class EIdReadTimeout : public EIdTCPConnectionError {
 public:
  using EIdTCPConnectionError::EIdTCPConnectionError;
};

class EIdWriteTimeout : public EIdTCPConnectionError {
 public:
  using EIdTCPConnectionError::EIdTCPConnectionError;
};

// The connect was not answered within ConnectTimeOut. A socket error of its own kind
// (ErrorCode 10060), with a text that names the limit.
class EIdConnectTimeout : public EIdSocketError {
 public:
  explicit EIdConnectTimeout(std::string message) : EIdSocketError(10060, std::move(message)) {}
};

class EIdAlreadyConnected : public EIdException {
 public:
  EIdAlreadyConnected() : EIdException("Verbindung besteht bereits.") {}
};
