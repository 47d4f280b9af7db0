#include "IdTCPConnection.h"

#include "Format.h"
#include "IdIntercept.h"
#include "IdReplyParsing.h"
#include "IdSocketErrors.h"
#include "IdStack.h"
#include "IdTCPExceptions.h"
#include "IdTLSSession.h"
#include "ScopeGuard.h"
#include "Stream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

namespace {

int32_t Seconds(int32_t milliseconds) {
  return (milliseconds + 999) / 1000;
}

void ResizeStream(TStream& stream, int64_t size) {
  const int64_t position = stream.Position();
  stream.SetSize(size);
  if (stream.Position() != position) stream.SetPosition(position);
}

} // namespace

TIdTCPConnection::TIdTCPConnection() {
  SetRecvBufferSize(32768);
}

TIdTCPConnection::~TIdTCPConnection() = default;

bool TIdTCPConnection::Connected() {
  CheckPeerClosed(false, false);
  return SocketHandle.IsOpen;
}

void TIdTCPConnection::CheckPeerClosed(bool raiseIfClosed, bool ignoreBuffered) {
  if (!PeerClosed && SocketHandle.IsOpen) return;
  if (SocketHandle.IsOpen) DropConnection();
  if ((InputSize() == 0 || ignoreBuffered) && raiseIfClosed) RaiseClosed();
}

void TIdTCPConnection::RaiseClosed() const {
  if (FClosedByPeer) throw EIdConnClosedByPeer();
  throw EIdConnClosedGracefully();
}

void TIdTCPConnection::DropClosedByPeer() {
  FClosedByPeer = true;
  PeerClosed = true;
  if (SocketHandle.IsOpen) DropConnection();
}

bool TIdTCPConnection::WaitForInput(int32_t timeout) {
  // Bytes the TLS session already decrypted would never make the socket readable.
  if (FTLS && FTLS->HasBufferedInput()) return true;
  int32_t wait = timeout;
  bool wholeReply = false;
  if (timeout == TimeoutInfinite) {
    if (ReadTimeOut > 0) wait = ReadTimeOut;
    if (FReplyDeadline) {
      // Rounded up: the wait must not end before the deadline it is measured against.
      const int64_t left =
          std::chrono::ceil<std::chrono::milliseconds>(*FReplyDeadline - TClock::now()).count();
      const auto leftNow = static_cast<int32_t>(std::clamp<int64_t>(left, 0, INT32_MAX));
      if (wait == TimeoutInfinite || leftNow < wait) {
        wait = leftNow;
        wholeReply = true;
      }
    }
  }
  bool ready;
  try {
    ready = SocketHandle.WaitReadable(wait);
  } catch (const EIdConnClosedGracefully&) {
    RaiseClosed(); // closed by a handler served during the wait, or seen closed by one
  }
  if (!SocketHandle.IsOpen) RaiseClosed();
  if (ready || wait == timeout) return ready;
  DropConnection();
  if (wholeReply)
    throw EIdReadTimeout(Format("Die Antwort des Servers war nach %d Sekunden noch nicht "
                                "vollständig; die Verbindung wurde getrennt.",
                                Seconds(ReplyTimeOut)));
  throw EIdReadTimeout(
      Format("Der Server hat %d Sekunden lang nichts gesendet; die Verbindung wurde getrennt.",
             Seconds(ReadTimeOut)));
}

void TIdTCPConnection::WaitForRoom() {
  bool ready;
  try {
    ready = SocketHandle.WaitWritable(WriteTimeOut > 0 ? WriteTimeOut : TimeoutInfinite);
  } catch (const EIdConnClosedGracefully&) {
    RaiseClosed();
  }
  if (!SocketHandle.IsOpen) RaiseClosed();
  if (ready) return;
  DropConnection();
  throw EIdWriteTimeout(Format(
      "Der Server hat %d Sekunden lang keine Daten angenommen; die Verbindung wurde getrennt.",
      Seconds(WriteTimeOut)));
}

