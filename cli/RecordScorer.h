// Scores input rows against one model: binds the CSV columns to the
// dictionary fields the model reads once, then for each row fills one reusable
// host record, calls GetScore and reads the result. One scorer per thread;
// the scorer must be destroyed before its model.
//
// Cell rules: an empty cell is missing; a string field's cell equal to one
// of the field's declared missing values is missing; a numeric field's cell
// must be a number by the host's one number rule (or a declared missing
// value), otherwise the row is not scored.
#ifndef RULESCORE_CLI_RECORDSCORER_H_
#define RULESCORE_CLI_RECORDSCORER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cli/CsvReader.h"
#include "cli/RowScore.h"
#include "host/BatchScoreColumns.h"
#include "host/BatchScores.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/StringValue.h"

namespace KtZembra_940 {
class ScoreDictVar;
class ScoreResult;
}  // namespace KtZembra_940

namespace rulescore {
namespace cli {

class RecordScorer {
 public:
  // `model` must outlive the scorer. `header` names the input columns;
  // `fields` names the fields the model reads (its mining schemas' active
  // fields). Only those dictionary fields are taken from the input, so a
  // pass-through column such as the target is never checked or encoded.
  RecordScorer(KtZembra_940::ScoreModel* model, const std::vector<std::string>& header,
               const std::vector<std::string>& fields);
  ~RecordScorer();
  RecordScorer(const RecordScorer&) = delete;
  RecordScorer& operator=(const RecordScorer&) = delete;

  // Scores one row into `score`; never throws but for lack of memory.
  // Error texts name the line and the column ("line 4: column \"age\": ...").
  void Score(const CsvRow& row, RowScore* score);

  // Scores `count` rows into `scores`, exactly as Score would one by one,
  // but through the model's columnar entry: the rows' cells are read into
  // one column per field (numbers as doubles, texts as codes) and scored as
  // a block. A row the block cannot hold as Score would read it (a faulty
  // record, a cell that is no number) and a row the block did not score
  // take Score itself, so that its result and error text are the same.
  void ScoreRows(const CsvRow* rows, size_t count, RowScore* scores);

  // A cell of a numeric field that is no number is handed to the model as
  // its text, for the model to judge (the pmml semantics treats it as an
  // invalid value), instead of failing the row here.
  void SetTextsReachTheModel(bool value) { textsReachTheModel_ = value; }

 private:
  struct Binding {
    int column;    // input column, -1 when the input has none
    int position;  // position in the record layout
    const KtZembra_940::ScoreDictVar* var;
    bool numeric;
  };

  // Prepares what a block needs of the model: its categories' and rules'
  // texts. False when the model cannot score columns.
  bool PrepareBlocks();

  // Fills the record from a row; false with the reason in `error`.
  bool FillRecord(const CsvRow& row, std::string* error);
  // One text of a confidence: its bits and its text.
  struct ConfidenceText {
    uint64_t bits = 0;
    bool set = false;
    unsigned char size = 0;
    char text[32];
  };
  // Sets score->confidenceText from score->confidence, through a small
  // table of the texts made before (a model has few distinct
  // confidences), or through `entry` when given.
  void SetConfidenceText(RowScore* score, ConfidenceText* entry = nullptr);


  KtZembra_940::ScoreModel* model_;
  std::vector<std::string> header_;
  std::vector<Binding> bindings_;
  KtZembra_940::ScoreCaseRecord record_;
  KtZembra_940::ScoreResult* result_ = nullptr;  // owned; handed out by the model
  KtZembra_940::StringValue probe_{std::string()};  // for declared-missing tests
  bool decisionList_ = false;
  bool textsReachTheModel_ = false;
  std::array<ConfidenceText, 64> confidenceTexts_{};

  // The block path: one column per binding, laid out as the record is, so
  // that the model reads a block as it reads the record.
  struct BlockColumn {
    std::vector<double> numbers;
    std::vector<int32_t> codes;
    std::vector<uint8_t> missing;
    std::vector<std::string> texts;  // a string field's distinct texts in the block
  };
  enum class BlockState { kUnknown, kReady, kUnavailable };
  BlockState blockState_ = BlockState::kUnknown;
  std::vector<BlockColumn> blockColumns_;
  std::unordered_map<std::string_view, int32_t> codeOf_;  // a column's texts: code, -1 missing
  std::vector<uint8_t> blockSlow_;  // per row: scored by Score, not by the block
  struct Prediction {
    std::string text;
    bool isNumber = false;
  };
  std::vector<Prediction> categories_;
  std::vector<std::string> ruleIds_;
  // The bytes categories_' and ruleIds_' texts hold, a bit per byte value.
  uint64_t textBytes_[4] = {};
  // Per winning rule (and 0 for a default), the text of the confidence it
  // last gave: a rule that takes the first hit always gives the same.
  std::vector<ConfidenceText> ruleConfidence_;
  size_t outputCount_ = 0;
  KtZembra_940::BatchScoreColumns block_;  // the current block's results
};

// A cell shown in a message: at most 40 bytes, control characters escaped.
std::string QuoteForMessage(const std::string& text);

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_RECORDSCORER_H_
