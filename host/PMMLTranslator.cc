#include "host/PMMLTranslator.h"

#include <memory>
#include <unordered_set>
#include <utility>

#include <xercesc/dom/DOMNode.hpp>

#include "host/BaseDictionary.h"
#include "host/CompoundPredicate.h"
#include "host/ErrorCodes.h"
#include "host/FalsePredicate.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScorePredicate.h"
#include "host/ScoreValue.h"
#include "host/ScoreValueCoder.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "host/StringValue.h"
#include "host/TransformationDictionary.h"
#include "host/TruePredicate.h"
#include "host/XmlDocument.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

namespace {

// An optional attribute whose text is empty counts as absent.
const XMLCh* OptionalAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  const XMLCh* text = BaseTranslator::GetAttribute(element, name);
  return text != nullptr && *text != 0 ? text : nullptr;
}

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsBlank(const std::string& text) {
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  }
  return true;
}

bool IsMissingTest(SimplePredicate::SimplePredOperator op) {
  return op == SimplePredicate::kIsMissing || op == SimplePredicate::kIsNotMissing;
}

ScoreDictVar* FindVar(const std::string& name, ScoreDictionary* dictionary,
                      ScoreDictionary* other) {
  ScoreDictVar* var = dictionary != nullptr ? dictionary->GetVar(name) : nullptr;
  if (var == nullptr && other != nullptr) var = other->GetVar(name);
  return var;
}

// The value type, data type and measurement level a DataField or
// DerivedField declares.
struct FieldKind {
  int valueType;
  int measureLevel;
  int dataType;
};

// The data types the engine scores; any other refuses the field, since its
// values (dates, times) would be read as something they are not.
bool DataTypeOf(const XMLCh* text, int* dataType) {
  static const struct {
    const XMLCh* text;
    int type;
  } kTypes[] = {{XML_VAL_STRING, ScoreDictVar::kDataString},
                {XML_VAL_INTEGER, ScoreDictVar::kDataInteger},
                {XML_VAL_FLOAT, ScoreDictVar::kDataFloat},
                {XML_VAL_DOUBLE, ScoreDictVar::kDataDouble},
                {XML_VAL_BOOLEAN, ScoreDictVar::kDataBoolean}};
  for (const auto& known : kTypes) {
    if (XmlText::Equal(text, known.text)) {
      *dataType = known.type;
      return true;
    }
  }
  return false;
}

FieldKind ReadFieldKind(const xercesc::DOMElement* field, const std::string& name) {
  const XMLCh* optype = OptionalAttribute(field, XML_ATT_OPTYPE);
  const XMLCh* dataType = OptionalAttribute(field, XML_ATT_DATATYPE);
  FieldKind kind{ScoreDictVar::kString, ScoreDictVar::kNominal, ScoreDictVar::kDataString};
  if (dataType != nullptr) {
    if (!DataTypeOf(dataType, &kind.dataType)) {
      ThrowZb(ErrorCode::kBadFieldDefinition, name, XML_ATT_DATATYPE, dataType);
    }
    kind.valueType = kind.dataType == ScoreDictVar::kDataString ? ScoreDictVar::kString
                                                                : ScoreDictVar::kNumeric;
  } else if (optype != nullptr && XmlText::Equal(optype, XML_VAL_CONTINUOUS)) {
    kind.valueType = ScoreDictVar::kNumeric;
    kind.dataType = ScoreDictVar::kDataDouble;
  }
  if (kind.dataType == ScoreDictVar::kDataBoolean) {
    // Two values without an order between them: categorical, whatever the
    // optype says.
    kind.measureLevel = ScoreDictVar::kNominal;
  } else if (optype == nullptr) {
    kind.measureLevel = kind.valueType == ScoreDictVar::kNumeric ? ScoreDictVar::kContinuous
                                                                 : ScoreDictVar::kNominal;
  } else if (XmlText::Equal(optype, XML_VAL_CATEGORICAL)) {
    kind.measureLevel = ScoreDictVar::kNominal;
  } else if (XmlText::Equal(optype, XML_VAL_ORDINAL)) {
    kind.measureLevel = ScoreDictVar::kOrdinal;
  } else if (XmlText::Equal(optype, XML_VAL_CONTINUOUS)) {
    // Ranges over label codes would order texts by the order they were
    // declared in: a continuous text field has no meaning.
    if (kind.valueType == ScoreDictVar::kString) {
      ThrowZb(ErrorCode::kBadFieldDefinition, name, XML_ATT_OPTYPE, optype);
    }
    kind.measureLevel = ScoreDictVar::kContinuous;
  } else {
    ThrowZb(ErrorCode::kBadFieldDefinition, name, XML_ATT_OPTYPE, optype);
  }
  return kind;
}

