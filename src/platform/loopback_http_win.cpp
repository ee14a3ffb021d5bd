#include "platform/loopback_http.h"

#include <windows.h>
#include <winhttp.h>

#include <vector>

#include "platform/unique_handle.h"
#include "platform/wide_text_win.h"

namespace quorvane {
namespace {

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle invalid() { return nullptr; }
  static bool close(Handle handle) { return WinHttpCloseHandle(handle) != FALSE; }
};
using InternetHandle = UniqueHandle<InternetHandleTraits>;

class WinHttpLoopback final : public LoopbackHttp {
 public:
  WinHttpLoopback(const LoopbackHttpOptions& options, InternetHandle session, InternetHandle connection)
      : options_(options), session_(std::move(session)), connection_(std::move(connection)),
        user_(wideFromUtf8(options.user)), password_(wideFromUtf8(options.password)) {}

  HttpAnswer get(const std::string& path) override {
    HttpAnswer answer;
    const ULONGLONG deadline = GetTickCount64() + options_.timeoutMs;
    const InternetHandle request(WinHttpOpenRequest(connection_.get(), L"GET", wideFromUtf8(path).c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request) return answer;
    DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
    // The wait for the headers has a timeout of its own (90 s unless set): a server that takes
    // the request and never answers must cost no more than any other failed exchange.
    DWORD headersTimeoutMs = options_.timeoutMs;
    WinHttpSetOption(request.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeoutMs, sizeof headersTimeoutMs);
    if (!user_.empty() || !password_.empty()) {
      // Basic is sent with the first request: a second round trip per question would double the
      // cost of every read.
      WinHttpSetCredentials(request.get(), WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC, user_.c_str(),
                            password_.c_str(), nullptr);
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
      if (GetLastError() == ERROR_WINHTTP_CANNOT_CONNECT) answer.outcome = HttpAnswer::Outcome::NoConnection;
      return answer;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
      return answer;
    }
    answer.status = status;
    if (status == 401) {
      answer.outcome = HttpAnswer::Outcome::Unauthorized;
      return answer;
    }
    if (status != 200) {
      answer.outcome = HttpAnswer::Outcome::NotOk;
      return answer;
    }
    // Each read waits at most the receive timeout; the deadline bounds a body that dribbles on.
    std::vector<char> chunk(16 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!WinHttpReadData(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got)) {
        answer.body.clear();
        return answer;
      }
      if (got == 0) break;
      if (answer.body.size() + got > options_.maxBodyBytes) {
        answer.body.clear();
        answer.outcome = HttpAnswer::Outcome::TooLarge;
        return answer;
      }
      answer.body.append(chunk.data(), got);
      if (GetTickCount64() > deadline) {
        answer.body.clear();
        return answer;
      }
    }
    answer.outcome = HttpAnswer::Outcome::Ok;
    return answer;
  }

 private:
  LoopbackHttpOptions options_;
  InternetHandle session_;
  InternetHandle connection_;
  std::wstring user_;
  std::wstring password_;
};

}  // namespace

std::unique_ptr<LoopbackHttp> makeLoopbackHttp(const LoopbackHttpOptions& options) {
  InternetHandle session(
      WinHttpOpen(L"Quorvane", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return nullptr;
  const int timeout = static_cast<int>(options.timeoutMs);
  WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);
  // The address is fixed here: a setting can name a port, never another host.
  InternetHandle connection(WinHttpConnect(session.get(), L"127.0.0.1", options.port, 0));
  if (!connection) return nullptr;
  return std::make_unique<WinHttpLoopback>(options, std::move(session), std::move(connection));
}

}  // namespace quorvane
