#include "InOutError.h"

#include "Format.h"

#include <cerrno>

namespace {

constexpr int FileNotFound = 2;
constexpr int InvalidFileName = 3;
constexpr int TooManyOpenFiles = 4;
constexpr int AccessDenied = 5;
constexpr int DiskFull = 101;
// An I/O device error; stands in for every errno whose number would read as one of the
// codes above.
constexpr int DeviceError = 1117;

} // namespace

int IoErrorCodeFromErrno(int errnoValue) {
  switch (errnoValue) {
  case ENOENT:
    return FileNotFound;
  case ENOTDIR:
  case ENAMETOOLONG:
  case EINVAL:
  case EISDIR:
  case ELOOP:
    return InvalidFileName;
  case EMFILE:
  case ENFILE:
    return TooManyOpenFiles;
  case EACCES:
  case EPERM:
  case EROFS:
  case ETXTBSY:
    return AccessDenied;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return DiskFull;
  default:
    break;
  }
  switch (errnoValue) {
  case FileNotFound:
  case InvalidFileName:
  case TooManyOpenFiles:
  case AccessDenied:
  case DiskFull:
    return DeviceError;
  default:
    return errnoValue;
  }
}

std::string IoErrorText(int code) {
  switch (code) {
  case FileNotFound:
    return "Datei nicht gefunden";
  case InvalidFileName:
    return "Ungültiger Dateiname";
  case TooManyOpenFiles:
    return "Zu viele geöffnete Dateien";
  case AccessDenied:
    return "Dateizugriff verweigert";
  case DiskFull:
    return "Zu wenig Speicherplatz";
  default:
    return Format("E/A-Fehler %d", code);
  }
}

void RaiseInOutError(int errnoValue) {
  const int code = IoErrorCodeFromErrno(errnoValue);
  throw EInOutError(code, IoErrorText(code));
}