enum class Property { kValid, kMissing, kInvalid };

Property ReadProperty(const xercesc::DOMElement* value, const std::string& fieldName) {
  const XMLCh* property = OptionalAttribute(value, XML_ATT_PROPERTY);
  if (property == nullptr || XmlText::Equal(property, XML_VAL_VALID)) return Property::kValid;
  if (XmlText::Equal(property, XML_VAL_MISSING)) return Property::kMissing;
  if (XmlText::Equal(property, XML_VAL_INVALID)) return Property::kInvalid;
  ThrowZb(ErrorCode::kBadFieldDefinition, fieldName, XML_ATT_PROPERTY, property);
}

// The text of a bad Array, cut short: the whole of it may be megabytes.
std::string ArrayExcerpt(const std::u16string& text) {
  constexpr size_t kMax = 60;
  if (text.size() <= kMax) return XmlText::ToUtf8(text.c_str());
  size_t cut = kMax;
  if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
  return XmlText::ToUtf8(text.substr(0, cut).c_str()) + "...";
}

}  // namespace

PMMLTranslator::PMMLTranslator(const std::string& name) : name_(name) {}

PMMLTranslator::~PMMLTranslator() = default;

namespace {

// Fills a variable from the Value and Interval children of its field element.
void ReadFieldValues(const xercesc::DOMElement* field, ScoreDictVar* var,
                     const LumoTranscoder& transcoder, bool strict) {
  const bool isString = var->GetValueType() == ScoreDictVar::kString;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(field);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    const XMLCh* tag = child->getTagName();
    if (XmlText::Equal(tag, XML_ELE_VALUE)) {
      const std::string text =
          transcoder.transcodeTo(BaseTranslator::GetAttributeForced(child, XML_ATT_VALUE));
      const Property property = ReadProperty(child, var->Name());
      std::unique_ptr<ScoreValue> value;
      double number = 0.0;
      if (isString) {
        // A valid text declared twice keeps its first place: a second label
        // would shift every later code away from its label position.
        if (property == Property::kValid &&
            var->GetValueCoder()->GetCode(text) != ScoreValueCoder::kNoCode) {
          continue;
        }
        value = std::make_unique<StringValue>(text);
      } else if (var->ParseNumber(text, &number)) {
        value = std::make_unique<NumericValue>(number);
      } else if (property == Property::kValid) {
        if (strict) ThrowZb(ErrorCode::kNotANumber, text);
        continue;
      } else {
        // A missing or invalid marker such as "N/A" on a numeric field: it
        // can only match a record's text, so it is kept as text.
        value = std::make_unique<StringValue>(text);
      }
      switch (property) {
        case Property::kValid:
          var->AddValidValue(value.release());
          break;
        case Property::kMissing:
          var->AddMissingValue(value.release());
          break;
        case Property::kInvalid:
          var->AddInvalidValue(value.release());
          break;
      }
    } else if (XmlText::Equal(tag, XML_ELE_INTERVAL)) {
      if (isString) ThrowZb(ErrorCode::kBadFieldDefinition, var->Name(), XML_ELE_INTERVAL, "");
      const XMLCh* closure = BaseTranslator::GetAttributeForced(child, XML_ATT_CLOSURE);
      bool lowClosed;
      bool highClosed;
      if (XmlText::Equal(closure, XML_VAL_CLOSED_CLOSED)) {
        lowClosed = true;
        highClosed = true;
      } else if (XmlText::Equal(closure, XML_VAL_CLOSED_OPEN)) {
        lowClosed = true;
        highClosed = false;
      } else if (XmlText::Equal(closure, XML_VAL_OPEN_CLOSED)) {
        lowClosed = false;
        highClosed = true;
      } else if (XmlText::Equal(closure, XML_VAL_OPEN_OPEN)) {
        lowClosed = false;
        highClosed = false;
      } else {
        ThrowZb(ErrorCode::kBadFieldDefinition, var->Name(), XML_ATT_CLOSURE, closure);
      }
      const XMLCh* left = OptionalAttribute(child, XML_ATT_LEFTMARGIN);
      const XMLCh* right = OptionalAttribute(child, XML_ATT_RIGHTMARGIN);
      const double low =
          left != nullptr ? BaseTranslator::VerifyDouble(left) : -NumericValue::GetInfinity();
      const double high =
          right != nullptr ? BaseTranslator::VerifyDouble(right) : NumericValue::GetInfinity();
      if (low > high) ThrowZb(ErrorCode::kBadFieldDefinition, var->Name(), XML_ATT_LEFTMARGIN, left);
      var->AddInterval(low, high, lowClosed, highClosed);
    }
  }
}

