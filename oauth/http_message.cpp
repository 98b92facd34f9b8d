#include "oauth/http_message.h"

namespace zepho {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool Digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number up to `most`; none when it is not one or is larger.
std::optional<std::size_t> Number(std::string_view s, std::size_t most) {
  if (!Digits(s)) return std::nullopt;
  std::size_t v = 0;
  for (char c : s) {
    v = v * 10 + static_cast<std::size_t>(c - '0');
    if (v > most) return std::nullopt;
  }
  return v;
}

bool HostName(std::string_view h) {
  if (h.empty() || h.size() > 253) return false;
  for (char c : h)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
          c == '.'))
      return false;
  return true;
}

bool Ipv6Literal(std::string_view h) {
  if (h.size() < 2 || h.size() > 45) return false;
  for (char c : h)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
          c == '.'))
      return false;
  return h.find(':') != std::string_view::npos;
}

// Printable ASCII other than blanks: what a request target may hold here.
bool TargetText(std::string_view t) {
  for (char c : t)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F || c == '#')
      return false;
  return true;
}

}  // namespace

std::optional<HttpUrl> ParseHttpUrl(std::string_view url) {
  HttpUrl u;
  if (url.size() >= 8 && EqualNoCase(url.substr(0, 8), "https://")) {
    url.remove_prefix(8);
  } else if (url.size() >= 7 && EqualNoCase(url.substr(0, 7), "http://")) {
    u.https = false;
    u.port = 80;
    url.remove_prefix(7);
  } else {
    return std::nullopt;
  }
  const std::size_t end = url.find_first_of("/?");
  std::string_view authority = url.substr(0, end);
  const std::string_view rest = end == std::string_view::npos ? std::string_view{} : url.substr(end);
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view literal = authority.substr(1, close - 1);
    if (!Ipv6Literal(literal)) return std::nullopt;
    u.host = literal;
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else {
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      port = authority.substr(colon + 1);
      authority = authority.substr(0, colon);
      if (port.empty()) return std::nullopt;
    }
    if (!HostName(authority)) return std::nullopt;
    u.host = authority;
  }
  if (!port.empty()) {
    const auto p = Number(port, 65535);
    if (!p || *p == 0) return std::nullopt;
    u.port = static_cast<std::uint16_t>(*p);
  }
  if (!TargetText(rest)) return std::nullopt;
  if (rest.empty()) {
    u.target = "/";
  } else {
    u.target = rest.front() == '?' ? "/" + std::string(rest) : std::string(rest);
  }
  return u;
}

bool IsLoopbackHost(std::string_view host) {
  if (EqualNoCase(host, "localhost") || host == "::1") return true;
  // Dotted IPv4 with 127 as its first part.
  if (host.substr(0, 4) != "127.") return false;
  int parts = 1;
  std::size_t at = 4;
  while (true) {
    const std::size_t dot = host.find('.', at);
    const std::string_view part = host.substr(at, dot == std::string_view::npos ? dot : dot - at);
    if (!Number(part, 255) || part.size() > 3) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    at = dot + 1;
  }
  return parts == 4;
}

std::string HttpPostRequest(const HttpUrl& url, std::string_view content_type,
                            std::string_view body) {
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  if (url.port != (url.https ? 443 : 80)) host += ":" + std::to_string(url.port);
  std::string r = "POST " + url.target + " HTTP/1.1\r\n";
  r += "Host: " + host + "\r\n";
  r += "User-Agent: ZEPHO\r\n";
  r += "Accept: application/json\r\n";
  r += "Content-Type: ";
  r += content_type;
  r += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  r += "Connection: close\r\n\r\n";
  r += body;
  return r;
}

HttpResponseParser::Status HttpResponseParser::Feed(std::string_view bytes) {
  if (status_ != Status::Incomplete) return status_;
  in_.append(bytes);
  return Run();
}

HttpResponseParser::Status HttpResponseParser::Close() {
  if (status_ != Status::Incomplete) return status_;
  if (part_ == Part::ToClose) {
    status_ = Status::Done;
    return status_;
  }
  return Fail(part_ == Part::Head ? "connection closed before the headers ended"
                                  : "connection closed before the body ended");
}

std::optional<std::string> HttpResponseParser::Header(std::string_view name) const {
  for (const auto& [n, v] : headers_)
    if (EqualNoCase(n, name)) return v;
  return std::nullopt;
}

HttpResponseParser::Status HttpResponseParser::Fail(std::string why) {
  status_ = Status::Failed;
  error_ = std::move(why);
  in_.clear();
  return status_;
}

