// Percent-encoding (RFC 3986) of query values and form bodies, and the
// reading of a query back into its fields.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zepho {

using QueryFields = std::vector<std::pair<std::string, std::string>>;

// Keeps the unreserved characters (A-Z a-z 0-9 - . _ ~); every other byte as
// %XX. Safe in a query, a form body and a path segment alike.
std::string PercentEncode(std::string_view text);

// %XX escapes and '+' as a blank (form encoding); no value on a broken escape.
std::optional<std::string> PercentDecode(std::string_view text);

// "a=1&b=2" from the fields, each name and value percent-encoded.
std::string EncodeQuery(const QueryFields& fields);

// The fields of a query or form body, decoded, in order; a field without '='
// has an empty value; empty fields ("a=1&&b=2") are skipped.
std::optional<QueryFields> ParseQuery(std::string_view query);

}  // namespace zepho
