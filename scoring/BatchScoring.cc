// Columnar scoring of RuleSetModel: many records per call, read straight
// from the caller's columns into the model's value table, then chosen by the
// same rule-set walk and selection as GetScore. Columns are bound to the
// predictors once per call, and every text of a code column is encoded once
// per call, so the per-row work is a load per predictor and the walk; once
// the model's working arrays and the fired list have grown, a row allocates
// nothing.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/StringValue.h"
#include "model/OutputFields.h"
#include "model/RuleSetModel.h"
#include "scoring/ConditionEvaluator.h"
#include "scoring/RuleSetResult.h"
#include "scoring/ScoringPlan.h"

namespace KtZembra_940 {

namespace {

// Tables of categories, and batches of columns, beyond these sizes are
// searched through a hash map.
constexpr size_t kLinearCategories = 8;
constexpr size_t kLinearColumns = 16;
// Rows read and walked together on the block path.
constexpr size_t kBlockRows = 128;

// Whether v lies in [low, high] (NaN does not), without a branch.
inline bool Inside(double v, double low, double high) { return (v >= low) & (v <= high); }

// Whether every one of the n numbers lies in [low, high] (NaN does not),
// two at a time where the machine allows: compilers do not turn this
// test into vector code by themselves.
bool AllInside(const double* x, size_t n, double low, double high) {
  size_t r = 0;
  bool inside = true;
#if defined(__SSE2__)
  const __m128d lo = _mm_set1_pd(low);
  const __m128d hi = _mm_set1_pd(high);
  __m128d in = _mm_cmpeq_pd(lo, lo);  // all ones unless low is NaN
  for (; r + 2 <= n; r += 2) {
    const __m128d v = _mm_loadu_pd(x + r);
    in = _mm_and_pd(in, _mm_and_pd(_mm_cmpge_pd(v, lo), _mm_cmple_pd(v, hi)));
  }
  inside = _mm_movemask_pd(in) == 3;
#endif
  for (; r < n; ++r) inside &= Inside(x[r], low, high);
  return inside;
}

}  // namespace

class RuleSetModel::BatchState {
 public:
  // How predictor i is read from a row.
  enum Read : uint8_t {
    kAbsent,         // no column: missing in every row
    kNumber,         // a number column read as it is
    kNumberGeneral,  // a number column through the general encoding
    kTable,          // a code column: the code's encoding, from `table`
  };
  struct Binding {
    Read read = kAbsent;
    int32_t column = -1;
    const double* numbers = nullptr;
    const int32_t* codes = nullptr;
    const uint8_t* missing = nullptr;
    bool nanIsMissing = false;
    double missingValue = 0.0;  // what an absent value encodes to (treated)
    const TreatStep* treat = nullptr;  // the predictor's treatments (pmml)
    size_t tableBegin = 0;      // kTable: the column's texts in table and bad
    size_t tableSize = 0;
  };

  std::vector<Binding> bindings;
  // The predictors read from number columns that have treatments (pmml).
  std::vector<size_t> treatNumbers;
  std::vector<double> table;  // per text of every bound code column
  // Per text: why a row holding it is refused (a RowStatus; kScored when
  // it is not).
  std::vector<uint8_t> bad;
  RuleSetResult result{nullptr};
  NumericValue number{0.0};  // the general encoding's probe of a number
  // Per rule set: where its identifiers lie, and the batch index of its
  // first rule.
  std::vector<const std::string*> idBase;
  std::vector<size_t> idCount;
  std::vector<int32_t> idOffset;
  std::unordered_map<const ScoreValue*, int32_t> categoryOf;  // for large tables
  std::unordered_map<std::string, int32_t> columnOf;          // rebuilt per call

  // The record path, for models whose predictors are not all read from
  // columns (derived fields compute theirs from the record): each row is
  // filled into `record`, laid out as the model was bound, and scored as
  // GetScore scores it. One cell per bound field that has a column.
  struct Cell {
    int position = -1;  // in the record layout
    int32_t column = -1;
    bool number = false;  // a numeric field: texts must read as numbers
    size_t tableBegin = 0;  // code columns: per text, its number and badness
  };
  ScoreCaseRecord record;
  std::vector<Cell> cells;

