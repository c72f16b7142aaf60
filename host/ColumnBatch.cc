#include "host/ColumnBatch.h"

#include <utility>

namespace KtZembra_940 {

void ColumnBatch::AddNumbers(std::string name, const double* values, const uint8_t* missing,
                             bool nanIsMissing) {
  Column column;
  column.name = std::move(name);
  column.kind = Kind::kNumbers;
  column.numbers = values;
  column.missing = missing;
  column.nanIsMissing = nanIsMissing;
  columns_.push_back(std::move(column));
}

void ColumnBatch::AddCodes(std::string name, const int32_t* codes, std::vector<std::string> texts,
                           const uint8_t* missing) {
  Column column;
  column.name = std::move(name);
  column.kind = Kind::kCodes;
  column.codes = codes;
  column.texts = std::move(texts);
  column.missing = missing;
  columns_.push_back(std::move(column));
}

int ColumnBatch::Find(const std::string& name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace KtZembra_940
