#include "oauth/redirect_request.h"

#include <algorithm>

#include "oauth/percent_encoding.h"
#include "oauth/pkce.h"

namespace zepho {

namespace {

std::string Page(std::string_view status, std::string_view text) {
  const std::string body =
      "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>ZEPHO</title></head>"
      "<body><p>" + std::string(text) + "</p></body></html>\n";
  return "HTTP/1.1 " + std::string(status) +
         "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) +
         "\r\nCache-Control: no-store\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

std::string RedirectResponse(RedirectResult::Kind kind) {
  switch (kind) {
    case RedirectResult::Kind::Code:
      return Page("200 OK", "ZEPHO のサインインが済みました。このタブは閉じてかまいません。");
    case RedirectResult::Kind::Error:
      return Page("200 OK",
                  "ZEPHO のサインインはできませんでした。このタブを閉じて、ZEPHO の画面をご覧下さい。");
    case RedirectResult::Kind::Ignored:
      return Page("404 Not Found", "ページがありません。");
    case RedirectResult::Kind::Incomplete:
    case RedirectResult::Kind::Malformed:
      break;
  }
  return Page("400 Bad Request", "要求を読めません。");
}

RedirectResult RedirectRequestParser::Feed(std::string_view bytes) {
  RedirectResult r;
  if (done_) {
    r.kind = RedirectResult::Kind::Malformed;
    return r;
  }
  in_.append(bytes.substr(0, kMaxRedirectRequestBytes + 4));
  const std::size_t end = in_.find("\r\n\r\n");
  // Not a GET (a TLS hello to this plain port, say): no need to wait for more.
  const std::size_t start = std::min<std::size_t>(in_.size(), 4);
  if (in_.compare(0, start, "GET ", start) != 0) {
    r.kind = RedirectResult::Kind::Malformed;
  } else if (end == std::string::npos || end + 4 > kMaxRedirectRequestBytes) {
    if (in_.size() <= kMaxRedirectRequestBytes) return r;
    r.kind = RedirectResult::Kind::Malformed;
  } else {
    r = Judge(std::string_view(in_).substr(0, end));
  }
  done_ = true;
  in_.clear();
  r.response = RedirectResponse(r.kind);
  return r;
}

RedirectResult RedirectRequestParser::Judge(std::string_view head) const {
  RedirectResult r;
  r.kind = RedirectResult::Kind::Malformed;
  const std::string_view line = head.substr(0, head.find("\r\n"));
  // "GET <target> HTTP/1.x"
  if (line.substr(0, 4) != "GET ") return r;
  const std::size_t blank = line.find(' ', 4);
  if (blank == std::string_view::npos || line.substr(blank + 1, 7) != "HTTP/1." ||
      line.size() != blank + 9)
    return r;
  const std::string_view target = line.substr(4, blank - 4);
  const std::size_t question = target.find('?');
  const std::string_view path = target.substr(0, question);
  r.kind = RedirectResult::Kind::Ignored;
  if (path != "/" || question == std::string_view::npos) return r;
  const auto fields = ParseQuery(target.substr(question + 1));
  if (!fields) {
    r.kind = RedirectResult::Kind::Malformed;
    return r;
  }
  const std::string *state = nullptr, *code = nullptr, *error = nullptr, *description = nullptr;
  for (const auto& [name, value] : *fields) {
    // The first of each name counts.
    const std::string** slot = name == "state" ? &state : name == "code" ? &code
                              : name == "error" ? &error : name == "error_description" ? &description
                                                                                        : nullptr;
    if (slot && !*slot) *slot = &value;
  }
  if (!state || !SameSecret(*state, expected_state_)) return r;
  if (error && !error->empty()) {
    r.kind = RedirectResult::Kind::Error;
    r.error = *error;
    if (description) r.error_description = *description;
    for (std::string* text : {&r.error, &r.error_description}) {
      if (text->size() > 1024) text->resize(1024);
      for (char& c : *text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return r;
  }
  if (code && !code->empty()) {
    r.kind = RedirectResult::Kind::Code;
    r.code = *code;
  }
  return r;
}

}  // namespace zepho
