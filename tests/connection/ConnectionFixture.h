#pragma once

#include "EventRecorder.h"
#include "IdIntercept.h"
#include "IdTCPClient.h"
#include "LoopbackPeer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

// Notes the size of every platform receive and send of the connection it watches.
class RecordingIntercept : public TIdConnectionIntercept {
 public:
  void NoteReceived(const char*, int32_t count) override { received.push_back(count); }
  void NoteSent(const char* buffer, int32_t count) override {
    sent.push_back(count);
    sentBytes.append(buffer, static_cast<size_t>(count));
  }
  std::vector<int32_t> received, sent;
  std::string sentBytes;
};

// A client connected to a scripted loopback peer, with its events written down.
class ConnectionFixture : public ::testing::Test {
 protected:
  void Start(std::function<void(peer::TPeerSocket&)> script) {
    server = std::make_unique<peer::TLoopbackPeer>(std::move(script));
    client.Host = "127.0.0.1";
    client.Port = server->Port();
    client.Connect();
    events.clear(); // tests look at what follows the connect
  }
  void Record() {
    RecordEvents(client, events);
    client.OnDisconnected = [this](TComponent*) { events.push_back("disconnected"); };
  }
  void WatchWith(RecordingIntercept& intercept) {
    client.SetIntercept(&intercept);
    client.SetInterceptEnabled(true);
  }
  void TearDown() override {
    client.Disconnect();
    if (server) {
      EXPECT_EQ(server->Join(), "");
    }
  }

  TIdTCPClient client;
  std::unique_ptr<peer::TLoopbackPeer> server;
  std::vector<std::string> events;
};

using Lines = std::vector<std::string>;
