#include "ConnectionFixture.h"
#include "IdTCPExceptions.h"
#include "MemoryStream.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

class Lines_ : public ConnectionFixture {};

TEST_F(Lines_, LineEnds) {
  Start([](peer::TPeerSocket& s) {
    s.Send("220 ok\r\n220 ok\r\na\rb\n");
    s.ReceiveSome();
  });
  EXPECT_EQ(client.ReadLine(), "220 ok");
  EXPECT_EQ(client.ReadLine("\r\n"), "220 ok");
  EXPECT_EQ(client.ReadLine(), "a\rb") << "only a CR right before the LF goes";
}

// Tells another thread how many receives brought data.
class CountingIntercept : public RecordingIntercept {
 public:
  void NoteReceived(const char* buffer, int32_t count) override {
    RecordingIntercept::NoteReceived(buffer, count);
    if (count > 0) ++receives;
  }
  // Whether count receives have brought data before the deadline.
  bool WaitForReceives(int count) const {
    const auto deadline = std::chrono::steady_clock::now() + peer::DefaultDeadline;
    while (receives < count && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    return receives >= count;
  }
  std::atomic<int> receives{0};
};

TEST_F(Lines_, SplitOverReceivesAndManyInOne) {
  CountingIntercept trace;
  WatchWith(trace);
  Start([&trace](peer::TPeerSocket& s) {
    s.Send("hel");
    // The rest of the line only once the client has read the start: two receives.
    if (!trace.WaitForReceives(1)) throw std::runtime_error("the client read nothing");
    s.Send("lo\n");
    s.ReceiveUntil("next");
    s.Send("one\ntwo\n");
    s.ReceiveSome();
  });
  EXPECT_EQ(client.ReadLine(), "hello");
  EXPECT_EQ(trace.received.size(), 2u);
  client.WriteText("next");
  EXPECT_EQ(client.ReadLine(), "one");
  EXPECT_EQ(client.ReadLine(), "two");
  EXPECT_EQ(trace.received.size(), 3u) << "the second line came from the buffer";
}

TEST_F(Lines_, PeerClosesInTheMiddleOfALine) {
  Record();
  Start([](peer::TPeerSocket& s) { s.Send("abc"); });
  EXPECT_EQ(server->Join(), "");
  EXPECT_EQ(client.ReadLine(), "");
  EXPECT_TRUE(client.LineTimedOut);
  EXPECT_EQ(events, (Lines{"status 3 Verbindung zu 127.0.0.1 wird getrennt.",
                           "status 4 Nicht verbunden.", "disconnected"}));
  EXPECT_THROW(client.ReadLine(), EIdConnClosedByPeer) << "the peer closed it: not silent";
  EXPECT_EQ(client.TakeInput(3), "abc");
  EXPECT_EQ(events.size(), 3u) << "the close is reported once";
}

TEST_F(Lines_, TimeOutLeavesTheConnectionOpen) {
  Start([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.ReadLine("", 500), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 450ms);
  EXPECT_TRUE(client.LineTimedOut);
  EXPECT_TRUE(client.Connected());
}

TEST_F(Lines_, NonBlankLinesAreTrimmed) {
  Start([](peer::TPeerSocket& s) {
    s.Send("   \r\n\t\r\n\r\n  text \t\r\n");
    s.ReceiveSome();
  });
  EXPECT_EQ(client.ReadNonBlankLine(), "text");
}

TEST_F(Lines_, TakeInputNeverTakesPart) {
  Start([](peer::TPeerSocket& s) {
    s.Send("x\nabc");
    s.ReceiveSome();
  });
  EXPECT_EQ(client.ReadLine(), "x");
  while (client.InputSize() < 3)
    client.ReceiveChunk(true, 1000, nullptr, true);
  EXPECT_THROW(client.TakeInput(5), EIdNotEnoughDataInBuffer);
  EXPECT_EQ(client.InputSize(), 3);
}

TEST_F(Lines_, TopBitClearedWithTheASCIIFilter) {
  Start([](peer::TPeerSocket& s) {
    s.Send("\xC4\x41\n");
    s.ReceiveSome();
  });
  client.ASCIIFilter = true;
  EXPECT_EQ(client.ReadLine(), "\x44\x41");
}

TEST_F(Lines_, AnEndlessLineIsRefused) {
  Start([](peer::TPeerSocket& s) {
    const std::string block(64 * 1024, 'x');
    try {
      for (int i = 0; i < 64; ++i) // 4 MiB without a line end, unless refused sooner
        s.Send(block);
    } catch (const std::exception&) {
      // the client hung up: that is the point
    }
  });
  try {
    client.ReadLine();
    FAIL() << "no exception";
  } catch (const EIdPeerDataTooLong& e) {
    EXPECT_NE(e.Message.find("mehr als 1048576 Bytes"), std::string::npos) << e.Message;
  }
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.InputSize(), 0);
}

class Streams : public ConnectionFixture {};

TEST_F(Streams, ReadUntilClosed) {
  Record();
  const std::string payload(100000, 'p');
  Start([&](peer::TPeerSocket& s) {
    s.Send(payload);
    s.Close();
  });
  TMemoryStream stream;
  client.ReadToStream(stream, -1, true);
  EXPECT_EQ(stream.Data(), payload);
  ASSERT_GE(events.size(), 7u);
  EXPECT_EQ(events.front(), "begin 0 0");
  // The receive that sees the close reports 0 bytes: the total once more.
  EXPECT_EQ(
      Lines(events.end() - 6, events.end()),
      (Lines{"work 0 100000", "work 0 100000", "status 3 Verbindung zu 127.0.0.1 wird getrennt.",
             "status 4 Nicht verbunden.", "disconnected", "end 0"}));
}

TEST_F(Streams, ReadACountThatNeverComes) {
  Record();
  Start([](peer::TPeerSocket& s) { s.Send("1234"); });
  EXPECT_EQ(server->Join(), "");
  TMemoryStream stream;
  EXPECT_THROW(client.ReadToStream(stream, 10, false), EIdConnClosedByPeer);
  EXPECT_EQ(events.back(), "end 0");
  EXPECT_EQ(stream.Size(), 10) << "the stream keeps its presized length";
}

TEST_F(Streams, BufferedBytesGoFirstAndAreNoWork) {
  Record();
  Start([](peer::TPeerSocket& s) {
    s.Send("line\nDATA");
    s.ReceiveUntil("more");
    s.Send("MORE");
    s.Close();
  });
  EXPECT_EQ(client.ReadLine(), "line");
  while (client.InputSize() < 4)
    client.ReceiveChunk(true, 1000, nullptr, true);
  client.WriteText("more");
  events.clear();
  TMemoryStream stream;
  client.ReadToStream(stream, -1, true);
  EXPECT_EQ(stream.Data(), "DATAMORE");
  EXPECT_EQ(events[0], "begin 0 0");
  EXPECT_EQ(events[1], "work 0 4") << "only the received bytes count";
}

TEST_F(Streams, WritesInSendBufferSizeChunks) {
  RecordingIntercept trace;
  WatchWith(trace);
  Record();
  std::string received;
  Start([&](peer::TPeerSocket& s) { received = s.ReceiveAll(); });
  TMemoryStream source;
  const std::string payload(70000, 'w');
  source.Write(payload.data(), static_cast<int64_t>(payload.size()));
  client.SendBufferSize = 32768;
  client.WriteFromStream(source);
  EXPECT_EQ(trace.sent, (std::vector<int32_t>{32768, 32768, 4464}));
  EXPECT_EQ(events,
            (Lines{"begin 1 70000", "work 1 32768", "work 1 65536", "work 1 70000", "end 1"}));
  client.Disconnect();
  EXPECT_EQ(server->Join(), "");
  EXPECT_EQ(received, payload);
}

TEST_F(Streams, EmptyWritesSendNothing) {
  RecordingIntercept trace;
  WatchWith(trace);
  Record();
  Start([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  client.WriteText("");
  TMemoryStream empty;
  client.WriteFromStream(empty);
  EXPECT_TRUE(trace.sent.empty());
  EXPECT_EQ(events, (Lines{"begin 1 0", "end 1"}));
}

TEST_F(Streams, FromTheCurrentPositionWithALengthPrefix) {
  std::string received;
  Start([&](peer::TPeerSocket& s) { received = s.ReceiveAll(); });
  TMemoryStream source;
  source.Write("abcdef", 6);
  source.SetPosition(2);
  client.WriteFromStream(source, false, true);
  client.Disconnect();
  EXPECT_EQ(server->Join(), "");
  EXPECT_EQ(received, std::string("\0\0\0\4cdef", 8));
}

class Closing : public ConnectionFixture {};

TEST_F(Closing, ACloseIsSeenByTheNextReceive) {
  Start([](peer::TPeerSocket& s) { s.Close(); });
  EXPECT_EQ(server->Join(), "");
  EXPECT_TRUE(client.Connected()) << "nothing probes the socket";
  EXPECT_EQ(client.ReadAvailable(), "");
  EXPECT_FALSE(client.Connected());
}

TEST_F(Closing, DisconnectTwiceReportsOnce) {
  Record();
  Start([](peer::TPeerSocket& s) { s.ReceiveSome(); });
  client.Disconnect();
  client.Disconnect();
  EXPECT_EQ(events, (Lines{"status 3 Verbindung zu 127.0.0.1 wird getrennt.",
                           "status 4 Nicht verbunden.", "disconnected"}));
  EXPECT_THROW(client.WriteLine("x"), EIdConnClosedGracefully);
}

TEST_F(Closing, WritingToAPeerThatHasGoneDropsTheConnection) {
  Start([](peer::TPeerSocket& s) { s.Close(); });
  EXPECT_EQ(server->Join(), "");
  const std::string block(65536, 'x');
  // The first writes may still be taken; one meets the reset within the deadline.
  bool failed = false;
  const auto deadline = std::chrono::steady_clock::now() + peer::DefaultDeadline;
  while (!failed && std::chrono::steady_clock::now() < deadline) {
    try {
      client.WriteText(block);
    } catch (const EIdConnClosedByPeer&) {
      failed = true;
    }
  }
  EXPECT_TRUE(failed);
}

} // namespace
