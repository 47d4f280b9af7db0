#include "IdSocketErrors.h"

#include "Format.h"

#include <cerrno>
#include <utility>

namespace {

// clang-format off
const std::pair<int32_t, const char*> MessageTable[] = {
    {10004, "Unterbrochener Systemaufruf."},
    {10009, "Falsche Dateinummer."},
    {10013, "Zugriff verweigert."},
    {10014, "Falsche Adresse."},
    {10022, "Ungültiges Argument."},
    {10024, "Zu viele geöffnete Dateien."},
    {10035, "Die Operation würde blockieren. "},
    {10036, "Die Operation wird gerade durchgeführt."},
    {10037, "Die Operation wird bereits durchgeführt."},
    {10038, "Socket-Operation auf Nicht-Socket."},
    {10039, "Zieladresse erforderlich."},
    {10040, "Die Botschaft ist zu lang."},
    {10041, "Das Protokoll hat für Socket den falschen Typ."},
    {10042, "Falsche Protokolloption."},
    {10043, "Protokoll wird nicht unterstützt."},
    {10044, "Socket-Typ wird nicht unterstützt."},
    {10045, "Die Operation wird bei Socket nicht unterstützt."},
    {10046, "Die Protokollfamilie wird nicht unterstützt."},
    {10047, "Die Adreßfamilie wird von der Protokollfamilie nicht unterstützt."},
    {10048, "Die Adresse ist bereits in Gebrauch."},
    {10049, "Die angeforderte Adresse kann nicht zugewiesen werden."},
    {10050, "Netzwerk ist ausgefallen."},
    {10051, "Netzwerk ist nicht erreichbar."},
    {10052, "Netz hat die Verbindung verloren oder zurückgesetzt."},
    {10053, "Die Software hat den Abbruch der Verbindung verursacht."},
    {10054, "Die Verbindung wurde von Peer zurückgesetzt."},
    {10055, "Es ist kein Pufferplatz verfügbar."},
    {10056, "Socket ist bereits verbunden."},
    {10057, "Socket ist nicht verbunden."},
    {10058, "Nach Schließen des Socket kann weder gesendet noch empfangen werden."},
    {10059, "Zu viele Referenzen."},
    {10060, "Zeitüberschreitung bei Verbindung."},
    {10061, "Verbindung abgelehnt."},
    {10062, "Zu viele Ebenen von symbolischen Links."},
    {10063, "Dateiname ist zu lang."},
    {10064, "Der Host ist ausgefallen."},
    {10065, "Keine Route zum Host."},
    {10066, "Verzeichnis ist nicht leer"},
};

const std::pair<int, int32_t> ErrnoTable[] = {
    {EINTR, 10004},           {EBADF, 10038},           {EACCES, 10013},
    {EPERM, 10013},           {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},          {ENFILE, 10024},          {EAGAIN, 10035},
    {EINPROGRESS, 10036},     {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},      {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},
    {ECONNRESET, 10054},      {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},        {EPIPE, 10058},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
};
// clang-format on

} // namespace

int32_t SocketErrorFromErrno(int errnoValue) {
  for (const auto& [error, code] : ErrnoTable)
    if (error == errnoValue) return code;
  return IdSocketError::UnmappedBase + errnoValue;
}

std::string SocketErrorMessage(int32_t code) {
  const char* text = "";
  for (const auto& [known, message] : MessageTable)
    if (known == code) text = message;
  return Format("Socket-Fehler # %d\r\n%s", code, text);
}
