#include "IdException.h"
#include "IdGlobal.h"
#include "IdStack.h"
#include "LoopbackPeer.h"
#include "StackFixture.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

TEST(AddressText, DottedQuads) {
  struct Case {
    const char* text;
    bool dotted;
  };
  const Case cases[] = {
      {"192.168.0.1", true}, {"0.0.0.0", true},    {"255.255.255.255", true},
      {"010.1.1.1", true},   {" 1.2.3.4", true},   {"$7F.0.0.1", true},
      {"1.2.3", false},      {"1.2.3.4.5", false}, {"192.168.0.256", false},
      {"192.168.0", false},  {"a.b.c.d", false},   {"1..2.3", false},
      {"", false},           {"-1.0.0.0", false},  {"localhost", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TIdStack::IsDottedQuad(c.text), c.dotted) << "input: '" << c.text << "'";
}

TEST(AddressText, BytesRoundTrip) {
  const TIdIPBytes bytes{10, 0, 0, 1};
  EXPECT_EQ(TIdStack::IPBytesToText(bytes), "10.0.0.1");
  EXPECT_EQ(TIdStack::TextToIPBytes("10.0.0.1"), bytes);
  // Values above 255 are cut to their low 8 bits, not refused.
  EXPECT_EQ(TIdStack::TextToIPBytes("256.1.2.3"), (TIdIPBytes{0, 1, 2, 3}));
  EXPECT_THROW(TIdStack::TextToIPBytes("1.2.x.4"), EConvertError);
  EXPECT_EQ(TIdStack::HostToNetShort(0x1234), 0x3412);
  EXPECT_EQ(TIdStack::NetToHostLong(TIdStack::HostToNetLong(0x01020304u)), 0x01020304u);
}

TEST(Helpers, FetchToken) {
  std::string text = "a,b,,c";
  EXPECT_EQ(FetchToken(text, ","), "a");
  EXPECT_EQ(text, "b,,c");
  EXPECT_EQ(FetchToken(text, ",", false), "b");
  EXPECT_EQ(text, "b,,c");
  FetchToken(text, ",");
  EXPECT_EQ(FetchToken(text, ","), "");
  EXPECT_EQ(FetchToken(text, ","), "c");
  EXPECT_EQ(text, "");
}

TEST(Helpers, LastPosIgnoresCase) {
  EXPECT_EQ(LastPos(" ", "227 ok 1,2", -1), 7);
  EXPECT_EQ(LastPos("AB", "xabyab", -1), 5);
  EXPECT_EQ(LastPos("AB", "xabyab", 4), 2);
  EXPECT_EQ(LastPos("AB", "xabyab", 99), 5);
  EXPECT_EQ(LastPos("q", "xabyab", -1), 0);
  EXPECT_EQ(LastPos("long", "ab", -1), 0);
}

TEST(Helpers, MainThreadIsTheStartingThread) {
  EXPECT_TRUE(IsMainThread());
  bool other = true;
  std::thread([&] { other = IsMainThread(); }).join();
  EXPECT_FALSE(other);
}

// The coarse reading is a steady_clock time point, so it must be comparable with precise
// ones: the same start, at most a tick behind, never ahead.
TEST(Helpers, CoarseClockIsTheSteadyClockATickBehind) {
  for (int i = 0; i < 1000; ++i) {
    const auto before = std::chrono::steady_clock::now();
    const auto coarse = CoarseSteadyNow();
    const auto after = std::chrono::steady_clock::now();
    ASSERT_LE(coarse, after);
    ASSERT_GT(coarse, before - std::chrono::milliseconds(50));
  }
}
class Stack : public StackFixture {};

TEST_F(Stack, HostToIP) {
  EXPECT_EQ(GlobalStack->HostToIP("localhost"), "127.0.0.1");
  EXPECT_EQ(GlobalStack->HostToIP("LocalHost"), "127.0.0.1");
  EXPECT_EQ(GlobalStack->HostToIP("192.168.0.1"), "192.168.0.1");
  try {
    GlobalStack->HostToIP("no-such-host.invalid");
    FAIL() << "no exception";
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 11001);
    EXPECT_EQ(e.Message, "Socket-Fehler # 11001\r\n");
  }
}

