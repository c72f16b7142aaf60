// Fuzz target: the bytes are a PMML document. It is parsed by the hardened
// loader, translated by the rule-set translator (linked in directly rather
// than loaded as a plug-in, so that its code is instrumented), scored on a
// few records whose values are drawn from the bytes and from the model's own
// thresholds and categories, and dumped to a stream that discards its text.
//
// Every refusal must be a ZbException; anything else escaping, a crash, a
// leak or undefined behaviour is a finding.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreClsResult.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/ScoringLog.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"

namespace {

using namespace KtZembra_940;

// Accepts and drops everything, so that formatting code still runs.
class DiscardBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

DiscardBuffer gDiscard;
std::ostream gNull(&gDiscard);

// A small deterministic generator seeded from the input, so that a crash
// file reproduces the same records.
class Draw {
 public:
  Draw(const uint8_t* data, size_t size) {
    state_ = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) state_ = (state_ ^ data[i]) * 1099511628211ull;
    if (state_ == 0) state_ = 1;
  }
  uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }

 private:
  uint64_t state_;
};

// Numbers worth feeding to a condition: its own thresholds and members,
// their neighbours, and the awkward values.
void CollectConditionValues(const RuleSetModel::ST_SIM_Condition& c, std::vector<double>& out) {
  if (c.isSimple) {
    out.push_back(c.value);
    out.push_back(std::nextafter(c.value, std::numeric_limits<double>::infinity()));
    out.push_back(std::nextafter(c.value, -std::numeric_limits<double>::infinity()));
  }
  for (double v : c.setValues) out.push_back(v);
}

void CollectCompound(const RuleSetModel::ST_COMP_Condition& k, std::vector<double>& out,
                     int depth) {
  for (const auto& c : k.conditions) CollectConditionValues(c, out);
  if (depth > 600) return;  // the translator bounds nesting well below this
  for (const auto& nested : k.compConditions) CollectCompound(nested, out, depth + 1);
}

std::vector<double> InterestingNumbers(const RuleSetModel& model) {
  std::vector<double> out = {0.0,
                             -1.0,
                             1.0,
                             1e308,
                             -1e308,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN(),
                             NumericValue::GetSysmisValue(),
                             2147483648.0,
                             -2147483649.0};
  for (const RuleSetModel::ST_RuleSet* set : model.GetCompiledRuleSets()) {
    if (set == nullptr) continue;
    for (const auto& rule : set->rules) {
      for (const auto& c : rule.conditions) CollectConditionValues(c, out);
      for (const auto& k : rule.compConditions) CollectCompound(k, out, 0);
      if (out.size() > 4096) return out;
    }
  }
  return out;
}

// Fills every field of the record: missing, a number, a declared value or
// a text no field declares.
void FillRecord(const ScoreDictionary& dictionary, const std::vector<double>& numbers,
                Draw& draw, ScoreCaseRecord& record) {
  record.Clear();
  static const char* const kTexts[] = {"", " ", "NaN", "INF", "-0", "1e400", "\xff", "zz"};
  const std::vector<ScoreDictVar*>& vars = dictionary.GetAllVars();
  for (size_t i = 0; i < vars.size(); ++i) {
    const ScoreDictVar* var = vars[i];
    if (var == nullptr) continue;
    const int position = record.GetPosition(var->GetName());
    const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
    switch (draw.Below(5)) {
      case 0:
        break;  // left empty
      case 1:
        record.SetMissing(position);
        break;
      case 2:
        record.SetNumber(position, numbers[draw.Below(numbers.size())]);
        break;
      case 3:
        if (labels != nullptr && !labels->empty()) {
          const ScoreValue* label = (*labels)[draw.Below(labels->size())];
          if (label == nullptr) break;
          if (var->GetValueType() == ScoreDictVar::kString) {
            record.SetText(position, label->GetString());
          } else {
            record.SetNumber(position, label->GetDouble());
          }
          break;
        }
        record.SetNumber(position, numbers[draw.Below(numbers.size())]);
        break;
      default:
        record.SetText(position, kTexts[draw.Below(sizeof kTexts / sizeof kTexts[0])]);
        break;
    }
  }
}

void Exercise(RuleSetModel& model, Draw& draw) {
  model.Display(gNull);
  for (const auto& rules : model.GetSimpleRules()) {
    for (const SimpleRule* rule : rules) {
      if (rule == nullptr) continue;
      SimpleRule copy(*rule);
      copy = *rule;
      copy.Display(gNull);
    }
  }
  for (ScoreModel::VarRole role :
       {ScoreModel::kNoRole, ScoreModel::kTargetRole, ScoreModel::kPredictorRole}) {
    delete model.GetVarsOfRole(role);
  }

  const ScoreDictionary* dictionary = model.GetDictionary();
  if (dictionary == nullptr) return;
  std::vector<std::string> layout;
  for (const ScoreDictVar* var : dictionary->GetAllVars()) {
    if (var != nullptr) layout.push_back(var->GetName());
  }
  // A field the model does not know, so that positions are not all dense.
  layout.push_back("\x01unrelated");
  ScoreCaseRecord record(layout);
  const std::vector<double> numbers = InterestingNumbers(model);

  ScoreResult* result = nullptr;
  for (int i = 0; i < 4; ++i) {
    FillRecord(*dictionary, numbers, draw, record);
    model.GetScore(&record, result, false);
    // Reading the prediction must be safe whatever was chosen.
    if (const auto* classified = dynamic_cast<const ScoreClsResult*>(result)) {
      const ScoreValue* prediction = classified->GetPrediction();
      if (prediction != nullptr) (void)prediction->GetString();
      (void)classified->GetConfidence();
    }
  }
  model.GetScore(nullptr, result, false);
  delete result;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Lives for the whole run; Xerces stays initialised between inputs.
  static XmlPlatform* platform = new XmlPlatform();
  (void)platform;
  ScoringLog::GetInstance().SetStream(&gNull);
  ScoringLog::GetInstance().SetLevel(1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<XmlDocument> document;
  try {
    document = XmlDocument::ParseBuffer(reinterpret_cast<const char*>(data), size, "fuzz.pmml");
  } catch (const ZbException& e) {
    (void)e.GetMessage();
    return 0;
  }

  std::unique_ptr<RuleSetModel> model;
  {
    RuleSetTranslator translator;
    try {
      ScoreModel* built = translator.ParseFromTree(document->GetDocument(), document->GetEncoding());
      model.reset(dynamic_cast<RuleSetModel*>(built));
      if (built != nullptr && model == nullptr) {
        delete built;
        __builtin_trap();  // the translator must build its own model kind
      }
    } catch (const ZbException& e) {
      (void)e.GetMessage();
      return 0;
    }
  }
  // The model must stand alone: the host may drop the translator and the
  // document as soon as translation is over.
  document.reset();
  if (model == nullptr) return 0;
  Draw draw(data, size);
  Exercise(*model, draw);
  model.reset();
  return 0;
}
