#pragma once

#include <cstdint>
#include <string>

// Socket error codes as the program knows them (the classic Windows Sockets numbering).
// Every platform error is mapped onto these, so that messages and the special cases
// (address in use, socket shut down, socket closed under a transfer) are the same on
// every platform.
namespace IdSocketError {
inline constexpr int32_t Interrupted = 10004;
inline constexpr int32_t AccessDenied = 10013;
inline constexpr int32_t WouldBlock = 10035;
inline constexpr int32_t InProgress = 10036;
inline constexpr int32_t NotASocket = 10038;
inline constexpr int32_t AddressInUse = 10048;
inline constexpr int32_t AddressNotAvailable = 10049;
inline constexpr int32_t ConnectionReset = 10054;
inline constexpr int32_t Shutdown = 10058;
inline constexpr int32_t TimedOut = 10060;
inline constexpr int32_t ConnectionRefused = 10061;
// Any failure of a host name lookup. Outside the message table on purpose.
inline constexpr int32_t HostNotFound = 11001;
// An errno without a counterpart keeps its number, moved out of the table's range.
inline constexpr int32_t UnmappedBase = 20000;
} // namespace IdSocketError

// The code for an errno value of a failed socket call.
int32_t SocketErrorFromErrno(int errnoValue);

// "Socket-Fehler # <code>" CR LF and the German text of the code (empty for codes
// without a text).
std::string SocketErrorMessage(int32_t code);
