#include "translator/DerivedFieldCompiler.h"

#include <algorithm>

#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/XmlDocument.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

namespace {

using Program = DerivedFieldProgram;

bool Is(const xercesc::DOMElement* element, const XMLCh* tag) {
  return BaseTranslator::IsEqual(element->getTagName(), tag);
}

}  // namespace

DerivedFieldCompiler::DerivedFieldCompiler(const LumoTranscoder& textCoder,
                                           const ScoreDictionary* dataFields,
                                           const ScoreDictionary* derivedVars)
    : transcoder(textCoder), data(dataFields), derived(derivedVars) {}

std::string DerivedFieldCompiler::Text(const XMLCh* xml) const {
  return xml == nullptr ? std::string() : transcoder.transcodeTo(xml);
}

std::string DerivedFieldCompiler::Attribute(const xercesc::DOMElement* element,
                                            const XMLCh* name) const {
  return Text(BaseTranslator::GetAttribute(element, name));
}

void DerivedFieldCompiler::Refuse(const xercesc::DOMElement* element,
                                  const std::string& reason) const {
  ThrowZb(ErrorCode::kBadExpression, fieldName, element->getTagName(), reason);
}

void DerivedFieldCompiler::AddElement(const xercesc::DOMElement* element) {
  if (element == nullptr) return;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(element);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (Is(child, XML_ELE_DERIVEDFIELD)) {
      fieldElements.push_back(child);
    } else if (Is(child, XML_ELE_DEFINEFUNCTION)) {
      functions.emplace_back(Text(BaseTranslator::GetAttributeForced(child, XML_ATT_NAME)), child);
    }
  }
}

std::unique_ptr<DerivedFieldProgram> DerivedFieldCompiler::Compile() {
  if (fieldElements.empty()) return nullptr;
  program = std::make_unique<DerivedFieldProgram>();
  // Every field first, so that a field may read one declared after it.
  for (const xercesc::DOMElement* element : fieldElements) {
    const std::string name = Text(BaseTranslator::GetAttributeForced(element, XML_ATT_NAME));
    const ScoreDictVar* var = derived != nullptr ? derived->GetVar(name) : nullptr;
    const int dataType = var != nullptr ? var->GetDataType() : ScoreDictVar::kDataDouble;
    program->AddField(name, var, dataType, std::string());
  }
  for (size_t i = 0; i < fieldElements.size(); ++i) {
    const xercesc::DOMElement* element = fieldElements[i];
    const int32_t field = static_cast<int32_t>(i);
    fieldName = Text(BaseTranslator::GetAttribute(element, XML_ATT_NAME));
    std::string text;
    try {
      CompileExpression(ExpressionChild(element), field, Scope(), 1, &text);
    } catch (ZbException& e) {
      e.AddField(fieldName);
      e.AddLine(XmlDocument::GetLine(element));
      throw;
    }
    program->SetFieldText(field, text);
  }
  std::string cycle;
  if (!program->Finish(&cycle)) ThrowZb(ErrorCode::kDerivedFieldCycle, cycle);
  return std::move(program);
}

int32_t DerivedFieldCompiler::AddGivenField(const std::string& name) {
  if (program == nullptr) program = std::make_unique<DerivedFieldProgram>();
  return program->AddGivenField(name, nullptr, -1);
}

int32_t DerivedFieldCompiler::AddExpressionField(const std::string& name, int dataType,
                                                 const xercesc::DOMElement* expression) {
  if (program == nullptr) program = std::make_unique<DerivedFieldProgram>();
  fieldName = name;
  const int32_t field = program->AddField(name, nullptr, dataType, std::string());
  std::string text;
  try {
    CompileExpression(expression, field, Scope(), 1, &text);
  } catch (ZbException& e) {
    e.AddField(fieldName);
    throw;
  }
  program->SetFieldText(field, text);
  return field;
}

std::unique_ptr<DerivedFieldProgram> DerivedFieldCompiler::FinishFields() {
  if (program == nullptr) return nullptr;
  // Each field reads only fields added before it, so there is no circle.
  std::string cycle;
  if (!program->Finish(&cycle)) ThrowZb(ErrorCode::kDerivedFieldCycle, cycle);
  return std::move(program);
}

const xercesc::DOMElement* DerivedFieldCompiler::ExpressionChild(
    const xercesc::DOMElement* element) const {
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(element);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (Is(child, XML_ELE_EXTENSION) || Is(child, XML_ELE_VALUE) ||
        Is(child, XML_ELE_PARAMETERFIELD) || Is(child, XML_ELE_INTERVAL)) {
      continue;
    }
    return child;
  }
  Refuse(element, "holds no expression");
}