// Reads every field element of that tag among the element's children into
// the dictionary; `base`, when given, must not know the names either.
void ReadFields(const xercesc::DOMElement* element, const XMLCh* fieldTag,
                ScoreDictionary* dictionary, const ScoreDictionary* base,
                const LumoTranscoder& transcoder, bool strict) {
  for (const xercesc::DOMElement* field = BaseTranslator::GetFirstChildElt(element);
       field != nullptr; field = BaseTranslator::GetNextSiblingElt(field)) {
    if (!XmlText::Equal(field->getTagName(), fieldTag)) continue;
    std::string name;
    try {
      name = transcoder.transcodeTo(BaseTranslator::GetAttributeForced(field, XML_ATT_NAME));
      if (base != nullptr && base->GetVar(name) != nullptr) {
        ThrowZb(ErrorCode::kDuplicateField, name);
      }
      const FieldKind kind = ReadFieldKind(field, name);
      auto var = std::make_unique<ScoreDictVar>(name, kind.valueType, kind.measureLevel);
      var->SetDataType(kind.dataType);
      ReadFieldValues(field, var.get(), transcoder, strict);
      // AddVar deletes a refused variable itself.
      if (!dictionary->AddVar(name, var.release())) ThrowZb(ErrorCode::kDuplicateField, name);
    } catch (ZbException& e) {
      if (!name.empty()) e.AddField(name);
      e.AddLine(XmlDocument::GetLine(field));
      throw;
    }
  }
}

}  // namespace

ScoreDictionary* PMMLTranslator::ParseDictionary(const xercesc::DOMElement* element,
                                                 bool strict) {
  if (element == nullptr) return nullptr;
  auto dictionary = std::make_unique<BaseDictionary>();
  ReadFields(element, XML_ELE_DATAFIELD, dictionary.get(), nullptr, Transcoder(), strict);
  return dictionary.release();
}

TransformationDictionary* PMMLTranslator::HandleTransformationDictionary(
    const xercesc::DOMElement* element, ScoreDictionary* base) {
  if (element == nullptr) return nullptr;
  auto dictionary = std::make_unique<TransformationDictionary>(base);
  ReadFields(element, XML_ELE_DERIVEDFIELD, dictionary.get(), base, Transcoder(), false);
  return dictionary.release();
}

void PMMLTranslator::AddDerivedFields(const xercesc::DOMElement* element,
                                      TransformationDictionary* into) {
  if (element == nullptr || into == nullptr) return;
  ReadFields(element, XML_ELE_DERIVEDFIELD, into, into->GetBaseDictionary(), Transcoder(), false);
}

