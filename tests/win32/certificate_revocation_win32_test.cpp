// What CertGetCertificateChain says of revocation under the platform, for a
// test root and leaves it signs: without a CRL distribution point, with one
// that refuses the connection, and with one that serves the root's CRL.
//
// Seen under Wine 8 and not tested here, since no program may rely on them:
// a CRL server (or, with no revocation flags at all, an issuer URL) that
// accepts the connection and never answers keeps CertGetCertificateChain
// waiting indefinitely, whatever dwUrlRetrievalTimeout says. And Wine keeps
// each result in a file of its own (in LocalLow\Microsoft\CryptnetUrlCache
// \Content), a revoked one as good, under names so short that certificates
// share them: after a first check, a revoked certificate passes, and so may
// another one, until the CRL's next update. The tests start each check with
// those files gone.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <winsock2.h>
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "pop3/socket_transport_win32.h"
#include "select_window.h"
#include "test_certificates.h"

namespace zepho {
namespace {

constexpr DWORD kRevocationUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
constexpr DWORD kOffline = CERT_TRUST_IS_OFFLINE_REVOCATION;
constexpr DWORD kCheckExcludingRoot = CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT;
constexpr DWORD kAccumulativeTimeout = 0x08000000;  // CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT

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
void ForgetWineRevocationResults() {
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
std::wstring FreshUrl(unsigned short port) {
  return L"http://127.0.0.1:" + std::to_wstring(port) + L"/zepho-" +
         std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) +
         L".crl";
}

struct Revocation : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(StartupSockets(), 0);
    ASSERT_TRUE(ca.ok());
  }
  void TearDown() override { CleanupSockets(); }

  // The chain's error bits for `leaf` under an engine that trusts only the test root.
  DWORD ChainErrors(PCCERT_CONTEXT leaf, DWORD flags) {
    ForgetWineRevocationResults();
    HCERTSTORE roots = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
    CertAddCertificateContextToStore(roots, ca.root(), CERT_STORE_ADD_ALWAYS, nullptr);
    ExclusiveRootConfig config{};
    config.base.cbSize = sizeof config;
    config.exclusive_root = roots;
    HCERTCHAINENGINE engine = nullptr;
    DWORD errors = 0xFFFFFFFF;
    if (CertCreateCertificateChainEngine(&config.base, &engine)) {
      CERT_CHAIN_PARA para{};
      para.cbSize = sizeof para;
      para.dwUrlRetrievalTimeout = 3000;
      PCCERT_CHAIN_CONTEXT chain = nullptr;
      if (CertGetCertificateChain(engine, leaf, nullptr, nullptr, &para, flags, nullptr, &chain)) {
        errors = chain->TrustStatus.dwErrorStatus;
        CertFreeCertificateChain(chain);
      }
      CertFreeCertificateChainEngine(engine);
    }
    CertCloseStore(roots, 0);
    return errors;
  }

  test::TestCa ca{L"CN=ZEPHO Revocation Test Root"};
};

TEST_F(Revocation, WithoutACrlPointTheStatusIsUnknown) {
  PCCERT_CONTEXT leaf = ca.Issue(0x1001, L"");
  ASSERT_TRUE(leaf);
  EXPECT_EQ(ChainErrors(leaf, 0), 0u) << "no revocation asked for";
  const DWORD errors = ChainErrors(leaf, kCheckExcludingRoot | kAccumulativeTimeout);
  EXPECT_NE(errors & (kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  EXPECT_EQ(errors & ~(kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  CertFreeCertificateContext(leaf);
}

TEST_F(Revocation, AnUnreachableCrlPointIsOffline) {
  unsigned short port;
  {
    test::LoopbackListener gone(Ipv4(127, 0, 0, 1));
    port = gone.port();
  }
  PCCERT_CONTEXT leaf = ca.Issue(0x1002, FreshUrl(port));
  ASSERT_TRUE(leaf);
  const DWORD start = GetTickCount();
  const DWORD errors = ChainErrors(leaf, kCheckExcludingRoot | kAccumulativeTimeout);
  EXPECT_LT(GetTickCount() - start, 5000u);
  // Wine sets only the offline bit; Windows both.
  EXPECT_NE(errors & kOffline, 0u) << std::hex << errors;
  EXPECT_EQ(errors & ~(kRevocationUnknown | kOffline), 0u) << std::hex << errors;
  CertFreeCertificateContext(leaf);
}

TEST_F(Revocation, AServedCrlTellsRevokedFromGood) {
  CrlServer server(ca.Crl({0x2001}));
  PCCERT_CONTEXT revoked = ca.Issue(0x2001, FreshUrl(server.port()));
  PCCERT_CONTEXT good = ca.Issue(0x2002, FreshUrl(server.port()) + L"x");
  ASSERT_TRUE(revoked && good);
  EXPECT_EQ(ChainErrors(revoked, 0), 0u);
  EXPECT_EQ(server.requests(), 0) << "without revocation flags nothing is fetched";
  // On a worker thread, as the program is to check: the same answer.
  DWORD errors = 0;
  std::thread worker([&] { errors = ChainErrors(revoked, kCheckExcludingRoot); });
  worker.join();
  EXPECT_EQ(errors, static_cast<DWORD>(CERT_TRUST_IS_REVOKED)) << std::hex << errors;
  EXPECT_EQ(ChainErrors(good, kCheckExcludingRoot), 0u);
  EXPECT_EQ(server.requests(), 2);
  CertFreeCertificateContext(revoked);
  CertFreeCertificateContext(good);
}

}  // namespace
}  // namespace zepho