bool HttpResponseParser::ReadHead(std::string_view head) {
  code_ = 0;
  headers_.clear();
  std::size_t eol = head.find("\r\n");
  const std::string_view status_line = head.substr(0, eol);
  // "HTTP/1.x NNN reason"
  if (status_line.size() < 12 || status_line.substr(0, 7) != "HTTP/1." ||
      (status_line[7] != '0' && status_line[7] != '1') || status_line[8] != ' ' ||
      (status_line.size() > 12 && status_line[12] != ' '))
    return false;
  const auto code = Number(status_line.substr(9, 3), 999);
  if (!code || *code < 100) return false;
  code_ = static_cast<int>(*code);
  std::size_t at = eol + 2;
  while (at < head.size()) {
    eol = head.find("\r\n", at);
    const std::string_view line = head.substr(at, eol - at);
    at = eol + 2;
    if (line.empty()) break;
    const std::size_t colon = line.find(':');
    // No folded lines (obsolete) and no blank before the colon.
    if (colon == std::string_view::npos || colon == 0 || line[0] == ' ' || line[0] == '\t' ||
        line[colon - 1] == ' ' || line[colon - 1] == '\t')
      return false;
    headers_.emplace_back(std::string(line.substr(0, colon)), std::string(Trim(line.substr(colon + 1))));
  }
  return true;
}

HttpResponseParser::Status HttpResponseParser::Run() {
  for (;;) {
    switch (part_) {
      case Part::Head: {
        const std::size_t end = in_.find("\r\n\r\n");
        if (end == std::string::npos) {
          if (in_.size() > kMaxHttpHeaderBytes) return Fail("headers too long");
          return status_;
        }
        if (end + 4 > kMaxHttpHeaderBytes) return Fail("headers too long");
        if (!ReadHead(std::string_view(in_).substr(0, end + 2))) return Fail("malformed response head");
        in_.erase(0, end + 4);
        if (code_ < 200) continue;  // 100 Continue and the like: the real head follows
        const auto te = Header("Transfer-Encoding");
        const auto cl = Header("Content-Length");
        if (te) {
          if (!EqualNoCase(*te, "chunked")) return Fail("unsupported transfer encoding");
          if (cl) return Fail("both Content-Length and chunked");
          part_ = Part::ChunkSize;
        } else if (cl) {
          for (const auto& [n, v] : headers_)
            if (EqualNoCase(n, "Content-Length") && v != *cl) return Fail("conflicting Content-Length");
          const auto length = Number(*cl, kMaxHttpBodyBytes);
          if (!length) return Fail(Digits(*cl) ? "body too large" : "malformed Content-Length");
          left_ = *length;
          part_ = Part::Body;
        } else if (code_ == 204 || code_ == 304) {
          part_ = Part::End;
        } else {
          part_ = Part::ToClose;
        }
        continue;
      }
      case Part::Body: {
        const std::size_t n = std::min(left_, in_.size());
        body_.append(in_, 0, n);
        in_.erase(0, n);
        left_ -= n;
        if (left_ > 0) return status_;
        part_ = Part::End;
        continue;
      }
      case Part::ToClose:
        if (body_.size() + in_.size() > kMaxHttpBodyBytes) return Fail("body too large");
        body_ += in_;
        in_.clear();
        return status_;
      case Part::ChunkSize: {
        const std::size_t eol = in_.find("\r\n");
        if (eol == std::string::npos) {
          if (in_.size() > 1024) return Fail("malformed chunk size");
          return status_;
        }
        std::string_view line = std::string_view(in_).substr(0, eol);
        line = Trim(line.substr(0, line.find(';')));  // chunk extensions are ignored
        if (line.empty() || line.size() > 8) return Fail("malformed chunk size");
        std::size_t size = 0;
        for (char c : line) {
          const char l = Lower(c);
          const int v = l >= '0' && l <= '9' ? l - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
          if (v < 0) return Fail("malformed chunk size");
          size = size * 16 + static_cast<std::size_t>(v);
        }
        in_.erase(0, eol + 2);
        if (size > kMaxHttpBodyBytes - body_.size()) return Fail("body too large");
        left_ = size;
        part_ = size == 0 ? Part::Trailer : Part::ChunkData;
        continue;
      }
      case Part::ChunkData: {
        const std::size_t n = std::min(left_, in_.size());
        body_.append(in_, 0, n);
        in_.erase(0, n);
        left_ -= n;
        if (left_ > 0) return status_;
        part_ = Part::ChunkEnd;
        continue;
      }
      case Part::ChunkEnd:
        if (in_.size() < 2) return status_;
        if (in_.compare(0, 2, "\r\n") != 0) return Fail("malformed chunk end");
        in_.erase(0, 2);
        part_ = Part::ChunkSize;
        continue;
      case Part::Trailer: {
        // Trailer fields up to an empty line; their content does not matter.
        const std::size_t eol = in_.find("\r\n");
        if (eol == std::string::npos) {
          if (trailer_bytes_ + in_.size() > kMaxHttpHeaderBytes) return Fail("trailer too long");
          return status_;
        }
        trailer_bytes_ += eol + 2;
        if (trailer_bytes_ > kMaxHttpHeaderBytes) return Fail("trailer too long");
        const bool last = eol == 0;
        in_.erase(0, eol + 2);
        if (last) part_ = Part::End;
        continue;
      }
      case Part::End:
        // Connection: close was asked for; whatever follows is not read.
        in_.clear();
        status_ = Status::Done;
        return status_;
    }
  }
}

}  // namespace zepho
