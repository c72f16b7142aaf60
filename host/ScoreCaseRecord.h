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
  bool IsReady() const { return !slots_.empty(); }
  // Position of a field name, or -1.
  int GetPosition(const std::string& name) const;
  int GetFieldCount() const { return static_cast<int>(slots_.size()); }
  const std::string& GetFieldName(int position) const;

  // The value at a position, or null when the slot is empty or the position
  // is outside the layout.
  const ScoreValue* GetValue(int position) const;

  // Filling. Positions outside the layout are ignored.
  void SetNumber(int position, double value);
  void SetText(int position, std::string_view text);
  void SetMissing(int position);
  // Empties every slot.
  void Clear();

 private:
  enum class Kind : unsigned char { kNone, kNumber, kText };
  struct Slot {
    Kind kind = Kind::kNone;
    NumericValue number{0.0};
    StringValue text{std::string()};
  };
  std::vector<std::string> names_;
  std::vector<Slot> slots_;
  std::unordered_map<std::string, int> positions_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORECASERECORD_H_
