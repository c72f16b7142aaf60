// Case tables kept as text under tests/data: one case a line, its fields
// split by " | " and unescaped, and a line ending in " |" has an empty last
// field; blank lines and lines starting with '#' are skipped.
#ifndef RULESCORE_TESTS_SUPPORT_CASEFILE_H_
#define RULESCORE_TESTS_SUPPORT_CASEFILE_H_

#include <string>
#include <vector>

namespace KtZembra_940 {
namespace testing_support {

// `text` with its escapes replaced: \xHH any byte (a "|" among them),
// \n, \r, \t and \0, and a backslash before any other character that
// character (\\ a backslash).
std::string Unescaped(const std::string& text);

struct CaseLine {
  std::string where;  // "<file>:<line>", for the failure messages
  std::vector<std::string> fields;
};

// The cases of the file at `path`; a file that cannot be read, or holds no
// case, is a test failure.
std::vector<CaseLine> ReadCases(const std::string& path);
#ifdef RULESCORE_TEST_DATA_DIR
// The cases of tests/data/cases/`name`.
inline std::vector<CaseLine> ReadDataCases(const std::string& name) {
  return ReadCases(std::string(RULESCORE_TEST_DATA_DIR) + "/cases/" + name);
}
#endif

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_CASEFILE_H_
