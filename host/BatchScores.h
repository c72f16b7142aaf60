// Where a batch's results go: row r of the batch in entry r of each of the
// caller's arrays, and the fired rules of the rows appended to one list in
// row order.
//
// Predictions and rules are given as indices: a prediction indexes the
// model's GetBatchCategories(), a rule its GetBatchRuleIds(). Indices are
// the same for every translation of one document, so rows scored by
// different copies of a model read alike. The values of the model's output
// fields (GetBatchOutputs()) are kept per row and field.
#ifndef RULESCORE_HOST_BATCHSCORES_H_
#define RULESCORE_HOST_BATCHSCORES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KtZembra_940 {

// An output field of a model, as a batch column: its name, and whether its
// values are always numbers (or missing); otherwise they are texts, or
// numbers and texts mixed.
struct BatchOutputField {
  std::string name;
  bool numeric = false;
};

struct BatchScores {
  // The value of one output field for one row.
  struct OutputValue {
    enum Kind : uint8_t { kMissing = 0, kNumber, kText };
    Kind kind = kMissing;
    double number = 0.0;
    std::string text;
  };

  // What became of a row.
  enum RowStatus : int32_t {
    kScored = 0,
    kNotANumber = 1,      // a text in a numeric field that is no number
    kCodeOutOfRange = 2,  // a code past its column's texts
    kNotScored = 3,       // the model could not score the row
    // A value the field's MiningField treatments refuse (the pmml
    // semantics, invalidValueTreatment returnInvalid): GetScore's error
    // 260024, naming the field (the column's name) and the value.
    kInvalidValue = 4,
  };

  int32_t* prediction = nullptr;   // category index, -1 for none
  double* confidence = nullptr;    // as the model's result holds it; NaN when not scored
  int32_t* winningRule = nullptr;  // rule index, -1 when a default decided
  int32_t* firedCount = nullptr;   // how many rules of `fired` belong to the row
  int32_t* status = nullptr;       // RowStatus
  int32_t* errorColumn = nullptr;  // the batch column at fault, -1 for none
  // The rule indices of every row in row order; appended to (null: not
  // kept). Reserving room beforehand keeps scoring free of allocation.
  std::vector<int32_t>* fired = nullptr;
  // The output fields' values, row by row: row r's value of output field f
  // at outputs[r * GetBatchOutputs().size() + f]; a row not scored has
  // every value missing (null: not kept). A text reuses the entry's buffer.
  OutputValue* outputs = nullptr;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_BATCHSCORES_H_
