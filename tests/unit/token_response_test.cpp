// The token endpoint's answers as Microsoft's identity platform and Google
// document them, and the half-broken answers around them.
#include "oauth/token_response.h"

#include <gtest/gtest.h>

#include <string>

namespace zepho {
namespace {

using Kind = TokenResponse::Kind;

// Microsoft identity platform, authorization code flow: the redeemed code.
constexpr char kMicrosoftGrant[] = R"({
    "token_type": "Bearer",
    "scope": "https://outlook.office.com/POP.AccessAsUser.All",
    "expires_in": 3599,
    "ext_expires_in": 3599,
    "access_token": "eyJ0eXAiOiJKV1QiLCJub25jZSI6IkFRQUJBQUFBQUFCblN",
    "refresh_token": "0.AXEA8pGsHMp2JEayYyZt-PE3xNNuxuP-5HFDkjv9vLzpuR5xAAA.AgABAAAAAAD--DLA3VO7QrddgJg7WevrAgDs_wQA9P_ClQh8P4rFp"
})";

// Microsoft: a refresh after the grant expired or was revoked.
constexpr char kMicrosoftInvalidGrant[] = R"({
  "error": "invalid_grant",
  "error_description": "AADSTS70008: The provided authorization code or refresh token has expired due to inactivity. Send a new interactive authorization request for this user and resource.\r\nTrace ID: 255d1aef-8c98-452f-ac51-23d051240864\r\nCorrelation ID: fb3d2015-bc17-4bb9-bb85-30c5cf1aaaa7\r\nTimestamp: 2024-01-09 02:02:12Z",
  "error_codes": [70008],
  "timestamp": "2024-01-09 02:02:12Z",
  "trace_id": "255d1aef-8c98-452f-ac51-23d051240864",
  "correlation_id": "fb3d2015-bc17-4bb9-bb85-30c5cf1aaaa7"
})";

// Google, OAuth 2.0 for desktop apps: the code exchange.
constexpr char kGoogleGrant[] = R"({
  "access_token": "1/fFAGRNJru1FTz70BzhT3Zg",
  "expires_in": 3920,
  "token_type": "Bearer",
  "scope": "https://mail.google.com/",
  "refresh_token": "1//xEoDL4iW3cxlI7yDbSRFYNG01kVKM2C-259HOF2aQbI"
})";

// Google: a refresh (no new refresh token).
constexpr char kGoogleRefresh[] = R"({
  "access_token": "1/fFAGRNJru1FTz70BzhT3Zg",
  "expires_in": 3920,
  "scope": "https://mail.google.com/",
  "token_type": "Bearer"
})";

constexpr char kGoogleInvalidGrant[] = R"({
  "error": "invalid_grant",
  "error_description": "Token has been expired or revoked."
})";

constexpr char kGoogleInvalidClient[] = R"({
  "error": "invalid_client",
  "error_description": "The OAuth client was not found."
})";

TEST(TokenResponse, ProvidersDocumentedAnswers) {
  struct Case {
    const char* name;
    int status;
    const char* body;
    Kind kind;
    std::string access, refresh, error;
    std::int64_t expires_in;
  };
  const Case cases[] = {
      {"microsoft grant", 200, kMicrosoftGrant, Kind::Granted,
       "eyJ0eXAiOiJKV1QiLCJub25jZSI6IkFRQUJBQUFBQUFCblN",
       "0.AXEA8pGsHMp2JEayYyZt-PE3xNNuxuP-5HFDkjv9vLzpuR5xAAA.AgABAAAAAAD--DLA3VO7QrddgJg7WevrAgDs_wQA9P_ClQh8P4rFp",
       "", 3599},
      {"microsoft invalid_grant", 400, kMicrosoftInvalidGrant, Kind::Refused, "", "", "invalid_grant", 0},
      {"google grant", 200, kGoogleGrant, Kind::Granted, "1/fFAGRNJru1FTz70BzhT3Zg",
       "1//xEoDL4iW3cxlI7yDbSRFYNG01kVKM2C-259HOF2aQbI", "", 3920},
      {"google refresh", 200, kGoogleRefresh, Kind::Granted, "1/fFAGRNJru1FTz70BzhT3Zg", "", "", 3920},
      {"google invalid_grant", 400, kGoogleInvalidGrant, Kind::Refused, "", "", "invalid_grant", 0},
      {"google invalid_client", 401, kGoogleInvalidClient, Kind::Refused, "", "", "invalid_client", 0},
  };
  for (const Case& c : cases) {
    const TokenResponse r = ParseTokenResponse(c.status, c.body);
    EXPECT_EQ(r.kind, c.kind) << c.name << ": " << r.problem;
    EXPECT_EQ(r.access_token, c.access) << c.name;
    EXPECT_EQ(r.refresh_token, c.refresh) << c.name;
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.expires_in, c.expires_in) << c.name;
    EXPECT_EQ(r.http_status, c.status);
  }
  const TokenResponse g = ParseTokenResponse(200, kGoogleGrant);
  EXPECT_EQ(g.token_type, "Bearer");
  EXPECT_EQ(g.scope, "https://mail.google.com/");
  // Line breaks of a description become blanks: it goes into a box as one text.
  const TokenResponse m = ParseTokenResponse(400, kMicrosoftInvalidGrant);
  EXPECT_EQ(m.error_description.substr(0, 12), "AADSTS70008:");
  EXPECT_EQ(m.error_description.find('\r'), std::string::npos);
  EXPECT_NE(m.error_description.find("Trace ID"), std::string::npos);
}

