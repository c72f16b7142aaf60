// A text value.
#ifndef RULESCORE_HOST_STRINGVALUE_H_
#define RULESCORE_HOST_STRINGVALUE_H_

#include <string>
#include <string_view>

#include "host/HostExport.h"
#include "host/ScoreValue.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API StringValue : public ScoreValue {
 public:
  explicit StringValue(std::string text);
  ~StringValue() override;

  int GetValueType() const override { return kString; }
  // The text read as a number, or the system-missing value.
  double GetDouble() const override;
  std::string GetString() const override { return text_; }
  ScoreValue* Clone() const override;

  const std::string& GetText() const { return text_; }
  // Reuses the string's capacity: no allocation once it is large enough.
  void SetText(std::string_view text) { text_.assign(text.data(), text.size()); }

 private:
  std::string text_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_STRINGVALUE_H_