namespace {

// A predicate's compared text as the double the compiled conditions hold.
// `lenient` serves isMissing/isNotMissing, whose value is never compared:
// it may be anything, and an undeclared text is not given a code for it.
double EncodeValue(ScoreDictVar* var, const std::string& text, bool lenient) {
  if (var->GetValueType() == ScoreDictVar::kString) {
    ScoreValueCoder* coder = var->GetMutableCoder();
    if (!lenient) return coder->AddCode(text);
    const int code = coder->GetCode(text);
    return code == ScoreValueCoder::kNoCode ? NumericValue::GetSysmisValue() : code;
  }
  if (IsBlank(text)) return NumericValue::GetSysmisValue();
  double number = 0.0;
  if (var->ParseNumber(text, &number)) return number;
  if (lenient) return NumericValue::GetSysmisValue();
  ThrowZb(ErrorCode::kNotANumber, text);
}

ScoreDictVar* RequireVar(const xercesc::DOMElement* element, const std::string& name,
                         ScoreDictionary* dictionary, ScoreDictionary* other) {
  ScoreDictVar* var = FindVar(name, dictionary, other);
  if (var == nullptr) ThrowZb(ErrorCode::kUnknownField, name, element->getTagName());
  return var;
}

}  // namespace

ScorePredicate* PMMLTranslator::ParsePredicate(const xercesc::DOMElement* element,
                                               ScoreDictionary* dictionary,
                                               ScoreDictionary* other, bool flag) {
  if (element == nullptr) return nullptr;
  const XMLCh* tag = element->getTagName();
  if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
    return ParseCompoundPredicate(element, dictionary, other, flag);
  }
  if (IsEqual(tag, XML_ELE_SETPREDICATE)) return ParseSetPredicate(element, dictionary, other);
  if (IsEqual(tag, XML_ELE_TRUE)) return new TruePredicate();
  if (IsEqual(tag, XML_ELE_FALSE)) return new FalsePredicate();
  if (!IsEqual(tag, XML_ELE_PREDICATE)) return nullptr;

  const LumoTranscoder& transcoder = Transcoder();
  std::string name;
  try {
    name = transcoder.transcodeTo(GetAttributeForced(element, XML_ATT_FIELD));
    return ParseSimplePredicate(element, name, dictionary, other);
  } catch (ZbException& e) {
    if (!name.empty()) e.AddField(name);
    e.AddLine(XmlDocument::GetLine(element));
    throw;
  }
}

ScorePredicate* PMMLTranslator::ParseSimplePredicate(const xercesc::DOMElement* element,
                                                     const std::string& name,
                                                     ScoreDictionary* dictionary,
                                                     ScoreDictionary* other) {
  const XMLCh* tag = element->getTagName();
  const LumoTranscoder& transcoder = Transcoder();
  ScoreDictVar* var = RequireVar(element, name, dictionary, other);
  const XMLCh* operatorText = GetAttributeForced(element, XML_ATT_OPERATOR);
  SimplePredicate::SimplePredOperator op;
  if (!SimplePredicate::OperatorFromText(ToString(operatorText), &op)) {
    ThrowZb(ErrorCode::kUnknownOperator, operatorText, XML_ATT_OPERATOR, tag);
  }
  const XMLCh* valueAttribute = GetAttribute(element, XML_ATT_VALUE);
  const bool hasValue = valueAttribute != nullptr;
  if (!hasValue && !IsMissingTest(op)) ThrowZb(ErrorCode::kMissingAttribute, tag, XML_ATT_VALUE);
  std::string valueText = hasValue ? transcoder.transcodeTo(valueAttribute) : std::string();
  const double value = hasValue ? EncodeValue(var, valueText, IsMissingTest(op))
                                : NumericValue::GetSysmisValue();
  return new SimplePredicate(var, op, value, std::move(valueText), hasValue);
}