TEST_F(Stack, ServicePort) {
  EXPECT_EQ(GlobalStack->ServicePort("ftp"), 21);
  EXPECT_EQ(GlobalStack->ServicePort("2121"), 2121);
  try {
    GlobalStack->ServicePort("no-such-service");
    FAIL() << "no exception";
  } catch (const EIdInvalidServiceName& e) {
    EXPECT_EQ(e.Message, "no-such-service ist kein gültiger Service.");
  }
  const auto names = GlobalStack->ServiceNamesOfPort(21);
  ASSERT_GE(names->Count(), 1);
  EXPECT_EQ(names->Strings(0), "ftp");
}

TEST_F(Stack, SelectListLimit) {
  // A listening socket with nobody knocking is not readable.
  const int32_t fd = GlobalStack->NewSocket(Id_SOCK_STREAM, 0);
  ASSERT_EQ(GlobalStack->SockBind(fd, Id_AF_INET, "127.0.0.1", 0), 0);
  ASSERT_EQ(GlobalStack->SockListen(fd, 1), 0);
  TIdSocketList full(64, fd);
  EXPECT_EQ(GlobalStack->SockSelect(&full, nullptr, nullptr, 0), 0);
  EXPECT_TRUE(full.empty()) << "a socket that is not readable leaves the list";
  TIdSocketList tooMany(65, fd);
  EXPECT_THROW(GlobalStack->SockSelect(nullptr, &tooMany, nullptr, 0), EIdStackSetSizeExceeded);
  GlobalStack->SockClose(fd);
}

TEST_F(Stack, SelectWaitsForDataOnAnyDescriptorNumber) {
  std::promise<void> looked;
  std::future<void> lookedAt = looked.get_future();
  peer::TLoopbackPeer server([&lookedAt](peer::TPeerSocket& s) {
    // Data only once the client has seen that there is none.
    if (lookedAt.wait_for(peer::DefaultDeadline) != std::future_status::ready)
      throw std::runtime_error("the client never looked");
    s.Send("x");
    s.ReceiveSome(); // until the client closes
  });
  const int low = peer::ConnectTo(server.Port());
  // Far above what a select() set can hold.
  const int high = ::fcntl(low, F_DUPFD_CLOEXEC, 1500);
  ASSERT_GE(high, 1500);
  ::close(low);
  TIdSocketList list{high};
  EXPECT_EQ(GlobalStack->SockSelect(&list, nullptr, nullptr, 0), 0);
  looked.set_value();
  list = {high};
  EXPECT_EQ(GlobalStack->SockSelect(&list, nullptr, nullptr, TimeoutInfinite), 1);
  EXPECT_EQ(list, TIdSocketList{high});
  ::close(high);
  EXPECT_EQ(server.Join(), "");
}

TEST_F(Stack, SelectOnAClosedDescriptorFails) {
  const int32_t fd = GlobalStack->NewSocket(Id_SOCK_STREAM, 0);
  GlobalStack->SockClose(fd);
  TIdSocketList list{fd};
  EXPECT_EQ(GlobalStack->SockSelect(&list, nullptr, nullptr, 0), -1);
  EXPECT_EQ(GlobalStack->SockLastError(), 10038);
}

TEST_F(Stack, SendToAPeerThatHasGoneFailsWithoutKillingTheProcess) {
  peer::TLoopbackPeer server([](peer::TPeerSocket& s) { s.Close(); });
  const int fd = peer::ConnectTo(server.Port());
  EXPECT_EQ(server.Join(), "");
  const std::string block(65536, 'x');
  int32_t result = 0;
  // The first sends may still be taken; one meets the reset or the closed pipe within the
  // deadline.
  const auto deadline = std::chrono::steady_clock::now() + peer::DefaultDeadline;
  while (result != -1 && std::chrono::steady_clock::now() < deadline)
    result = GlobalStack->SockSend(fd, block.data(), static_cast<int32_t>(block.size()), 0);
  EXPECT_EQ(result, -1);
  const int32_t code = GlobalStack->SockLastError();
  EXPECT_TRUE(code == 10058 || code == 10054) << code;
  ::close(fd);
}

TEST(StackLifecycle, LocalAddresses) {
  GlobalStack = TIdStack::CreatePlatformStack().release();
  const TStringList& ips = GlobalStack->LocalIPs();
  ASSERT_GE(ips.Count(), 1);
  EXPECT_TRUE(TIdStack::IsDottedQuad(GlobalStack->FirstLocalIP()));
  delete GlobalStack;
  GlobalStack = nullptr;
}

} // namespace