  // The block path, for a model whose one rule set takes the first rule
  // that fires and whose result follows from that rule alone: a block of
  // rows is read column by column into `blockValues` (row after row, each
  // laid out like the model's value table) and walked side by side by the
  // plan. What a rule gives a row is learnt from the first row it decides,
  // scored the ordinary way, and copied to the rows after it.
  struct Outcome {
    bool known = false;
    int32_t prediction = -1;
    double confidence = 0.0;
    int32_t winningRule = -1;
    int32_t firedCount = 0;
    int32_t fired = -1;  // the fired rule when firedCount is 1; -2 when not seen
  };
  std::vector<Outcome> outcomes;  // per first rule + 1 (0: none fires)
  const void* outcomesPlan = nullptr;  // the plan and semantics they were learnt under
  int outcomesSemantics = -1;
  std::vector<double> blockValues;
  std::vector<int32_t> blockFirst;  // per row of the block: its outcome slot, or -1
  std::vector<uint8_t> blockSlow;   // per row of the block: 1 when it needs the ordinary path
  std::vector<size_t> unjudged;     // predictors whose bounds are tested once the block is full
};

void RuleSetModel::DeleteBatchState(BatchState* state) { delete state; }

std::vector<const ScoreValue*> RuleSetModel::GetBatchCategories() const {
  std::vector<const ScoreValue*> categories;
  const size_t count = numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0;
  for (size_t c = 0; c < count && c < categoryValues.size(); ++c) {
    categories.push_back(categoryValues[c]);
  }
  return categories;
}

std::vector<std::string> RuleSetModel::GetBatchRuleIds() const {
  // Rule set by rule set, each in compile order: the order in which the
  // record set-up lays out what the rules give.
  std::vector<std::string> ids;
  for (int m = 0; m < numbOfModels; ++m) {
    const size_t mi = static_cast<size_t>(m);
    if (mi >= ruleSets.size() || ruleSets[mi] == nullptr) continue;
    const std::vector<ST_Rule>& rules = ruleSets[mi]->rules;
    size_t count = rules.size();
    if (dictVarIndexReady && mi < ruleCount.size()) {
      count = ruleCount[mi] > 0 ? static_cast<size_t>(ruleCount[mi]) : 0;
    }
    for (size_t k = 0; k < count && k < rules.size(); ++k) ids.push_back(rules[k].ruleId);
  }
  return ids;
}

size_t RuleSetModel::GetMaxFiredPerRecord() const {
  size_t most = 0;
  for (int m = 0; m < numbOfModels; ++m) {
    const size_t mi = static_cast<size_t>(m);
    if (mi >= ruleSets.size() || ruleSets[mi] == nullptr) continue;
    const int method = mi < ruleSelectionMethodUsed.size() ? ruleSelectionMethodUsed[mi] : firstHit;
    const size_t rules = ruleSets[mi]->rules.size();
    most += method == firstHit ? (rules > 0 ? 1 : 0) : rules;
  }
  return most;
}

std::vector<BatchOutputField> RuleSetModel::GetBatchOutputs() const {
  std::vector<BatchOutputField> columns;
  if (outputFields == nullptr) return columns;
  // A predicted value is a number when every category is one.
  bool numericTarget = !categoryValues.empty();
  for (const ScoreValue* category : categoryValues) {
    numericTarget = numericTarget && category != nullptr &&
                    category->GetValueType() == ScoreValue::kNumeric;
  }
  for (const OutputFields::Field& field : outputFields->GetFields()) {
    if (!field.shown) continue;
    BatchOutputField column;
    column.name = field.name;
    switch (field.feature) {
      case OutputFields::kPredictedValue:
        column.numeric = numericTarget;
        break;
      case OutputFields::kConfidence:
      case OutputFields::kProbability:
        column.numeric = true;
        break;
      case OutputFields::kTransformedValue:
        column.numeric = field.dataType >= 0 && field.dataType != ScoreDictVar::kDataString;
        break;
      default:
        break;
    }
    columns.push_back(std::move(column));
  }
  return columns;
}

size_t RuleSetModel::ScoreBatch(const ColumnBatch& columns, size_t begin, size_t end,
                                BatchScores& scores) {
  if (end > columns.GetRowCount()) end = columns.GetRowCount();
  if (begin >= end) return 0;
  RuleSetResult* remembered = result;
  size_t row = begin;
  size_t firedMark = scores.fired != nullptr ? scores.fired->size() : 0;
  const size_t outputCount =
      outputFields != nullptr && scores.outputs != nullptr ? outputFields->GetNames()->size() : 0;
  const auto clearOutputs = [&scores, outputCount](size_t at) {
    for (size_t f = 0; f < outputCount; ++f) {
      scores.outputs[at * outputCount + f].kind = BatchScores::OutputValue::kMissing;
    }
  };
  try {
    if (!dictVarIndexReady) {
      // The first record of any kind binds the model: here a layout of the
      // batch's column names.
      std::vector<std::string> names;
      for (const ColumnBatch::Column& column : columns.GetColumns()) names.push_back(column.name);
      if (names.empty()) names.push_back(std::string());
      ScoreCaseRecord layout(names);
      SetUpDictVarIndex(&layout);
    }
    if (!dictVarIndexReady) return 0;
    if (batchState == nullptr) batchState = new BatchState();
    BatchState& state = *batchState;

    // Where each rule set's identifiers lie, to turn the result's pointers
    // into batch indices.
    state.idBase.assign(outcomes.size(), nullptr);
    state.idCount.assign(outcomes.size(), 0);
    state.idOffset.assign(outcomes.size(), 0);
    int32_t offset = 0;
    for (size_t m = 0; m < outcomes.size(); ++m) {
      state.idOffset[m] = offset;
      state.idCount[m] = outcomes[m].Size();
      if (state.idCount[m] != 0) state.idBase[m] = outcomes[m].Id(0);
      offset += static_cast<int32_t>(state.idCount[m]);
    }
    const ScoreValue* const* categories = categoryValues.data();
    const size_t categoryCount = std::min(
        categoryValues.size(), numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0);
    if (categoryCount > kLinearCategories && state.categoryOf.size() != categoryCount) {
      state.categoryOf.clear();
      for (size_t c = 0; c < categoryCount; ++c) {
        state.categoryOf.emplace(categories[c], static_cast<int32_t>(c));
      }
    }

    // Bind every predictor to its column: by a scan when there are few
    // columns, else through a map of the names.
    const std::vector<ColumnBatch::Column>& cols = columns.GetColumns();
    const bool scan = cols.size() <= kLinearColumns;
    state.columnOf.clear();
    if (!scan) {
      for (size_t c = 0; c < cols.size(); ++c) {
        state.columnOf.emplace(cols[c].name, static_cast<int32_t>(c));
      }
    }
    state.bindings.assign(encodeSteps.size(), BatchState::Binding());
    state.table.clear();
    state.bad.clear();
    // Under pmml the fields' treatments are applied to what a column gives:
    // once per text of a code column and to the missing value at binding,
    // per row only to the numbers of a number column, and there only when
    // the field declares something numbers may fail.
    for (const TreatStep& treat : treatSteps) {
      const size_t i = static_cast<size_t>(treat.index);
      if (i < state.bindings.size()) state.bindings[i].treat = &treat;
    }
    const bool textsReachTheModel = semantics == pmml;
    state.treatNumbers.clear();
    for (size_t i = 0; i < encodeSteps.size(); ++i) {
      BatchState::Binding& binding = state.bindings[i];
      const EncodeStep& step = encodeSteps[i];
      const double absent = EncodeValue(nullptr, i);
      binding.missingValue = absent;
      if (binding.treat != nullptr) TreatValue(*binding.treat, nullptr, &binding.missingValue);
      if (step.var == nullptr) continue;
      int32_t at = -1;
      if (scan) {
        at = static_cast<int32_t>(columns.Find(step.var->Name()));
      } else {
        const auto found = state.columnOf.find(step.var->Name());
        if (found != state.columnOf.end()) at = found->second;
      }
      if (at < 0) continue;
      const ColumnBatch::Column& column = cols[static_cast<size_t>(at)];
      binding.column = at;
      binding.missing = column.missing;
      binding.nanIsMissing = column.nanIsMissing;
      if (column.kind == ColumnBatch::Kind::kNumbers) {
        binding.numbers = column.numbers;
        binding.read = step.kind == kReadNumber ? BatchState::kNumber : BatchState::kNumberGeneral;
        if (binding.treat != nullptr) state.treatNumbers.push_back(i);
        continue;
      }
      // A code column: each text encoded (and treated) once, as a record
      // holding it in that field would be; for a numeric field the text
      // must read as a number or be a declared missing value, except under
      // pmml, where any other text is the field's to judge as invalid.
      binding.codes = column.codes;
      binding.read = BatchState::kTable;
      binding.tableBegin = state.table.size();
      binding.tableSize = column.texts.size();
      const bool isString = i < predVarIsString.size() && predVarIsString[i];
      for (const std::string& text : column.texts) {
        const StringValue value(text);
        double encoded = absent;
        const ScoreValue* cell = nullptr;
        uint8_t isBad = BatchScores::kScored;
        if (isString) {
          encoded = EncodeValue(&value, i);
          cell = &value;
        } else {
          double parsed = 0.0;
          if (step.var->ParseNumber(text, &parsed)) {
            state.number.SetDouble(parsed);
            encoded = EncodeValue(&state.number, i);
            cell = &state.number;
          } else if (!step.var->IsMissingValue(value)) {
            if (textsReachTheModel) {
              encoded = EncodeValue(&value, i);
              cell = &value;
            } else {
              isBad = BatchScores::kNotANumber;
            }
          }
        }
        if (isBad == BatchScores::kScored && binding.treat != nullptr &&
            !TreatValue(*binding.treat, cell, &encoded)) {
          isBad = BatchScores::kInvalidValue;
        }
        state.table.push_back(encoded);
        state.bad.push_back(isBad);
      }
    }

    // Derived fields are computed from the record's cells, so such a model
    // scores each row through a record filled from the columns, laid out as
    // the model was bound (each dictionary field at its bound position).
    // Output fields whose expressions read the record's fields take the
    // same path.
    const bool useRecord =
        derivedFields != nullptr || (outputFields != nullptr && outputFields->ReadsRecord());
    state.cells.clear();
    if (useRecord) {
      std::vector<std::string> layout;
      const ScoreDictionary* dictionary = GetDictionary();
      const std::vector<ScoreDictVar*> noVars;
      const std::vector<ScoreDictVar*>& vars =
          dictionary != nullptr ? dictionary->GetAllVars() : noVars;
      for (const ScoreDictVar* var : vars) {
        if (var == nullptr || var->GetCaseIndex() < 0) continue;
        const size_t at = static_cast<size_t>(var->GetCaseIndex());
        if (layout.size() <= at) layout.resize(at + 1);
        layout[at] = var->GetName();
      }
      if (layout.empty()) layout.push_back(std::string());
      state.record.SetLayout(layout);
      for (const ScoreDictVar* var : vars) {
        if (var == nullptr || var->GetCaseIndex() < 0) continue;
        // Only the cells something reads: the rules, a derived field or an
        // output field's expression. A bad text elsewhere stops no row.
        bool read = (derivedFields != nullptr && derivedFields->ReadsInput(var)) ||
                    (outputFields != nullptr && outputFields->ReadsInput(var));
        for (size_t i = 0; i < encodeSteps.size() && !read; ++i) read = encodeSteps[i].var == var;
        if (!read) continue;
        const int at = columns.Find(var->GetName());
        if (at < 0) continue;
        BatchState::Cell cell;
        cell.position = var->GetCaseIndex();
        cell.column = static_cast<int32_t>(at);
        cell.number = var->GetValueType() != ScoreDictVar::kString;
        const ColumnBatch::Column& column = cols[static_cast<size_t>(at)];
        cell.tableBegin = state.table.size();
        if (column.kind != ColumnBatch::Kind::kNumbers && cell.number) {
          // Each text of a numeric field read once: its number, or bad when
          // it is neither a number nor a declared missing value.
          for (const std::string& text : column.texts) {
            double parsed = 0.0;
            uint8_t isBad = BatchScores::kScored;
            if (!var->ParseNumber(text, &parsed)) {
              parsed = std::nan("");
              if (!var->IsMissingValue(StringValue(text))) isBad = BatchScores::kNotANumber;
            }
            state.table.push_back(parsed);
            state.bad.push_back(isBad);
          }
        }
        state.cells.push_back(cell);
      }
    }
    // Fills the record from one row; a bad cell stops the row (under pmml
    // the record holds its text, for the treatments to judge).
    const auto fillRecordRow = [&state, &cols, textsReachTheModel](size_t at,
                                                                   int32_t* errorColumn) -> int32_t {
      ScoreCaseRecord& record = state.record;
      record.Clear();
      for (const BatchState::Cell& cell : state.cells) {
        const ColumnBatch::Column& column = cols[static_cast<size_t>(cell.column)];
        if (column.missing != nullptr && column.missing[at] != 0) continue;
        if (column.kind == ColumnBatch::Kind::kNumbers) {
          const double x = column.numbers[at];
          if (!(column.nanIsMissing && std::isnan(x))) record.SetNumber(cell.position, x);
          continue;
        }
        const int32_t code = column.codes[at];
        if (code < 0) continue;
        if (static_cast<size_t>(code) >= column.texts.size()) {
          *errorColumn = cell.column;
          return BatchScores::kCodeOutOfRange;
        }
        if (!cell.number) {
          record.SetText(cell.position, column.texts[static_cast<size_t>(code)]);
          continue;
        }
        const size_t k = cell.tableBegin + static_cast<size_t>(code);
        if (state.bad[k] != BatchScores::kScored) {
          if (textsReachTheModel) {
            record.SetText(cell.position, column.texts[static_cast<size_t>(code)]);
            continue;
          }
          *errorColumn = cell.column;
          return BatchScores::kNotANumber;
        }
        if (!std::isnan(state.table[k])) record.SetNumber(cell.position, state.table[k]);
      }
      return BatchScores::kScored;
    };

    result = &state.result;
    result->ShareRuleIds(ruleIdTable);
    ScoreResult* resultArg = result;
    double* values = predVarValues.data();
    const size_t predictors = std::min(state.bindings.size(), predVarValues.size());
    // The batch index of an identifier the result points at, or -1 (the
    // empty name of a default's winning rule lies in no rule set's table).
    const std::less<const std::string*> before;
    const auto indexOf = [&state, &before](const std::string* id) -> int32_t {
      for (size_t m = 0; m < state.idBase.size(); ++m) {
        const std::string* base = state.idBase[m];
        if (base == nullptr || before(id, base) || !before(id, base + state.idCount[m])) continue;
        return state.idOffset[m] + static_cast<int32_t>(id - base);
      }
      return -1;
    };
    const double sysmis = NumericValue::GetSysmisValue();
    std::string invalidField;  // what the record path's treatments refused
    std::string invalidValue;

    // The block path: one rule set choosing by its first firing rule, found
    // by the plan, with nothing else reading the row (no field treatments,
    // no output fields, no derived fields). A row's result then follows
    // from its first rule alone. Rows the walk cannot settle that way (a
    // bad cell, a missing predictor under pmml, a rule not yet seen) take
    // the ordinary path below.
    const size_t ruleSets0 = numbOfModels == 1 && !ruleSets.empty() && ruleSets[0] != nullptr &&
                                     !outcomes.empty() && !ruleCount.empty() && ruleCount[0] > 0
                                 ? std::min({static_cast<size_t>(ruleCount[0]),
                                             ruleSets[0]->rules.size(), outcomes[0].Size()})
                                 : 0;
    const bool blockPath =
        !useRecord && plan != nullptr && !useReferenceWalk && numbOfModels == 1 &&
        !ruleSets.empty() && ruleSets[0] != nullptr &&
        (ruleSelectionMethodUsed.empty() || ruleSelectionMethodUsed[0] == firstHit) &&
        (treatSteps.empty() || treatLow.size() == predictors) && outputFields == nullptr &&
        predictors == predVarValues.size() &&
        predVarIsString.size() <= predictors;
    const size_t width = std::max<size_t>(predictors, 1);
    if (blockPath) {
      if (state.outcomesPlan != plan || state.outcomesSemantics != static_cast<int>(semantics) ||
          state.outcomes.size() != ruleSets0 + 1) {
        state.outcomes.assign(ruleSets0 + 1, BatchState::Outcome());
        state.outcomesPlan = plan;
        state.outcomesSemantics = static_cast<int>(semantics);
      }
      state.blockValues.resize(kBlockRows * width);
      state.blockFirst.resize(kBlockRows);
      state.blockSlow.resize(kBlockRows);
      state.unjudged.resize(predictors);
    }
    // Reads rows [from, to) into the block, column by column, and walks
    // them: blockFirst gets each row's outcome slot, or -1.
    const auto readBlock = [&](size_t from, size_t to) {
      const size_t n = to - from;
      double* block = state.blockValues.data();
      uint8_t* slow = state.blockSlow.data();
      std::fill(slow, slow + n, uint8_t{0});
      // Under pmml with treatments a row needs the ordinary path as soon as
      // one predictor is not a number inside its bounds. Number columns are
      // judged while they are copied (the copy waits on memory, the test
      // costs next to nothing there); the others once the block is full.
      const bool bounded = !treatSteps.empty();
      size_t unjudged = 0;  // predictors whose bounds are tested after the copy
      for (size_t i = 0; i < predictors; ++i) {
        const BatchState::Binding& binding = state.bindings[i];
        double* out = block + i;
        const uint8_t* missing = binding.missing != nullptr ? binding.missing + from : nullptr;
        const double absent = binding.missingValue;
        if (bounded && binding.read != BatchState::kNumber) state.unjudged[unjudged++] = i;
        switch (binding.read) {
          case BatchState::kAbsent:
            for (size_t r = 0; r < n; ++r) out[r * width] = absent;
            break;
          case BatchState::kNumber: {
            const double* x = binding.numbers + from;
            const double low = bounded ? treatLow[i] : 0.0;
            const double high = bounded ? treatHigh[i] : 0.0;
            if (missing == nullptr && !binding.nanIsMissing) {
              if (bounded) {
                // One pass that the compiler runs on several cells at a
                // time; rows are marked one by one only when one is out.
                if (!AllInside(x, n, low, high)) {
                  for (size_t r = 0; r < n; ++r) {
                    slow[r] |= static_cast<uint8_t>(!Inside(x[r], low, high));
                  }
                }
              }
              for (size_t r = 0; r < n; ++r) out[r * width] = x[r];
            } else {
              const bool nanIsMissing = binding.nanIsMissing;
              for (size_t r = 0; r < n; ++r) {
                const bool gone =
                    (missing != nullptr && missing[r] != 0) || (nanIsMissing && std::isnan(x[r]));
                const double v = gone ? absent : x[r];
                out[r * width] = v;
                if (bounded) slow[r] |= static_cast<uint8_t>(!Inside(v, low, high));
              }
            }
            break;
          }
          case BatchState::kNumberGeneral: {
            const double* x = binding.numbers + from;
            for (size_t r = 0; r < n; ++r) {
              if ((missing != nullptr && missing[r] != 0) ||
                  (binding.nanIsMissing && std::isnan(x[r]))) {
                out[r * width] = absent;
              } else {
                state.number.SetDouble(x[r]);
                out[r * width] = EncodeValue(&state.number, i);
              }
            }
            break;
          }
          case BatchState::kTable: {
            const int32_t* codes = binding.codes + from;
            for (size_t r = 0; r < n; ++r) {
              const int32_t code = codes[r];
              double value = absent;
              if ((missing == nullptr || missing[r] == 0) && code >= 0) {
                const size_t k = binding.tableBegin + static_cast<size_t>(code);
                if (static_cast<size_t>(code) >= binding.tableSize || state.bad[k] != 0) {
                  slow[r] = 1;  // the ordinary path reports the cell
                } else {
                  value = state.table[k];
                }
              }
              out[r * width] = value;
            }
            break;
          }
        }
      }
      if (predictors == 0) {
        for (size_t r = 0; r < n; ++r) block[r] = 0.0;
      }
      if (!treatSteps.empty()) {
        // Under pmml with treatments: a row whose predictors are all present
        // numbers inside their bounds needs none; any other row (a missing
        // predictor, a number to treat) takes the ordinary path.
        const double* low = treatLow.data();
        const double* high = treatHigh.data();
        const size_t* judge = state.unjudged.data();
        for (size_t r = 0; r < n && unjudged > 0; ++r) {
          const double* cells = block + r * width;
          for (size_t k = 0; k < unjudged; ++k) {
            const size_t i = judge[k];
            if (!(cells[i] >= low[i] && cells[i] <= high[i])) {
              slow[r] = 1;
              break;
            }
          }
        }
      } else if (semantics == pmml) {
        // A missing predictor is walked three-valued, on the ordinary path.
        for (size_t r = 0; r < n; ++r) {
          const double* cells = block + r * width;
          for (size_t i = 0; i < predVarIsString.size(); ++i) {
            if (predVarIsString[i] ? cells[i] == -1.0 : cells[i] == ConditionEvaluator::kSysmis) {
              slow[r] = 1;
              break;
            }
          }
        }
      }
      int32_t* first = state.blockFirst.data();
      plan->FirstFiredRules(0, block, width, n, first);
      for (size_t r = 0; r < n; ++r) {
        const int32_t rule = first[r];
        const int32_t slot =
            rule >= 0 && static_cast<size_t>(rule) < ruleSets0 ? rule + 1 : 0;
        first[r] = slow[r] != 0 ? -1 : slot;
      }
    };
    // Writes a learnt outcome into the row; false when it is not known yet.
    const auto copyOutcome = [&state, &scores](size_t at, int32_t slot) -> bool {
      const BatchState::Outcome& outcome = state.outcomes[static_cast<size_t>(slot)];
      if (!outcome.known) return false;
      const bool keepFired = scores.fired != nullptr && outcome.firedCount != 0;
      if (keepFired && outcome.fired < 0) return false;
      scores.status[at] = BatchScores::kScored;
      scores.errorColumn[at] = -1;
      scores.prediction[at] = outcome.prediction;
      scores.confidence[at] = outcome.confidence;
      scores.winningRule[at] = outcome.winningRule;
      scores.firedCount[at] = outcome.firedCount;
      if (keepFired) scores.fired->push_back(outcome.fired);
      return true;
    };
    size_t blockBegin = row;
    size_t blockEnd = row;

    for (; row < end; ++row) {
      if (scores.fired != nullptr) firedMark = scores.fired->size();
      int32_t outcomeSlot = -1;
      if (blockPath) {
        if (row >= blockEnd) {
          blockBegin = row;
          blockEnd = std::min(end, row + kBlockRows);
          readBlock(blockBegin, blockEnd);
        }
        outcomeSlot = state.blockFirst[row - blockBegin];
        if (outcomeSlot >= 0 && copyOutcome(row, outcomeSlot)) continue;
      }
      // Read the row's predictors; a bad cell stops the row.
      int32_t status = BatchScores::kScored;
      int32_t errorColumn = -1;
      size_t stoppedAt = predictors;  // the predictor whose cell stopped the row
      for (size_t i = 0; i < predictors && !useRecord; ++i) {
        const BatchState::Binding& binding = state.bindings[i];
        if (binding.read == BatchState::kAbsent) {
          values[i] = binding.missingValue;
          continue;
        }
        if (binding.missing != nullptr && binding.missing[row] != 0) {
          values[i] = binding.missingValue;
          continue;
        }
        if (binding.read == BatchState::kTable) {
          const int32_t code = binding.codes[row];
          if (code < 0) {
            values[i] = binding.missingValue;
          } else if (static_cast<size_t>(code) >= binding.tableSize) {
            status = BatchScores::kCodeOutOfRange;
          } else if (state.bad[binding.tableBegin + static_cast<size_t>(code)] !=
                     BatchScores::kScored) {
            status = state.bad[binding.tableBegin + static_cast<size_t>(code)];
          } else {
            values[i] = state.table[binding.tableBegin + static_cast<size_t>(code)];
          }
          if (status != BatchScores::kScored) {
            errorColumn = binding.column;
            stoppedAt = i;
            break;
          }
          continue;
        }
        const double x = binding.numbers[row];
        if (binding.nanIsMissing && std::isnan(x)) {
          values[i] = binding.missingValue;
        } else if (binding.read == BatchState::kNumber) {
          values[i] = x;
        } else {
          state.number.SetDouble(x);
          values[i] = EncodeValue(&state.number, i);
        }
      }
      // Under pmml: the treatments of the numbers read above (texts and
      // missing values were treated at binding), unless every predictor is
      // a present number inside its bounds. As in GetScore, the first
      // predictor at fault names the row's error.
      bool clean = false;
      if (!useRecord && !state.treatNumbers.empty()) {
        clean = status == BatchScores::kScored && !treatLow.empty() && NeedsNoTreatment();
        for (size_t k = 0; k < state.treatNumbers.size() && !clean; ++k) {
          const size_t i = state.treatNumbers[k];
          if (i >= stoppedAt) break;
          const BatchState::Binding& binding = state.bindings[i];
          if (binding.missing != nullptr && binding.missing[row] != 0) continue;
          const double x = binding.numbers[row];
          if (binding.nanIsMissing && std::isnan(x)) continue;
          const TreatStep& treat = *binding.treat;
          const double v = values[i];
          if (treat.numbersPass && v != sysmis && v >= treat.lowValue && v <= treat.highValue) {
            continue;
          }
          state.number.SetDouble(x);
          if (!TreatValue(treat, &state.number, &values[i])) {
            status = BatchScores::kInvalidValue;
            errorColumn = binding.column;
            break;
          }
        }
      }
      if (useRecord) {
        status = fillRecordRow(row, &errorColumn);
        if (status == BatchScores::kScored) {
          bool flag = false;
          ProcessScoreCase(&state.record, flag);
          if (!treatSteps.empty() &&
              !ApplyFieldTreatments(&state.record, &invalidField, &invalidValue)) {
            status = BatchScores::kInvalidValue;
            errorColumn = columns.Find(invalidField);
          }
        }
      }
      scores.status[row] = status;
      scores.errorColumn[row] = errorColumn;
      if (status != BatchScores::kScored) {
        scores.prediction[row] = -1;
        scores.confidence[row] = std::nan("");
        scores.winningRule[row] = -1;
        scores.firedCount[row] = 0;
        clearOutputs(row);
        continue;
      }

      state.result.RemoveRuleIDs();
      // Under pmml a row with a missing predictor is walked three-valued.
      threeValuedRecord = semantics == pmml && !clean && HasMissingPredictor();
      if (ScoreAllRuleSetModels(nullptr, resultArg).IsError()) {
        scores.status[row] = BatchScores::kNotScored;
        scores.prediction[row] = -1;
        scores.confidence[row] = std::nan("");
        scores.winningRule[row] = -1;
        scores.firedCount[row] = 0;
        clearOutputs(row);
        continue;
      }

      const ScoreValue* prediction = state.result.GetPrediction();
      int32_t category = -1;
      if (prediction != nullptr) {
        if (state.categoryOf.empty()) {
          for (size_t c = 0; c < categoryCount; ++c) {
            if (categories[c] == prediction) {
              category = static_cast<int32_t>(c);
              break;
            }
          }
        } else {
          const auto hit = state.categoryOf.find(prediction);
          if (hit != state.categoryOf.end()) category = hit->second;
        }
      }
      scores.prediction[row] = category;
      scores.confidence[row] = state.result.GetConfidence();
      scores.winningRule[row] = indexOf(&state.result.GetWinningRuleId());

      int32_t count = 0;
      for (const std::string* id : state.result.GetFiredRulePointers()) {
        const int32_t index = indexOf(id);
        if (index < 0) continue;
        if (scores.fired != nullptr) scores.fired->push_back(index);
        ++count;
      }
      scores.firedCount[row] = count;
      if (outcomeSlot >= 0 && count <= 1) {
        // What this row's first rule gives every row it decides.
        BatchState::Outcome& outcome = state.outcomes[static_cast<size_t>(outcomeSlot)];
        outcome.known = true;
        outcome.prediction = category;
        outcome.confidence = scores.confidence[row];
        outcome.winningRule = scores.winningRule[row];
        outcome.firedCount = count;
        outcome.fired = count == 0 ? -1 : scores.fired != nullptr ? scores.fired->back() : -2;
      }

      if (outputCount != 0) {
        // The output fields as GetScore computes them, from this row.
        outputFields->Evaluate(*this, useRecord ? &state.record : nullptr, &state.result);
        const std::vector<RuleSetResult::OutputValue>& written = state.result.GetOutputValues();
        BatchScores::OutputValue* out = scores.outputs + row * outputCount;
        for (size_t f = 0; f < outputCount; ++f) {
          if (f >= written.size() || written[f].kind == RuleSetResult::OutputValue::kMissing) {
            out[f].kind = BatchScores::OutputValue::kMissing;
          } else if (written[f].kind == RuleSetResult::OutputValue::kNumber) {
            out[f].kind = BatchScores::OutputValue::kNumber;
            out[f].number = written[f].number;
          } else {
            out[f].kind = BatchScores::OutputValue::kText;
            out[f].text.assign(written[f].text);
          }
        }
      }
    }
  } catch (...) {
    // Only an exhausted heap gets here (a table or the fired list
    // growing): the rows left are not scored, and the row cut short
    // leaves no rules behind.
    if (scores.fired != nullptr) scores.fired->resize(firedMark);
    for (; row < end; ++row) {
      scores.status[row] = BatchScores::kNotScored;
      scores.errorColumn[row] = -1;
      scores.prediction[row] = -1;
      scores.confidence[row] = std::nan("");
      scores.winningRule[row] = -1;
      scores.firedCount[row] = 0;
      if (outputCount != 0) clearOutputs(row);
    }
  }
  result = remembered;
  return end - begin;
}

}  // namespace KtZembra_940
