// Line diffs for test reports.

#include "report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace runner {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "   (no newline at end)");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

std::string Visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 32 && c != '\n' && c != '\t') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A longest-common-subsequence diff; outputs of tests are small.
std::string LineDiff(const std::string& expected, const std::string& actual) {
  std::vector<std::string> a = Lines(expected), b = Lines(actual);
  const std::size_t limit = 400;
  if (a.size() > limit) a.resize(limit);
  if (b.size() > limit) b.resize(limit);
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (std::size_t i = a.size(); i-- > 0;) {
    for (std::size_t j = b.size(); j-- > 0;) {
      common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string out;
  std::size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      out += "      " + Visible(a[i++]) + "\n";
      ++j;
    } else if (j < b.size() && (i == a.size() || common[i][j + 1] >= common[i + 1][j])) {
      out += "    + " + Visible(b[j++]) + "\n";
    } else {
      out += "    - " + Visible(a[i++]) + "\n";
    }
  }
  return out;
}

}  // namespace runner
