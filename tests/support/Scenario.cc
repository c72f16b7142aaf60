#include "tests/support/Scenario.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/NumberText.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreResult.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/ZbException.h"
#include "model/DerivedFieldProgram.h"
#include "model/SimpleRule.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/Displayed.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/TranslatedDocument.h"
#include "tests/support/TranslatorPeer.h"

namespace KtZembra_940 {
namespace testing_support {
namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

std::vector<std::string> Split(const std::string& s, const std::string& by) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = s.find(by, from)) != std::string::npos; from = at + by.size()) {
    parts.push_back(Trim(s.substr(from, at - from)));
  }
  parts.push_back(Trim(s.substr(from)));
  return parts;
}

// One name or value at `i`: quoted (with \xHH and \\ escapes) or up to any
// of `stops`.
std::string Word(const std::string& s, size_t& i, const char* stops) {
  std::string w;
  if (i < s.size() && s[i] == '"') {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'x' && i + 3 < s.size()) {
        w += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else if (s[i] == '\\' && i + 1 < s.size()) {
        w += s[++i];
      } else {
        w += s[i];
      }
    }
    ++i;
    return w;
  }
  while (i < s.size() && std::string(stops).find(s[i]) == std::string::npos) w += s[i++];
  return w;
}

struct Cell {
  std::string name;
  std::string value;
  bool quoted;
};

std::vector<Cell> Cells(const std::string& s) {
  std::vector<Cell> cells;
  size_t i = 0;
  while (true) {
    while (i < s.size() && s[i] == ' ') ++i;
    if (i >= s.size()) return cells;
    Cell cell;
    cell.name = Word(s, i, "=");
    ++i;  // '='
    cell.quoted = i < s.size() && s[i] == '"';
    cell.value = Word(s, i, " ");
    cells.push_back(cell);
  }
}

std::string Wrapped(const std::string& body) {
  const std::string start = Trim(body.substr(0, body.find('\n')));
  if (Trim(body).find_first_not_of('\n') == std::string::npos || start.rfind("<?xml", 0) == 0 ||
      start.rfind("<PMML", 0) == 0 || start.rfind("<!", 0) == 0) {
    return body;
  }
  std::vector<std::string> parts(3);
  size_t part = 0;
  std::istringstream in(body);
  for (std::string line; std::getline(in, line);) {
    if (Trim(line) == "---") {
      ++part;
    } else if (part < 3) {
      parts[part] += Trim(line);
    }
  }
  const std::string target =
      parts[0].find(R"(name="y")") != std::string::npos
          ? ""
          : R"(<DataField name="y" optype="categorical" dataType="string">)"
            R"(<Value value="yes"/><Value value="no"/></DataField>)";
  return R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>)" + target + parts[0] +
         R"(</DataDictionary><RuleSetModel functionName="classification"><MiningSchema>)"
         R"(<MiningField name="y" usageType="predicted"/>)" +
         parts[1] + "</MiningSchema>" + parts[2] + "</RuleSetModel></PMML>";
}

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

// One document under its two semantics, translated when first asked for,
// with the result object its rows share.
class Case {
 public:
  void Reset(const std::string& body, const std::map<std::string, std::string>& vars) {
    std::string text = body;
    for (const auto& var : vars) {
      for (size_t at; (at = text.find(var.first)) != std::string::npos;) {
        text.replace(at, var.first.size(), var.second);
      }
    }
    for (auto& side : sides_) {
      delete side.result;
      side = Side();
    }
    text_ = Wrapped(text);
  }
  ~Case() {
    for (auto& side : sides_) delete side.result;
  }

