// The derived fields of a document's TransformationDictionary: their names,
// types and levels (enough for a target lookup). Derived values are not
// computed; a derived field reads as missing in every record.
#ifndef RULESCORE_HOST_TRANSFORMATIONDICTIONARY_H_
#define RULESCORE_HOST_TRANSFORMATIONDICTIONARY_H_

#include <string>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreDictionary.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API TransformationDictionary : public ScoreDictionary {
 public:
  // `base` is the data dictionary the derived fields are defined over; not
  // owned, it must outlive this object.
  explicit TransformationDictionary(const ScoreDictionary* base);
  ~TransformationDictionary() override;

  // Prepares the derived fields for scoring: each derived field is given the
  // record position after the base dictionary's fields. Idempotent.
  void SetUpDerivedCaseRecord();
  bool IsDerivedCaseRecordReady() const { return ready_; }
  const ScoreDictionary* GetBaseDictionary() const { return base_; }

 private:
  const ScoreDictionary* base_;
  bool ready_ = false;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_TRANSFORMATIONDICTIONARY_H_
