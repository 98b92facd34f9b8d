// For the certificate tests: a CRL server on loopback, the engine that
// trusts only a test root, and the removal of what Wine keeps of earlier
// revocation checks.
#pragma once

#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "select_window.h"

namespace zepho::test {

// The engine configuration from Windows 7 on, newer than the program's headers:
// its exclusive root is the only one trusted.
struct ExclusiveRootConfig {
  CERT_CHAIN_ENGINE_CONFIG base;
  HCERTSTORE exclusive_root;
  HCERTSTORE exclusive_trusted_people;
};

// A one-request-at-a-time HTTP server on loopback that answers every GET with
// `body`, counting the requests.
class CrlServer {
 public:
  explicit CrlServer(std::string body) : body_(std::move(body)) {
    thread_ = std::thread([this] { Serve(); });
  }
  ~CrlServer() {
    // A connection of its own wakes the accept up to see the stop.
    stop_ = true;
    SOCKET wake = socket(AF_INET, SOCK_STREAM, 0);
    int len = 0;
    sockaddr_storage to = test::SocketAddress(Ipv4(127, 0, 0, 1), port(), len);
    connect(wake, reinterpret_cast<sockaddr*>(&to), len);
    thread_.join();
    closesocket(wake);
  }
  unsigned short port() const { return listener_.port(); }
  int requests() const { return requests_; }

 private:
  void Serve() {
    while (!stop_) {
      SOCKET c = listener_.Accept();
      if (c == INVALID_SOCKET) return;
      if (stop_) {
        closesocket(c);
        return;
      }
      char request[4096];
      if (recv(c, request, sizeof request, 0) > 0) {
        ++requests_;
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/pkix-crl\r\n"
                                  "Content-Length: " + std::to_string(body_.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body_;
        send(c, reply.data(), static_cast<int>(reply.size()), 0);
      }
      closesocket(c);
    }
  }

  std::string body_;
  test::LoopbackListener listener_{Ipv4(127, 0, 0, 1)};
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// Removes the results Wine keeps; Windows keeps no such files.
inline void ForgetWineRevocationResults() {
  wchar_t profile[MAX_PATH];
  if (!GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH)) return;
  const std::wstring folder =
      std::wstring(profile) + L"\\AppData\\LocalLow\\Microsoft\\CryptnetUrlCache\\Content\\";
  static const char kSignature[] = "Wine cached revocation";
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring path = folder + found.cFileName;
    char head[sizeof kSignature] = {};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD got = 0;
    ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    if (got == sizeof head && std::memcmp(head, kSignature, sizeof head) == 0)
      DeleteFileW(path.c_str());
  } while (FindNextFileW(find, &found));
  FindClose(find);
}

// A URL no run has used before, so no cache answers for it.
inline std::wstring FreshUrl(unsigned short port) {
  return L"http://127.0.0.1:" + std::to_wstring(port) + L"/zepho-" +
         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) +
         L".crl";
}

// A chain engine that trusts `root` only; the caller frees it.
inline HCERTCHAINENGINE EngineTrusting(PCCERT_CONTEXT root) {
  HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  CertAddCertificateContextToStore(roots, root, CERT_STORE_ADD_ALWAYS, nullptr);
  ExclusiveRootConfig config{};
  config.base.cbSize = sizeof config;
  config.exclusive_root = roots;
  HCERTCHAINENGINE engine = nullptr;
  if (!CertCreateCertificateChainEngine(&config.base, &engine)) engine = nullptr;
  CertCloseStore(roots, 0);
  return engine;
}

}  // namespace zepho::test
