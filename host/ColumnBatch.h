// Many records laid out by column, for scoring a batch in one call: per
// field either a column of doubles or a column of small integer codes into
// a table of texts (a dictionary-encoded string column), each with an
// optional missing mask.
//
// The batch points at the caller's arrays without copying them; they must
// stay alive and unchanged while the batch is scored. Only the texts of a
// code column are copied (one per distinct value, not one per row).
#ifndef RULESCORE_HOST_COLUMNBATCH_H_
#define RULESCORE_HOST_COLUMNBATCH_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ColumnBatch {
 public:
  enum class Kind : uint8_t { kNumbers, kCodes };

  // One input column. A row is missing when missing[row] is nonzero, when
  // a number column has nanIsMissing and holds NaN there, or when a code
  // column holds a negative code there. A code at or beyond texts.size()
  // makes the row invalid.
  struct Column {
    std::string name;
    Kind kind = Kind::kNumbers;
    const double* numbers = nullptr;  // kNumbers: one per row
    const int32_t* codes = nullptr;   // kCodes: one per row
    std::vector<std::string> texts;   // kCodes: the text of each code
    const uint8_t* missing = nullptr;  // optional, one per row
    bool nanIsMissing = false;
  };

  explicit ColumnBatch(size_t rows) : rows_(rows) {}
  ColumnBatch(const ColumnBatch&) = delete;
  ColumnBatch& operator=(const ColumnBatch&) = delete;

  // REQUIRES: `values` (and `missing` when not null) hold GetRowCount()
  // entries. A name given twice keeps its first column.
  void AddNumbers(std::string name, const double* values, const uint8_t* missing = nullptr,
                  bool nanIsMissing = false);
  // REQUIRES: `codes` (and `missing` when not null) hold GetRowCount()
  // entries.
  void AddCodes(std::string name, const int32_t* codes, std::vector<std::string> texts,
                const uint8_t* missing = nullptr);

  size_t GetRowCount() const { return rows_; }
  const std::vector<Column>& GetColumns() const { return columns_; }
  // The position of the first column named `name`, or -1.
  int Find(const std::string& name) const;

 private:
  size_t rows_;
  std::vector<Column> columns_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_COLUMNBATCH_H_
