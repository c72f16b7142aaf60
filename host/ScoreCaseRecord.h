// One input record: a layout of field names to positions, and one value slot
// per position. Slots are preallocated, so refilling a record for the next
// row allocates nothing once its texts have reached their length.
#ifndef RULESCORE_HOST_SCORECASERECORD_H_
#define RULESCORE_HOST_SCORECASERECORD_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/HostExport.h"
#include "host/NumericValue.h"
#include "host/StringValue.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ScoreCaseRecord {
 public:
  // A record without a layout: not ready.
  ScoreCaseRecord();
  // A record whose position i holds field fieldNames[i]; every slot empty.
  // Duplicate names keep their first position.
  explicit ScoreCaseRecord(const std::vector<std::string>& fieldNames);
  ~ScoreCaseRecord();
  ScoreCaseRecord(const ScoreCaseRecord&) = delete;
  ScoreCaseRecord& operator=(const ScoreCaseRecord&) = delete;

  // Replaces the layout; every slot empty.
  void SetLayout(const std::vector<std::string>& fieldNames);
  // True once the record has a layout of at least one field.
  bool IsReady() const { return !kinds_.empty(); }
  // Position of a field name, or -1.
  int GetPosition(const std::string& name) const;
  int GetFieldCount() const { return static_cast<int>(kinds_.size()); }
  const std::string& GetFieldName(int position) const;

  // The value at a position, or null when the slot is empty or the position
  // is outside the layout.
  const ScoreValue* GetValue(int position) const;
  // What a slot holds.
  enum class Kind : unsigned char { kNone, kNumber, kText };
  // Every slot at once, for readers that take many cells of each record:
  // slot p, for p below count, holds kinds[p], with its value in
  // numbers[p] or texts[p]. Valid until the layout changes.
  struct Slots {
    const Kind* kinds;
    const NumericValue* numbers;
    const StringValue* texts;
    size_t count;
  };
  Slots GetSlots() const { return Slots{kinds_.data(), numbers_.data(), texts_.data(), kinds_.size()}; }

  // Filling. Positions outside the layout are ignored. SetNumber is inline:
  // a host sets every field of every record through it.
  void SetNumber(int position, double value) {
    const size_t at = static_cast<size_t>(position);  // a negative position wraps past the layout
    if (at >= kinds_.size()) return;
    kinds_[at] = Kind::kNumber;
    numbers_[at].SetDouble(value);
  }
  void SetText(int position, std::string_view text);
  void SetMissing(int position);
  // Empties every slot.
  void Clear();

 private:
  // One entry per position in each array: what the slot holds, and its
  // number and text. Kept apart so that reading the numbers of a record
  // touches a few cache lines, not one per field.
  std::vector<std::string> names_;
  std::vector<Kind> kinds_;
  std::vector<NumericValue> numbers_;
  std::vector<StringValue> texts_;
  std::unordered_map<std::string, int> positions_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORECASERECORD_H_