ScorePredicate* PMMLTranslator::ParseSetPredicate(const xercesc::DOMElement* element,
                                                  ScoreDictionary* dictionary,
                                                  ScoreDictionary* other) {
  if (element == nullptr) return nullptr;
  std::string name;
  try {
    name = Transcoder().transcodeTo(GetAttributeForced(element, XML_ATT_FIELD));
    return ParseSetPredicateOn(element, name, dictionary, other);
  } catch (ZbException& e) {
    if (!name.empty()) e.AddField(name);
    e.AddLine(XmlDocument::GetLine(element));
    throw;
  }
}

ScorePredicate* PMMLTranslator::ParseSetPredicateOn(const xercesc::DOMElement* element,
                                                    const std::string& name,
                                                    ScoreDictionary* dictionary,
                                                    ScoreDictionary* other) {
  const XMLCh* tag = element->getTagName();
  ScoreDictVar* var = RequireVar(element, name, dictionary, other);
  const XMLCh* operatorText = GetAttributeForced(element, XML_ATT_BOOLEANOPERATOR);
  SetPredicate::SetPredOperator op;
  if (IsEqual(operatorText, XML_VAL_OPERATOR_ISIN)) {
    op = SetPredicate::kIsIn;
  } else if (IsEqual(operatorText, XML_VAL_OPERATOR_ISNOTIN)) {
    op = SetPredicate::kIsNotIn;
  } else {
    ThrowZb(ErrorCode::kUnknownOperator, operatorText, XML_ATT_BOOLEANOPERATOR, tag);
  }
  const xercesc::DOMElement* array = GetChildByTagForced(element, XML_ELE_ARRAY);
  std::vector<std::string> items = GetArrayElements(array, GetAttribute(array, XML_ATT_TYPE), var);
  std::vector<double> members;
  members.reserve(items.size());
  for (const std::string& item : items) members.push_back(EncodeValue(var, item, false));
  return new SetPredicate(var, op, std::move(members), std::move(items));
}

ScorePredicate* PMMLTranslator::ParseCompoundPredicate(const xercesc::DOMElement* element,
                                                       ScoreDictionary* dictionary,
                                                       ScoreDictionary* other, bool flag) {
  if (element == nullptr) return nullptr;
  // One frame per open CompoundPredicate; finished members wait in their
  // parent's frame. Each member owns its subtree, so a failure anywhere
  // frees everything built so far.
  struct Frame {
    int boolOperator;
    std::vector<std::unique_ptr<ScorePredicate>> members;
    const xercesc::DOMElement* next;
  };
  std::vector<Frame> stack;

  auto open = [&stack](const xercesc::DOMElement* compound) {
    const unsigned line = XmlDocument::GetLine(compound);
    if (stack.size() >= static_cast<size_t>(kMaxPredicateDepth)) {
      ZbException e(gErrorFormater);
      e.PutErrorMessage(ErrorCode::kNestingTooDeep, compound->getTagName(), kMaxPredicateDepth);
      e.AddLine(line);
      throw e;
    }
    const XMLCh* operatorText = GetAttribute(compound, XML_ATT_BOOLEANOPERATOR);
    int op = 0;
    if (operatorText == nullptr ||
        !CompoundPredicate::OperatorFromText(ToString(operatorText).c_str(), &op)) {
      ZbException e(gErrorFormater);
      if (operatorText == nullptr) {
        e.PutErrorMessage(ErrorCode::kMissingAttribute, compound->getTagName(),
                          XML_ATT_BOOLEANOPERATOR);
      } else {
        e.PutErrorMessage(ErrorCode::kUnknownOperator, operatorText, XML_ATT_BOOLEANOPERATOR,
                          compound->getTagName());
      }
      e.AddLine(line);
      throw e;
    }
    stack.push_back(Frame{op, {}, GetFirstChildElt(compound)});
  };

  open(element);
  for (;;) {
    Frame& top = stack.back();
    if (top.next == nullptr) {
      std::vector<ScorePredicate*> raw;
      raw.reserve(top.members.size());
      for (const auto& member : top.members) raw.push_back(member.get());
      std::unique_ptr<ScorePredicate> built(new CompoundPredicate(top.boolOperator, std::move(raw)));
      for (auto& member : top.members) member.release();
      stack.pop_back();
      if (stack.empty()) return built.release();
      stack.back().members.push_back(std::move(built));
      continue;
    }
    const xercesc::DOMElement* child = top.next;
    top.next = GetNextSiblingElt(child);
    const XMLCh* tag = child->getTagName();
    if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
      open(child);  // invalidates `top`
      continue;
    }
    std::unique_ptr<ScorePredicate> member;
    if (IsEqual(tag, XML_ELE_PREDICATE) || IsEqual(tag, XML_ELE_TRUE) ||
        IsEqual(tag, XML_ELE_FALSE)) {
      member.reset(ParsePredicate(child, dictionary, other, flag));
    } else if (IsEqual(tag, XML_ELE_SETPREDICATE)) {
      member.reset(ParseSetPredicate(child, dictionary, other));
    } else {
      continue;  // Extension and anything else carry no condition
    }
    top.members.push_back(std::move(member));
  }
}

