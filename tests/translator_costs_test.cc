// Reading cost elements without a target variable (the cost tables and
// matrices of whole documents are rows of tests/data/scenarios/costs.txt).

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ToolRun.h"
#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreModel.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

class RuleSetTranslatorTestPeer {
 public:
  static void SetTargetVariable(RuleSetTranslator& translator, const ScoreDictVar* var) {
    translator.targetVariable = var;
  }
  static const xercesc::DOMNodeList* Find(const RuleSetTranslator& translator,
                                          const xercesc::DOMElement* root) {
    return translator.FindMisclassificationCosts(root);
  }
  static void Parse(RuleSetTranslator& translator, const xercesc::DOMNodeList* costs,
                    RuleSetTranslator::CostTable& table) {
    translator.ParseMisclassificationCosts(costs, table);
  }
};

namespace {

using CostTable = RuleSetTranslator::CostTable;

// Without a target variable there are no categories to key rows by: the
// table stays empty and no element is converted.
TEST(MisclassificationCost, NoTargetVariableLeavesTheTableEmpty) {
  XmlPlatform platform;
  const std::string pmml = testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) +
                                                     "/scenarios/two_costs.pmml");
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "costs.pmml");
  RuleSetTranslator translator;
  RuleSetTranslatorTestPeer::SetTargetVariable(translator, nullptr);
  const xercesc::DOMNodeList* costs =
      RuleSetTranslatorTestPeer::Find(translator, document->GetDocument()->getDocumentElement());
  ASSERT_NE(costs, nullptr);
  EXPECT_EQ(costs->getLength(), 2u);
  CostTable table;
  RuleSetTranslatorTestPeer::Parse(translator, costs, table);
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace KtZembra_940
