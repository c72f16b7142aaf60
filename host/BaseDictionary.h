// The plain dictionary: the DataDictionary of a document, or a set of
// variables handed out by a model.
#ifndef RULESCORE_HOST_BASEDICTIONARY_H_
#define RULESCORE_HOST_BASEDICTIONARY_H_

#include "host/HostExport.h"
#include "host/ScoreDictionary.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API BaseDictionary : public ScoreDictionary {
 public:
  BaseDictionary();
  ~BaseDictionary() override;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_BASEDICTIONARY_H_