std::vector<std::string> PMMLTranslator::GetArrayElements(const xercesc::DOMElement* array,
                                                          const XMLCh* /*type*/,
                                                          const ScoreDictVar* /*var*/) {
  std::vector<std::string> items;
  if (array == nullptr) return items;
  std::u16string text;
  for (const xercesc::DOMNode* node = array->getFirstChild(); node != nullptr;
       node = node->getNextSibling()) {
    const auto type = node->getNodeType();
    if (type == xercesc::DOMNode::TEXT_NODE || type == xercesc::DOMNode::CDATA_SECTION_NODE) {
      const XMLCh* value = node->getNodeValue();
      if (value != nullptr) text += value;
    }
  }

  const LumoTranscoder& transcoder = Transcoder();
  const size_t n = text.size();
  std::u16string item;
  size_t i = 0;
  for (;;) {
    while (i < n && IsXmlSpace(text[i])) ++i;
    if (i == n) break;
    item.clear();
    if (text[i] == u'"') {
      ++i;
      bool closed = false;
      while (i < n) {
        const char16_t c = text[i];
        if (c == u'\\' && i + 1 < n && (text[i + 1] == u'"' || text[i + 1] == u'\\')) {
          item.push_back(text[i + 1]);
          i += 2;
        } else if (c == u'"') {
          closed = true;
          ++i;
          break;
        } else {
          item.push_back(c);
          ++i;
        }
      }
      if (!closed) ThrowZb(ErrorCode::kMalformedArray, ArrayExcerpt(text), "unterminated quote");
      if (i < n && !IsXmlSpace(text[i])) {
        ThrowZb(ErrorCode::kMalformedArray, ArrayExcerpt(text), "text after a closing quote");
      }
    } else {
      while (i < n && !IsXmlSpace(text[i])) {
        if (text[i] == u'"') {
          ThrowZb(ErrorCode::kMalformedArray, ArrayExcerpt(text),
                  "quote inside an unquoted item");
        }
        item.push_back(text[i]);
        ++i;
      }
    }
    items.push_back(transcoder.transcodeTo(item.c_str()));
  }
  return items;
}

std::vector<std::string> PMMLTranslator::Remove(const ScoreDictVar* var,
                                                const std::vector<std::string>& items) {
  std::vector<std::string> rest;
  if (var == nullptr) return rest;
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
  if (labels == nullptr) return rest;
  // Hash sets keep this linear in the sizes of both lists.
  std::unordered_set<std::string> texts(items.begin(), items.end());
  std::unordered_set<double> numbers;
  for (const std::string& item : items) {
    double number = 0.0;
    if (var->ParseNumber(item, &number)) numbers.insert(number);
  }
  for (const ScoreValue* label : *labels) {
    if (label == nullptr) continue;
    const bool listed = label->GetValueType() == ScoreValue::kNumeric
                            ? numbers.count(label->GetDouble()) > 0
                            : texts.count(label->GetString()) > 0;
    if (!listed) rest.push_back(label->GetString());
  }
  return rest;
}

}  // namespace KtZembra_940
