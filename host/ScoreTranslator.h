// The host's translator interface: turns a parsed PMML document into a model.
#ifndef RULESCORE_HOST_SCORETRANSLATOR_H_
#define RULESCORE_HOST_SCORETRANSLATOR_H_

#include <string>

#include <xercesc/dom/DOMDocument.hpp>

#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreModel;

class RULESCORE_HOST_API ScoreTranslator {
 public:
  virtual ~ScoreTranslator();
  ScoreTranslator(const ScoreTranslator&) = delete;
  ScoreTranslator& operator=(const ScoreTranslator&) = delete;

  // A new model owned by the caller, or null. Translation failures are
  // thrown as ZbException. `encoding` is the document's encoding name.
  virtual ScoreModel* ParseFromTree(xercesc::DOMDocument* document,
                                    const std::string& encoding) = 0;
  // Kept for older hosts; has no effect.
  virtual void SetSupportOldParser(bool support);
  // Sets a named translation option for the documents parsed after the
  // call; the models built keep the value they were read with. False, and
  // nothing changed, when the translator knows no such name or refuses the
  // value. The base knows no option.
  virtual bool SetOption(const std::string& name, const std::string& value);

 protected:
  ScoreTranslator() = default;
};

// The factory a plug-in exports under the plain name GiveMyTranslator.
using GiveMyTranslatorFn = ScoreTranslator* (*)();

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORETRANSLATOR_H_