int32_t TIdTCPConnection::ReceiveChunk(bool raiseIfClosed, int32_t timeout, TIdBuffer* block,
                                       bool keepInInput) {
  CheckPeerClosed(raiseIfClosed, false);
  if (!Connected()) return 0;
  if (block == nullptr) block = &RecvBlock;

  TIdConnectionIntercept* intercept = FInterceptEnabled ? FIntercept : nullptr;
  int32_t n;
  int32_t error = 0;
  for (;;) {
    if (!WaitForInput(timeout)) return 0;
    if (intercept != nullptr && intercept->HandlesRecv) {
      n = intercept->RecvVia(block->Memory(), block->Size());
      break;
    }
    if (FTLS) {
      n = ReceiveTLS(block->Memory(), block->Size(), error);
      if (n != TLSRetry) break;
      continue;
    }
    n = SocketHandle.ReceiveData(block->Memory(), block->Size(), Id_MSG_DONTWAIT);
    if (n != Id_SOCKET_ERROR) break;
    error = GlobalStack->SockLastError();
    // Readable, yet nothing there: a handler served during the wait has read it.
    if (error != IdSocketError::WouldBlock) break;
  }
  PeerClosed = n == 0;
  if (PeerClosed) FClosedByPeer = true;
  if (n == Id_SOCKET_ERROR) {
    if (error == 0) error = GlobalStack->SockLastError();
    if (error != IdSocketError::Shutdown && error != IdSocketError::ConnectionReset)
      GlobalStack->ThrowSocketError(error);
    // The peer is gone. Unlike its orderly close this never ends a stream normally, but
    // complete lines already buffered stay readable.
    n = 0;
    DropClosedByPeer();
    if (InputSize() == 0) throw EIdConnClosedByPeer();
  }
  if (ASCIIFilter && n > 0) {
    char* bytes = block->Memory();
    for (int32_t i = 0; i < n; ++i)
      bytes[i] = static_cast<char>(bytes[i] & 0x7F);
  }
  if (keepInInput)
    InBuffer.Append(block->Memory(), n);
  else
    ReportWork(wkRead, n);
  if (FInterceptEnabled && FIntercept != nullptr) FIntercept->NoteReceived(block->Memory(), n);
  CheckPeerClosed(raiseIfClosed, false);
  return n;
}

std::string TIdTCPConnection::TakeInput(int32_t count) {
  if (InputSize() < count) throw EIdNotEnoughDataInBuffer();
  std::string text(InBuffer.Memory(), static_cast<size_t>(std::max(count, 0)));
  DropInput(count);
  return text;
}

void TIdTCPConnection::DropInput(int32_t count) {
  InBuffer.Consume(count);
  ReportWork(wkRead, count);
}

