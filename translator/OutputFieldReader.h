// Reads the Output element of a RuleSetModel into OutputFields. A feature
// the engine cannot compute, an output field named twice or one bound to
// another target than the model's, and a transformedValue whose expression
// the engine cannot evaluate (an unknown function or field) are refused
// here, while the document is read, never while records are scored.
#ifndef RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_
#define RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_

#include <memory>

#include <xercesc/dom/DOMElement.hpp>

#include "host/LumoTranscoder.h"
#include "model/OutputFields.h"

namespace KtZembra_940 {

class ScoreDictVar;
class ScoreDictionary;

class OutputFieldReader {
 public:
  // `modelElement` is the RuleSetModel element, `target` the model's
  // target (may be null); expressions read the fields of `data` and
  // `derived` (either may be null; not owned, they must outlive the
  // model). Null when the model declares no Output or no OutputField in
  // it; throws ZbException on a field it refuses.
  static std::unique_ptr<OutputFields> Read(const xercesc::DOMElement* modelElement,
                                            const ScoreDictVar* target,
                                            const LumoTranscoder& transcoder,
                                            const ScoreDictionary* data,
                                            const ScoreDictionary* derived);
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_OUTPUTFIELDREADER_H_
