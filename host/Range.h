// An interval of numbers with open or closed ends. Owns its two bounds.
#ifndef RULESCORE_HOST_RANGE_H_
#define RULESCORE_HOST_RANGE_H_

#include <ostream>

#include "host/HostExport.h"

namespace KtZembra_940 {

class NumericValue;

class RULESCORE_HOST_API Range {
 public:
  // Takes ownership of both values (neither may be null).
  Range(NumericValue* low, NumericValue* high, bool lowClosed, bool highClosed);
  Range(const Range& other);
  Range& operator=(const Range&) = delete;
  ~Range();

  const NumericValue* GetLow() const { return low_; }
  const NumericValue* GetHigh() const { return high_; }
  bool IsLowClosed() const { return lowClosed_; }
  bool IsHighClosed() const { return highClosed_; }
  // "(3, 7]", "[5, 5]", "(-inf, inf)".
  void Display(std::ostream& os) const;

 private:
  NumericValue* low_;
  NumericValue* high_;
  bool lowClosed_;
  bool highClosed_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_RANGE_H_
