// The browser's request on the loopback listener: only the sign-in's own
// state counts, and every request gets an answer.
#include "oauth/redirect_request.h"

#include <gtest/gtest.h>

#include <string>

namespace zepho {
namespace {

using Kind = RedirectResult::Kind;

constexpr char kState[] = "Qm9ndXNTdGF0ZTEyMzQ1Ng";

std::string Get(const std::string& target) {
  return "GET " + target +
         " HTTP/1.1\r\nHost: 127.0.0.1:51234\r\nUser-Agent: Mozilla/5.0\r\nAccept: text/html\r\n\r\n";
}

TEST(RedirectRequest, RequestTable) {
  struct Case {
    std::string request;
    Kind kind;
    std::string code = {}, error = {}, description = {};
  };
  const std::string s = std::string("state=") + kState;
  const Case cases[] = {
      {Get("/?code=M.C507_BAY.2.U.abc&" + s), Kind::Code, "M.C507_BAY.2.U.abc"},
      {Get("/?" + s + "&code=4%2F0AeaYSH&scope=https%3A%2F%2Fmail.google.com%2F"), Kind::Code, "4/0AeaYSH"},
      {Get("/?" + s + "&code=c0de-x1&session_state=x"), Kind::Code, "c0de-x1"},
      {Get("/?error=access_denied&error_description=The+user+has+denied+access.&" + s), Kind::Error, "",
       "access_denied", "The user has denied access."},
      {Get("/?error=access_denied&" + s + "&code=a"), Kind::Error, "", "access_denied"},
      // Not ours: the listener answers and waits on.
      {Get("/?code=a&state=other"), Kind::Ignored},
      {Get("/?code=a&state=" + std::string(kState) + "x"), Kind::Ignored},
      {Get("/?code=a"), Kind::Ignored},
      {Get("/?error=access_denied"), Kind::Ignored},
      {Get("/?code=a&state="), Kind::Ignored},
      {Get("/?" + s), Kind::Ignored},  // neither code nor error
      {Get("/?" + s + "&code="), Kind::Ignored},
      {Get("/favicon.ico"), Kind::Ignored},
      {Get("/callback?code=a&" + s), Kind::Ignored},
      {Get("/"), Kind::Ignored},
      // The first state counts, not a second one slipped in.
      {Get("/?state=other&code=a&" + s), Kind::Ignored},
      {Get("/?" + s + "&code=c0de-x2&state=other"), Kind::Code, "c0de-x2"},
      // Not a request we take.
      {"POST /?code=a&" + s + " HTTP/1.1\r\n\r\n", Kind::Malformed},
      {"GET /?code=a&" + s + " HTTP/2\r\n\r\n", Kind::Malformed},
      {"GET /?code=a&" + s + "\r\n\r\n", Kind::Malformed},
      {"GET /?code=%zz&" + s + " HTTP/1.1\r\n\r\n", Kind::Malformed},
      {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), Kind::Malformed},  // TLS, at once
  };
  for (const Case& c : cases) {
    RedirectRequestParser p(kState);
    const RedirectResult r = p.Feed(c.request);
    EXPECT_EQ(r.kind, c.kind) << testing::PrintToString(c.request);
    EXPECT_EQ(r.code, c.code) << c.request;
    EXPECT_EQ(r.error, c.error) << c.request;
    EXPECT_EQ(r.error_description, c.description) << c.request;
    EXPECT_FALSE(r.response.empty()) << "every request is answered";
    EXPECT_EQ(r.response.find(kState), std::string::npos);
    if (!r.code.empty()) {
      EXPECT_EQ(r.response.find(r.code), std::string::npos) << "the code is not echoed";
    }
  }
}

TEST(RedirectRequest, SplitAtEveryByte) {
  const std::string request = Get(std::string("/?code=c0de&state=") + kState);
  for (std::size_t cut = 1; cut < request.size(); ++cut) {
    RedirectRequestParser p(kState);
    const RedirectResult first = p.Feed(request.substr(0, cut));
    ASSERT_EQ(first.kind, Kind::Incomplete) << cut;
    EXPECT_TRUE(first.response.empty());
    const RedirectResult r = p.Feed(request.substr(cut));
    EXPECT_EQ(r.kind, Kind::Code) << cut;
    EXPECT_EQ(r.code, "c0de");
  }
}

TEST(RedirectRequest, Bound) {
  const std::string start = std::string("GET /?state=") + kState + "&code=c&pad=";
  for (std::size_t total : {kMaxRedirectRequestBytes, kMaxRedirectRequestBytes + 1}) {
    const std::string tail = " HTTP/1.1\r\n\r\n";
    const std::string request = start + std::string(total - start.size() - tail.size(), 'x') + tail;
    ASSERT_EQ(request.size(), total);
    RedirectRequestParser p(kState);
    EXPECT_EQ(p.Feed(request).kind, total <= kMaxRedirectRequestBytes ? Kind::Code : Kind::Malformed);
  }
  // Headers that never end.
  RedirectRequestParser p(kState);
  RedirectResult r = p.Feed("GET /?");
  std::size_t fed = 6;
  for (; fed < 2 * kMaxRedirectRequestBytes && r.kind == Kind::Incomplete; fed += 1000)
    r = p.Feed(std::string(1000, 'h'));
  EXPECT_EQ(r.kind, Kind::Malformed);
  EXPECT_LE(fed, kMaxRedirectRequestBytes + 1000);
}

TEST(RedirectRequest, AnswersAreJapaneseUtf8Pages) {
  const std::string ok = RedirectResponse(Kind::Code);
  EXPECT_EQ(ok.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(ok.find("charset=utf-8"), std::string::npos);
  EXPECT_NE(ok.find("このタブは閉じてかまいません"), std::string::npos);
  const std::size_t head_end = ok.find("\r\n\r\n");
  const std::string length = "Content-Length: " + std::to_string(ok.size() - head_end - 4) + "\r\n";
  EXPECT_NE(ok.find(length), std::string::npos);
  EXPECT_NE(RedirectResponse(Kind::Error).find("できませんでした"), std::string::npos);
  EXPECT_EQ(RedirectResponse(Kind::Ignored).substr(0, 12), "HTTP/1.1 404");
  EXPECT_EQ(RedirectResponse(Kind::Malformed).substr(0, 12), "HTTP/1.1 400");
}

}  // namespace
}  // namespace zepho
