// Integer codes for the texts of a string field.
//
// One scheme serves predicates, records and targets: the field's declared
// valid Values get the codes 0, 1, 2, ... in document order (so a code is the
// position of the value in the field's label list); a text met in a predicate
// that is not declared is given the next free code while the model is read
// (AddCode). Scoring only looks codes up (GetCode), so several models may
// score on several threads over one coder.
#ifndef RULESCORE_HOST_SCOREVALUECODER_H_
#define RULESCORE_HOST_SCOREVALUECODER_H_

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreValue;

class RULESCORE_HOST_API ScoreValueCoder {
 public:
  // The answer of GetCode for a text that has no code.
  static constexpr int kNoCode = -1;

  ScoreValueCoder();
  ~ScoreValueCoder();
  ScoreValueCoder(const ScoreValueCoder&);
  ScoreValueCoder& operator=(const ScoreValueCoder&);

  // Code of a text (label coder use), or kNoCode.
  int GetCode(std::string_view text) const;
  // Code of a value's text (value coder use), or kNoCode.
  int GetCode(const ScoreValue& value) const;
  // The text's code, giving it the next free code when it has none.
  int AddCode(std::string_view text);
  // Number of texts that have a code.
  int GetCodeCount() const { return static_cast<int>(texts_.size()); }
  // Text of a code; empty for a code that is not in use.
  const std::string& GetText(int code) const;

 private:
  void Reindex();

  // Code i is texts_[i]. A deque never moves its elements, so the keys of
  // codes_ may view them; lookups by a view then allocate nothing.
  std::deque<std::string> texts_;
  std::unordered_map<std::string_view, int> codes_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREVALUECODER_H_
