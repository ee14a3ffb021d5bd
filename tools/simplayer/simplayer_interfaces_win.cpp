#include "simplayer_interfaces_win.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <thread>

namespace quorvane::simplayer {
namespace {

TruthSource mpcTruth;
TruthSource potTruth;
TruthSource mpvTruth;

std::string clockString(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
  return text;
}

// ---- MPC-HC's web interface --------------------------------------------------------------

std::string variablesPage(const Truth& t) {
  const std::string state = t.playing ? "2" : "1";
  return "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<title>MPC-HC WebServer - Variables</title>\r\n</head>\r\n<body>\r\n"
         "<p id=\"file\">film.mkv</p>\r\n<p id=\"filepatharg\">C%3a%5cfilms%5cfilm.mkv</p>\r\n"
         "<p id=\"filepath\">C:\\films\\film.mkv</p>\r\n<p id=\"filedirarg\">C%3a%5cfilms</p>\r\n"
         "<p id=\"filedir\">C:\\films</p>\r\n<p id=\"state\">" + state + "</p>\r\n"
         "<p id=\"statestring\">" + (t.playing ? "Playing" : "Paused") + "</p>\r\n"
         "<p id=\"position\">" + std::to_string(t.positionMs) + "</p>\r\n"
         "<p id=\"positionstring\">" + clockString(t.positionMs) + "</p>\r\n"
         "<p id=\"duration\">36000000</p>\r\n<p id=\"durationstring\">10:00:00</p>\r\n"
         "<p id=\"volumelevel\">100</p>\r\n<p id=\"muted\">0</p>\r\n<p id=\"playbackrate\">1</p>\r\n"
         "<p id=\"size\">1 GB</p>\r\n<p id=\"reloadtime\">0</p>\r\n<p id=\"version\">1.9.0</p>\r\n"
         "</body>\r\n</html>\r\n";
}

void serveMpc(SOCKET listener) {
  for (;;) {
    const SOCKET client = accept(listener, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    const DWORD timeoutMs = 1000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 8192) {
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<size_t>(got));
    }
    // The page is made at the moment the request is complete, as the real player makes it.
    std::string reply;
    if (request.rfind("GET /variables.html ", 0) == 0) {
      const std::string body = variablesPage(mpcTruth());
      reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
              std::to_string(body.size()) + "\r\n\r\n" + body;
    } else {
      reply = "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
    }
    send(client, reply.data(), static_cast<int>(reply.size()), 0);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

// ---- PotPlayer's window messages -----------------------------------------------------------

LRESULT CALLBACK potWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) {
    const Truth t = potTruth();
    if (wParam == 0x5004) return static_cast<LRESULT>(t.positionMs);
    if (wParam == 0x5006) return t.playing ? 2 : 1;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---- mpv's JSON IPC ------------------------------------------------------------------------

bool writeLine(HANDLE pipe, const std::string& line) {
  const std::string out = line + "\n";
  DWORD put = 0;
  return WriteFile(pipe, out.data(), static_cast<DWORD>(out.size()), &put, nullptr) && put == out.size();
}

std::string change(int id, const char* name, const std::string& data) {
  return "{\"event\":\"property-change\",\"id\":" + std::to_string(id) + ",\"name\":\"" + name + "\",\"data\":" + data + "}";
}

std::string seconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(ms) / 1000.0);
  return text;
}

// One client's session: commands in, replies and events out, until it goes.
void serveMpvClient(HANDLE pipe) {
  std::string pending;
  int timeId = 0, pauseId = 0;
  bool lastPlaying = false;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return;
    if (available > 0) {
      char buffer[1024];
      DWORD got = 0;
      if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr)) return;
      pending.append(buffer, got);
    }
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      // {"command":["observe_property",ID,"NAME"]}
      int id = 0;
      char name[32] = {};
      const size_t at = line.find("\"observe_property\"");
      if (at == std::string::npos ||
          std::sscanf(line.c_str() + at, "\"observe_property\" , %d , \"%31[^\"]\"", &id, name) != 2) {
        if (!writeLine(pipe, "{\"request_id\":0,\"error\":\"invalid parameter\"}")) return;
        continue;
      }
      if (!writeLine(pipe, "{\"request_id\":0,\"error\":\"success\"}")) return;
      // An observed property is reported once at once, then on every change.
      const Truth t = mpvTruth();
      const std::string property = name;
      if (property == "time-pos") {
        timeId = id;
        if (!writeLine(pipe, change(id, "time-pos", seconds(t.positionMs)))) return;
      } else if (property == "pause") {
        pauseId = id;
        lastPlaying = t.playing;
        if (!writeLine(pipe, change(id, "pause", t.playing ? "false" : "true"))) return;
      } else if (property == "speed") {
        if (!writeLine(pipe, change(id, "speed", "1.000000"))) return;
      }
    }
    const Truth t = mpvTruth();
    if (pauseId != 0 && t.playing != lastPlaying) {
      lastPlaying = t.playing;
      if (!writeLine(pipe, change(pauseId, "pause", t.playing ? "false" : "true"))) return;
      if (timeId != 0 && !writeLine(pipe, change(timeId, "time-pos", seconds(t.positionMs)))) return;
    }
    // time-pos changes with every frame shown: 30 a second here.
    if (timeId != 0 && t.playing && !writeLine(pipe, change(timeId, "time-pos", seconds(t.positionMs)))) return;
    Sleep(33);
  }
}

}  // namespace

bool startMpcWebInterface(uint16_t port, TruthSource truth) {
  mpcTruth = std::move(truth);
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0) {
    closesocket(listener);
    return false;
  }
  std::thread([listener] { serveMpc(listener); }).detach();  // ends with the process
  return true;
}

bool startPotPlayerWindow(TruthSource truth) {
  potTruth = std::move(truth);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = potWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "PotPlayer64";
  if (!RegisterClassA(&windowClass)) return false;
  return CreateWindowA(windowClass.lpszClassName, "PotPlayer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                       windowClass.hInstance, nullptr) != nullptr;
}

bool startMpvPipe(const std::string& pipePath, TruthSource truth) {
  mpvTruth = std::move(truth);
  // As mpv does, any number of clients at once, each in a session of its own: the next
  // client's instance is made as soon as the last one is taken.
  std::thread([pipePath] {
    for (;;) {
      const HANDLE pipe = CreateNamedPipeA(pipePath.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                           PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
      if (pipe == INVALID_HANDLE_VALUE) {
        Sleep(100);
        continue;
      }
      if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        CloseHandle(pipe);
        continue;
      }
      std::thread([pipe] {
        serveMpvClient(pipe);
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
      }).detach();
    }
  }).detach();  // ends with the process
  return true;
}

}  // namespace quorvane::simplayer
