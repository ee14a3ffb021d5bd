#include "platform/loopback_http.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace quorvane {
namespace {

// What the local server does with the one request it is sent.
enum class Serve { Reply, Silent, Dribble };

// A one-connection HTTP server on 127.0.0.1, on a port the system picks.
class LocalServer {
 public:
  LocalServer(Serve serve, std::string reply) : serve_(serve), reply_(std::move(reply)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    listen(listener_, 1);
    thread_ = std::thread([this] { serveOne(); });
  }
  ~LocalServer() {
    stopping_ = true;
    closesocket(listener_);
    {
      const std::lock_guard lock(mutex_);
      if (client_ != INVALID_SOCKET) shutdown(client_, SD_BOTH);
    }
    thread_.join();
    WSACleanup();
  }

  uint16_t port() const { return port_; }
  std::string request() {
    const std::lock_guard lock(mutex_);
    return request_;
  }

 private:
  void serveOne() {
    const SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    {
      const std::lock_guard lock(mutex_);
      client_ = client;
    }
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      received.append(buffer, static_cast<size_t>(got));
    }
    {
      const std::lock_guard lock(mutex_);
      request_ = received;
    }
    if (serve_ == Serve::Reply) {
      send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
    } else if (serve_ == Serve::Dribble) {
      // Headers promise a long body that then comes a byte at a time, never stalling long
      // enough for a single read to time out.
      send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
      for (int i = 0; i < 100 && !stopping_; ++i) {
        if (send(client, "x", 1, 0) != 1) break;
        Sleep(20);
      }
    } else {
      // Answers nothing until the client gives up (or the test ends).
      while (!stopping_) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval step{0, 20'000};
        if (select(0, &readable, nullptr, nullptr, &step) == 1 && recv(client, buffer, sizeof buffer, 0) <= 0) break;
      }
    }
    shutdown(client, SD_SEND);
    {
      const std::lock_guard lock(mutex_);
      client_ = INVALID_SOCKET;
    }
    closesocket(client);
  }

  const Serve serve_;
  const std::string reply_;
  SOCKET listener_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  SOCKET client_ = INVALID_SOCKET;
  std::string request_;
  std::thread thread_;
};

std::string reply(const char* statusLine, const std::string& body, const char* extraHeaders = "") {
  return std::string("HTTP/1.1 ") + statusLine + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

struct ExchangeCase {
  const char* name;
  Serve serve;
  std::string reply;
  size_t maxBodyBytes;
  HttpAnswer::Outcome outcome;
  uint32_t status;
  std::string body;
};

class LoopbackHttpExchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(LoopbackHttpExchange, TellsWhatTheServerAnswered) {
  const ExchangeCase& c = GetParam();
  LocalServer server(c.serve, c.reply);
  LoopbackHttpOptions options;
  options.port = server.port();
  options.timeoutMs = 400;
  options.maxBodyBytes = c.maxBodyBytes;
  const auto http = makeLoopbackHttp(options);
  ASSERT_NE(http, nullptr);
  const HttpAnswer answer = http->get("/requests/status.json");
  EXPECT_EQ(answer.outcome, c.outcome);
  EXPECT_EQ(answer.status, c.status);
  EXPECT_EQ(answer.body, c.body);
  EXPECT_EQ(server.request().rfind("GET /requests/status.json HTTP/1.1\r\n", 0), 0u) << server.request();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LoopbackHttpExchange,
    ::testing::Values(
        ExchangeCase{"Ok", Serve::Reply, reply("200 OK", "{\"time\":61}"), 1024, HttpAnswer::Outcome::Ok, 200, "{\"time\":61}"},
        ExchangeCase{"EmptyBody", Serve::Reply, reply("200 OK", ""), 1024, HttpAnswer::Outcome::Ok, 200, ""},
        ExchangeCase{"AtTheLimit", Serve::Reply, reply("200 OK", std::string(1024, 'a')), 1024, HttpAnswer::Outcome::Ok,
                     200, std::string(1024, 'a')},
        ExchangeCase{"PastTheLimit", Serve::Reply, reply("200 OK", std::string(1025, 'a')), 1024,
                     HttpAnswer::Outcome::TooLarge, 200, ""},
        ExchangeCase{"Refused", Serve::Reply, reply("401 Unauthorized", "no"), 1024, HttpAnswer::Outcome::Unauthorized,
                     401, ""},
        ExchangeCase{"RedirectNotFollowed", Serve::Reply,
                     reply("302 Found", "", "Location: http://192.0.2.1/elsewhere\r\n"), 1024,
                     HttpAnswer::Outcome::NotOk, 302, ""},
        ExchangeCase{"NotFound", Serve::Reply, reply("404 Not Found", "gone"), 1024, HttpAnswer::Outcome::NotOk, 404, ""},
        ExchangeCase{"Silent", Serve::Silent, "", 1024, HttpAnswer::Outcome::Failed, 0, ""},
        ExchangeCase{"NotHttp", Serve::Reply, "SSH-2.0-OpenSSH\r\n", 1024, HttpAnswer::Outcome::Failed, 0, ""},
        // The deadline bounds the whole exchange: a body that keeps coming is no answer.
        ExchangeCase{"EndlessBody", Serve::Dribble,
                     "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n", 1 << 20,
                     HttpAnswer::Outcome::Failed, 200, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoopbackHttp, SendsTheCredentialsWithTheFirstRequest) {
  LocalServer server(Serve::Reply, reply("200 OK", "ok"));
  LoopbackHttpOptions options;
  options.port = server.port();
  options.password = "secret";
  const auto http = makeLoopbackHttp(options);
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(http->get("/").outcome, HttpAnswer::Outcome::Ok);
  // Basic, no user name: base64 of ":secret".
  EXPECT_NE(server.request().find("Authorization: Basic OnNlY3JldA==\r\n"), std::string::npos) << server.request();
}

TEST(LoopbackHttp, NothingListeningIsNoConnection) {
  uint16_t port = 0;
  {
    const LocalServer server(Serve::Reply, "");  // a port that was free a moment ago
    port = server.port();
  }
  LoopbackHttpOptions options;
  options.port = port;
  const auto http = makeLoopbackHttp(options);
  ASSERT_NE(http, nullptr);
  EXPECT_EQ(http->get("/").outcome, HttpAnswer::Outcome::NoConnection);
}

}  // namespace
}  // namespace quorvane
