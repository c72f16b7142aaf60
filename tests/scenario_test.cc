// Every scenario file under tests/data/scenarios: documents scored record by
// record under both semantics, and documents refused with their codes (the
// format is described in tests/support/Scenario.h).
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

namespace KtZembra_940 {
namespace {

const std::string kDir = std::string(RULESCORE_TEST_DATA_DIR) + "/scenarios/";

std::vector<std::string> ScenarioFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kDir)) {
    if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Scenario : public ::testing::TestWithParam<std::string> {};

TEST_P(Scenario, ScoresAndRefusalsAsWritten) {
  testing_support::RunScenarioFile(kDir + GetParam() + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Files, Scenario, ::testing::ValuesIn(ScenarioFiles()),
                         [](const ::testing::TestParamInfo<std::string>& file) { return file.param; });

}  // namespace
}  // namespace KtZembra_940
