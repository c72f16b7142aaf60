// Reading a boolean field's texts as numbers (the field types as documents
// declare them are rows of tests/data/scenarios/field_types.txt).
#include <memory>

#include <gtest/gtest.h>

#include "host/ScoreDictVar.h"

namespace KtZembra_940 {
namespace {

TEST(BooleanField, ParseNumberTable) {
  ScoreDictVar var("b", ScoreDictVar::kNumeric, ScoreDictVar::kNominal);
  var.SetDataType(ScoreDictVar::kDataBoolean);
  const struct {
    const char* text;
    bool ok;
    double value;
  } kCases[] = {{"true", true, 1},  {"tRuE", true, 1},  {"1", true, 1},    {"false", true, 0},
                {"FALSE", true, 0}, {"0", true, 0},     {"\t0\n", true, 0}, {"2", false, 0},
                {"t", false, 0},    {"truee", false, 0}, {"", false, 0},   {"1.0", false, 0}};
  for (const auto& c : kCases) {
    double value = -1;
    EXPECT_EQ(var.ParseNumber(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  EXPECT_EQ(var.GetValueType(), ScoreDictVar::kNumeric);
  std::unique_ptr<ScoreDictVar> copy(var.Clone());
  EXPECT_TRUE(copy->IsBoolean());
}

}  // namespace
}  // namespace KtZembra_940
