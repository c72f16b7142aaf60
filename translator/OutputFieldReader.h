// Reads the Output element of a RuleSetModel into OutputFields. A feature
// the engine cannot compute, an output field named twice or one bound to
// another target than the model's is refused here, while the document is
// read, never while records are scored.
#ifndef RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_
#define RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_

#include <memory>

#include <xercesc/dom/DOMElement.hpp>

#include "host/LumoTranscoder.h"
#include "model/OutputFields.h"

namespace KtZembra_940 {

class ScoreDictVar;

class OutputFieldReader {
 public:
  // `modelElement` is the RuleSetModel element, `target` the model's
  // target (may be null). Null when the model declares no Output or no
  // OutputField in it; throws ZbException on a field it refuses.
  static std::unique_ptr<OutputFields> Read(const xercesc::DOMElement* modelElement,
                                            const ScoreDictVar* target,
                                            const LumoTranscoder& transcoder);
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_
