#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

struct HttpAnswer {
  enum class Outcome : uint8_t {
    Ok,            // 200, with the whole body
    NoConnection,  // nothing listens on the port
    Unauthorized,  // 401: the password was refused
    NotOk,         // any other status, a redirect included (redirects are not followed)
    TooLarge,      // the body went past the size limit
    Failed,        // a timeout, a broken or endless answer
  };
  Outcome outcome = Outcome::Failed;
  uint32_t status = 0;
  std::string body;
};

struct LoopbackHttpOptions {
  uint16_t port = 0;
  std::string user;      // UTF-8; Basic authentication when user or password is set
  std::string password;
  uint32_t timeoutMs = 500;  // for the whole exchange, not per step
  size_t maxBodyBytes = 1 << 20;
};

// GET requests to a port of the local machine (127.0.0.1) and nowhere else: no host can be
// named. Each exchange is bounded in time and size. One object serves one thread.
class LoopbackHttp {
 public:
  virtual ~LoopbackHttp() = default;
  virtual HttpAnswer get(const std::string& path) = 0;
};

// WinHTTP on Windows; null when the system's HTTP client cannot be set up.
std::unique_ptr<LoopbackHttp> makeLoopbackHttp(const LoopbackHttpOptions& options);

}  // namespace quorvane
