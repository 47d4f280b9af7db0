#pragma once

#include "IdComponent.h"

#include <cstdint>

class TIdSocketHandle;

// Watches one connection: told when it is opened and closed, and shown every block of
// bytes received and sent. Every hook runs only while the connection's InterceptEnabled
// is set.
class TIdConnectionIntercept : public TIdBaseComponent {
 public:
  virtual void AttachConnection(TIdSocketHandle* handle);
  virtual void NoteReceived(const char* buffer, int32_t count) {
    (void)buffer;
    (void)count;
  }
  virtual void NoteSent(const char* buffer, int32_t count) {
    (void)buffer;
    (void)count;
  }
  virtual void DetachConnection() { AttachedHandle = nullptr; }
  // With HandlesRecv / HandlesSend the connection receives and sends through these
  // instead of its socket.
  virtual int32_t RecvVia(char* buffer, int32_t size) {
    (void)buffer;
    (void)size;
    return 0;
  }
  virtual int32_t SendVia(const char* buffer, int32_t size) {
    (void)buffer;
    (void)size;
    return 0;
  }

  TIdSocketHandle* AttachedHandle = nullptr; // not owned
  TNotifyEvent OnConnect;
  bool HandlesRecv = false;
  bool HandlesSend = false;
};
