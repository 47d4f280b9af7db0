#pragma once

#include "IdBuffer.h"
#include "IdComponent.h"
#include "IdGlobal.h"
#include "IdSocketHandle.h"
#include "StringList.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TIdConnectionIntercept;
class TIdTLSSession;
class TStream;

using TIdReplyCodes = std::vector<int16_t>;

// Passed as the command line to read a reply without sending anything.
inline const std::string IdNoCommand(1, '\0');

// One TCP connection as a byte stream with an input buffer, and the command/reply
// exchange of line-oriented protocols on it.
//
// All reading goes through ReceiveChunk (wait, one receive of at most RecvBufferSize
// bytes) and all writing through WriteBytes (loops until the platform took every byte).
// Both fire the work events, tell the intercept, and notice a close by the peer, which
// drops the connection (status events, OnDisconnected) at once. Text is a byte string.
//
// Neither ever blocks in the kernel: receives wait for data and sends for room in the
// anti-freeze's slices (the window served between them), each wait bounded by the limits
// below. A connection found closed raises EIdConnClosedByPeer when the peer closed it and
// the silent EIdConnClosedGracefully when this side did.
class TIdTCPConnection : public TIdComponent {
 public:
  // A line longer than this without its terminator, or a reply holding more than this
  // much, is refused: the peer is not allowed to grow our memory without bound.
  static constexpr int32_t MaxLineLength = 1 << 20;
  static constexpr int32_t MaxReplyLength = 16 << 20;

  TIdTCPConnection();
  ~TIdTCPConnection() override;