  std::string Score(const std::string& semantics, const std::string& cellText) {
    Side& side = Get(semantics);
    if (side.translated == nullptr || side.translated->model == nullptr) {
      return "refused " + std::to_string(side.failure.code);
    }
    RuleSetModel& model = *side.translated->model;
    const auto cells = Cells(cellText);
    // The model binds to the layout of the first record it sees: every row
    // of a document has every field of the dictionary, in its order (cells
    // a row leaves out are missing), then any other names the rows give.
    if (side.names.empty()) {
      for (const ScoreDictVar* var : model.GetDictionary()->GetAllVars()) {
        if (var != nullptr) side.names.push_back(var->GetName());
      }
    }
    for (const Cell& cell : cells) {
      if (std::find(side.names.begin(), side.names.end(), cell.name) == side.names.end()) {
        side.names.push_back(cell.name);
      }
    }
    TestRecord record(side.names);
    for (const Cell& cell : cells) {
      const ScoreDictVar* var = model.GetDictionary()->GetVar(cell.name);
      double number = 0.0;
      if (cell.value.empty() && !cell.quoted) {
        record.Missing(cell.name);
      } else if (!cell.quoted && var != nullptr && var->GetValueType() == ScoreDictVar::kNumeric &&
                 NumberText::ParseDouble(cell.value, &number)) {
        record.Number(cell.name, number);
      } else {
        record.Text(cell.name, cell.value);
      }
    }
    const Scored planScore = ScoreWith(model, record.Get(), side.result);
    const std::string planned = Text(planScore, side.result);
    // The rule-by-rule walk must say the same, in a result of its own.
    model.SetUseReferenceWalk(true);
    ScoreResult* walked = nullptr;
    const Scored walkScore = ScoreWith(model, record.Get(), walked);
    const std::string walk = Text(walkScore, walked);
    model.SetUseReferenceWalk(false);
    delete walked;
    return planned == walk ? planned : "plan: " + planned + ", walk: " + walk;
  }

  static std::string Text(const Scored& s, const ScoreResult* result) {
    const auto* rules = result != nullptr && result->GetScoreResultType() == ScoreResult::kRuleSetResult
                            ? static_cast<const RuleSetResult*>(result)
                            : nullptr;
    std::string head;
    if (s.code != 0) {
      head = "error " + std::to_string(s.code);
      if (s.hasPrediction) head += " " + s.prediction;
    } else {
      const bool number = rules != nullptr && rules->GetPrediction() != nullptr &&
                          rules->GetPrediction()->GetValueType() == ScoreValue::kNumeric;
      head = s.hasPrediction ? (number ? "#" : "") + s.prediction : "null";
      if (s.confidence != -1.0) head += " " + Number(s.confidence);  // -1: none
    }
    std::string fired;
    for (const std::string& id : s.fired) fired += (fired.empty() ? "" : ",") + id;
    return head + " | " + (s.winning.empty() ? "-" : s.winning) + " | " +
           (fired.empty() ? "-" : fired) + " | " +
           (rules == nullptr || rules->GetErrorText().empty() ? "-" : rules->GetErrorText());
  }

  // The derived field `field` after scoring the cells ("missing", a number
  // in its shortest form, "invalid" or a text in quotes), then " | " and
  // what the score row gives.
  std::string Value(const std::string& semantics, const std::string& field,
                    const std::string& cellText) {
    const std::string scored = Score(semantics, cellText);
    const Side& side = Get(semantics);
    if (side.translated == nullptr || side.translated->model == nullptr) return scored;
    const DerivedFieldProgram* program = side.translated->model->GetDerivedFieldProgram();
    const int32_t at = program == nullptr ? -1 : program->FieldOf(field);
    if (at < 0) return "no derived field " + field + " | " + scored;
    const DerivedFieldProgram::Value& value = program->GetOutput(at);
    std::string shown = "missing";
    if (value.kind == DerivedFieldProgram::kText) shown = "\"" + value.text + "\"";
    if (value.kind == DerivedFieldProgram::kInvalid) shown = "invalid";
    if (value.kind == DerivedFieldProgram::kNumber) {
      char buffer[64];
      shown = std::string(NumberText::FormatShortest(value.number, buffer, sizeof buffer));
    }
    return shown + " | " + scored;
  }