DerivedFieldProgram::Value DerivedFieldCompiler::ConstantValue(const std::string& text,
                                                               int dataType) const {
  Program::Value value;
  double number = 0.0;
  if (dataType == ScoreDictVar::kDataString) {
    value.kind = Program::kText;
    value.text = text;
  } else if (dataType == ScoreDictVar::kDataBoolean) {
    ScoreDictVar probe("", ScoreDictVar::kNumeric, ScoreDictVar::kNominal);
    probe.SetDataType(ScoreDictVar::kDataBoolean);
    if (!probe.ParseNumber(text, &number)) ThrowZb(ErrorCode::kNotANumber, text);
    value.kind = Program::kNumber;
    value.number = number;
  } else if (dataType >= 0) {
    if (!NumberText::ParseDouble(text, &number)) ThrowZb(ErrorCode::kNotANumber, text);
    value.kind = Program::kNumber;
    value.number = number;
  } else if (NumberText::ParseDouble(text, &number)) {
    // No declared type: a number when the text is one.
    value.kind = Program::kNumber;
    value.number = number;
  } else {
    value.kind = Program::kText;
    value.text = text;
  }
  return value;
}

void DerivedFieldCompiler::Emit(int32_t field, Program::Op op, int32_t a, int32_t count,
                                Program::Function function) {
  if (program->GetInstructionCount() >= kMaxInstructions) {
    ThrowZb(ErrorCode::kBadExpression, fieldName, "the derived fields",
            "need more than " + std::to_string(kMaxInstructions) + " steps");
  }
  program->Emit(field, Program::Instruction{op, function, a, count});
}

void DerivedFieldCompiler::EmitMissingAndDefault(const xercesc::DOMElement* element,
                                                 int32_t field, bool hasDefault,
                                                 std::string* text) {
  if (const XMLCh* missing = BaseTranslator::GetAttribute(element, XML_ATT_MAPMISSINGTO)) {
    const std::string value = Text(missing);
    Emit(field, Program::kMapMissing, program->AddConstant(ConstantValue(value, -1)));
    *text += " mapMissingTo " + value;
  }
  if (!hasDefault) return;
  if (const XMLCh* fallback = BaseTranslator::GetAttribute(element, XML_ATT_DEFAULTVALUE)) {
    const std::string value = Text(fallback);
    Emit(field, Program::kMapInvalid, program->AddConstant(ConstantValue(value, -1)));
    *text += " defaultValue " + value;
  }
}

void DerivedFieldCompiler::CompileFieldRef(const std::string& name, int32_t field,
                                           const Scope& scope, std::string* text) {
  *text += name;
  for (const auto& parameter : scope.parameters) {
    if (parameter.first == name) {
      Emit(field, Program::kLoadTemp, parameter.second);
      return;
    }
  }
  const int32_t other = program->FieldOf(name);
  if (other >= 0) {
    program->Depend(field, other);
    Emit(field, Program::kLoadDerived, other);
    return;
  }
  const ScoreDictVar* var = data != nullptr ? data->GetVar(name) : nullptr;
  if (var != nullptr) {
    Emit(field, Program::kLoadInput, program->AddInput(var));
    return;
  }
  // A derived field this program does not compute (it is computed by
  // another): a given field that its owner fills in.
  const ScoreDictVar* derivedVar = derived != nullptr ? derived->GetVar(name) : nullptr;
  if (derivedVar == nullptr) ThrowZb(ErrorCode::kUnknownField, name, XML_ELE_FIELDREF);
  const int32_t given = program->AddGivenField(name, derivedVar, derivedVar->GetDataType());
  program->Depend(field, given);
  Emit(field, Program::kLoadDerived, given);
}

void DerivedFieldCompiler::CompileExpression(const xercesc::DOMElement* element, int32_t field,
                                             const Scope& scope, int depth, std::string* text) {
  try {
    CompileElement(element, field, scope, depth, text);
  } catch (ZbException& e) {
    e.AddLine(XmlDocument::GetLine(element));
    throw;
  }
}

