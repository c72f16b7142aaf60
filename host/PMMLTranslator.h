// The PMML parts every model kind shares: data and transformation
// dictionaries, predicates, arrays.
#ifndef RULESCORE_HOST_PMMLTRANSLATOR_H_
#define RULESCORE_HOST_PMMLTRANSLATOR_H_

#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/BaseTranslator.h"
#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreDictionary;
class ScoreDictVar;
class ScorePredicate;
class TransformationDictionary;

class RULESCORE_HOST_API PMMLTranslator : public BaseTranslator {
 public:
  // Nesting limit of CompoundPredicate, counted from the outermost one.
  static constexpr int kMaxPredicateDepth = 500;

  explicit PMMLTranslator(const std::string& name);
  ~PMMLTranslator() override;

  const std::string& GetTranslatorName() const { return name_; }

  // A new BaseDictionary (caller owns) from a DataDictionary element: each
  // DataField's name (forced), optype (categorical -> nominal, ordinal,
  // continuous; absent: continuous for numbers, nominal for strings),
  // dataType (string -> string, every other type numeric; absent: string for
  // categorical and ordinal, numeric for continuous), Value elements with
  // property valid (the default), missing or invalid, and Interval elements.
  // A duplicate name throws kDuplicateField; a bad optype throws
  // kBadFieldDefinition. `strict` refuses a numeric Value that is no number.
  ScoreDictionary* ParseDictionary(const xercesc::DOMElement* element, bool strict);
  // A new TransformationDictionary (caller owns) with each DerivedField's
  // name, optype and dataType; null when the element is null. `base` is not
  // owned and must outlive the result.
  TransformationDictionary* HandleTransformationDictionary(const xercesc::DOMElement* element,
                                                           ScoreDictionary* base);
  // Adds the DerivedField children of `element` (a LocalTransformations)
  // to `into`; a name that `into` or its base dictionary already knows
  // throws kDuplicateField.
  void AddDerivedFields(const xercesc::DOMElement* element, TransformationDictionary* into);

  // New predicates (caller owns). `dictionary` is searched first, then
  // `other` when it is not null. Compared texts of string fields are coded
  // with the field's coder (undeclared texts get new codes). What the
  // caller's own checks must see is built, not refused: an empty value
  // (numeric: the system-missing value), isMissing/isNotMissing with a value,
  // set items or texts that are no declared value. They throw ZbException
  // only where no predicate can be built: an unknown field (kUnknownField), a
  // missing field, operator or (for comparisons) value attribute
  // (kMissingAttribute), an unknown operator (kUnknownOperator), a numeric
  // field compared with a text that is no number (kNotANumber), a malformed
  // Array (kMalformedArray), CompoundPredicate nesting beyond
  // kMaxPredicateDepth (kNestingTooDeep). `flag` is accepted for
  // compatibility and not read.
  ScorePredicate* ParsePredicate(const xercesc::DOMElement* element, ScoreDictionary* dictionary,
                                 ScoreDictionary* other, bool flag);
  ScorePredicate* ParseSetPredicate(const xercesc::DOMElement* element,
                                    ScoreDictionary* dictionary, ScoreDictionary* other);
  // Members: SimplePredicate, CompoundPredicate, SimpleSetPredicate, True,
  // False; other children (Extension) are passed over. Any number of members
  // is built, none included. Iterative: no recursion per nesting level.
  ScorePredicate* ParseCompoundPredicate(const xercesc::DOMElement* element,
                                         ScoreDictionary* dictionary, ScoreDictionary* other,
                                         bool flag);

  // The items of a PMML Array: separated by XML white space; an item in
  // double quotes may hold white space and the escapes \" and \\. An
  // unterminated quote throws kMalformedArray. The n attribute is not used
  // to size anything. `type` and `var` are not needed to split the text.
  std::vector<std::string> GetArrayElements(const xercesc::DOMElement* array, const XMLCh* type,
                                            const ScoreDictVar* var);
  // The variable's declared valid values that are not in `items`, as texts,
  // in the variable's order (numbers compared by number, texts by bytes).
  std::vector<std::string> Remove(const ScoreDictVar* var, const std::vector<std::string>& items);

 private:
  // The bodies of ParsePredicate (a SimplePredicate) and ParseSetPredicate
  // once the field name is read.
  ScorePredicate* ParseSimplePredicate(const xercesc::DOMElement* element,
                                       const std::string& name, ScoreDictionary* dictionary,
                                       ScoreDictionary* other);
  ScorePredicate* ParseSetPredicateOn(const xercesc::DOMElement* element, const std::string& name,
                                      ScoreDictionary* dictionary, ScoreDictionary* other);

  std::string name_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_PMMLTRANSLATOR_H_
