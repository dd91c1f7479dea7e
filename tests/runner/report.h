#pragma once
// Describing how a test's output differs from what it expects.

#include <string>

namespace runner {

// A line diff of [expected] against [actual]: "-" lines expected but missing,
// "+" lines printed but not expected, "  " lines in both.
std::string LineDiff(const std::string& expected, const std::string& actual);

// [text] with every carriage return removed.
std::string WithoutCarriageReturns(const std::string& text);

// [text] with control characters other than newline and tab shown as \xHH,
// so bells and escapes are visible in reports.
std::string Visible(const std::string& text);

}  // namespace runner
