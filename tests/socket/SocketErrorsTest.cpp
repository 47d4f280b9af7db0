#include "IdException.h"
#include "IdSocketErrors.h"
#include "IdStackPosix.h"
#include "StackFixture.h"

#include <cerrno>

namespace {

TEST(SocketErrorMessage, CodeLineThenText) {
  EXPECT_EQ(SocketErrorMessage(10061), "Socket-Fehler # 10061\r\nVerbindung abgelehnt.");
  // A code outside the table: the number, the line break, nothing else.
  EXPECT_EQ(SocketErrorMessage(11001), "Socket-Fehler # 11001\r\n");
  // Texts are kept exactly, trailing blank included, missing full stop included.
  EXPECT_EQ(SocketErrorMessage(10035), "Socket-Fehler # 10035\r\nDie Operation würde blockieren. ");
  EXPECT_EQ(SocketErrorMessage(10066), "Socket-Fehler # 10066\r\nVerzeichnis ist nicht leer");
  EXPECT_EQ(SocketErrorMessage(10058),
            "Socket-Fehler # 10058\r\nNach Schließen des Socket kann weder gesendet noch "
            "empfangen werden.");
}

TEST(SocketErrorFromErrno, MapsOntoTheProgramsCodes) {
  const std::pair<int, int32_t> cases[] = {
      {ECONNREFUSED, 10061}, {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049}, {ETIMEDOUT, 10060},
      {ECONNRESET, 10054},   {ENETUNREACH, 10051},  {EHOSTUNREACH, 10065},  {EACCES, 10013},
      {ENOTSOCK, 10038},     {EBADF, 10038},        {EPIPE, 10058},         {ESHUTDOWN, 10058},
      {EINTR, 10004},        {EWOULDBLOCK, 10035},  {EINPROGRESS, 10036},   {EMFILE, 10024},
      {ENOTCONN, 10057},     {ECONNABORTED, 10053}, {ENOTEMPTY, 10066},
  };
  for (const auto& [error, code] : cases)
    EXPECT_EQ(SocketErrorFromErrno(error), code) << "errno " << error;
  // Unknown errno values keep their number, clear of the table.
  EXPECT_EQ(SocketErrorFromErrno(ENODATA), 20000 + ENODATA);
}

class CheckSocketResult : public StackFixture {};

TEST_F(CheckSocketResult, OnlyMinusOneReadsTheError) {
  TIdStackPosix::SetLastError(10054);
  EXPECT_NO_THROW(GlobalStack->CheckSocketResult(0));
  EXPECT_NO_THROW(GlobalStack->CheckSocketResult(-2));
  EXPECT_NO_THROW(GlobalStack->CheckSocketResult(17));
  try {
    GlobalStack->CheckSocketResult(-1);
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10054);
    EXPECT_EQ(e.Message, SocketErrorMessage(10054));
  }
}

TEST_F(CheckSocketResult, AllowedCodesAreLeftToTheCaller) {
  TIdStackPosix::SetLastError(10058);
  EXPECT_TRUE(GlobalStack->CheckSocketResultAllowing(-1, {10058}));
  EXPECT_FALSE(GlobalStack->CheckSocketResultAllowing(5, {10058}));
  TIdStackPosix::SetLastError(10054);
  EXPECT_THROW(GlobalStack->CheckSocketResultAllowing(-1, {10058}), EIdSocketError);
}

} // namespace
