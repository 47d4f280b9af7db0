#include "IdStack.h"

#include "IdException.h"
#include "IdGlobal.h"
#include "IdSocketErrors.h"
#include "IntConv.h"

#include <bit>
#include <cstring>

TIdStack* GlobalStack = nullptr;

std::string TIdStack::FirstLocalIP() {
  return LocalIPs().Strings(0);
}

const TStringList& TIdStack::LocalIPs() {
  if (!FLocalIPs) FLocalIPs = std::make_unique<TStringList>();
  RefreshLocalIPs();
  return *FLocalIPs;
}

std::string TIdStack::SocketErrorMessage(int32_t code) {
  return ::SocketErrorMessage(code);
}

uint16_t TIdStack::HostToNetShort(uint16_t value) {
  if constexpr (std::endian::native == std::endian::big) return value;
  return static_cast<uint16_t>((value << 8) | (value >> 8));
}

uint32_t TIdStack::HostToNetLong(uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) return value;
  return ((value & 0xFFu) << 24) | ((value & 0xFF00u) << 8) | ((value >> 8) & 0xFF00u) |
         (value >> 24);
}

std::string TIdStack::IPBytesToText(const TIdIPBytes& bytes) {
  return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' +
         std::to_string(bytes[2]) + '.' + std::to_string(bytes[3]);
}

TIdIPBytes TIdStack::TextToIPBytes(const std::string& text) {
  std::string rest = text;
  TIdIPBytes bytes{};
  for (uint8_t& byte : bytes)
    byte = static_cast<uint8_t>(StrToInt(FetchToken(rest, ".")) & 0xFF);
  return bytes;
}

uint32_t TIdStack::TextToIPValue(const std::string& text) {
  const TIdIPBytes bytes = TextToIPBytes(text);
  uint32_t value = 0;
  std::memcpy(&value, bytes.data(), sizeof value);
  return value;
}

bool TIdStack::IsDottedQuad(const std::string& text) {
  std::string rest = text;
  std::string parts[4];
  for (int i = 0; i < 3; ++i)
    parts[i] = FetchToken(rest, ".");
  parts[3] = rest;
  for (const std::string& part : parts) {
    int32_t value = 0;
    if (!TryStrToInt(part, value) || value < 0 || value > 255) return false;
  }
  return true;
}

std::string TIdStack::HostToIP(const std::string& host) {
  std::string upper = host;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if (upper == "LOCALHOST") return "127.0.0.1";
  if (IsDottedQuad(host)) return host;
  return LookupHostByName(host);
}

int32_t TIdStack::NewSocket(int32_t type, int32_t protocol) {
  const int32_t socket = SockCreate(Id_AF_INET, type, protocol);
  if (socket == Id_INVALID_SOCKET) throw EIdInvalidSocket("Socket kann nicht zugewiesen werden.");
  return socket;
}

bool TIdStack::CheckSocketResultAllowing(int32_t result, std::initializer_list<int32_t> allowed) {
  if (result != Id_SOCKET_ERROR) return false;
  const int32_t code = SockLastError();
  for (int32_t candidate : allowed)
    if (candidate == code) return true;
  ThrowSocketError(code);
}

void TIdStack::ThrowSocketError(int32_t code) {
  throw EIdSocketError(code, SocketErrorMessage(code));
}