TEST(TokenResponse, HalfBrokenAnswers) {
  struct Case { const char* name; int status; std::string body; Kind kind; std::int64_t expires_in; };
  const Case cases[] = {
      {"expires_in quoted", 200, R"({"access_token":"a","token_type":"Bearer","expires_in":"3600"})",
       Kind::Granted, 3600},
      {"token type in lower case", 200, R"({"access_token":"a","token_type":"bearer"})", Kind::Granted, 0},
      {"no expires_in", 200, R"({"access_token":"a","token_type":"Bearer"})", Kind::Granted, 0},
      {"expires_in too large", 200,
       R"({"access_token":"a","token_type":"Bearer","expires_in":99999999999999})", Kind::Granted,
       kMaxExpiresInSeconds},
      {"expires_in fraction", 200, R"({"access_token":"a","token_type":"Bearer","expires_in":59.9})",
       Kind::Granted, 59},
      {"expires_in negative", 200, R"({"access_token":"a","token_type":"Bearer","expires_in":-5})",
       Kind::Malformed, 0},
      {"expires_in words", 200, R"({"access_token":"a","token_type":"Bearer","expires_in":"soon"})",
       Kind::Malformed, 0},
      {"no token type", 200, R"({"access_token":"a"})", Kind::Malformed, 0},
      {"mac token", 200, R"({"access_token":"a","token_type":"mac"})", Kind::Malformed, 0},
      {"empty token", 200, R"({"access_token":"","token_type":"Bearer"})", Kind::Malformed, 0},
      {"token not a string", 200, R"({"access_token":42,"token_type":"Bearer"})", Kind::Malformed, 0},
      {"grant with status 400", 400, R"({"access_token":"a","token_type":"Bearer"})", Kind::Malformed, 0},
      {"error with status 200", 200, R"({"error":"invalid_request"})", Kind::Refused, 0},
      {"error not a string", 400, R"({"error":{"code":1}})", Kind::Malformed, 0},
      {"html of a proxy", 502, "<html><body>Bad Gateway</body></html>", Kind::Malformed, 0},
      {"array", 200, R"([{"access_token":"a"}])", Kind::Malformed, 0},
      {"cut short", 200, R"({"access_token":"a","token_ty)", Kind::Malformed, 0},
      {"empty", 200, "", Kind::Malformed, 0},
      {"bad utf-8", 200, "{\"access_token\":\"\xff\",\"token_type\":\"Bearer\"}", Kind::Malformed, 0},
  };
  for (const Case& c : cases) {
    const TokenResponse r = ParseTokenResponse(c.status, c.body);
    EXPECT_EQ(r.kind, c.kind) << c.name;
    EXPECT_EQ(r.expires_in, c.expires_in) << c.name;
    if (r.kind == Kind::Malformed) {
      EXPECT_FALSE(r.problem.empty()) << c.name;
      EXPECT_TRUE(r.access_token.empty()) << c.name;
    }
  }
}

TEST(TokenResponse, ProblemNeverEchoesTheBody) {
  const std::string secret = "SECRET-ACCESS-TOKEN-VALUE";
  for (const std::string& body :
       {R"({"access_token":")" + secret + R"(","token_type":"mac"})",
        R"({"access_token":")" + secret + R"(","token_type":"Bearer","expires_in":-1})",
        R"({"access_token":")" + secret + R"(")", "<p>" + secret + "</p>"}) {
    const TokenResponse r = ParseTokenResponse(200, body);
    ASSERT_EQ(r.kind, Kind::Malformed) << body;
    EXPECT_EQ(r.problem.find(secret), std::string::npos) << r.problem;
    EXPECT_EQ(r.access_token.find(secret), std::string::npos);
  }
}

TEST(TokenResponse, LongDescriptionIsCutAtACharacterBoundary) {
  std::string description;
  while (description.size() < kMaxErrorTextBytes + 10) description += "期限切れ";  // 3 bytes each
  const TokenResponse r =
      ParseTokenResponse(400, R"({"error":"invalid_grant","error_description":")" + description + "\"}");
  ASSERT_EQ(r.kind, Kind::Refused);
  EXPECT_LE(r.error_description.size(), kMaxErrorTextBytes);
  EXPECT_EQ(r.error_description.size() % 3, 0u) << "no character cut in half";
  EXPECT_EQ(description.compare(0, r.error_description.size(), r.error_description), 0);
}

}  // namespace
}  // namespace zepho
