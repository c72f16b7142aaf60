// The compiled half of the `rulescore` Python package: a translated model
// (several translations behind one pool, one per scoring thread) that
// scores columns handed over as numpy arrays and builds the result columns
// as numpy arrays. The Python half (rulescore/__init__.py) turns frames,
// dicts and lists into those columns.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cli/ModelCheck.h"
#include "cli/ModelOutline.h"
#include "cli/RecordScorer.h"
#include "cli/SemanticsCheck.h"
#include "host/BatchScoreColumns.h"
#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/ErrorCodes.h"
#include "host/ErrorFormatter.h"
#include "host/PartThreads.h"
#include "host/ModelPool.h"
#include "host/NumberText.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/OutputFields.h"
#include "python/src/ObjectCells.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"

namespace py = pybind11;
namespace K = KtZembra_940;
using rulescore::python::CellAddresses;
using rulescore::python::ObjectCells;

namespace {

// Xerces is started once for the process and never shut down: models are
// created and freed on whatever thread Python runs them, and Xerces wants
// its start and end on one thread.
void StartXerces() {
  static std::once_flag once;
  std::call_once(once, [] { new K::XmlPlatform(); });
}

// A translation failure, raised in Python as rulescore.ModelError.
// `line` is the document line the translator names, 0 for none.
[[noreturn]] void RaiseModelError(int code, const std::string& message,
                                  const std::vector<std::string>& args, unsigned line = 0) {
  py::object error = py::module_::import("rulescore._errors").attr("model_error")(code, message, args, line);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

class Model {
 public:
  Model(const std::string& source, bool isText, const std::string& name, const std::string& semantics,
        int threads) {
    StartXerces();
    K::RuleSetModel::Semantics chosen = K::RuleSetModel::native;
    if (!K::RuleSetModel::SemanticsFromName(semantics, &chosen)) {
      throw py::value_error("semantics must be \"native\" or \"pmml\", not \"" + semantics + "\"");
    }
    if (threads < 1) throw py::value_error("threads must be at least 1");
    threads_ = threads;
    native_ = chosen == K::RuleSetModel::native;
    try {
      document_ = isText ? K::XmlDocument::ParseBuffer(source.data(), source.size(), name)
                         : K::XmlDocument::ParseFile(source);
      translator_ = std::make_unique<K::RuleSetTranslator>();
      // Every translation of the pool reads and scores under the one choice.
      translator_->SetOption("semantics", K::RuleSetModel::SemanticsName(chosen));
      std::vector<std::unique_ptr<K::ScoreModel>> models;
      for (int i = 0; i < threads; ++i) {
        std::unique_ptr<K::ScoreModel> model(
            translator_->ParseFromTree(document_->GetDocument(), document_->GetEncoding()));
        if (!model) {
          pool_.reset();
          RaiseModelError(0, name + ": the document holds no RuleSetModel that can be scored", {});
        }
        models.push_back(std::move(model));
      }
      pool_ = std::make_unique<K::ModelPool>(std::move(models));
    } catch (const K::ZbException& e) {
      RaiseModelError(e.GetErrorCode(), e.GetMessage(), e.GetArguments(), e.GetLine());
    }
    model_ = dynamic_cast<const K::RuleSetModel*>(&pool_->GetModel());
    outline_ = std::make_unique<rulescore::cli::ModelOutline>(document_->GetDocument());
    name_ = name;

    for (const K::ScoreValue* category : pool_->GetModel().GetBatchCategories()) {
      categories_.append(ValueObject(category));
    }
    for (const std::string& id : pool_->GetModel().GetBatchRuleIds()) ruleIds_.push_back(py::str(id));
    numericTarget_ = !categories_.empty();
    for (const py::handle category : categories_) {
      categoryCells_.push_back(category.ptr());
      const bool number = py::isinstance<py::float_>(category);
      numericTarget_ = numericTarget_ && number;
      categoryNumbers_.push_back(number ? category.cast<double>() : std::nan(""));
    }
    categoryCells_.push_back(Py_None);
    categoryNumbers_.push_back(std::nan(""));
    for (const py::str& id : ruleIds_) {
      ruleCells_.push_back(id.ptr());
      PyObject* single = PyTuple_Pack(1, id.ptr());
      if (single == nullptr) throw py::error_already_set();
      // A tuple of a text is no part of any cycle.
      PyObject_GC_UnTrack(single);
      singleFired_.push_back(py::reinterpret_steal<py::object>(single));
    }
    ruleCells_.push_back(Py_None);
    std::vector<PyObject*> usual(categoryCells_);
    usual.insert(usual.end(), ruleCells_.begin(), ruleCells_.end());
    for (const py::object& single : singleFired_) usual.push_back(single.ptr());
    usual.push_back(emptyFired_.ptr());
    cellAddresses_ = std::make_shared<const CellAddresses>(usual);
    maxFired_ = pool_->GetModel().GetMaxFiredPerRecord();
    decisionList_ = pool_->GetModel().GetModelType() == K::ScoreModel::kDecisionListModel;
    for (const std::string& field : outline_->GetPredictors()) {
      const K::ScoreDictionary* dictionary = pool_->GetModel().GetDictionary();
      const K::ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(field) : nullptr;
      if (var == nullptr) continue;
      fields_.push_back(Field{field, py::str(field), var->GetValueType() == K::ScoreDictVar::kString,
                              var->GetMeasureLevel()});
    }
    // The output fields with a column, in the order the batch writes them.
    std::vector<std::string> features;
    if (model_ != nullptr && model_->GetOutputFields() != nullptr) {
      for (const K::OutputFields::Field& field : model_->GetOutputFields()->GetFields()) {
        if (field.shown) features.push_back(K::OutputFields::FeatureName(field.feature));
      }
    }
    const std::vector<K::BatchOutputField> outputs = pool_->GetModel().GetBatchOutputs();
    for (size_t f = 0; f < outputs.size(); ++f) {
      outputs_.push_back(Output{py::str(outputs[f].name), f < features.size() ? features[f] : std::string(),
                                outputs[f].numeric});
    }
  }

  ~Model() {
    // Models first, then what they were read from.
    pool_.reset();
    translator_.reset();
    outline_.reset();
    document_.reset();
  }

  // [(name, is_string, measure level)] of the fields the model reads.
  py::list Fields() const {
    py::list out;
    static const char* const kLevels[] = {"continuous", "ordinal", "nominal"};
    for (const Field& field : fields_) {
      const char* level = field.level >= 0 && field.level < 3 ? kLevels[field.level] : "unknown";
      out.append(py::make_tuple(field.name, field.isString ? "string" : "double", level));
    }
    return out;
  }

  py::object Target() const {
    const K::ScoreDictVar* target = pool_->GetModel().GetTargetVar();
    if (target == nullptr) return py::none();
    return py::str(target->Name());
  }

  py::list Categories() const { return py::list(categories_); }

  // [(name, feature, is_number)] of the output fields with a column.
  py::list Outputs() const {
    py::list out;
    for (const Output& output : outputs_) out.append(py::make_tuple(output.name, output.feature, output.numeric));
    return out;
  }

  py::list RuleSets() const {
    py::list out;
    if (model_ == nullptr) return out;
    static const char* const kMethods[] = {"firstHit", "weightedSum", "weightedMax"};
    const auto& rules = model_->GetSimpleRules();
    const auto& methods = model_->GetRuleSelectionMethodUsed();
    const auto& defaults = model_->GetDefaultScore();
    const auto& confidences = model_->GetDefaultConfidence();
    for (size_t m = 0; m < rules.size(); ++m) {
      py::dict set;
      const int method = m < methods.size() ? methods[m] : 0;
      set["criterion"] = method >= 0 && method < 3 ? kMethods[method] : "unknown";
      set["default_score"] = m < defaults.size() ? py::object(py::str(defaults[m])) : py::none();
      set["default_confidence"] = m < confidences.size() ? py::object(py::float_(confidences[m])) : py::none();
      py::list list;
      for (const K::SimpleRule* rule : rules[m]) {
        if (rule == nullptr) continue;
        py::dict entry;
        entry["id"] = rule->GetRuleID();
        entry["score"] = rule->GetScoreValue();
        entry["weight"] = rule->GetRuleWeight();
        entry["confidence"] = rule->GetRuleConfidence();
        entry["predicate"] = PredicateText(*rule);
        list.append(entry);
      }
      set["rules"] = list;
      out.append(set);
    }
    return out;
  }

  py::list Check() const {
    rulescore::cli::ModelCheck check(pool_->GetModel(), *outline_);
    AddSemanticsWarnings(check);
    py::list out;
    for (const std::string& warning : check.GetWarnings()) out.append(warning);
    return out;
  }

  std::string Report() const {
    rulescore::cli::ModelCheck check(pool_->GetModel(), *outline_);
    AddSemanticsWarnings(check);
    return check.Report(name_);
  }

  // As the tool's check: natively, the reasons why the document would
  // score otherwise under the pmml semantics.
  void AddSemanticsWarnings(rulescore::cli::ModelCheck& check) const {
    if (native_) check.AddWarnings(rulescore::cli::SemanticsCheck(document_->GetDocument()).GetWarnings());
  }

  std::string Show() const {
    std::ostringstream out;
    pool_->GetModel().Display(out);
    return out.str();
  }

  // Scores `rows` rows from `columns`, each (name, array, texts, missing,
  // nan_is_missing): a float64 array of numbers with texts None, or an
  // int32 array of codes into the list `texts`; `missing` a uint8 array or
  // None. Returns (prediction, confidence, winning_rule, fired_rules,
  // error) as numpy arrays.
  py::tuple ScoreColumns(const py::list& columns, size_t rows, int threads) {
    K::ColumnBatch batch(rows);
    std::vector<py::array> keep;  // holds the arrays while they are read
    for (const py::handle& item : columns) {
      const py::tuple entry = py::reinterpret_borrow<py::tuple>(item);
      if (entry.size() != 5) throw py::value_error("a column entry has five members");
      const std::string name = entry[0].cast<std::string>();
      const uint8_t* missing = nullptr;
      if (!entry[3].is_none()) {
        auto mask = py::array_t<uint8_t, py::array::c_style | py::array::forcecast>::ensure(entry[3]);
        if (!mask || static_cast<size_t>(mask.size()) != rows) {
          throw py::value_error("column " + name + ": the missing mask has the wrong length");
        }
        missing = mask.data();
        keep.push_back(mask);
      }
      if (entry[2].is_none()) {
        auto values = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(entry[1]);
        if (!values || values.ndim() != 1 || static_cast<size_t>(values.size()) != rows) {
          throw py::value_error("column " + name + ": expected " + std::to_string(rows) + " numbers");
        }
        batch.AddNumbers(name, values.data(), missing, entry[4].cast<bool>());
        keep.push_back(values);
      } else {
        auto codes = py::array_t<int32_t, py::array::c_style | py::array::forcecast>::ensure(entry[1]);
        if (!codes || codes.ndim() != 1 || static_cast<size_t>(codes.size()) != rows) {
          throw py::value_error("column " + name + ": expected " + std::to_string(rows) + " codes");
        }
        batch.AddCodes(name, codes.data(), entry[2].cast<std::vector<std::string>>(), missing);
        keep.push_back(codes);
      }
    }
    return Run(batch, threads);
  }

  // One record from a dict: each field the model reads taken by its name;
  // None, NaN and absent keys are missing.
  py::dict ScoreRecord(const py::dict& record) {
    const size_t n = fields_.size();
    // Per call: another thread may score a record while this one waits
    // for a model.
    std::vector<double> numbers(n, 0.0);
    std::vector<int32_t> codes(n, 0);
    K::ColumnBatch batch(1);
    for (size_t i = 0; i < n; ++i) {
      const Field& field = fields_[i];
      PyObject* value = PyDict_GetItemWithError(record.ptr(), field.key.ptr());
      if (value == nullptr && PyErr_Occurred()) throw py::error_already_set();
      if (value == nullptr || value == Py_None) {
        codes[i] = -1;
        batch.AddCodes(field.name, &codes[i], {});
        continue;
      }
      if (PyFloat_Check(value) || (PyLong_Check(value) && !PyBool_Check(value))) {
        numbers[i] = PyFloat_AsDouble(value);
        if (numbers[i] == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        batch.AddNumbers(field.name, &numbers[i], nullptr, true);
        continue;
      }
      if (PyUnicode_Check(value)) {
        batch.AddCodes(field.name, &codes[i], {py::reinterpret_borrow<py::str>(value).cast<std::string>()});
        continue;
      }
      // Anything else (numpy scalars, booleans, pandas' NA, dates) the
      // Python side turns into a number, a text or None.
      const py::object cell = py::module_::import("rulescore").attr("_cell")(py::handle(value));
      if (cell.is_none()) {
        codes[i] = -1;
        batch.AddCodes(field.name, &codes[i], {});
      } else if (py::isinstance<py::float_>(cell)) {
        numbers[i] = cell.cast<double>();
        batch.AddNumbers(field.name, &numbers[i], nullptr, true);
      } else {
        batch.AddCodes(field.name, &codes[i], {cell.cast<std::string>()});
      }
    }
    K::BatchScoreColumns scored(1, outputs_.size());
    Compute(batch, 1, scored);
    py::dict out;
    const int32_t category = scored.prediction[0];
    out["prediction"] = py::reinterpret_steal<py::object>(Prediction(category));
    const double confidence = scored.confidence[0];
    out["confidence"] = decisionList_ || category < 0 ? std::nan("") : confidence;
    out["winning_rule"] = py::reinterpret_steal<py::object>(RuleId(scored.winningRule[0]));
    out["fired_rules"] = py::reinterpret_steal<py::object>(FiredTuple(scored.fired.data(), scored.firedCount[0]));
    if (scored.status[0] == K::BatchScores::kScored) {
      out["error"] = py::none();
    } else {
      out["error"] = ErrorText(batch, 0, scored.status[0], scored.errorColumn[0]);
    }
    for (size_t f = 0; f < outputs_.size(); ++f) {
      // An output field named like a standard column is a second column of
      // that name in a table; a dict keeps the standard value.
      if (out.contains(outputs_[f].name)) continue;
      const K::BatchScores::OutputValue& value = scored.outputs[f];
      py::object cell = py::none();
      if (value.kind == K::BatchScores::OutputValue::kNumber) {
        cell = py::float_(value.number);
      } else if (value.kind == K::BatchScores::OutputValue::kText) {
        cell = outputs_[f].numeric ? py::object(py::float_(std::nan(""))) : py::object(py::str(value.text));
      } else if (outputs_[f].numeric) {
        cell = py::float_(std::nan(""));
      }
      out[outputs_[f].name] = cell;
    }
    return out;
  }

  int Threads() const { return threads_; }

  bool IsDecisionList() const { return decisionList_; }

  // Rows a part scores per call of the model, at least.
  static constexpr size_t kChunkRows = size_t{1} << 14;

 private:
  struct Field {
    std::string name;
    py::str key;
    bool isString;
    int level;
  };

  struct Output {
    py::str name;
    std::string feature;
    bool numeric;  // a float64 column (NaN for missing); else objects
  };

  static py::object ValueObject(const K::ScoreValue* value) {
    if (value == nullptr) return py::none();
    if (value->GetValueType() == K::ScoreValue::kNumeric) return py::float_(value->GetDouble());
    return py::str(value->GetString());
  }

  // The rule's predicate as its split variables print it, one line.
  static std::string PredicateText(const K::SimpleRule& rule) {
    std::ostringstream out;
    for (const K::ScoreSplitVar* split : rule.GetSplitVar()) {
      if (split != nullptr) split->Display(out);
    }
    std::string text;
    bool space = false;
    for (char c : out.str()) {
      if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
        space = !text.empty();
        continue;
      }
      if (space) text += ' ';
      space = false;
      text += c;
    }
    return text;
  }

  std::string ErrorText(const K::ColumnBatch& batch, size_t row, int32_t status, int32_t column) const {
    const std::vector<K::ColumnBatch::Column>& columns = batch.GetColumns();
    if (status == K::BatchScores::kInvalidValue) return InvalidText(batch, row, column);
    std::string where;
    std::string cell;
    if (column >= 0 && static_cast<size_t>(column) < columns.size()) {
      const K::ColumnBatch::Column& c = columns[static_cast<size_t>(column)];
      where = "column " + rulescore::cli::QuoteForMessage(c.name) + ": ";
      if (c.codes != nullptr) {
        const int32_t code = c.codes[row];
        if (code >= 0 && static_cast<size_t>(code) < c.texts.size()) {
          cell = rulescore::cli::QuoteForMessage(c.texts[static_cast<size_t>(code)]);
        } else {
          cell = std::to_string(code);
        }
      }
    }
    switch (status) {
      case K::BatchScores::kNotANumber:
        return where + cell + " is not a number";
      case K::BatchScores::kCodeOutOfRange:
        return where + "code " + cell + " has no text";
      default:
        return where + "the model could not score the row";
    }
  }

  // A value the field's treatments refuse, as the tool words it: the field
  // (the column's name) and the value as the model read it, a number in its
  // shortest form.
  std::string InvalidText(const K::ColumnBatch& batch, size_t row, int32_t column) const {
    const std::vector<K::ColumnBatch::Column>& columns = batch.GetColumns();
    if (column < 0 || static_cast<size_t>(column) >= columns.size()) {
      return K::gErrorFormater.Format(K::ErrorCode::kInvalidInput, {std::string(), std::string()});
    }
    const K::ColumnBatch::Column& c = columns[static_cast<size_t>(column)];
    char buffer[64];
    std::string value;
    if (c.kind == K::ColumnBatch::Kind::kNumbers) {
      value = std::string(K::NumberText::FormatShortest(c.numbers[row], buffer, sizeof buffer));
    } else {
      const int32_t code = c.codes[row];
      if (code >= 0 && static_cast<size_t>(code) < c.texts.size()) value = c.texts[static_cast<size_t>(code)];
      const K::ScoreDictionary* dictionary = pool_->GetModel().GetDictionary();
      const K::ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(c.name) : nullptr;
      double number = 0.0;
      if (var != nullptr && var->GetValueType() != K::ScoreDictVar::kString &&
          var->ParseNumber(value, &number)) {
        value = std::string(K::NumberText::FormatShortest(number, buffer, sizeof buffer));
      }
    }
    return K::gErrorFormater.Format(K::ErrorCode::kInvalidInput, {c.name, value});
  }

  // Scores the batch without the GIL.
  void Compute(const K::ColumnBatch& batch, int threads, K::BatchScoreColumns& scored) {
    const size_t rows = batch.GetRowCount();
    const size_t perRow = maxFired_ < 4 ? maxFired_ : 4;
    bool ok = true;
    {
      py::gil_scoped_release release;
      scored.fired.reserve(rows * perRow);
      K::BatchScores scores = scored.Scores();
      ok = pool_->Score(batch, scores, threads);
    }
    if (!ok) throw std::runtime_error("the model cannot score columns");
  }

  PyObject* Prediction(int32_t category) const {
    PyObject* value = category >= 0 && static_cast<size_t>(category) < categories_.size()
                          ? PyList_GET_ITEM(categories_.ptr(), category)
                          : Py_None;
    Py_INCREF(value);
    return value;
  }

  PyObject* RuleId(int32_t rule) const {
    PyObject* id = rule >= 0 && static_cast<size_t>(rule) < ruleIds_.size()
                       ? ruleIds_[static_cast<size_t>(rule)].ptr()
                       : Py_None;
    Py_INCREF(id);
    return id;
  }

  // A tuple of the rule ids `ids[0..count)`, new reference; no rule and
  // one rule give the tuples the model keeps.
  PyObject* FiredTuple(const int32_t* ids, int32_t count) const {
    if (count <= 0) return emptyFired_.inc_ref().ptr();
    if (count == 1 && ids[0] >= 0 && static_cast<size_t>(ids[0]) < singleFired_.size()) {
      return singleFired_[static_cast<size_t>(ids[0])].inc_ref().ptr();
    }
    PyObject* tuple = PyTuple_New(count);
    if (tuple == nullptr) throw py::error_already_set();
    for (int32_t k = 0; k < count; ++k) PyTuple_SET_ITEM(tuple, k, RuleId(ids[k]));
    return tuple;
  }

  // What one part of a call leaves for the GIL: how many cells of its
  // rows point at each shared object (the references are added in one go
  // afterwards), and the rows whose cell needs an object made first.
  struct Part {
    bool ok = false;
    std::vector<Py_ssize_t> categories;   // per category; None last
    std::vector<Py_ssize_t> rules;        // per rule id; None last
    std::vector<Py_ssize_t> singles;      // per one-rule tuple
    Py_ssize_t empty = 0;                 // the empty tuple
    Py_ssize_t none = 0;                  // None in the error column
    std::unordered_map<std::string, int32_t> sets;  // sets of several rules, by their ids' bytes
    std::vector<std::pair<size_t, int32_t>> setRows;  // (row, set) still to fill
    struct Failed {
      size_t row;
      int32_t status;
      int32_t column;
    };
    std::vector<Failed> errorRows;        // rows with an error text still to fill
    // Output values for object columns, one per distinct value (its kind,
    // 'n' or 't', then the number's bytes or the text), and the cells
    // (row, output, value) still to fill.
    std::unordered_map<std::string, int32_t> values;
    struct OutputCell {
      size_t row;
      uint32_t output;
      int32_t value;
    };
    std::vector<OutputCell> outputRows;
  };

  // The memory of a call's object cells, uninitialised when made. Once
  // `owned`, each cell holds a reference (or null), dropped with it.
  // The result arrays of one call.
  struct Out {
    PyObject** prediction = nullptr;  // null when the prediction is numeric
    double* predictionNumbers = nullptr;
    double* confidence = nullptr;
    PyObject** winning = nullptr;
    PyObject** fired = nullptr;
    PyObject** error = nullptr;
    // Per output field: its float64 column, or null and its object column.
    std::vector<double*> outputNumbers;
    std::vector<PyObject**> outputObjects;
  };

  // Chunks of `chunk` rows taken from `next` until every row is taken,
  // scored and their cells written, without the GIL: each cell borrows a
  // shared object and is counted in `part`. The parts of a call take
  // chunks from one counter, so that a part whose thread runs slower (or
  // starts later) takes fewer rows and the parts end together. Each chunk
  // goes through the model as a batch of its own (the columns from the
  // chunk's first row), so that what the model gives per row sits in a
  // small array used again for every chunk.
  void ScorePart(const K::ColumnBatch& batch, size_t chunk, std::atomic<size_t>& next, const Out& out,
                 Part& part) const {
    const size_t total = batch.GetRowCount();
    const size_t categoryCount = categoryCells_.size() - 1;
    const size_t ruleCount = ruleCells_.size() - 1;
    part.categories.assign(categoryCount + 1, 0);
    part.rules.assign(ruleCount + 1, 0);
    part.singles.assign(ruleCount, 0);
    chunk = std::max<size_t>(1, std::min(chunk, total));
    std::vector<int32_t> given(5 * chunk);
    std::vector<int32_t> fired;
    fired.reserve(chunk * std::min<size_t>(maxFired_, 2));
    K::BatchScores scores;
    scores.prediction = given.data();
    scores.winningRule = given.data() + chunk;
    scores.firedCount = given.data() + 2 * chunk;
    scores.status = given.data() + 3 * chunk;
    scores.errorColumn = given.data() + 4 * chunk;
    scores.fired = &fired;
    const size_t outputCount = outputs_.size();
    std::vector<K::BatchScores::OutputValue> values(chunk * outputCount);
    scores.outputs = outputCount != 0 ? values.data() : nullptr;
    std::string key;
    std::string valueKey;
    for (size_t first = next.fetch_add(chunk, std::memory_order_relaxed); first < total;
         first = next.fetch_add(chunk, std::memory_order_relaxed)) {
      const size_t rows = std::min(chunk, total - first);
      K::ColumnBatch view(rows);
      for (const K::ColumnBatch::Column& c : batch.GetColumns()) {
        const uint8_t* missing = c.missing != nullptr ? c.missing + first : nullptr;
        if (c.kind == K::ColumnBatch::Kind::kNumbers) {
          view.AddNumbers(c.name, c.numbers + first, missing, c.nanIsMissing);
        } else {
          view.AddCodes(c.name, c.codes + first, c.texts, missing);
        }
      }
      fired.clear();
      scores.confidence = out.confidence + first;
      if (!pool_->ScoreRows(view, 0, rows, scores, 1)) return;
      const int32_t* ids = fired.data();
      for (size_t i = 0; i < rows; ++i) {
        const size_t r = first + i;
        const int32_t category = scores.prediction[i];
        const size_t c = category >= 0 && static_cast<size_t>(category) < categoryCount
                             ? static_cast<size_t>(category) : categoryCount;
        if (out.prediction != nullptr) {
          out.prediction[r] = categoryCells_[c];
          ++part.categories[c];
        } else {
          out.predictionNumbers[r] = categoryNumbers_[c];
        }
        if (decisionList_ || c == categoryCount) out.confidence[r] = std::nan("");
        const int32_t rule = scores.winningRule[i];
        const size_t w = rule >= 0 && static_cast<size_t>(rule) < ruleCount ? static_cast<size_t>(rule) : ruleCount;
        out.winning[r] = ruleCells_[w];
        ++part.rules[w];
        const int32_t count = scores.firedCount[i] > 0 ? scores.firedCount[i] : 0;
        if (count == 0) {
          out.fired[r] = emptyFired_.ptr();
          ++part.empty;
        } else if (count == 1 && ids[0] >= 0 && static_cast<size_t>(ids[0]) < ruleCount) {
          out.fired[r] = singleFired_[static_cast<size_t>(ids[0])].ptr();
          ++part.singles[static_cast<size_t>(ids[0])];
        } else {
          key.assign(reinterpret_cast<const char*>(ids), sizeof(int32_t) * static_cast<size_t>(count));
          const auto found = part.sets.emplace(key, static_cast<int32_t>(part.sets.size())).first;
          part.setRows.emplace_back(r, found->second);
          out.fired[r] = nullptr;
        }
        ids += count;
        const int32_t status = scores.status[i];
        if (status == K::BatchScores::kScored) {
          out.error[r] = Py_None;
          ++part.none;
        } else {
          part.errorRows.push_back(Part::Failed{r, status, scores.errorColumn[i]});
          out.error[r] = nullptr;
        }
        const K::BatchScores::OutputValue* written = values.data() + i * outputCount;
        for (size_t f = 0; f < outputCount; ++f) {
          const K::BatchScores::OutputValue& value = written[f];
          if (out.outputNumbers[f] != nullptr) {
            out.outputNumbers[f][r] =
                value.kind == K::BatchScores::OutputValue::kNumber ? value.number : std::nan("");
          } else if (value.kind == K::BatchScores::OutputValue::kMissing) {
            out.outputObjects[f][r] = Py_None;
            ++part.none;
          } else {
            if (value.kind == K::BatchScores::OutputValue::kNumber) {
              valueKey.assign(1, 'n');
              valueKey.append(reinterpret_cast<const char*>(&value.number), sizeof value.number);
            } else {
              valueKey.assign(1, 't');
              valueKey.append(value.text);
            }
            const auto found = part.values.emplace(valueKey, static_cast<int32_t>(part.values.size())).first;
            part.outputRows.push_back(Part::OutputCell{r, static_cast<uint32_t>(f), found->second});
            out.outputObjects[f][r] = nullptr;
          }
        }
      }
    }
    part.ok = true;
  }

  // Adds `count` references to `object` at once (with the GIL).
  static void AddReferences(PyObject* object, Py_ssize_t count) {
    if (count > 0) Py_SET_REFCNT(object, Py_REFCNT(object) + count);
  }

  // The result columns of a scored batch: (prediction, confidence,
  // winning_rule, fired_rules, error), the object columns rows (views) of
  // one 2-d array, their `base`. Up to `threads` parts, each on a thread
  // of its own without the GIL, take the rows a chunk at a time, score
  // them and turn them into cells: every cell of the object columns points
  // at an object that rows share (a category, a rule id, None, a tuple per
  // rule), so a row costs a pointer, not a Python object. Tuples of several
  // fired rules (one per distinct set) and error texts (one per distinct
  // cause) are made afterwards with the GIL.
  py::tuple Run(const K::ColumnBatch& batch, int threads) {
    const size_t rows = batch.GetRowCount();
    const auto length = static_cast<py::ssize_t>(rows);
    // The object columns are the rows of one 2-d array, so that a frame
    // holds them as one block: a block of None only (the error column of
    // a clean table) would make pandas look at each cell when frames are
    // put together.
    const py::ssize_t objectColumns = numericTarget_ ? 3 : 4;
    py::ssize_t objectOutputs = 0;
    for (const Output& output : outputs_) objectOutputs += output.numeric ? 0 : 1;
    const py::ssize_t blockRows = objectColumns + objectOutputs;
    // The block's memory is left uninitialised: numpy would zero it on
    // the calling thread alone, while each part writes every cell of its
    // own rows anyway (and takes the page faults of fresh memory there).
    // The capsule owning it drops the cells' references once they all hold
    // one (`owned`), and frees it.
    size_t count = static_cast<size_t>(std::max(1, std::min(threads, pool_->GetSize())));
    count = std::min(count, std::max<size_t>(1, rows / K::ModelPool::kMinRowsPerThread));
    auto memory = std::make_unique<ObjectCells>(static_cast<size_t>(blockRows) * rows, static_cast<int>(count),
                                                cellAddresses_);
    py::capsule owner(memory.get(), [](void* p) { delete static_cast<ObjectCells*>(p); });
    ObjectCells* cells = memory.release();
    py::array block(py::dtype("O"), std::vector<py::ssize_t>{blockRows, length},
                    std::vector<py::ssize_t>{length * static_cast<py::ssize_t>(sizeof(PyObject*)),
                                             static_cast<py::ssize_t>(sizeof(PyObject*))},
                    cells->GetCells(), owner);
    auto rowOf = [&block](py::ssize_t at) { return py::array(block.attr("__getitem__")(at)); };
    py::array prediction = numericTarget_ ? py::array(py::array_t<double>(length)) : rowOf(0);
    py::array_t<double> confidence(length);
    py::array winning = rowOf(objectColumns - 3);
    py::array fired = rowOf(objectColumns - 2);
    py::array error = rowOf(objectColumns - 1);
    Out out;
    if (numericTarget_) {
      out.predictionNumbers = static_cast<double*>(prediction.mutable_data());
    } else {
      out.prediction = static_cast<PyObject**>(prediction.mutable_data());
    }
    out.confidence = confidence.mutable_data();
    out.winning = static_cast<PyObject**>(winning.mutable_data());
    out.fired = static_cast<PyObject**>(fired.mutable_data());
    out.error = static_cast<PyObject**>(error.mutable_data());
    // The output fields' columns after the standard ones: float64 arrays
    // and rows of the block after the standard object columns.
    std::vector<py::array> outputColumns;
    py::ssize_t nextRow = objectColumns;
    for (const Output& output : outputs_) {
      if (output.numeric) {
        outputColumns.push_back(py::array_t<double>(length));
        out.outputNumbers.push_back(static_cast<double*>(outputColumns.back().mutable_data()));
        out.outputObjects.push_back(nullptr);
      } else {
        outputColumns.push_back(rowOf(nextRow++));
        out.outputNumbers.push_back(nullptr);
        out.outputObjects.push_back(static_cast<PyObject**>(outputColumns.back().mutable_data()));
      }
    }
    // A chunk's batch reads its code columns' texts again: chunks are long
    // beside the texts there are.
    size_t texts = 0;
    for (const K::ColumnBatch::Column& c : batch.GetColumns()) texts += c.texts.size();
    size_t chunk = std::max(kChunkRows, 8 * texts);
    // Output values take a few dozen bytes each per row of a chunk; such
    // models are scored a row at a time anyway.
    if (!outputs_.empty()) chunk = std::min<size_t>(chunk, 2048);
    // Every part gets a chunk at least.
    chunk = std::min(chunk, std::max<size_t>(1, (rows + count - 1) / count));

    std::vector<Part> parts(count);
    std::atomic<size_t> next{0};
    {
      py::gil_scoped_release release;
      auto run = [&](size_t p) {
        try {
          ScorePart(batch, chunk, next, out, parts[p]);
        } catch (...) {
          parts[p].ok = false;
        }
      };
      KtZembra_940::PartThreads::RunAll(count, run);
    }
    bool ok = true;
    for (const Part& part : parts) ok = ok && part.ok;
    // The cells borrow what they point at until the references below are
    // added: a failed call leaves the block without any to drop.
    if (!ok) throw std::runtime_error("the model cannot score columns");

    // The references of the shared cells, then the cells still empty.
    for (const Part& part : parts) {
      for (size_t c = 0; c < part.categories.size(); ++c) AddReferences(categoryCells_[c], part.categories[c]);
      for (size_t w = 0; w < part.rules.size(); ++w) AddReferences(ruleCells_[w], part.rules[w]);
      for (size_t k = 0; k < part.singles.size(); ++k) AddReferences(singleFired_[k].ptr(), part.singles[k]);
      AddReferences(emptyFired_.ptr(), part.empty);
      AddReferences(Py_None, part.none);
    }
    // Every cell now holds a reference or, until its object is made below,
    // null.
    cells->SetOwned();
    std::unordered_map<std::string, py::object> sets;
    std::unordered_map<std::string, py::object> outputValues;
    std::map<std::tuple<int32_t, int32_t, int32_t>, py::object> errors;
    const std::vector<K::ColumnBatch::Column>& columns = batch.GetColumns();
    std::vector<int32_t> ids;
    for (Part& part : parts) {
      std::vector<PyObject*> made(part.sets.size(), nullptr);
      for (const auto& set : part.sets) {
        py::object& tuple = sets[set.first];
        if (!tuple) {
          ids.resize(set.first.size() / sizeof(int32_t));
          std::memcpy(ids.data(), set.first.data(), ids.size() * sizeof(int32_t));
          tuple = py::reinterpret_steal<py::object>(FiredTuple(ids.data(), static_cast<int32_t>(ids.size())));
        }
        made[static_cast<size_t>(set.second)] = tuple.ptr();
      }
      for (const auto& row : part.setRows) {
        PyObject* tuple = made[static_cast<size_t>(row.second)];
        Py_INCREF(tuple);
        out.fired[row.first] = tuple;
      }
      for (const Part::Failed& failed : part.errorRows) {
        const size_t r = failed.row;
        const int32_t column = failed.column;
        if (column < 0 || static_cast<size_t>(column) >= columns.size() ||
            columns[static_cast<size_t>(column)].codes == nullptr) {
          // A number's text names the number: one text per row.
          out.error[r] = py::str(ErrorText(batch, r, failed.status, column)).release().ptr();
          continue;
        }
        // A code's text names the code's text: one text per code.
        py::object& text =
            errors[std::make_tuple(failed.status, column, columns[static_cast<size_t>(column)].codes[r])];
        if (!text) text = py::str(ErrorText(batch, r, failed.status, column));
        out.error[r] = text.inc_ref().ptr();
      }
      std::vector<PyObject*> valueCells(part.values.size(), nullptr);
      for (const auto& value : part.values) {
        py::object& object = outputValues[value.first];
        if (!object) {
          if (value.first[0] == 'n') {
            double number = 0.0;
            std::memcpy(&number, value.first.data() + 1, sizeof number);
            object = py::float_(number);
          } else {
            object = py::str(value.first.data() + 1, value.first.size() - 1);
          }
        }
        valueCells[static_cast<size_t>(value.second)] = object.ptr();
      }
      for (const Part::OutputCell& cell : part.outputRows) {
        PyObject* object = valueCells[static_cast<size_t>(cell.value)];
        Py_INCREF(object);
        out.outputObjects[cell.output][cell.row] = object;
      }
    }
    py::list result;
    for (const py::handle column : {py::handle(prediction), py::handle(confidence), py::handle(winning),
                                    py::handle(fired), py::handle(error)}) {
      result.append(column);
    }
    for (const py::array& column : outputColumns) result.append(column);
    return py::tuple(result);
  }

  std::unique_ptr<K::XmlDocument> document_;
  std::unique_ptr<K::RuleSetTranslator> translator_;
  std::unique_ptr<K::ModelPool> pool_;
  std::unique_ptr<rulescore::cli::ModelOutline> outline_;
  const K::RuleSetModel* model_ = nullptr;  // the pool's first model
  std::string name_;
  int threads_ = 1;
  bool native_ = true;
  bool decisionList_ = false;
  size_t maxFired_ = 0;
  std::vector<Field> fields_;
  std::vector<Output> outputs_;
  py::list categories_;
  std::vector<py::str> ruleIds_;
  // What result cells point at: each category's object (None last) or,
  // for a numeric target, its number (NaN last); each rule id (None last);
  // a one-rule tuple per rule; the empty tuple.
  bool numericTarget_ = false;
  std::vector<PyObject*> categoryCells_;
  std::vector<double> categoryNumbers_;
  std::vector<PyObject*> ruleCells_;
  std::vector<py::object> singleFired_;
  py::tuple emptyFired_;
  // Where those objects are, for dropping a result's references.
  std::shared_ptr<const CellAddresses> cellAddresses_;
};

// The distinct texts of an object array and a code per cell: (codes, texts)
// with codes an int32 array indexing the list `texts` (each text the first
// str object that held it), -1 for None, a float NaN or any of `missing`.
// None when a cell holds anything else, which the caller converts itself.
// A cell is looked up by its object first (columns repeat objects), then
// by its text.
py::object Factorize(const py::array& values, const py::tuple& missing) {
  if (values.ndim() != 1 || values.dtype().kind() != 'O') throw py::value_error("expected a 1-d object array");
  const auto rows = static_cast<size_t>(values.shape(0));
  const py::ssize_t stride = values.strides(0);
  const char* base = static_cast<const char*>(values.data());
  std::vector<PyObject*> markers{Py_None};
  for (const py::handle marker : missing) markers.push_back(marker.ptr());

  py::array_t<int32_t> codes(static_cast<py::ssize_t>(rows));
  int32_t* out = codes.mutable_data();
  py::list texts;
  // Cells by object: open addressing on the pointer.
  std::vector<std::pair<PyObject*, int32_t>> slots(64, {nullptr, 0});
  size_t used = 0;
  auto slotOf = [&slots](PyObject* cell) {
    size_t at = static_cast<size_t>((reinterpret_cast<uintptr_t>(cell) >> 4) * 0x9E3779B97F4A7C15ull >> 32);
    const size_t mask = slots.size() - 1;
    for (at &= mask; slots[at].first != nullptr && slots[at].first != cell; at = (at + 1) & mask) {
    }
    return at;
  };
  std::unordered_map<std::string_view, int32_t> byText;
  PyObject* last = nullptr;
  int32_t lastCode = -1;
  for (size_t r = 0; r < rows; ++r) {
    PyObject* cell = *reinterpret_cast<PyObject* const*>(base + static_cast<py::ssize_t>(r) * stride);
    if (cell == last) {
      out[r] = lastCode;
      continue;
    }
    int32_t code = -1;
    size_t at = slotOf(cell);
    if (slots[at].first == cell) {
      code = slots[at].second;
    } else {
      if (PyUnicode_Check(cell)) {
        Py_ssize_t size = 0;
        const char* utf8 = PyUnicode_AsUTF8AndSize(cell, &size);
        if (utf8 == nullptr) throw py::error_already_set();
        const auto found = byText.emplace(std::string_view(utf8, static_cast<size_t>(size)),
                                          static_cast<int32_t>(texts.size()));
        if (found.second) texts.append(py::handle(cell));
        code = found.first->second;
      } else if (PyFloat_Check(cell) && std::isnan(PyFloat_AS_DOUBLE(cell))) {
        code = -1;
      } else if (std::find(markers.begin(), markers.end(), cell) != markers.end()) {
        code = -1;
      } else {
        return py::none();
      }
      slots[at] = {cell, code};
      if (++used * 2 > slots.size()) {
        std::vector<std::pair<PyObject*, int32_t>> old(slots.size() * 2, {nullptr, 0});
        old.swap(slots);
        for (const auto& slot : old) {
          if (slot.first != nullptr) slots[slotOf(slot.first)] = slot;
        }
      }
    }
    out[r] = code;
    last = cell;
    lastCode = code;
  }
  return py::make_tuple(codes, texts);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The compiled scoring engine behind the rulescore package.";
  m.def("factorize", &Factorize, py::arg("values"), py::arg("missing"));
  py::class_<Model>(m, "Model")
      .def(py::init<const std::string&, bool, const std::string&, const std::string&, int>(),
           py::arg("source"), py::arg("is_text"), py::arg("name"), py::arg("semantics"),
           py::arg("threads"))
      .def_property_readonly("fields", &Model::Fields)
      .def_property_readonly("target", &Model::Target)
      .def_property_readonly("categories", &Model::Categories)
      .def_property_readonly("outputs", &Model::Outputs)
      .def_property_readonly("rule_sets", &Model::RuleSets)
      .def_property_readonly("threads", &Model::Threads)
      .def_property_readonly("is_decision_list", &Model::IsDecisionList)
      .def("check", &Model::Check)
      .def("report", &Model::Report)
      .def("show", &Model::Show)
      .def("score_columns", &Model::ScoreColumns, py::arg("columns"), py::arg("rows"),
           py::arg("threads"))
      .def("score_record", &Model::ScoreRecord, py::arg("record"));
}
