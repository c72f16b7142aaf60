// Compiles the DerivedField elements of a document (its
// TransformationDictionary and every LocalTransformations) into a
// DerivedFieldProgram, once, while the document is read. Whatever the
// program could not evaluate is refused here with a ZbException naming the
// field: an unknown expression or function, a wrong number of arguments, a
// bad table, fields that depend on each other in a circle.
#ifndef RULESCORE_TRANSLATOR_DERIVEDFIELDCOMPILER_H_
#define RULESCORE_TRANSLATOR_DERIVEDFIELDCOMPILER_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/LumoTranscoder.h"
#include "model/DerivedFieldProgram.h"

namespace KtZembra_940 {

class ScoreDictionary;

class DerivedFieldCompiler {
 public:
  // Nesting limit of expressions, counting the bodies of defined functions
  // where they are called.
  static constexpr int kMaxExpressionDepth = 500;
  // Limit of the whole program's instructions: calls of defined functions
  // copy their bodies, so nesting them could multiply the program.
  static constexpr size_t kMaxInstructions = 1000000;

  // `data` holds the data fields, `derived` a variable for every derived
  // field (both not owned; they must outlive the program).
  DerivedFieldCompiler(const LumoTranscoder& transcoder, const ScoreDictionary* data,
                       const ScoreDictionary* derived);
  DerivedFieldCompiler(const DerivedFieldCompiler&) = delete;
  DerivedFieldCompiler& operator=(const DerivedFieldCompiler&) = delete;

  // The DefineFunction and DerivedField children of a TransformationDictionary
  // or LocalTransformations element.
  void AddElement(const xercesc::DOMElement* element);
  // The program, or null when there are no derived fields.
  std::unique_ptr<DerivedFieldProgram> Compile();

  // A program of named values added one at a time, as a model's output
  // fields are: an expression reads the fields added before it, the data
  // fields and the derived fields (each of those becomes a given field
  // that stands for it). Used instead of AddElement and Compile.
  // A field whose value the caller gives before each evaluation.
  int32_t AddGivenField(const std::string& name);
  // A field computed by `expression`, converted to `dataType` (-1: kept as
  // computed); refused with a ZbException naming `name`.
  int32_t AddExpressionField(const std::string& name, int dataType,
                             const xercesc::DOMElement* expression);
  // The program of the fields added, null when none was.
  std::unique_ptr<DerivedFieldProgram> FinishFields();

 private:
  // A defined function's parameters while its body is compiled: each
  // parameter reads the temporary its argument was stored in.
  struct Scope {
    std::vector<std::pair<std::string, int32_t>> parameters;
  };

  void CompileExpression(const xercesc::DOMElement* element, int32_t field,
                         const Scope& scope, int depth, std::string* text);
  // CompileExpression without the line of `element` in a failure.
  void CompileElement(const xercesc::DOMElement* element, int32_t field, const Scope& scope,
                      int depth, std::string* text);
  void CompileApply(const xercesc::DOMElement* element, int32_t field, const Scope& scope,
                    int depth, std::string* text);
  void CompileFieldRef(const std::string& name, int32_t field, const Scope& scope,
                       std::string* text);
  // The expression child of an element (the first child that is none of
  // `skip`); refused when there is none.
  const xercesc::DOMElement* ExpressionChild(const xercesc::DOMElement* element) const;
  DerivedFieldProgram::Value ConstantValue(const std::string& text, int dataType) const;
  void Emit(int32_t field, DerivedFieldProgram::Op op, int32_t a = 0, int32_t count = 0,
            DerivedFieldProgram::Function function = DerivedFieldProgram::kAdd);
  // mapMissingTo and defaultValue of an element, if it has them.
  void EmitMissingAndDefault(const xercesc::DOMElement* element, int32_t field,
                             bool hasDefault, std::string* text);
  std::string Text(const XMLCh* xml) const;
  std::string Attribute(const xercesc::DOMElement* element, const XMLCh* name) const;
  [[noreturn]] void Refuse(const xercesc::DOMElement* element, const std::string& reason) const;

  const LumoTranscoder& transcoder;
  const ScoreDictionary* data;
  const ScoreDictionary* derived;
  std::vector<const xercesc::DOMElement*> fieldElements;
  std::vector<std::pair<std::string, const xercesc::DOMElement*>> functions;
  std::vector<std::string> activeFunctions;  // defined functions being compiled
  std::unique_ptr<DerivedFieldProgram> program;
  std::string fieldName;  // of the field being compiled, for messages
};

}  // namespace KtZembra_940

#endif  // RULESCORE_TRANSLATOR_DERIVEDFIELDCOMPILER_H_
