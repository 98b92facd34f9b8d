// HTTP/1.1 for the token endpoint: its URL, the POST of a form, and the
// response read from bytes as they arrive (status line, headers, a body by
// Content-Length, chunked, or up to the end of the connection), every part
// bounded. No socket: the adapter feeds the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zepho {

struct HttpUrl {
  bool https = true;
  std::string host;  // without brackets for an IPv6 literal
  std::uint16_t port = 443;
  std::string target = "/";  // path and query
};

// "https://host[:port][/path][?query]" or "http://..."; no user info, no
// fragment, a host of letters, digits, '-' and '.' or a bracketed IPv6
// address. Anything else is no URL we post to.
std::optional<HttpUrl> ParseHttpUrl(std::string_view url);

// 127.0.0.0/8, ::1 and "localhost": the only hosts plain http may reach.
bool IsLoopbackHost(std::string_view host);

// A POST of `body` with Content-Length, Connection: close, Accept: JSON.
std::string HttpPostRequest(const HttpUrl& url, std::string_view content_type,
                            std::string_view body);

inline constexpr std::size_t kMaxHttpHeaderBytes = 16 * 1024;
inline constexpr std::size_t kMaxHttpBodyBytes = 256 * 1024;

class HttpResponseParser {
 public:
  enum class Status { Incomplete, Done, Failed };

  Status Feed(std::string_view bytes);
  // The peer closed the connection: ends a body that runs to the end.
  Status Close();

  Status status() const { return status_; }
  int status_code() const { return code_; }
  const std::string& body() const { return body_; }
  // The value of a header (the first of that name, any letter case), or none.
  std::optional<std::string> Header(std::string_view name) const;
  // Why it failed, for the log; never holds the peer's bytes.
  const std::string& error() const { return error_; }

 private:
  enum class Part { Head, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, ToClose, End };
  Status Fail(std::string why);
  Status Run();
  bool ReadHead(std::string_view head);

  Status status_ = Status::Incomplete;
  Part part_ = Part::Head;
  std::string in_;  // bytes not yet used
  int code_ = 0;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::string body_;
  std::size_t left_ = 0;  // of the body or of the chunk
  std::size_t trailer_bytes_ = 0;
  std::string error_;
};

}  // namespace zepho
