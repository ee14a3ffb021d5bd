// mpv-relay PIPE PORT
//
// Offers mpv's Windows IPC, a named pipe (\\.\pipe\PIPE, or PIPE when it is a full path), for an
// mpv that runs outside Windows with its IPC server on a Unix domain socket. Wine 8's Winsock has
// no AF_UNIX sockets, so the socket is reached through 127.0.0.1:PORT, where the test's
// Linux side passes each connection on to the socket (real_mpv.py). Each client of the pipe gets
// its own connection, as each client of mpv's pipe gets its own session: bytes are passed on
// both ways as they come, and when either end closes, the other is closed too. Like mpv's pipe it
// serves any number of clients at once. A client that comes while nothing listens is let in and
// dropped at once, as a pipe that closes.
//
// Prints "relay: ready" once the pipe can be opened. Runs until killed.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/process_handles_win.h"

namespace {

using quorvane::UniqueKernelHandle;

SOCKET connectSocket(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return s;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  const BOOL noDelay = TRUE;  // mpv's lines go on the moment they come
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
  return s;
}

bool sendAll(SOCKET s, const char* data, DWORD size) {
  while (size > 0) {
    const int put = send(s, data, static_cast<int>(size), 0);
    if (put == SOCKET_ERROR) {
      if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
      Sleep(1);
      continue;
    }
    data += put;
    size -= static_cast<DWORD>(put);
  }
  return true;
}

bool writePipe(HANDLE pipe, const char* data, DWORD size) {
  UniqueKernelHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED o{};
  o.hEvent = done.get();
  DWORD put = 0;
  if (!WriteFile(pipe, data, size, nullptr, &o) && GetLastError() != ERROR_IO_PENDING) return false;
  return GetOverlappedResult(pipe, &o, &put, TRUE) && put == size;
}

// One client's session, on its own thread: waits on the pipe's pending read and the socket's
// events together, so that either side's bytes are passed on the moment they come.
void relay(HANDLE pipeHandle, uint16_t port) {
  UniqueKernelHandle pipe(pipeHandle);
  const SOCKET s = connectSocket(port);
  if (s == INVALID_SOCKET) {
    DisconnectNamedPipe(pipe.get());
    return;
  }
  UniqueKernelHandle socketEvent(WSACreateEvent());
  UniqueKernelHandle readDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  WSAEventSelect(s, socketEvent.get(), FD_READ | FD_CLOSE);
  char fromPipe[4096], fromSocket[4096];
  OVERLAPPED read{};
  read.hEvent = readDone.get();
  bool reading = false, open = true;
  while (open) {
    if (!reading) {
      ResetEvent(readDone.get());
      if (!ReadFile(pipe.get(), fromPipe, sizeof fromPipe, nullptr, &read) && GetLastError() != ERROR_IO_PENDING) break;
      reading = true;
    }
    const HANDLE waits[] = {readDone.get(), socketEvent.get()};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0) {
      DWORD got = 0;
      reading = false;
      open = GetOverlappedResult(pipe.get(), &read, &got, FALSE) && sendAll(s, fromPipe, got);
    } else if (woke == WAIT_OBJECT_0 + 1) {
      WSANETWORKEVENTS events{};
      WSAEnumNetworkEvents(s, socketEvent.get(), &events);
      // Whatever waits is passed on before a close is taken.
      for (;;) {
        const int got = recv(s, fromSocket, sizeof fromSocket, 0);
        if (got > 0) {
          if (!writePipe(pipe.get(), fromSocket, static_cast<DWORD>(got))) open = false;
          continue;
        }
        if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK) open = false;
        break;
      }
    } else {
      open = false;
    }
  }
  if (reading) {
    CancelIoEx(pipe.get(), &read);
    DWORD ignored = 0;
    GetOverlappedResult(pipe.get(), &read, &ignored, TRUE);
  }
  closesocket(s);
  FlushFileBuffers(pipe.get());
  DisconnectNamedPipe(pipe.get());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mpv-relay PIPE PORT\n");
    return 2;
  }
  const std::string pipeName = std::string(argv[1]).rfind("\\\\", 0) == 0 ? argv[1] : std::string("\\\\.\\pipe\\") + argv[1];
  const auto port = static_cast<uint16_t>(std::atoi(argv[2]));
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 1;
  bool told = false;
  for (;;) {
    // The next client's instance is made as soon as the last one is taken.
    const HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                         65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "mpv-relay: cannot make the pipe %s (error %lu)\n", pipeName.c_str(), GetLastError());
      return 1;
    }
    if (!told) {
      std::printf("relay: ready\n");
      std::fflush(stdout);
      told = true;
    }
    UniqueKernelHandle connected(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED o{};
    o.hEvent = connected.get();
    DWORD ignored = 0;
    const bool ok = ConnectNamedPipe(pipe, &o) || GetLastError() == ERROR_PIPE_CONNECTED ||
                    (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(pipe, &o, &ignored, TRUE));
    if (!ok) {
      CloseHandle(pipe);
      continue;
    }
    std::thread(relay, pipe, port).detach();
  }
}