  // "<code> | <arg> | ..."; "0" for a document translated without fault.
  std::string Refusal(const std::string& semantics) {
    const Side& side = Get(semantics);
    std::string text = std::to_string(side.failure.code);
    for (const std::string& arg : side.failure.args) text += " | " + arg;
    return text;
  }
  // What the model holds of its RuleSetModel elements (see Scenario.h).
  std::string Model(const std::string& semantics) {
    const Side& side = Get(semantics);
    if (side.translated == nullptr) return "refused";
    if (side.translated->model == nullptr) return "no model";
    const RuleSetModel& m = *side.translated->model;
    std::string categories, codes, index, costs;
    for (const ScoreValue* v : m.GetCategoryValues()) categories += (categories.empty() ? "" : ",") + v->GetString();
    for (int32_t c : m.GetCategoryCodes()) codes += (codes.empty() ? "" : ",") + std::to_string(c);
    for (const auto& [value, i] : m.GetCategoryIndex()) {
      index += (index.empty() ? "" : ",") + Number(value) + ":" + std::to_string(i);
    }
    for (const auto& row : m.GetCostMatrix()) {
      for (double c : row) costs += (costs.empty() ? "" : ",") + Number(c);
    }
    const ScoreDictVar* target = RuleSetTranslatorTestPeer::TargetVariable(*side.translated->translator);
    std::string out = std::string(m.GetModelType() == ScoreModel::kDecisionListModel ? "list" : "rules") +
                      (m.IsTargetString() ? " string [" : " numeric [") + categories + "] codes [" + codes +
                      "] index [" + index + "] target " +
                      RuleSetTranslatorTestPeer::TargetName(*side.translated->translator) + "/" +
                      (target != nullptr ? target->GetName() : "-") + " costs [" + costs + "]" +
                      (m.GetTransformationDictionary() != nullptr ? " derived" : "");
    for (int r = 0; r < m.GetNumbOfModels(); ++r) {
      std::string predictors, methods;
      for (const std::string& name : m.GetPredictorNameFromModel(r)) predictors += (predictors.empty() ? "" : ",") + name;
      for (RuleSetModel::RuleSetMethod method : m.GetAllRuleSelectionMethods().at(static_cast<size_t>(r))) {
        methods += (methods.empty() ? "" : ",") + std::to_string(method);
      }
      const auto at = static_cast<size_t>(r);
      out += " / " + m.GetTargetNameFromModel(r) + " <- " + predictors + "; methods [" + methods + "] use " +
             std::to_string(m.GetRuleSelectionMethodUsedInModel(r)) + "; default " + m.GetDefaultScore().at(at) +
             "#" + std::to_string(m.GetDefaultScoreIndex().at(at)) + " " + Number(m.GetDefaultConfidence().at(at)) +
             "; records " + Number(m.GetRecordCount().at(at)) + " correct " + Number(m.GetnbCorrect().at(at)) +
             "; rules " + std::to_string(m.GetSimpleRules().at(at).size());
    }
    return out;
  }
  // "<row>: <column>=<cost>, ...; ... / <matrix row>; ..." for the cost
  // table read and the matrix built, "-" for either when empty.
  std::string Costs(const std::string& semantics) {
    const Side& side = Get(semantics);
    if (side.translated == nullptr || side.translated->model == nullptr) return "refused";
    const RuleSetModel& model = *side.translated->model;
    std::string text;
    for (const auto& row : model.GetMisclassificationCost()) {
      text += (text.empty() ? "" : "; ") + row.first + ":";
      for (const auto& cell : row.second) text += " " + cell.first + "=" + Number(cell.second);
    }
    std::string matrix;
    for (const std::vector<double>& row : model.GetCostMatrix()) {
      matrix += matrix.empty() ? "" : "; ";
      for (size_t i = 0; i < row.size(); ++i) matrix += (i == 0 ? "" : " ") + Number(row[i]);
    }
    return (text.empty() ? "-" : text) + " / " + (matrix.empty() ? "-" : matrix);
  }
  // Rule set 0's rule record k (from 1): "<id> | label <label> | score
  // <score> | count <n> | correct <n> | conf <c> | weight <w> | target <name>
  // | <enabled or disabled> | <up or down> | <splits> | dist <value>(<n or
  // s>)=<share>, ...", or only "<splits>", each split as it displays itself,
  // joined by "; ".
  std::string Rule(const std::string& semantics, size_t k, bool splitsOnly) {
    const Side& side = Get(semantics);
    if (side.translated == nullptr || side.translated->model == nullptr) return "refused";
    const auto& all = side.translated->model->GetSimpleRules();
    if (all.empty() || k < 1 || k > all[0].size() || all[0][k - 1] == nullptr) return "no rule";
    const SimpleRule& rule = *all[0][k - 1];
    std::string splits;
    for (const ScoreSplitVar* split : rule.GetSplitVar()) {
      const std::string shown = Displayed(*split);
      splits += (splits.empty() ? "" : "; ") + shown.substr(0, shown.size() - 1);
    }
    if (splitsOnly) return splits.empty() ? "-" : splits;
    std::string dist;
    for (const auto& entry : rule.GetAllValuePercent()) {
      dist += (dist.empty() ? " " : ", ") + entry.first->GetString() +
              (entry.first->GetValueType() == ScoreValue::kNumeric ? "(n)=" : "(s)=") +
              Number(entry.second);
    }
    return rule.GetRuleID() + " | label " + rule.GetRuleLabel() + " | score " +
           rule.GetScoreValue() + " | count " + Number(rule.GetRecordCount()) + " | correct " +
           Number(rule.GetnbCorrect()) + " | conf " + Number(rule.GetRuleConfidence()) +
           " | weight " + Number(rule.GetRuleWeight()) + " | target " +
           rule.GetTargetVariableName() + (rule.IsDisabled() ? " | disabled" : " | enabled") +
           (rule.GetSearchDirection() == SimpleRule::down ? " | down" : " | up") + " | " +
           (splits.empty() ? "-" : splits) + " | dist" + dist;
  }
  // The compiled rules of every rule set, one per " / ": "<id> s<score
  // index> w<weight> c<confidence> b<operator> f<fixed result>", then each
  // condition " v<variable>:op<code>=<value>", ":set<code>{<members>}", ":T"
  // or ":F", each nested compound in brackets; then "new:" and the indices
  // of the variables first used, and last the predictor names ("$" after a
  // string one).
  std::string Compiled(const std::string& semantics) {
    const Side& side = Get(semantics);
    if (side.translated == nullptr || side.translated->model == nullptr) return "refused";
    const RuleSetModel& model = *side.translated->model;
    std::ostringstream os;
    for (const RuleSetModel::ST_RuleSet* ruleSet : model.GetCompiledRuleSets()) {
      if (ruleSet == nullptr) continue;
      for (const RuleSetModel::ST_Rule& rule : ruleSet->rules) {
        os << rule.ruleId << " s" << rule.scoreIndex << " w" << rule.weight << " c"
           << rule.confidence << " b" << rule.boolOperator << " f" << rule.fixedResult;
        DumpNode(os, rule);
        os << " / ";
      }
      os << "new:";
      for (int32_t index : ruleSet->newVarIndices) os << " " << index;
      os << " / ";
    }
    for (size_t i = 0; i < model.GetPredVars().size(); ++i) {
      os << model.GetPredVars()[i]->GetName()
         << (i < model.GetPredVarIsString().size() && model.GetPredVarIsString()[i] ? "$ " : " ");
    }
    return Trim(os.str());
  }
  template <class Node>
  static void DumpNode(std::ostream& os, const Node& node) {
    for (size_t k = 0; k < node.conditions.size(); ++k) {
      const RuleSetModel::ST_SIM_Condition& c = node.conditions[k];
      os << " v" << (k < node.varIndices.size() ? node.varIndices[k] : -9);
      if (c.isSimple) os << ":op" << c.simpleOperator << "=" << c.value;
      if (c.isSet) {
        os << ":set" << c.setOperator << "{";
        for (double v : c.setValues) os << v << ",";
        os << "}";
      }
      if (c.isTrue) os << ":T";
      if (c.isFalse) os << ":F";
    }
    for (const RuleSetModel::ST_COMP_Condition& comp : node.compConditions) {
      os << " [b" << comp.boolOperator << " f" << comp.fixedResult;
      DumpNode(os, comp);
      os << "]";
    }
  }
  // The message with its line breaks written \n.
  std::string Message(const std::string& semantics) {
    std::string text = Get(semantics).message;
    for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, "\\n");
    return text;
  }
  std::string Where(const std::string& semantics) { return Get(semantics).where; }
  std::string Says(const std::string& semantics) {
    const std::string& message = Get(semantics).message;
    const size_t nl = message.find('\n');
    return nl == std::string::npos ? "" : message.substr(nl + 1);
  }

 private:
  struct Side {
    bool done = false;
    std::unique_ptr<TranslatedDocument> translated;
    TranslationFailure failure;
    std::string message;
    ScoreResult* result = nullptr;
    std::vector<std::string> names;  // the record layout
    std::string where;  // the refusal's line, field and rule
  };
  Side& Get(const std::string& semantics) {
    Side& side = sides_[semantics == "pmml" ? 1 : 0];
    if (side.done) return side;
    side.done = true;
    // With the trace on: a refused translation must never trace a normal exit.
    const TraceCapture trace;
    try {
      side.translated = TranslateDocument(text_, "doc.pmml", semantics);
    } catch (const ZbException& e) {
      side.failure.code = e.GetErrorCode();
      side.failure.args = e.GetArguments();
      side.message = e.GetMessage();
      side.where = "line " + std::to_string(e.GetLine()) + " | field " +
                   (e.GetField().empty() ? "-" : e.GetField()) + " | " +
                   (e.GetRule().empty() ? "-" : e.GetRule());
      if (trace.Text().find("Exit:KtZembra_940::RuleSetTranslator::ParseFromTree") !=
          std::string::npos) {
        side.message += " (a normal exit was traced)";
      }
    }
    return side;
  }
  std::string text_;
  Side sides_[2];
};

}  // namespace

