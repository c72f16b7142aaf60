#include "cli/ModelVerifier.h"

#include <algorithm>
#include <cmath>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "cli/CsvReader.h"
#include "cli/RecordScorer.h"
#include "cli/RowScore.h"
#include "host/NumberText.h"
#include "host/PMMLModelTags.h"
#include "host/XmlText.h"

namespace rulescore {
namespace cli {

namespace K = KtZembra_940;
using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

const DOMElement* FirstChild(const DOMNode* parent, const XMLCh* tag) {
  if (parent == nullptr) return nullptr;
  for (const DOMNode* node = parent->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE && K::XmlText::Equal(node->getNodeName(), tag)) {
      return static_cast<const DOMElement*>(node);
    }
  }
  return nullptr;
}

template <typename Visit>
void ForEachChildElement(const DOMNode* parent, Visit visit) {
  if (parent == nullptr) return;
  for (const DOMNode* node = parent->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE) visit(static_cast<const DOMElement*>(node));
  }
}

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A column name without its namespace prefix: table cells are often
// written as "data:age".
std::string LocalName(const std::string& name) {
  const size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

std::string Shown(const std::string* text) {
  return text == nullptr ? std::string("no value") : QuoteForMessage(*text);
}

}  // namespace

ModelVerifier::ModelVerifier(const xercesc::DOMDocument* document, const ModelOutline& outline)
    : outline_(outline) {
  if (document == nullptr) return;
  const xercesc::DOMNodeList* models = document->getElementsByTagName(K::XML_ELE_RULESETMODEL);
  if (models == nullptr || models->getLength() == 0) return;
  const DOMElement* verification = FirstChild(models->item(0), u"ModelVerification");
  if (verification == nullptr) return;

  ForEachChildElement(FirstChild(verification, u"VerificationFields"), [&](const DOMElement* element) {
    if (!K::XmlText::Equal(element->getNodeName(), u"VerificationField")) return;
    Field field;
    field.field = K::XmlText::ToUtf8(element->getAttribute(u"field"));
    field.column = K::XmlText::ToUtf8(element->getAttribute(u"column"));
    if (field.column.empty()) field.column = field.field;
    field.column = LocalName(field.column);
    const std::string precision = K::XmlText::ToUtf8(element->getAttribute(u"precision"));
    const std::string zero = K::XmlText::ToUtf8(element->getAttribute(u"zeroThreshold"));
    if ((!precision.empty() && !K::NumberText::ParseDouble(precision, &field.precision)) ||
        (!zero.empty() && !K::NumberText::ParseDouble(zero, &field.zeroThreshold))) {
      if (problem_.empty()) {
        problem_ = "VerificationField " + QuoteForMessage(field.field) +
                   ": precision and zeroThreshold must be numbers";
      }
    }
    fields_.push_back(field);
  });

  ForEachChildElement(FirstChild(verification, u"InlineTable"), [&](const DOMElement* row) {
    if (!K::XmlText::Equal(row->getNodeName(), u"row")) return;
    Record record;
    ForEachChildElement(row, [&](const DOMElement* cell) {
      record[LocalName(K::XmlText::ToUtf8(cell->getNodeName()))] =
          Trimmed(K::XmlText::ToUtf8(cell->getTextContent()));
    });
    records_.push_back(std::move(record));
  });
}

bool ModelVerifier::Agrees(const std::string& expected, const std::string* actual,
                           const Field& field) {
  if (expected.empty() || actual == nullptr) return expected.empty() && actual == nullptr;
  double e = 0.0;
  double a = 0.0;
  if (K::NumberText::ParseDouble(expected, &e) && K::NumberText::ParseDouble(*actual, &a)) {
    if (std::fabs(e) < field.zeroThreshold) return std::fabs(a) < field.zeroThreshold;
    return std::fabs(a - e) <= field.precision * std::fabs(e);
  }
  return expected == *actual;
}

size_t ModelVerifier::Run(K::ScoreModel* model, std::string* report) const {
  const std::string prefix = "verification: ";
  if (!problem_.empty()) {
    *report += prefix + problem_ + "\n";
    return records_.size();
  }
  const std::vector<std::string>& inputs = outline_.GetPredictors();
  const std::vector<std::string>& outputs = outline_.GetOutputFields();

  // Where each verification field's value comes from: an input column, the
  // prediction (-1) or an output field (its index).
  struct Expected {
    const Field* field;
    int output;
  };
  std::vector<std::string> inputColumns(inputs);
  std::vector<Expected> expected;
  for (const Field& field : fields_) {
    const auto input = std::find(inputs.begin(), inputs.end(), field.field);
    if (input != inputs.end()) {
      inputColumns[static_cast<size_t>(input - inputs.begin())] = field.column;
      continue;
    }
    const auto output = std::find(outputs.begin(), outputs.end(), field.field);
    if (output != outputs.end()) {
      expected.push_back({&field, static_cast<int>(output - outputs.begin())});
    } else if (field.field == outline_.GetTargetName()) {
      expected.push_back({&field, -1});
    } else {
      *report += prefix + "field " + QuoteForMessage(field.field) +
                 " is no input, target or output field of the model\n";
      return records_.size();
    }
  }

  RecordScorer scorer(model, inputs, inputs);
  RowScore score;
  CsvRow row;
  size_t failed = 0;
  for (size_t r = 0; r < records_.size(); ++r) {
    const Record& record = records_[r];
    const std::string where = prefix + "record " + std::to_string(r + 1) + ": ";
    row.fields.assign(inputs.size(), std::string());
    for (size_t i = 0; i < inputs.size(); ++i) {
      const auto cell = record.find(inputColumns[i]);
      if (cell != record.end()) row.fields[i] = cell->second;
    }
    row.count = inputs.size();
    row.line = static_cast<long>(r + 1);
    scorer.Score(row, &score);
    if (!score.ok) {
      // The scorer names the record as a line; here it is the table's row.
      std::string error = score.error;
      const std::string line = "line " + std::to_string(r + 1) + ": ";
      if (error.compare(0, line.size(), line) == 0) error.erase(0, line.size());
      *report += where + "not scored: " + error + "\n";
      ++failed;
      continue;
    }
    bool matches = true;
    for (const Expected& check : expected) {
      const auto cell = record.find(check.field->column);
      if (cell == record.end()) continue;  // nothing expected of this field here
      const std::string* actual = nullptr;
      if (check.output < 0) {
        if (score.hasPrediction) actual = &score.prediction;
      } else if (static_cast<size_t>(check.output) < score.outputs.size() &&
                 !score.outputs[static_cast<size_t>(check.output)].isMissing) {
        actual = &score.outputs[static_cast<size_t>(check.output)].text;
      }
      if (Agrees(cell->second, actual, *check.field)) continue;
      matches = false;
      *report += where + check.field->field + ": expected " +
                 (cell->second.empty() ? std::string("no value") : QuoteForMessage(cell->second)) +
                 ", got " + Shown(actual) + "\n";
    }
    if (!matches) ++failed;
  }
  *report += prefix + std::to_string(records_.size() - failed) + " of " +
             std::to_string(records_.size()) + (records_.size() == 1 ? " record" : " records") +
             " match\n";
  return failed;
}

}  // namespace cli
}  // namespace rulescore
