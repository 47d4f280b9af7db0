#include "FuzzStack.h"

#include "IdException.h"
#include "IdSocketErrors.h"
#include "IntConv.h"

#include <algorithm>
#include <cstring>

namespace {

// Classic socket error numbers the program has no names for.
constexpr int32_t TooManySockets = 10024;
constexpr int32_t NotSupported = 10045;

} // namespace

TFuzzStack::TFuzzStack(std::string_view peerBytes, std::vector<uint32_t> pieceSizes,
                       int32_t endError)
    : FPeerBytes(peerBytes), FPieceSizes(std::move(pieceSizes)), FEndError(endError) {}

int32_t TFuzzStack::Fail(int32_t error) {
  FLastError = error;
  return Id_SOCKET_ERROR;
}

int32_t TFuzzStack::NextPiece(size_t& turn, int32_t length) {
  if (FPieceSizes.empty()) return length;
  const uint32_t piece = FPieceSizes[turn++ % FPieceSizes.size()];
  return piece == 0 ? length : static_cast<int32_t>(std::min<uint32_t>(piece, length));
}

void TFuzzStack::RefreshLocalIPs() {
  FLocalIPs->Clear();
  FLocalIPs->Add("127.0.0.1");
}

int32_t TFuzzStack::SockAccept(int32_t, std::string&, int32_t&) {
  // Nothing ever connects to this machine.
  return Fail(IdSocketError::WouldBlock);
}

int32_t TFuzzStack::SockBind(int32_t socket, int32_t, const std::string&, int32_t) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockClose(int32_t socket) {
  if (!IsPeerSocket(socket)) return Fail(IdSocketError::NotASocket);
  FOpen = false;
  return 0;
}

int32_t TFuzzStack::SockConnect(int32_t socket, int32_t, const std::string&, int32_t) {
  // The peer is there at once, whatever the address.
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockSetBlocking(int32_t socket, bool) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockFinishConnect(int32_t socket) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockUnacknowledged(int32_t socket) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

std::string TFuzzStack::LookupHostByName(const std::string& name) {
  if (name == "localhost") return "127.0.0.1";
  ThrowSocketError(IdSocketError::HostNotFound);
}

std::string TFuzzStack::LocalHostName() {
  return "localhost";
}

std::string TFuzzStack::LookupHostByAddress(const std::string& address) {
  if (address == "127.0.0.1") return "localhost";
  ThrowSocketError(IdSocketError::HostNotFound);
}

int32_t TFuzzStack::ServicePort(const std::string& service) {
  if (service == "ftp") return 21;
  int32_t port = 0;
  if (!TryStrToInt(service, port)) throw EIdInvalidServiceName("Ungültiger Dienstname: " + service);
  return port;
}

std::unique_ptr<TStringList> TFuzzStack::ServiceNamesOfPort(int32_t port) {
  auto names = std::make_unique<TStringList>();
  if (port == 21) names->Add("ftp");
  return names;
}

int32_t TFuzzStack::SockListen(int32_t socket, int32_t) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockRecv(int32_t socket, void* buffer, int32_t length, int32_t) {
  if (!IsPeerSocket(socket)) return Fail(IdSocketError::NotASocket);
  if (length <= 0) return 0;
  const size_t left = FPeerBytes.size() - FDelivered;
  if (left == 0) return FEndError != 0 ? Fail(FEndError) : 0;
  const size_t n = std::min<size_t>(static_cast<size_t>(NextPiece(FRecvTurn, length)), left);
  std::memcpy(buffer, FPeerBytes.data() + FDelivered, n);
  FDelivered += n;
  return static_cast<int32_t>(n);
}

int32_t TFuzzStack::SockRecvFrom(int32_t socket, void*, int32_t, int32_t, std::string&, int32_t&) {
  // The one socket is a stream socket.
  return Fail(IsPeerSocket(socket) ? NotSupported : IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockSelect(TIdSocketList* readList, TIdSocketList* writeList,
                               TIdSocketList* errorList, int32_t) {
  TIdSocketList* lists[3] = {readList, writeList, errorList};
  for (TIdSocketList* list : lists)
    if (list != nullptr && list->size() > IdSocketListLimit)
      throw EIdStackSetSizeExceeded("Mengengröße überschritten.");
  // The peer socket is always readable (bytes, the close or the error are waiting) and
  // always writable; it never has an exceptional condition.
  int32_t ready = 0;
  for (TIdSocketList* list : {readList, writeList}) {
    if (list == nullptr) continue;
    std::erase_if(*list, [this](int32_t socket) { return !IsPeerSocket(socket); });
    ready += static_cast<int32_t>(list->size());
  }
  if (errorList != nullptr) errorList->clear();
  return ready;
}

int32_t TFuzzStack::SockSend(int32_t socket, const void* buffer, int32_t length, int32_t) {
  if (!IsPeerSocket(socket)) return Fail(IdSocketError::NotASocket);
  if (length <= 0) return 0;
  const int32_t n = NextPiece(FSendTurn, length);
  FSent.append(static_cast<const char*>(buffer), static_cast<size_t>(n));
  return n;
}

int32_t TFuzzStack::SockSendTo(int32_t socket, const void*, int32_t, int32_t, const std::string&,
                               int32_t) {
  return Fail(IsPeerSocket(socket) ? NotSupported : IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockSetOption(int32_t socket, int32_t, int32_t, const void*, int32_t) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

int32_t TFuzzStack::SockCreate(int32_t, int32_t, int32_t) {
  // One peer, so one socket at a time.
  if (FOpen) return Fail(TooManySockets);
  FOpen = true;
  return PeerSocket;
}

int32_t TFuzzStack::SockShutdown(int32_t socket, int32_t) {
  return IsPeerSocket(socket) ? 0 : Fail(IdSocketError::NotASocket);
}

void TFuzzStack::SockPeerName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) {
  if (!IsPeerSocket(socket)) ThrowSocketError(IdSocketError::NotASocket);
  family = Id_AF_INET;
  ip = "127.0.0.1";
  port = 21;
}

void TFuzzStack::SockLocalName(int32_t socket, int32_t& family, std::string& ip, int32_t& port) {
  if (!IsPeerSocket(socket)) ThrowSocketError(IdSocketError::NotASocket);
  family = Id_AF_INET;
  ip = "127.0.0.1";
  port = 50000;
}