void DerivedFieldCompiler::CompileElement(const xercesc::DOMElement* element, int32_t field,
                                          const Scope& scope, int depth, std::string* text) {
  if (depth > kMaxExpressionDepth) {
    ThrowZb(ErrorCode::kNestingTooDeep, element->getTagName(), kMaxExpressionDepth);
  }
  if (Is(element, XML_ELE_CONSTANT)) {
    std::string value;
    for (const xercesc::DOMNode* node = element->getFirstChild(); node != nullptr;
         node = node->getNextSibling()) {
      const auto type = node->getNodeType();
      if (type == xercesc::DOMNode::TEXT_NODE || type == xercesc::DOMNode::CDATA_SECTION_NODE) {
        value += Text(node->getNodeValue());
      }
    }
    const std::string missing = Attribute(element, XML_ATT_MISSING);
    if (missing == "true") {
      Emit(field, Program::kPushConstant, program->AddConstant(Program::Value()));
      *text += "missing";
      return;
    }
    int dataType = -1;
    if (const XMLCh* type = BaseTranslator::GetAttribute(element, XML_ATT_DATATYPE)) {
      if (XmlText::Equal(type, XML_VAL_STRING)) {
        dataType = ScoreDictVar::kDataString;
      } else if (XmlText::Equal(type, XML_VAL_BOOLEAN)) {
        dataType = ScoreDictVar::kDataBoolean;
      } else if (XmlText::Equal(type, XML_VAL_INTEGER) || XmlText::Equal(type, XML_VAL_FLOAT) ||
                 XmlText::Equal(type, XML_VAL_DOUBLE)) {
        dataType = ScoreDictVar::kDataDouble;
      } else {
        Refuse(element, "has the unknown dataType \"" + Text(type) + "\"");
      }
    }
    const Program::Value constant = ConstantValue(value, dataType);
    *text += constant.kind == Program::kText ? "\"" + value + "\"" : value;
    Emit(field, Program::kPushConstant, program->AddConstant(constant));
    return;
  }
  if (Is(element, XML_ELE_FIELDREF)) {
    CompileFieldRef(Text(BaseTranslator::GetAttributeForced(element, XML_ATT_FIELD)), field,
                    scope, text);
    EmitMissingAndDefault(element, field, false, text);
    return;
  }
  if (Is(element, XML_ELE_NORMCONTINUOUS)) {
    *text += "NormContinuous(";
    CompileFieldRef(Text(BaseTranslator::GetAttributeForced(element, XML_ATT_FIELD)), field,
                    scope, text);
    Program::NormTable table;
    const XMLCh* outliers = BaseTranslator::GetAttribute(element, XML_ATT_OUTLIERS);
    if (outliers == nullptr || XmlText::Equal(outliers, XML_VAL_AS_IS)) {
      table.outliers = Program::kAsIs;
    } else if (XmlText::Equal(outliers, XML_VAL_AS_MISSING_VALUES)) {
      table.outliers = Program::kAsMissingValues;
    } else if (XmlText::Equal(outliers, XML_VAL_AS_EXTREME_VALUES)) {
      table.outliers = Program::kAsExtremeValues;
    } else {
      Refuse(element, "has the unknown outliers \"" + Text(outliers) + "\"");
    }
    for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(element);
         child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
      if (!Is(child, XML_ELE_LINEARNORM)) continue;
      const double orig =
          BaseTranslator::VerifyDouble(BaseTranslator::GetAttributeForced(child, XML_ATT_ORIG));
      const double norm =
          BaseTranslator::VerifyDouble(BaseTranslator::GetAttributeForced(child, XML_ATT_NORM));
      if (!table.orig.empty() && orig <= table.orig.back()) {
        Refuse(element, "has LinearNorm points whose orig values do not increase");
      }
      table.orig.push_back(orig);
      table.norm.push_back(norm);
      *text += " " + Text(BaseTranslator::GetAttribute(child, XML_ATT_ORIG)) + ":" +
               Text(BaseTranslator::GetAttribute(child, XML_ATT_NORM));
    }
    if (table.orig.size() < 2) Refuse(element, "needs at least two LinearNorm points");
    *text += ")";
    // A missing input stays missing through the normalisation, so that
    // mapMissingTo replaces the result.
    Emit(field, Program::kNormContinuous, program->AddNormTable(std::move(table)));
    EmitMissingAndDefault(element, field, false, text);
    return;
  }
  if (Is(element, XML_ELE_NORMDISCRETE)) {
    *text += "NormDiscrete(";
    CompileFieldRef(Text(BaseTranslator::GetAttributeForced(element, XML_ATT_FIELD)), field,
                    scope, text);
    const std::string value = Text(BaseTranslator::GetAttributeForced(element, XML_ATT_VALUE));
    *text += " = " + value + ")";
    Emit(field, Program::kNormDiscrete, program->AddConstant(ConstantValue(value, -1)));
    EmitMissingAndDefault(element, field, false, text);
    return;
  }
  if (Is(element, XML_ELE_DISCRETIZE)) {
    *text += "Discretize(";
    CompileFieldRef(Text(BaseTranslator::GetAttributeForced(element, XML_ATT_FIELD)), field,
                    scope, text);
    std::vector<Program::Bin> bins;
    for (const xercesc::DOMElement* bin = BaseTranslator::GetFirstChildElt(element); bin != nullptr;
         bin = BaseTranslator::GetNextSiblingElt(bin)) {
      if (!Is(bin, XML_ELE_DISCRETIZEBIN)) continue;
      const std::string value = Text(BaseTranslator::GetAttributeForced(bin, XML_ATT_BINVALUE));
      const xercesc::DOMElement* interval =
          BaseTranslator::GetChildByTagForced(bin, XML_ELE_INTERVAL);
      const XMLCh* closure = BaseTranslator::GetAttributeForced(interval, XML_ATT_CLOSURE);
      Program::Bin b{-NumericValue::GetInfinity(), NumericValue::GetInfinity(), false, false, 0};
      if (XmlText::Equal(closure, XML_VAL_CLOSED_CLOSED)) {
        b.lowClosed = b.highClosed = true;
      } else if (XmlText::Equal(closure, XML_VAL_CLOSED_OPEN)) {
        b.lowClosed = true;
      } else if (XmlText::Equal(closure, XML_VAL_OPEN_CLOSED)) {
        b.highClosed = true;
      } else if (!XmlText::Equal(closure, XML_VAL_OPEN_OPEN)) {
        Refuse(interval, "has the unknown closure \"" + Text(closure) + "\"");
      }
      if (const XMLCh* left = BaseTranslator::GetAttribute(interval, XML_ATT_LEFTMARGIN)) {
        b.low = BaseTranslator::VerifyDouble(left);
      }
      if (const XMLCh* right = BaseTranslator::GetAttribute(interval, XML_ATT_RIGHTMARGIN)) {
        b.high = BaseTranslator::VerifyDouble(right);
      }
      b.value = program->AddConstant(ConstantValue(value, -1));
      bins.push_back(b);
      *text += " " + value;
    }
    *text += ")";
    Emit(field, Program::kDiscretize, program->AddBins(std::move(bins)));
    EmitMissingAndDefault(element, field, true, text);
    return;
  }
  if (Is(element, XML_ELE_MAPVALUES)) {
    *text += "MapValues(";
    const std::string output =
        Text(BaseTranslator::GetAttributeForced(element, XML_ATT_OUTPUTCOLUMN));
    std::vector<std::string> columns;
    for (const xercesc::DOMElement* pair = BaseTranslator::GetFirstChildElt(element);
         pair != nullptr; pair = BaseTranslator::GetNextSiblingElt(pair)) {
      if (!Is(pair, XML_ELE_FIELDCOLUMNPAIR)) continue;
      if (!columns.empty()) *text += ", ";
      CompileFieldRef(Text(BaseTranslator::GetAttributeForced(pair, XML_ATT_FIELD)), field,
                      scope, text);
      columns.push_back(Text(BaseTranslator::GetAttributeForced(pair, XML_ATT_COLUMN)));
    }
    if (columns.empty()) Refuse(element, "has no FieldColumnPair");
    const xercesc::DOMElement* table =
        BaseTranslator::GetChildByTagForced(element, XML_ELE_INLINETABLE);
    Program::RowTable rows;
    rows.columns = columns.size();
    size_t count = 0;
    for (const xercesc::DOMElement* row = BaseTranslator::GetFirstChildElt(table); row != nullptr;
         row = BaseTranslator::GetNextSiblingElt(row)) {
      if (!Is(row, XML_ELE_ROW)) continue;
      std::vector<std::string> cells(columns.size());
      std::vector<bool> found(columns.size(), false);
      bool hasOutput = false;
      std::string out;
      for (const xercesc::DOMElement* cell = BaseTranslator::GetFirstChildElt(row);
           cell != nullptr; cell = BaseTranslator::GetNextSiblingElt(cell)) {
        const std::string tag = Text(cell->getTagName());
        std::string content;
        for (const xercesc::DOMNode* node = cell->getFirstChild(); node != nullptr;
             node = node->getNextSibling()) {
          const auto type = node->getNodeType();
          if (type == xercesc::DOMNode::TEXT_NODE ||
              type == xercesc::DOMNode::CDATA_SECTION_NODE) {
            content += Text(node->getNodeValue());
          }
        }
        if (tag == output) {
          out = content;
          hasOutput = true;
        }
        for (size_t c = 0; c < columns.size(); ++c) {
          if (tag == columns[c]) {
            cells[c] = content;
            found[c] = true;
          }
        }
      }
      // A row that lacks a column matches nothing.
      if (!hasOutput || std::find(found.begin(), found.end(), false) != found.end()) continue;
      rows.cells.insert(rows.cells.end(), cells.begin(), cells.end());
      rows.outputs.push_back(program->AddConstant(ConstantValue(out, -1)));
      ++count;
    }
    *text += " -> " + output + ", " + std::to_string(count) + (count == 1 ? " row)" : " rows)");
    Emit(field, Program::kMapValues, program->AddRowTable(std::move(rows)),
         static_cast<int32_t>(columns.size()));
    EmitMissingAndDefault(element, field, true, text);
    return;
  }
  if (Is(element, XML_ELE_APPLY)) {
    CompileApply(element, field, scope, depth, text);
    return;
  }
  Refuse(element, "is not an expression the engine evaluates");
}