void RunScenarioFile(const std::string& path) {
  std::ifstream in(path);
  ASSERT_TRUE(in.good()) << "cannot read " << path;
  const std::string dir = path.substr(0, path.rfind('/') + 1);
  Case current;
  std::string body;
  std::map<std::string, std::string> vars;
  bool started = false;
  int number = 0;
  std::string title;
  for (std::string line; std::getline(in, line);) {
    ++number;
    const std::string where = path + ":" + std::to_string(number) + " (" + title + ")";
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    const std::string keyword = t.substr(0, t.find(' '));
    const std::string rest = t.size() > keyword.size() ? Trim(t.substr(keyword.size())) : "";
    if (keyword == "case") {
      title = rest;
      vars.clear();
    } else if (keyword == "doc") {
      body.clear();
      for (std::string l; std::getline(in, l) && Trim(l) != "end";) {
        ++number;
        body += l + "\n";
      }
      ++number;
      current.Reset(body, vars);
      started = true;
    } else if (keyword == "file") {
      std::ifstream doc(dir + rest);
      ASSERT_TRUE(doc.good()) << where << ": cannot read " << dir + rest;
      std::ostringstream text;
      text << doc.rdbuf();
      body = text.str();
      current.Reset(body, vars);
      started = true;
    } else if (keyword == "let") {
      const size_t gap = rest.find(' ');
      vars[rest.substr(0, gap)] = gap == std::string::npos ? "" : Trim(rest.substr(gap));
      if (started) current.Reset(body, vars);
    } else {
      const size_t arrow = t.find("->");
      ASSERT_NE(arrow, std::string::npos) << where << ": no -> in " << t;
      ASSERT_TRUE(started) << where << ": a row before any document";
      std::vector<std::string> words = Split(t.substr(0, arrow), " ");
      const std::string expected = Trim(t.substr(arrow + 2));
      std::string query;
      size_t ruleNumber = 0;
      if (words[0] == "refused" || words[0] == "says" || words[0] == "message" ||
          words[0] == "categories" || words[0] == "costs" || words[0] == "compiled" || words[0] == "model" ||
          words[0] == "where" || words[0] == "value" ||
          words[0].rfind("rule", 0) == 0 || words[0].rfind("splits", 0) == 0) {
        query = words[0];
        const size_t digits = query.find_first_of("0123456789");
        if (digits != std::string::npos) {
          ruleNumber = std::stoul(query.substr(digits));
          query = query.substr(0, digits);
        }
        words.erase(words.begin());
      }
      std::string field;  // a value row's derived field
      if (query == "value") {
        field = words[0];
        words.erase(words.begin());
      }
      const std::string sem = words[0];
      ASSERT_TRUE(sem == "native" || sem == "pmml" || sem == "both") << where << ": " << sem;
      const size_t semAt = query.empty() ? 0 : t.find(" " + sem) + 1;
      const std::string cells = Trim(t.substr(semAt + sem.size(), arrow - semAt - sem.size()));
      for (const std::string s : {"native", "pmml"}) {
        if (sem != "both" && sem != s) continue;
        std::string got;
        if (query == "refused") got = current.Refusal(s);
        if (query == "message") got = current.Message(s);
        if (query == "where") got = current.Where(s);
        if (query == "says") got = current.Says(s);
        if (query == "rule" || query == "splits") got = current.Rule(s, ruleNumber == 0 ? 1 : ruleNumber, query == "splits");
        if (query == "compiled") got = current.Compiled(s);
        if (query == "costs") got = current.Costs(s);
        if (query == "categories") {  // the bracketed list of the model row
          got = current.Model(s);
          if (got.find('[') != std::string::npos) got = got.substr(got.find('[') + 1, got.find(']') - got.find('[') - 1);
        }
        if (query == "model") got = current.Model(s);
        if (query.empty() || query == "value") {
          // A score row compares as many parts as it states.
          got = query == "value" ? current.Value(s, field, cells) : current.Score(s, cells);
          size_t cut = 0;
          for (size_t p = 0, parts = Split(expected, " | ").size(); p < parts && cut != std::string::npos; ++p) {
            cut = got.find(" | ", cut == 0 ? 0 : cut + 3);
          }
          got = got.substr(0, cut);
        }
        EXPECT_EQ(got, expected) << where << " " << s << (query.empty() ? ": " + cells : "");
      }
    }
  }
}

}  // namespace testing_support
}  // namespace KtZembra_940