std::string TIdTCPConnection::ReadLine(const std::string& terminator, int32_t timeout) {
  const std::string search = terminator.empty() ? std::string("\n") : terminator;
  LineTimedOut = false;
  size_t position = std::string_view::npos;
  // Only newly arrived bytes are searched after a receive, so a long line costs linear
  // time; a change of the buffer's front (a reader in between) starts the search over.
  size_t searched = 0;
  uint64_t generation = InBuffer.Generation();
  for (;;) {
    if (InputSize() > 0) {
      if (InBuffer.Generation() != generation) {
        searched = 0;
        generation = InBuffer.Generation();
      }
      const std::string_view content(InBuffer.Memory(), static_cast<size_t>(InputSize()));
      const size_t from = searched >= search.size() ? searched - (search.size() - 1) : 0;
      position = content.find(search, from);
      if (position != std::string_view::npos) break;
      searched = content.size();
      if (content.size() > static_cast<size_t>(MaxLineLength) + search.size())
        DropForTooLong("eine Zeile", MaxLineLength);
    }
    // Buffered bytes without a terminator are no line: a closed connection raises.
    CheckPeerClosed(true, true);
    const int32_t n = ReceiveChunk(true, timeout, nullptr, true);
    LineTimedOut = n == 0;
    if (LineTimedOut) return {};
  }
  std::string line = TakeInput(static_cast<int32_t>(position + search.size()));
  line.resize(position);
  if (terminator.empty() && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string TIdTCPConnection::ReadNonBlankLine() {
  std::string line;
  while (line.empty())
    line = TrimControls(ReadLine("", TimeoutInfinite));
  return line;
}

void TIdTCPConnection::ReadExact(void* buffer, int32_t count) {
  if (count <= 0 || buffer == nullptr) return;
  while (InputSize() < count) {
    ReceiveChunk(true, TimeoutInfinite, nullptr, true);
    if (!Connected() && InputSize() < count) RaiseClosed();
  }
  std::memcpy(buffer, InBuffer.Memory(), static_cast<size_t>(count));
  DropInput(count);
}

int32_t TIdTCPConnection::ReadInt32(bool convert) {
  uint32_t value = 0;
  ReadExact(&value, sizeof value);
  return static_cast<int32_t>(convert ? TIdStack::NetToHostLong(value) : value);
}

void TIdTCPConnection::ReadToStream(TStream& stream, int32_t count, bool untilClosed) {
  if (count == -1 && !untilClosed) count = ReadInt32(true);
  if (count > -1) ResizeStream(stream, stream.Position() + count);
  // Reading until closed counts nothing down: a transfer may be larger than any count.
  int32_t remaining = untilClosed ? INT32_MAX : count;
  {
    StartWork(wkRead, untilClosed ? 0 : count);
    TScopeGuard finish([this] { FinishWork(wkRead); });
    const int32_t buffered = std::min(InputSize(), remaining);
    if (buffered > 0) {
      stream.Write(InBuffer.Memory(), buffered);
      InBuffer.Consume(buffered);
      if (!untilClosed) remaining -= buffered;
    }
    TIdBuffer block;
    while (Connected() && remaining >= 1) {
      const int32_t size = std::min(remaining, RecvBufferSize());
      if (block.Size() != size) block.SetSize(size);
      const int32_t n = ReceiveChunk(!untilClosed, TimeoutInfinite, &block, false);
      stream.Write(block.Memory(), n);
      if (!untilClosed) remaining -= n;
    }
  }
  if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
}

std::string TIdTCPConnection::ReadAvailable() {
  if (!Connected()) return {};
  ReceiveChunk(false, TimeoutInfinite, nullptr, true);
  return TakeInput(InputSize());
}

std::string TIdTCPConnection::ReadUntilClosed() {
  StartWork(wkRead, 0);
  TScopeGuard finish([this] { FinishWork(wkRead); });
  std::string text;
  while (Connected())
    text += ReadAvailable();
  return text;
}

void TIdTCPConnection::WriteBytes(const char* buffer, int32_t count) {
  if (count <= 0 || buffer == nullptr) return;
  CheckPeerClosed(true, true);
  int32_t offset = 0;
  do {
    // The window served after the last send may have closed the connection; a send on its
    // descriptor would hit a dead or reused one.
    if (!SocketHandle.IsOpen) RaiseClosed();
    TIdConnectionIntercept* intercept = FInterceptEnabled ? FIntercept : nullptr;
    int32_t sent;
    int32_t error = 0;
    if (intercept != nullptr && intercept->HandlesSend) {
      sent = intercept->SendVia(buffer + offset, count - offset);
    } else if (FTLS) {
      sent = SendTLS(buffer + offset, count - offset, error);
      if (sent == TLSRetry) continue;
      if (sent > 0 && WaitHooks.PumpIfDue != nullptr) WaitHooks.PumpIfDue(false, false);
    } else {
      // Never blocks: a full socket is waited for in slices, serving the window.
      sent = SocketHandle.SendData(buffer + offset, count - offset, Id_MSG_DONTWAIT);
      if (sent == Id_SOCKET_ERROR) {
        // Read the reason now: handlers run later may make socket calls of their own.
        error = GlobalStack->SockLastError();
        if (error == IdSocketError::WouldBlock) {
          WaitForRoom();
          continue;
        }
      } else if (WaitHooks.PumpIfDue != nullptr) {
        WaitHooks.PumpIfDue(false, false);
      }
    }
    PeerClosed = sent == 0;
    if (PeerClosed) FClosedByPeer = true;
    // Bytes still waiting to be read are no reason to write on a closed connection.
    CheckPeerClosed(true, true);
    if (sent == Id_SOCKET_ERROR) {
      if (error == 0) error = GlobalStack->SockLastError();
      if (error == IdSocketError::Shutdown || error == IdSocketError::ConnectionReset) {
        DropClosedByPeer();
        throw EIdConnClosedByPeer();
      }
      GlobalStack->ThrowSocketError(error);
    }
    ReportWork(wkWrite, sent);
    if (FInterceptEnabled && FIntercept != nullptr) FIntercept->NoteSent(buffer + offset, sent);
    offset += sent;
  } while (offset < count);
}

void TIdTCPConnection::WriteText(const std::string& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int32_t>(text.size()));
}

void TIdTCPConnection::WriteInt32(int32_t value, bool convert) {
  uint32_t bits = static_cast<uint32_t>(value);
  if (convert) bits = TIdStack::HostToNetLong(bits);
  WriteBytes(reinterpret_cast<const char*>(&bits), sizeof bits);
}

void TIdTCPConnection::WriteFromStream(TStream& stream, bool fromStart, bool withLength) {
  if (fromStart) stream.SetPosition(0);
  const int64_t size = stream.Size() - stream.Position();
  if (withLength) WriteInt32(static_cast<int32_t>(size), true);
  StartWork(wkWrite, static_cast<int32_t>(size));
  TScopeGuard finish([this] { FinishWork(wkWrite); });
  std::vector<char> chunk(static_cast<size_t>(std::max(SendBufferSize, 1)));
  // The end is taken once, with the announced total: asking a file for its size before
  // every block would cost a system call per block.
  const int64_t end = stream.Position() + size;
  for (;;) {
    int64_t k = std::min<int64_t>(end - stream.Position(), SendBufferSize);
    if (k <= 0) break;
    k = stream.Read(chunk.data(), k);
    if (k == 0) throw EIdNoDataToRead();
    WriteBytes(chunk.data(), static_cast<int32_t>(k));
  }
}

void TIdTCPConnection::FinishSending() {
  CheckPeerClosed(true, true);
  const int32_t socket = SocketHandle.SocketId;
  GlobalStack->CheckSocketResult(SocketHandle.ShutdownSending());
  const auto failed = [this](int32_t error) {
    if (error != IdSocketError::Shutdown && error != IdSocketError::ConnectionReset)
      GlobalStack->ThrowSocketError(error);
    DropClosedByPeer();
    throw EIdConnClosedByPeer();
  };
  char scrap[4096];
  for (;;) {
    if (!WaitForInput(TimeoutInfinite)) continue;
    const int32_t n = SocketHandle.ReceiveData(scrap, sizeof scrap, Id_MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) break;
    const int32_t error = GlobalStack->SockLastError();
    if (error != IdSocketError::WouldBlock) failed(error);
  }
  // The peer's end arrived; a peer that closed before reading everything answers the rest
  // with a reset, so wait until nothing sent is left unacknowledged.
  const TClock::time_point deadline =
      TClock::now() + std::chrono::milliseconds(ReadTimeOut > 0 ? ReadTimeOut : INT32_MAX);
  for (;;) {
    const int32_t pending = GlobalStack->SockPendingError(socket);
    if (pending > 0) failed(pending);
    const int32_t unacknowledged = GlobalStack->SockUnacknowledged(socket);
    if (unacknowledged <= 0) break;
    if (TClock::now() >= deadline) failed(IdSocketError::ConnectionReset);
    // Nothing to wait on but time: the socket stays readable at its end.
    GlobalStack->SockSelect(nullptr, nullptr, nullptr, 2);
    if (WaitHooks.PumpIfDue != nullptr) WaitHooks.PumpIfDue(true, false);
    if (!SocketHandle.IsOpen) RaiseClosed();
  }
  FClosedByPeer = true;
  PeerClosed = true;
  DropConnection();
}

void TIdTCPConnection::DropConnection() {
  if (SocketHandle.IsOpen) {
    NotifyStatus(stDisconnecting, SocketHandle.RemoteIP);
    if (ResetOnDrop)
      SocketHandle.Abort();
    else
      SocketHandle.Close(true);
    PeerClosed = true;
    NotifyStatus(stDisconnected, SocketHandle.RemoteIP);
    NotifyDisconnected();
  }
  FTLS.reset();
  if (FInterceptEnabled && FIntercept != nullptr) FIntercept->DetachConnection();
}

void TIdTCPConnection::ResetState() {
  SocketHandle.ResetFields(true);
  InBuffer.Clear();
  PeerClosed = false;
  FClosedByPeer = false;
  FTLS.reset();
}

void TIdTCPConnection::DropForTooLong(const char* what, int32_t limit) {
  DropConnection();
  InBuffer.Clear();
  throw EIdPeerDataTooLong(Format(
      "Die Gegenstelle hat %s von mehr als %d Bytes gesendet; die Verbindung wurde getrennt.", what,
      limit));
}

void TIdTCPConnection::SetIntercept(TIdConnectionIntercept* intercept) {
  if (FIntercept != nullptr) RemoveFreeNotification(FIntercept);
  FIntercept = intercept;
  if (intercept != nullptr)
    FreeNotification(intercept);
  else
    FInterceptEnabled = false;
}

void TIdTCPConnection::SetInterceptEnabled(bool enabled) {
  if (enabled && FIntercept == nullptr && !Loading()) throw EIdInterceptPropIsNil();
  FInterceptEnabled = enabled;
}

void TIdTCPConnection::Notification(TComponent* other) {
  if (other == FIntercept) SetIntercept(nullptr);
}