void DerivedFieldCompiler::CompileApply(const xercesc::DOMElement* element, int32_t field,
                                        const Scope& scope, int depth, std::string* text) {
  const std::string name = Text(BaseTranslator::GetAttributeForced(element, XML_ATT_FUNCTION));
  std::vector<const xercesc::DOMElement*> arguments;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(element);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!Is(child, XML_ELE_EXTENSION)) arguments.push_back(child);
  }

  Program::Function function;
  if (Program::FunctionOf(name, &function)) {
    if (!Program::AcceptsArguments(function, arguments.size())) {
      Refuse(element, "calls " + name + " with " + std::to_string(arguments.size()) +
                          (arguments.size() == 1 ? " argument" : " arguments"));
    }
    *text += name + "(";
    for (size_t k = 0; k < arguments.size(); ++k) {
      if (k > 0) *text += ", ";
      CompileExpression(arguments[k], field, scope, depth + 1, text);
    }
    *text += ")";
    int32_t extra = 0;
    if (function == Program::kMatches || function == Program::kReplace ||
        function == Program::kFormatNumber) {
      // The pattern is part of the document, not of the record: it is
      // checked and compiled here, once.
      const xercesc::DOMElement* pattern = arguments[1];
      if (!Is(pattern, XML_ELE_CONSTANT)) {
        Refuse(element, "calls " + name + " with a pattern that is not a Constant");
      }
      std::string patternText;
      for (const xercesc::DOMNode* node = pattern->getFirstChild(); node != nullptr;
           node = node->getNextSibling()) {
        const auto type = node->getNodeType();
        if (type == xercesc::DOMNode::TEXT_NODE || type == xercesc::DOMNode::CDATA_SECTION_NODE) {
          patternText += Text(node->getNodeValue());
        }
      }
      const bool ok = function == Program::kFormatNumber
                          ? program->AddFormat(patternText, &extra)
                          : program->AddRegex(patternText, &extra);
      if (!ok) Refuse(element, "calls " + name + " with the unusable pattern \"" + patternText + "\"");
    }
    Emit(field, Program::kCall, extra, static_cast<int32_t>(arguments.size()), function);
    EmitMissingAndDefault(element, field, true, text);
    return;
  }

  const xercesc::DOMElement* defined = nullptr;
  for (const auto& entry : functions) {
    if (entry.first == name) defined = entry.second;
  }
  if (defined == nullptr) ThrowZb(ErrorCode::kUnknownFunction, fieldName, name);
  if (std::find(activeFunctions.begin(), activeFunctions.end(), name) != activeFunctions.end()) {
    Refuse(element, "calls " + name + ", which calls itself");
  }
  std::vector<std::string> parameters;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(defined);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (Is(child, XML_ELE_PARAMETERFIELD)) {
      parameters.push_back(Text(BaseTranslator::GetAttributeForced(child, XML_ATT_NAME)));
    }
  }
  if (parameters.size() != arguments.size()) {
    Refuse(element, "calls " + name + " with " + std::to_string(arguments.size()) + " of its " +
                        std::to_string(parameters.size()) + " parameters");
  }
  // The arguments are computed once each, into temporaries that the body's
  // parameters read.
  *text += name + "(";
  Scope inner;
  std::vector<int32_t> temps;
  for (size_t k = 0; k < arguments.size(); ++k) {
    if (k > 0) *text += ", ";
    CompileExpression(arguments[k], field, scope, depth + 1, text);
    temps.push_back(program->AddTemp());
    inner.parameters.emplace_back(parameters[k], temps.back());
  }
  *text += ")";
  for (size_t k = arguments.size(); k-- > 0;) Emit(field, Program::kStoreTemp, temps[k]);
  activeFunctions.push_back(name);
  std::string body;
  CompileExpression(ExpressionChild(defined), field, inner, depth + 1, &body);
  activeFunctions.pop_back();
  EmitMissingAndDefault(element, field, true, text);
}

}  // namespace KtZembra_940