  // The socket is open; a close by the peer is noticed only by a receive or send.
  bool Connected();
  // Drops a connection found closed; raises (RaiseClosed) when asked to and (nothing is
  // buffered or buffered bytes don't count).
  void CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered);
  // Whether the peer closed the connection (a receive saw its end or a reset, a send found
  // it gone) rather than this side (DropConnection with the socket still open). Kept until
  // the next connect.
  bool ClosedByPeer() const { return FClosedByPeer; }
  // One wait and one receive; returns the bytes received (0 on time-out, when not
  // connected, or when the peer closed). Into InBuffer with keepInInput, else into block
  // (RecvBlock when none) reported as read work.
  int32_t ReceiveChunk(bool raiseIfClosed, int32_t timeout, TIdBuffer* block, bool keepInInput);

  int32_t InputSize() const { return InBuffer.Size(); }
  // Received bytes wait to be read: in the input buffer or decrypted in the TLS session.
  bool InputPending() const;
  std::string TakeInput(int32_t count);
  void DropInput(int32_t count);
  // One line without its terminator (LF when empty, then a CR before it is dropped too).
  // On time-out returns "" with LineTimedOut set and the buffered bytes left alone.
  std::string ReadLine(const std::string& terminator = "", int32_t timeout = TimeoutInfinite);
  std::string ReadNonBlankLine();
  void ReadExact(void* buffer, int32_t count);
  int32_t ReadInt32(bool convert = true);
  // count -1 without untilClosed: a 4-byte length prefix comes first.
  void ReadToStream(TStream& stream, int32_t count = -1, bool untilClosed = false);
  std::string ReadAvailable();
  std::string ReadUntilClosed();

  void WriteBytes(const char* buffer, int32_t count);
  void WriteText(const std::string& text);
  void WriteLine(const std::string& text) { WriteText(text + "\r\n"); }
  void WriteInt32(int32_t value, bool convert = true);
  void WriteFromStream(TStream& stream, bool fromStart = true, bool withLength = false);
  // Ends this side's sending in order, then waits (within ReadTimeOut) until the peer has
  // closed too and acknowledged every byte: only then has it taken all that was sent. What
  // the peer still sends meanwhile is dropped. A reset, or bytes the peer never took, raise
  // EIdConnClosedByPeer; the connection is closed afterwards in every case.
  void FinishSending();

  // Encrypts the connection from here on: runs the client side of the TLS handshake on
  // the open socket, each wait as limited as a receive or send. A failure drops the
  // connection and raises (EIdTLSError with the reason). With endRequired the peer must
  // end the stream with its close notification; an end without it raises EIdTLSTruncated.
  void StartTLS(std::unique_ptr<TIdTLSSession> session, bool endRequired);
  // The connection's TLS session, or none while it is plain.
  TIdTLSSession* TLSSession() const { return FTLS.get(); }
  // Ends what this side sends with the TLS close notification, so that the peer knows the
  // stream is complete, and ends the session: FinishSending then reads to the peer's end.
  // Nothing on a plain connection.
  void SendCloseNotify();

  void Disconnect() { DropConnection(); }
  // Closes an open socket with stDisconnecting, stDisconnected and OnDisconnected; detaches
  // the intercept in every case. With ResetOnDrop the peer sees a reset, not an orderly end.
  void DropConnection();
  void NotifyDisconnected() {
    if (OnDisconnected) OnDisconnected(this);
  }
  virtual void ResetState();

  // Writes the line (unless it is IdNoCommand) and reads the reply; codes empty = any.
  int16_t SendCommand(const std::string& command, const TIdReplyCodes& allowed);
  // expected -1 accepts any code.
  int16_t SendCommand(const std::string& command, int16_t expected);
  using TClock = std::chrono::steady_clock;

  // Reads one whole reply into ReplyLines and LastReplyCode, then checks the code. With a
  // deadline the wait ends there at the latest, whatever the limits below allow.
  int16_t ReadReply(const TIdReplyCodes& allowed,
                    std::optional<TClock::time_point> deadline = std::nullopt);
  virtual int16_t CheckReplyCode(int16_t code, const TIdReplyCodes& allowed);
  std::string LastReplyLine() const;
  [[noreturn]] void RaiseReplyError();

  TIdConnectionIntercept* Intercept() const { return FIntercept; }
  // Not owned; cleared when the intercept is destroyed. None also clears InterceptEnabled.
  void SetIntercept(TIdConnectionIntercept* intercept);
  bool InterceptEnabled() const { return FInterceptEnabled; }
  // True without an intercept is refused with EIdInterceptPropIsNil (except while loading).
  void SetInterceptEnabled(bool enabled);
  int32_t RecvBufferSize() const { return RecvBlock.Size(); }
  void SetRecvBufferSize(int32_t size) { RecvBlock.SetSize(size); }

  // Declared in this order so that destruction closes the socket last.
  TIdSocketHandle SocketHandle;
  bool ASCIIFilter = false; // clear the top bit of every received byte
  TStringList ReplyLines;   // lines of the last reply, trimmed
  TNotifyEvent OnDisconnected;
  bool LineTimedOut = false;
  int16_t LastReplyCode = 0;
  int32_t SendBufferSize = 32768; // chunk size of WriteFromStream
  // Closing ends the connection with a reset: set while an upload is incomplete, so that no
  // way out of it (a failure, a limit, an abort) can look like the end of the file.
  bool ResetOnDrop = false;
  // Limits of the waits for the peer, ms; 0 = none, the class default: a plain connection
  // waits as long as its caller says. Running into one drops the connection and raises.
  int32_t ReadTimeOut = 0;  // a wait without limit for data that brings no byte: EIdReadTimeout
  int32_t ReplyTimeOut = 0; // one whole ReadReply, from its start: EIdReadTimeout
  int32_t WriteTimeOut = 0; // a send that can hand over no byte: EIdWriteTimeout

 protected:
  void Notification(TComponent* other) override;
  // The exception for a connection found closed: EIdConnClosedByPeer when the peer closed
  // it, EIdConnClosedGracefully when this side did.
  [[noreturn]] void RaiseClosed() const;

  TIdBuffer RecvBlock;
  TIdBuffer InBuffer;
  bool PeerClosed = false;

 private:
  [[noreturn]] void DropForTooLong(const char* what, int32_t limit);
  // Waits for data within timeout, or within the read limits for TimeoutInfinite.
  bool WaitForInput(int32_t timeout);
  // Waits until the socket takes data again, within WriteTimeOut.
  void WaitForRoom();
  // Records a close by the peer and drops the connection.
  void DropClosedByPeer();
  // One receive or send through the TLS session; ReceiveChunk's and WriteBytes's results,
  // or TLSRetry once the wait the session asked for is over.
  static constexpr int32_t TLSRetry = -2;
  int32_t ReceiveTLS(char* buffer, int32_t size, int32_t& error);
  int32_t SendTLS(const char* buffer, int32_t size, int32_t& error);
  // The wait a TLS step asked for (WantRead or WantWrite), within the usual limits.
  void WaitForTLS(bool forSending);
  void ReadReplyLines();

  std::optional<TClock::time_point> FReplyDeadline; // set while ReadReply runs with a limit
  std::unique_ptr<TIdTLSSession> FTLS;
  bool FTLSEndRequired = false;
  bool FClosedByPeer = false;

  TIdConnectionIntercept* FIntercept = nullptr;
  bool FInterceptEnabled = false;
};
