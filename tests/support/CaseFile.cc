#include "tests/support/CaseFile.h"

#include <fstream>

#include <gtest/gtest.h>

namespace KtZembra_940 {
namespace testing_support {
std::string Unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c == '0' ? '\0' : c;
    }
  }
  return out;
}

std::vector<CaseLine> ReadCases(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<CaseLine> cases;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, " |") == 0) line += ' ';  // an empty last field
    CaseLine c{path.substr(path.rfind('/') + 1) + ":" + std::to_string(number), {}};
    for (size_t from = 0;;) {
      const size_t bar = line.find(" | ", from);
      c.fields.push_back(Unescaped(line.substr(from, bar == std::string::npos ? bar : bar - from)));
      if (bar == std::string::npos) break;
      from = bar + 3;
    }
    cases.push_back(c);
  }
  EXPECT_FALSE(cases.empty()) << "no case read from " << path;
  return cases;
}

}  // namespace testing_support
}  // namespace KtZembra_940
