// What the results window shows, apart from any window system: the status
// line, the cells of each row (decoded here, when the window shows them) and
// the text that "コピー" puts on the clipboard.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/check_report.h"

namespace zepho {

// "No.", "状態", "条件", "差出人", "件名", "日付"
inline constexpr std::size_t kResultColumns = 6;
using ResultRow = std::array<std::u16string, kResultColumns>;

// "最終チェック: YYYY/MM/DD HH:MM:SS" and the outcome, or "まだチェックしていません".
std::u16string StatusLine(const CheckReport& report);
std::vector<ResultRow> ResultRows(const CheckReport& report);
// The status line, then one line per row with its cells joined by TAB; lines
// joined by CR LF.
std::u16string CopyText(const std::u16string& status, const std::vector<ResultRow>& rows);

// The sender and the subject as shown (the balloon names them too).
std::u16string SenderCell(std::string_view from_value);
std::u16string SubjectCell(std::string_view subject_value);

// A text fit for one cell: control characters become blanks, and the
// characters that override the direction of text (U+202A-202E, U+2066-2069)
// become U+FFFD, so that a display name cannot turn the address beside it
// around.
std::u16string Displayable(std::u16string text);

}  // namespace zepho
