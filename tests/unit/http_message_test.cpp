// HTTP for the token endpoint: which URLs are posted to, the request's bytes,
// and responses read at every split, with their bounds.
#include "oauth/http_message.h"

#include <gtest/gtest.h>

#include <string>

namespace zepho {
namespace {

using Status = HttpResponseParser::Status;

TEST(HttpUrl, ParseTable) {
  struct Case {
    std::string url;
    bool ok;
    bool https = false;
    std::string host = {};
    int port = 0;
    std::string target = {};
  };
  const Case cases[] = {
      {"https://oauth2.googleapis.com/token", true, true, "oauth2.googleapis.com", 443, "/token"},
      {"https://login.microsoftonline.com/common/oauth2/v2.0/token", true, true,
       "login.microsoftonline.com", 443, "/common/oauth2/v2.0/token"},
      {"HTTPS://Idp.Example:8443", true, true, "Idp.Example", 8443, "/"},
      {"http://127.0.0.1:5000/token?x=1", true, false, "127.0.0.1", 5000, "/token?x=1"},
      {"http://localhost?x=1", true, false, "localhost", 80, "/?x=1"},
      {"https://[::1]:9000/t", true, true, "::1", 9000, "/t"},
      {"ftp://idp.example/token", false},
      {"https://", false},
      {"https://user:pw@idp.example/token", false},
      {"https://idp.example:0/", false},
      {"https://idp.example:65536/", false},
      {"https://idp.example:/", false},
      {"https://idp.example:44a/", false},
      {"https://idp example/", false},
      {"https://idp.example/to ken", false},
      {"https://idp.example/token#frag", false},
      {"https://idp.example/token\r\nX: y", false},
      {"https://[::1/t", false},
      {"https://[zz]/t", false},
      {"https://[::1]x/t", false},
      {"token", false},
  };
  for (const Case& c : cases) {
    const auto u = ParseHttpUrl(c.url);
    ASSERT_EQ(u.has_value(), c.ok) << c.url;
    if (!u) continue;
    EXPECT_EQ(u->https, c.https) << c.url;
    EXPECT_EQ(u->host, c.host) << c.url;
    EXPECT_EQ(u->port, c.port) << c.url;
    EXPECT_EQ(u->target, c.target) << c.url;
  }
}

TEST(HttpUrl, LoopbackHosts) {
  for (const char* h : {"127.0.0.1", "127.1.2.3", "127.255.255.255", "localhost", "LocalHost", "::1"})
    EXPECT_TRUE(IsLoopbackHost(h)) << h;
  for (const char* h : {"128.0.0.1", "127.0.0", "127.0.0.1.5", "127.0.0.256", "127.0.0.1x", "127..0.1",
                        "localhost.example", "10.0.0.1", "", "127.0.0.0001", "::2"})
    EXPECT_FALSE(IsLoopbackHost(h)) << h;
}

TEST(HttpRequest, PostBytes) {
  EXPECT_EQ(HttpPostRequest(*ParseHttpUrl("https://oauth2.googleapis.com/token"),
                            "application/x-www-form-urlencoded", "a=1&b=2"),
            "POST /token HTTP/1.1\r\n"
            "Host: oauth2.googleapis.com\r\n"
            "User-Agent: ZEPHO\r\n"
            "Accept: application/json\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 7\r\n"
            "Connection: close\r\n"
            "\r\n"
            "a=1&b=2");
  const std::string r = HttpPostRequest(*ParseHttpUrl("http://127.0.0.1:5000/t"), "x", "");
  EXPECT_NE(r.find("\r\nHost: 127.0.0.1:5000\r\n"), std::string::npos);
  EXPECT_NE(r.find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_NE(HttpPostRequest(*ParseHttpUrl("https://[::1]:9000/"), "x", "").find("\r\nHost: [::1]:9000\r\n"),
            std::string::npos);
}

struct Response {
  const char* name;
  std::string bytes;
  bool close_after;  // the peer closes after the bytes
  Status status;
  int code;
  std::string body;
};

const Response kResponses[] = {
    {"content-length", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n\r\n{\"a\":\"b\"}\r\n",
     false, Status::Done, 200, "{\"a\":\"b\"}\r\n"},
    {"chunked",
     "HTTP/1.1 400 Bad Request\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n{\"err\r\n"
     "a;ext=1\r\nor\":\"x\"}\r\n\r\n0\r\nX-Trailer: 1\r\n\r\n",
     false, Status::Done, 400, "{\"error\":\"x\"}\r\n"},
    {"chunked upper hex", "HTTP/1.1 200 OK\r\ntransfer-encoding: Chunked\r\n\r\nA\r\n0123456789\r\n0\r\n\r\n",
     false, Status::Done, 200, "0123456789"},
    {"until close", "HTTP/1.0 200 OK\r\n\r\nbody bytes", true, Status::Done, 200, "body bytes"},
    {"continue first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", false,
     Status::Done, 200, "ok"},
    {"no reason", "HTTP/1.1 204\r\n\r\n", false, Status::Done, 204, ""},
    {"empty length", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, Status::Done, 200, ""},
    {"bytes after the body", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokEXTRA", false, Status::Done,
     200, "ok"},
    {"closed in the body", "HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\nshort", true, Status::Failed, 200, ""},
    {"closed in the head", "HTTP/1.1 200 OK\r\nContent-Le", true, Status::Failed, 0, ""},
    {"closed in a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", true, Status::Failed,
     200, ""},
    {"not http", "SSH-2.0-OpenSSH\r\n\r\n", false, Status::Failed, 0, ""},
    {"http/2", "HTTP/2 200\r\n\r\n", false, Status::Failed, 0, ""},
    {"bad code", "HTTP/1.1 2x0 OK\r\n\r\n", false, Status::Failed, 0, ""},
    {"folded header", "HTTP/1.1 200 OK\r\nX: a\r\n b\r\nContent-Length: 0\r\n\r\n", false, Status::Failed, 0, ""},
    {"blank before colon", "HTTP/1.1 200 OK\r\nContent-Length : 0\r\n\r\n", false, Status::Failed, 0, ""},
    {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nok", false,
     Status::Failed, 200, ""},
    {"same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nok", false,
     Status::Done, 200, "ok"},
    {"length and chunked", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n",
     false, Status::Failed, 200, ""},
    {"gzip", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n", false, Status::Failed, 200, ""},
    {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, Status::Failed, 200, ""},
    {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, Status::Failed,
     200, ""},
    {"chunk without its end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nokXX0\r\n\r\n",
     false, Status::Failed, 200, ""},
};

// Replays a response split once at every byte, and then byte by byte.
TEST(HttpResponseParser, ResponsesSplitAtEveryByte) {
  for (const Response& r : kResponses) {
    for (std::size_t cut = 0; cut <= r.bytes.size(); ++cut) {
      for (bool bytewise : {false, true}) {
        HttpResponseParser p;
        Status s = Status::Incomplete;
        if (bytewise) {
          for (char c : r.bytes) s = p.Feed(std::string_view(&c, 1));
        } else {
          p.Feed(std::string_view(r.bytes).substr(0, cut));
          s = p.Feed(std::string_view(r.bytes).substr(cut));
        }
        if (r.close_after) s = p.Close();
        ASSERT_EQ(s, r.status) << r.name << " cut " << cut << " bytewise " << bytewise << ": " << p.error();
        if (s == Status::Done) {
          EXPECT_EQ(p.status_code(), r.code) << r.name;
          EXPECT_EQ(p.body(), r.body) << r.name << " cut " << cut;
        } else if (s == Status::Failed) {
          EXPECT_FALSE(p.error().empty()) << r.name;
        }
        if (bytewise) break;
      }
    }
  }
}

TEST(HttpResponseParser, HeadersByNameInAnyCase) {
  HttpResponseParser p;
  ASSERT_EQ(p.Feed("HTTP/1.1 200 OK\r\ncontent-type:  application/json \r\nContent-Length: 0\r\n\r\n"),
            Status::Done);
  EXPECT_EQ(p.Header("Content-Type"), "application/json");
  EXPECT_FALSE(p.Header("Location").has_value());
}

TEST(HttpResponseParser, Bounds) {
  const std::string head = "HTTP/1.1 200 OK\r\n";
  // Headers: just under and just over.
  for (std::size_t total : {kMaxHttpHeaderBytes, kMaxHttpHeaderBytes + 1}) {
    const std::string filler = "X: " + std::string(total - head.size() - 3 - 2 - 2, 'a') + "\r\n";
    HttpResponseParser p;
    const std::string all = head + filler + "\r\n";
    ASSERT_EQ(all.size(), total);
    EXPECT_EQ(p.Feed(all), total <= kMaxHttpHeaderBytes ? Status::Incomplete : Status::Failed) << total;
  }
  // A head that never ends.
  HttpResponseParser endless;
  Status s = Status::Incomplete;
  for (int i = 0; i < 1000 && s == Status::Incomplete; ++i) s = endless.Feed(std::string(100, 'a'));
  EXPECT_EQ(s, Status::Failed);
  // Bodies by length, chunked and to the close.
  for (std::size_t size : {kMaxHttpBodyBytes, kMaxHttpBodyBytes + 1}) {
    const bool fits = size <= kMaxHttpBodyBytes;
    HttpResponseParser by_length;
    EXPECT_EQ(by_length.Feed(head + "Content-Length: " + std::to_string(size) + "\r\n\r\n" +
                             std::string(size, 'b')),
              fits ? Status::Done : Status::Failed);
    HttpResponseParser chunked;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%zx", size - 1);
    EXPECT_EQ(chunked.Feed(head + "Transfer-Encoding: chunked\r\n\r\n1\r\nb\r\n" + hex + "\r\n" +
                           std::string(size - 1, 'b') + "\r\n0\r\n\r\n"),
              fits ? Status::Done : Status::Failed);
    HttpResponseParser to_close;
    to_close.Feed(head + "\r\n" + std::string(size, 'b'));
    EXPECT_EQ(to_close.Close(), fits ? Status::Done : Status::Failed);
  }
}

}  // namespace
}  // namespace zepho
