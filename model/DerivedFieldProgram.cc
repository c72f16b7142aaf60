#include "model/DerivedFieldProgram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_map>
#include <utility>

#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

namespace {

struct FunctionEntry {
  const char* name;
  DerivedFieldProgram::Function function;
  size_t minArgs;
  size_t maxArgs;
};

constexpr size_t kAny = std::numeric_limits<size_t>::max();

constexpr FunctionEntry kFunctions[] = {
    {"+", DerivedFieldProgram::kAdd, 2, 2},
    {"-", DerivedFieldProgram::kSubtract, 2, 2},
    {"*", DerivedFieldProgram::kMultiply, 2, 2},
    {"/", DerivedFieldProgram::kDivide, 2, 2},
    {"min", DerivedFieldProgram::kMin, 1, kAny},
    {"max", DerivedFieldProgram::kMax, 1, kAny},
    {"sum", DerivedFieldProgram::kSum, 1, kAny},
    {"avg", DerivedFieldProgram::kAvg, 1, kAny},
    {"product", DerivedFieldProgram::kProduct, 1, kAny},
    {"log10", DerivedFieldProgram::kLog10, 1, 1},
    {"ln", DerivedFieldProgram::kLn, 1, 1},
    {"sqrt", DerivedFieldProgram::kSqrt, 1, 1},
    {"abs", DerivedFieldProgram::kAbs, 1, 1},
    {"exp", DerivedFieldProgram::kExp, 1, 1},
    {"pow", DerivedFieldProgram::kPow, 2, 2},
    {"threshold", DerivedFieldProgram::kThreshold, 2, 2},
    {"floor", DerivedFieldProgram::kFloor, 1, 1},
    {"ceil", DerivedFieldProgram::kCeil, 1, 1},
    {"round", DerivedFieldProgram::kRound, 1, 1},
    {"equal", DerivedFieldProgram::kEqual, 2, 2},
    {"notEqual", DerivedFieldProgram::kNotEqual, 2, 2},
    {"lessThan", DerivedFieldProgram::kLessThan, 2, 2},
    {"lessOrEqual", DerivedFieldProgram::kLessOrEqual, 2, 2},
    {"greaterThan", DerivedFieldProgram::kGreaterThan, 2, 2},
    {"greaterOrEqual", DerivedFieldProgram::kGreaterOrEqual, 2, 2},
    {"and", DerivedFieldProgram::kAnd, 1, kAny},
    {"or", DerivedFieldProgram::kOr, 1, kAny},
    {"not", DerivedFieldProgram::kNot, 1, 1},
    {"isIn", DerivedFieldProgram::kIsIn, 2, kAny},
    {"isNotIn", DerivedFieldProgram::kIsNotIn, 2, kAny},
    {"if", DerivedFieldProgram::kIf, 2, 3},
    {"isMissing", DerivedFieldProgram::kIsMissing, 1, 1},
    {"isNotMissing", DerivedFieldProgram::kIsNotMissing, 1, 1},
    {"uppercase", DerivedFieldProgram::kUppercase, 1, 1},
    {"lowercase", DerivedFieldProgram::kLowercase, 1, 1},
    {"substring", DerivedFieldProgram::kSubstring, 3, 3},
    {"trimBlanks", DerivedFieldProgram::kTrimBlanks, 1, 1},
    {"concat", DerivedFieldProgram::kConcat, 1, kAny},
    {"replace", DerivedFieldProgram::kReplace, 3, 3},
    {"matches", DerivedFieldProgram::kMatches, 2, 2},
    {"formatNumber", DerivedFieldProgram::kFormatNumber, 2, 2},
};

using Value = DerivedFieldProgram::Value;

void SetNumber(Value* v, double number) {
  if (std::isfinite(number)) {
    v->kind = DerivedFieldProgram::kNumber;
    v->number = number;
  } else {
    v->kind = DerivedFieldProgram::kInvalid;
  }
}

void SetBool(Value* v, bool b) {
  v->kind = DerivedFieldProgram::kNumber;
  v->number = b ? 1.0 : 0.0;
}

// A value as a number: text that is a number counts, other text does not.
bool AsNumber(const Value& v, double* out) {
  if (v.kind == DerivedFieldProgram::kNumber) {
    *out = v.number;
    return true;
  }
  if (v.kind == DerivedFieldProgram::kText) return NumberText::ParseDouble(v.text, out);
  return false;
}

// A value as text into `out`: numbers in their shortest form.
// Reads the operand of a numeric step: false, leaving a missing or invalid
// value as it is and marking any other non-number invalid, when there is no
// number to work on.
bool NumberOperand(Value* v, double* x) {
  if (v->kind == DerivedFieldProgram::kMissing || v->kind == DerivedFieldProgram::kInvalid) return false;
  if (AsNumber(*v, x)) return true;
  v->kind = DerivedFieldProgram::kInvalid;
  return false;
}

void AsText(const Value& v, std::string* out) {
  if (v.kind == DerivedFieldProgram::kText) {
    *out = v.text;
    return;
  }
  char buffer[64];
  const std::string_view text = NumberText::FormatShortest(v.number, buffer, sizeof buffer);
  out->assign(text.data(), text.size());
}

// Compares two present values: as numbers when both are numbers (or text
// that reads as one), otherwise as texts by bytes. -1, 0 or 1.
int Compare(const Value& a, const Value& b, std::string* scratchA, std::string* scratchB) {
  double x = 0.0;
  double y = 0.0;
  if (AsNumber(a, &x) && AsNumber(b, &y)) return x < y ? -1 : (x > y ? 1 : 0);
  AsText(a, scratchA);
  AsText(b, scratchB);
  const int c = scratchA->compare(*scratchB);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes of the first `count` UTF-8 characters of `text` from byte `from`.
size_t Utf8Advance(const std::string& text, size_t from, double count) {
  size_t at = from;
  for (double n = 0; n < count && at < text.size(); ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

}  // namespace

DerivedFieldProgram::DerivedFieldProgram() = default;

DerivedFieldProgram::~DerivedFieldProgram() = default;

bool DerivedFieldProgram::FunctionOf(const std::string& name, Function* function) {
  for (const FunctionEntry& entry : kFunctions) {
    if (name == entry.name) {
      *function = entry.function;
      return true;
    }
  }
  return false;
}

bool DerivedFieldProgram::AcceptsArguments(Function function, size_t count) {
  for (const FunctionEntry& entry : kFunctions) {
    if (entry.function == function) return count >= entry.minArgs && count <= entry.maxArgs;
  }
  return false;
}

const char* DerivedFieldProgram::FunctionName(Function function) {
  for (const FunctionEntry& entry : kFunctions) {
    if (entry.function == function) return entry.name;
  }
  return "?";
}

int32_t DerivedFieldProgram::AddInput(const ScoreDictVar* var) {
  for (size_t i = 0; i < inputs.size(); ++i) {
    if (inputs[i] == var) return static_cast<int32_t>(i);
  }
  inputs.push_back(var);
  inputPositions.push_back(-1);
  return static_cast<int32_t>(inputs.size() - 1);
}

bool DerivedFieldProgram::ReadsInput(const ScoreDictVar* var) const {
  return std::find(inputs.begin(), inputs.end(), var) != inputs.end();
}

int32_t DerivedFieldProgram::AddConstant(Value value) {
  constants.push_back(std::move(value));
  return static_cast<int32_t>(constants.size() - 1);
}

int32_t DerivedFieldProgram::AddNormTable(NormTable table) {
  normTables.push_back(std::move(table));
  return static_cast<int32_t>(normTables.size() - 1);
}

int32_t DerivedFieldProgram::AddBins(std::vector<Bin> bins) {
  binTables.push_back(std::move(bins));
  return static_cast<int32_t>(binTables.size() - 1);
}

int32_t DerivedFieldProgram::AddRowTable(RowTable table) {
  rowTables.push_back(std::move(table));
  return static_cast<int32_t>(rowTables.size() - 1);
}

bool DerivedFieldProgram::AddRegex(const std::string& pattern, int32_t* index) {
  try {
    regexes.push_back(std::make_unique<std::regex>(pattern, std::regex::ECMAScript));
  } catch (const std::regex_error&) {
    return false;
  }
  *index = static_cast<int32_t>(regexes.size() - 1);
  return true;
}

bool DerivedFieldProgram::AddFormat(const std::string& pattern, int32_t* index) {
  // Exactly one conversion, so that the pattern can never read an argument
  // that is not there; "%%" stands for a percent sign.
  size_t conversions = 0;
  bool integer = false;
  size_t conversionAt = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') continue;
    ++i;
    if (i < pattern.size() && pattern[i] == '%') continue;
    while (i < pattern.size() && std::string("-+ 0#").find(pattern[i]) != std::string::npos) ++i;
    size_t digits = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++i, ++digits;
    if (digits > 2) return false;
    if (i < pattern.size() && pattern[i] == '.') {
      ++i;
      digits = 0;
      while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++i, ++digits;
      if (digits > 2) return false;
    }
    if (i >= pattern.size()) return false;
    const char c = pattern[i];
    if (std::string("dioxX").find(c) != std::string::npos) {
      integer = true;
      conversionAt = i;
    } else if (std::string("eEfgG").find(c) == std::string::npos) {
      return false;
    }
    ++conversions;
  }
  if (conversions != 1 || pattern.size() > 64) return false;
  Format format;
  format.integer = integer;
  format.pattern = pattern;
  if (integer) {
    // The number is passed as a long long.
    format.pattern.insert(conversionAt, "ll");
  }
  formats.push_back(std::move(format));
  *index = static_cast<int32_t>(formats.size() - 1);
  return true;
}

int32_t DerivedFieldProgram::AddTemp() { return tempCount++; }

int32_t DerivedFieldProgram::AddField(const std::string& name, const ScoreDictVar* var,
                                      int dataType, const std::string& text) {
  Field field;
  field.name = name;
  field.var = var;
  field.dataType = dataType;
  field.text = text;
  fields.push_back(std::move(field));
  return static_cast<int32_t>(fields.size() - 1);
}

int32_t DerivedFieldProgram::AddGivenField(const std::string& name, const ScoreDictVar* var,
                                           int dataType) {
  const int32_t field = AddField(name, var, dataType, std::string());
  fields[static_cast<size_t>(field)].given = true;
  return field;
}

void DerivedFieldProgram::Emit(int32_t field, Instruction instruction) {
  fields[static_cast<size_t>(field)].code.push_back(instruction);
}

void DerivedFieldProgram::SetFieldText(int32_t field, const std::string& text) {
  fields[static_cast<size_t>(field)].text = text;
}

void DerivedFieldProgram::Depend(int32_t field, int32_t on) {
  std::vector<int32_t>& depends = fields[static_cast<size_t>(field)].depends;
  if (std::find(depends.begin(), depends.end(), on) == depends.end()) depends.push_back(on);
}

int32_t DerivedFieldProgram::FieldOf(const ScoreDictVar* var) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].var == var) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t DerivedFieldProgram::FieldOf(const std::string& name) const {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name == name) return static_cast<int32_t>(i);
  }
  return -1;
}

size_t DerivedFieldProgram::GetInstructionCount() const {
  size_t count = code.size();
  for (const Field& field : fields) count += field.code.size();
  return count;
}

bool DerivedFieldProgram::Finish(std::string* cycle) {
  // Kahn's algorithm, taking ready fields in declaration order: no
  // recursion, however long a chain of fields is.
  const size_t n = fields.size();
  std::vector<size_t> waiting(n, 0);
  std::vector<std::vector<int32_t>> readers(n);
  for (size_t i = 0; i < n; ++i) {
    for (int32_t on : fields[i].depends) {
      ++waiting[i];
      readers[static_cast<size_t>(on)].push_back(static_cast<int32_t>(i));
    }
  }
  order.clear();
  std::vector<int32_t> ready;
  for (size_t i = n; i-- > 0;) {
    if (waiting[i] == 0) ready.push_back(static_cast<int32_t>(i));
  }
  while (!ready.empty()) {
    const int32_t f = ready.back();
    ready.pop_back();
    order.push_back(f);
    for (int32_t reader : readers[static_cast<size_t>(f)]) {
      if (--waiting[static_cast<size_t>(reader)] == 0) ready.push_back(reader);
    }
  }
  if (order.size() != n) {
    // Every field left waits on another one left: follow the waits from the
    // first until a field repeats; that stretch is the circle.
    size_t at = 0;
    while (waiting[at] == 0) ++at;
    std::vector<size_t> path;
    std::vector<size_t> seenAt(n, n);
    while (seenAt[at] == n) {
      seenAt[at] = path.size();
      path.push_back(at);
      for (int32_t on : fields[at].depends) {
        if (waiting[static_cast<size_t>(on)] != 0) {
          at = static_cast<size_t>(on);
          break;
        }
      }
    }
    cycle->clear();
    for (size_t k = seenAt[at]; k < path.size(); ++k) *cycle += fields[path[k]].name + " -> ";
    *cycle += fields[at].name;
    return false;
  }

  code.clear();
  for (int32_t f : order) {
    Field& field = fields[static_cast<size_t>(f)];
    field.begin = code.size();
    size_t depth = 0;
    size_t deepest = 1;
    for (const Instruction& in : field.code) {
      code.push_back(in);
      switch (in.op) {
        case kPushConstant:
        case kLoadInput:
        case kLoadDerived:
        case kLoadTemp:
          ++depth;
          break;
        case kStoreTemp:
          if (depth > 0) --depth;
          break;
        case kCall:
        case kMapValues:
          depth = depth + 1 - std::min(depth, static_cast<size_t>(in.count));
          break;
        default:
          break;
      }
      deepest = std::max(deepest, depth);
    }
    field.end = code.size();
    field.depth = deepest;
    std::vector<Instruction>().swap(field.code);
  }
  numCode.clear();
  for (int32_t f : order) {
    Field& field = fields[static_cast<size_t>(f)];
    field.numeric = CompileNumeric(&field);
  }
  return true;
}

bool DerivedFieldProgram::CompileNumeric(Field* field) {
  if (field->given || field->dataType < 0 || field->dataType == ScoreDictVar::kDataString) {
    return false;
  }
  const size_t start = numCode.size();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (size_t pc = field->begin; pc < field->end; ++pc) {
    const Instruction& in = code[pc];
    NumInstruction step{kNumConstant, in.function, in.a, in.count, 0.0};
    bool ok = true;
    switch (in.op) {
      case kPushConstant: {
        const Value& constant = constants[static_cast<size_t>(in.a)];
        ok = constant.kind == kNumber || constant.kind == kMissing;
        step.c = constant.kind == kNumber ? constant.number : nan;
        break;
      }
      case kLoadInput: {
        const ScoreDictVar* var = inputs[static_cast<size_t>(in.a)];
        ok = var != nullptr && var->GetValueType() != ScoreDictVar::kString;
        step.op = kNumInput;
        break;
      }
      case kLoadDerived: {
        // A field of a numeric type holds a number or nothing.
        const int type = fields[static_cast<size_t>(in.a)].dataType;
        ok = type >= 0 && type != ScoreDictVar::kDataString;
        step.op = kNumDerived;
        break;
      }
      case kCall:
        // Arithmetic, comparisons, and, or, not: each is missing when an
        // argument is missing or invalid, so NaN serves for both.
        ok = in.function <= kNot;
        step.op = kNumCall;
        if (ok && in.count == 2 && numCode.size() > start && numCode.back().op == kNumConstant &&
            in.function <= kDivide) {
          // The constant is the second operand: one step instead of two.
          static constexpr NumOp kFused[] = {kNumAddC, kNumSubC, kNumMulC, kNumDivC};
          numCode.back().op = kFused[in.function - kAdd];
          continue;
        }
        break;
      case kNormContinuous:
        step.op = kNumNorm;
        break;
      default:
        ok = false;
        break;
    }
    if (!ok) {
      numCode.resize(start);
      return false;
    }
    numCode.push_back(step);
  }
  field->numBegin = start;
  field->numEnd = numCode.size();
  return true;
}

void DerivedFieldProgram::SetEncodedSlot(int32_t field, int32_t index, double missing) {
  Field& f = fields[static_cast<size_t>(field)];
  if (!f.numeric) return;
  f.encodedAt = index;
  f.encodedMissing = missing;
  for (RunEntry& entry : runList) {
    if (entry.field != field) continue;
    entry.encodedAt = index;
    entry.encodedMissing = missing;
  }
}

void DerivedFieldProgram::Bind(const std::vector<int32_t>& used) {
  inputPlain.assign(inputs.size(), 0);
  for (size_t i = 0; i < inputs.size(); ++i) {
    inputPositions[i] = inputs[i] != nullptr ? inputs[i]->GetCaseIndex() : -1;
    inputPlain[i] = inputs[i] != nullptr && inputs[i]->GetValueType() != ScoreDictVar::kString &&
                    !inputs[i]->HasMissingValues();
  }
  for (Field& field : fields) field.encodedAt = -1;
  // A field is computed when the rules read it or a computed field reads
  // it: walk the evaluation order backwards.
  for (Field& field : fields) field.used = false;
  for (int32_t f : used) {
    if (f >= 0 && static_cast<size_t>(f) < fields.size()) fields[static_cast<size_t>(f)].used = true;
  }
  for (size_t k = order.size(); k-- > 0;) {
    const Field& field = fields[static_cast<size_t>(order[k])];
    if (!field.used) continue;
    for (int32_t on : field.depends) fields[static_cast<size_t>(on)].used = true;
  }
  size_t deepest = 1;
  for (const Field& field : fields) deepest = std::max(deepest, field.depth);
  stack.assign(deepest, Value());
  numStack.assign(deepest, 0.0);
  runList.clear();
  for (int32_t f : order) {
    const Field& field = fields[static_cast<size_t>(f)];
    if (!field.used || field.given) continue;
    bool chain = field.numeric && field.numEnd > field.numBegin &&
                 numCode[field.numBegin].op == kNumInput;
    for (size_t k = field.numBegin + 1; chain && k < field.numEnd; ++k) {
      const NumOp op = numCode[k].op;
      chain = op == kNumAddC || op == kNumSubC || op == kNumMulC || op == kNumDivC;
    }
    // The commonest chain, a scale and a shift, runs without the loop.
    const bool scaled = chain && field.numEnd - field.numBegin == 3 &&
                        numCode[field.numBegin + 1].op == kNumMulC &&
                        (numCode[field.numBegin + 2].op == kNumAddC ||
                         numCode[field.numBegin + 2].op == kNumSubC);
    RunEntry entry{f, field.numeric, chain, scaled, static_cast<uint8_t>(field.dataType),
                   -1, static_cast<uint32_t>(field.numBegin),
                   static_cast<uint32_t>(field.numEnd), 0.0, -1, -1, 1.0, 0.0};
    if (scaled) {
      const NumInstruction* in = numCode.data() + field.numBegin;
      entry.input = in->a;
      entry.inputAt = PlainCell(in->a);
      entry.scale = in[1].c;
      entry.shift = in[2].op == kNumAddC ? in[2].c : -in[2].c;
    }
    runList.push_back(entry);
  }
  temps.assign(static_cast<size_t>(tempCount), Value());
  outputs.assign(fields.size(), Value());
}

inline double DerivedFieldProgram::ReadNumberAt(int32_t cell, int32_t input,
                                               const ScoreCaseRecord::Slots& slots) {
  const size_t at = static_cast<size_t>(cell);  // -1 wraps past count
  if (at < slots.count && slots.kinds[at] == ScoreCaseRecord::Kind::kNumber) {
    const double x = slots.numbers[at].Number();
    return std::isfinite(x) && !NumericValue::IsSystemMissingValue(x)
               ? x
               : std::numeric_limits<double>::quiet_NaN();
  }
  return LoadNumber(input, slots);
}

inline int32_t DerivedFieldProgram::PlainCell(int32_t input) const {
  const size_t i = static_cast<size_t>(input);
  return inputPlain[i] != 0 ? inputPositions[i] : -1;
}

inline double DerivedFieldProgram::ReadNumberInput(int32_t input,
                                                  const ScoreCaseRecord::Slots& slots) {
  return ReadNumberAt(PlainCell(input), input, slots);
}

inline double DerivedFieldProgram::RunChain(size_t begin, size_t end,
                                            const ScoreCaseRecord::Slots& slots) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const NumInstruction* in = numCode.data() + begin;
  const NumInstruction* const last = numCode.data() + end;
  double v = ReadNumberInput(in->a, slots);
  // The same operations as the stack form's fused steps, NaN carried through.
  for (++in; in != last; ++in) {
    switch (in->op) {
      case kNumAddC: v += in->c; break;
      case kNumSubC: v -= in->c; break;
      case kNumMulC: v *= in->c; break;
      default: v = in->c == 0.0 ? kNaN : v / in->c; break;
    }
    if (!std::isfinite(v)) v = kNaN;
  }
  return v;
}

inline double DerivedFieldProgram::RunScaled(const RunEntry& entry,
                                             const ScoreCaseRecord::Slots& slots) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double x = ReadNumberAt(entry.inputAt, entry.input, slots);
  // The stack form's two steps, NaN carried through. A product out of range
  // stays out of range after a finite shift: testing once at the end gives
  // the same.
  const double v = x * entry.scale + entry.shift;
  return std::isfinite(v) ? v : kNaN;
}

void DerivedFieldProgram::Evaluate(const ScoreCaseRecord::Slots& slots, double* encoded) {
  for (const RunEntry& entry : runList) {
    if (!entry.numeric) {
      Run(fields[static_cast<size_t>(entry.field)], slots);
      continue;
    }
    double v = entry.scaled  ? RunScaled(entry, slots)
               : entry.chain ? RunChain(entry.numBegin, entry.numEnd, slots)
                             : RunNumeric(entry.numBegin, entry.numEnd, slots);
    Value& out = outputs[static_cast<size_t>(entry.field)];
    if (std::isnan(v)) {
      out.kind = kMissing;
    } else {
      if (entry.dataType == ScoreDictVar::kDataBoolean) v = v != 0.0 ? 1.0 : 0.0;
      if (entry.dataType == ScoreDictVar::kDataInteger) v = std::trunc(v);
      out.kind = kNumber;
      out.number = v;
    }
    if (entry.encodedAt >= 0 && encoded != nullptr) {
      encoded[entry.encodedAt] = std::isnan(v) ? entry.encodedMissing : v;
    }
  }
}

double DerivedFieldProgram::LoadNumber(int32_t input, const ScoreCaseRecord::Slots& slots) {
  LoadInput(input, slots, &loaded);
  return loaded.kind == kNumber ? loaded.number : std::numeric_limits<double>::quiet_NaN();
}

double DerivedFieldProgram::RunNumeric(size_t begin, size_t end,
                                       const ScoreCaseRecord::Slots& slots) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  double* const base = numStack.data();
  double* top = base;  // next free entry
  const NumInstruction* const last = numCode.data() + end;
  // Every step leaves a finite number or NaN on top: inputs and calls give
  // nothing else, and the steps that could overflow check.
  for (const NumInstruction* in = numCode.data() + begin; in != last; ++in) {
    switch (in->op) {
      case kNumInput:
        *top++ = ReadNumberInput(in->a, slots);
        break;
      case kNumConstant:
        *top++ = in->c;
        break;
      case kNumDerived: {
        const Value& v = outputs[static_cast<size_t>(in->a)];
        *top++ = v.kind == kNumber ? v.number : kNaN;
        break;
      }
      case kNumCall: {
        double* args = top - in->count;
        *args = CallNumeric(in->function, args, static_cast<size_t>(in->count));
        top = args + 1;
        break;
      }
      case kNumNorm:
        if (!std::isnan(top[-1])) top[-1] = Normalize(in->a, top[-1]);
        if (!std::isfinite(top[-1])) top[-1] = kNaN;
        break;
      case kNumAddC:
        top[-1] += in->c;
        if (!std::isfinite(top[-1])) top[-1] = kNaN;
        break;
      case kNumSubC:
        top[-1] -= in->c;
        if (!std::isfinite(top[-1])) top[-1] = kNaN;
        break;
      case kNumMulC:
        top[-1] *= in->c;
        if (!std::isfinite(top[-1])) top[-1] = kNaN;
        break;
      case kNumDivC:
        top[-1] = in->c == 0.0 ? kNaN : top[-1] / in->c;
        if (!std::isfinite(top[-1])) top[-1] = kNaN;
        break;
    }
  }
  return base[0];
}

double DerivedFieldProgram::Normalize(int32_t index, double x) const {
  const NormTable& t = normTables[static_cast<size_t>(index)];
  const size_t last = t.orig.size() - 1;
  size_t seg = 0;
  if (x < t.orig[0] || x > t.orig[last]) {
    if (t.outliers == kAsMissingValues) return std::numeric_limits<double>::quiet_NaN();
    if (t.outliers == kAsExtremeValues) return x < t.orig[0] ? t.norm[0] : t.norm[last];
    seg = x < t.orig[0] ? 0 : last - 1;
  } else {
    while (seg + 1 < last && x > t.orig[seg + 1]) ++seg;
  }
  const double a = t.orig[seg];
  const double b = t.orig[seg + 1];
  return t.norm[seg] + (x - a) / (b - a) * (t.norm[seg + 1] - t.norm[seg]);
}

double DerivedFieldProgram::CallNumeric(Function function, const double* args, size_t n) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (size_t k = 0; k < n; ++k) {
    if (std::isnan(args[k])) return kNaN;
  }
  const double x = args[0];
  const double y = n > 1 ? args[1] : 0.0;
  double r = kNaN;
  switch (function) {
    case kAdd: r = x + y; break;
    case kSubtract: r = x - y; break;
    case kMultiply: r = x * y; break;
    case kDivide: r = y == 0.0 ? kNaN : x / y; break;
    case kMin:
    case kMax:
    case kSum:
    case kAvg:
    case kProduct:
      r = x;
      for (size_t k = 1; k < n; ++k) {
        const double v = args[k];
        switch (function) {
          case kMin: r = std::min(r, v); break;
          case kMax: r = std::max(r, v); break;
          case kProduct: r *= v; break;
          default: r += v; break;
        }
      }
      if (function == kAvg) r /= static_cast<double>(n);
      break;
    case kLog10: r = x <= 0.0 ? kNaN : std::log10(x); break;
    case kLn: r = x <= 0.0 ? kNaN : std::log(x); break;
    case kSqrt: r = x < 0.0 ? kNaN : std::sqrt(x); break;
    case kAbs: r = std::fabs(x); break;
    case kExp: r = std::exp(x); break;
    case kPow: r = std::pow(x, y); break;
    case kThreshold: r = x > y ? 1.0 : 0.0; break;
    case kFloor: r = std::floor(x); break;
    case kCeil: r = std::ceil(x); break;
    case kRound: r = std::round(x); break;
    case kEqual: r = x == y ? 1.0 : 0.0; break;
    case kNotEqual: r = x != y ? 1.0 : 0.0; break;
    case kLessThan: r = x < y ? 1.0 : 0.0; break;
    case kLessOrEqual: r = x <= y ? 1.0 : 0.0; break;
    case kGreaterThan: r = x > y ? 1.0 : 0.0; break;
    case kGreaterOrEqual: r = x >= y ? 1.0 : 0.0; break;
    case kAnd:
    case kOr: {
      bool acc = x != 0.0;
      for (size_t k = 1; k < n; ++k) {
        acc = function == kAnd ? (acc && args[k] != 0.0) : (acc || args[k] != 0.0);
      }
      r = acc ? 1.0 : 0.0;
      break;
    }
    case kNot: r = x == 0.0 ? 1.0 : 0.0; break;
    default: break;
  }
  return std::isfinite(r) ? r : kNaN;
}

void DerivedFieldProgram::LoadInput(int32_t input, const ScoreCaseRecord::Slots& slots,
                                    Value* out) const {
  const ScoreDictVar* var = inputs[static_cast<size_t>(input)];
  const size_t at = static_cast<size_t>(inputPositions[static_cast<size_t>(input)]);
  out->kind = kMissing;
  if (at >= slots.count) return;  // not in the layout (-1 wraps)
  const ScoreCaseRecord::Kind kind = slots.kinds[at];
  if (kind == ScoreCaseRecord::Kind::kNone) return;
  if (var->HasMissingValues()) {
    const ScoreValue& cell = kind == ScoreCaseRecord::Kind::kNumber
                                 ? static_cast<const ScoreValue&>(slots.numbers[at])
                                 : static_cast<const ScoreValue&>(slots.texts[at]);
    if (var->IsMissingValue(cell)) return;
  }
  if (kind == ScoreCaseRecord::Kind::kNumber) {
    SetNumber(out, slots.numbers[at].Number());
    if (out->kind == kInvalid) out->kind = kMissing;  // the system-missing value is finite
    if (NumericValue::IsSystemMissingValue(out->number)) out->kind = kMissing;
    return;
  }
  const std::string& text = slots.texts[at].GetText();
  if (var->GetValueType() == ScoreDictVar::kString) {
    out->kind = kText;
    out->text = text;
    return;
  }
  double number = 0.0;
  if (var->ParseNumber(text, &number)) {
    SetNumber(out, number);
  } else {
    out->kind = kInvalid;
  }
}

void DerivedFieldProgram::Run(const Field& field, const ScoreCaseRecord::Slots& slots) {
  Value* top = stack.data();  // next free entry
  for (size_t pc = field.begin; pc < field.end; ++pc) {
    const Instruction& in = code[pc];
    switch (in.op) {
      case kPushConstant:
        *top++ = constants[static_cast<size_t>(in.a)];
        break;
      case kLoadInput:
        LoadInput(in.a, slots, top++);
        break;
      case kLoadDerived:
        *top++ = outputs[static_cast<size_t>(in.a)];
        break;
      case kLoadTemp:
        *top++ = temps[static_cast<size_t>(in.a)];
        break;
      case kStoreTemp:
        std::swap(temps[static_cast<size_t>(in.a)], *--top);
        break;
      case kMapMissing:
        if (top[-1].kind == kMissing) top[-1] = constants[static_cast<size_t>(in.a)];
        break;
      case kMapInvalid:
        if (top[-1].kind == kInvalid) top[-1] = constants[static_cast<size_t>(in.a)];
        break;
      case kCall: {
        Value* args = top - in.count;
        Call(in, args);
        top = args + 1;
        break;
      }
      case kNormContinuous: {
        Value& v = top[-1];
        double x = 0.0;
        if (!NumberOperand(&v, &x)) break;
        const NormTable& t = normTables[static_cast<size_t>(in.a)];
        if (t.outliers == kAsMissingValues && (x < t.orig[0] || x > t.orig.back())) {
          v.kind = kMissing;
          break;
        }
        SetNumber(&v, Normalize(in.a, x));
        break;
      }
      case kNormDiscrete: {
        Value& v = top[-1];
        if (v.kind == kMissing || v.kind == kInvalid) break;
        SetBool(&v, Compare(v, constants[static_cast<size_t>(in.a)], &scratch, &v.text) == 0);
        break;
      }
      case kDiscretize: {
        Value& v = top[-1];
        double x = 0.0;
        if (!NumberOperand(&v, &x)) break;
        v.kind = kInvalid;  // no bin holds it, unless one does
        for (const Bin& bin : binTables[static_cast<size_t>(in.a)]) {
          const bool above = bin.lowClosed ? x >= bin.low : x > bin.low;
          const bool below = bin.highClosed ? x <= bin.high : x < bin.high;
          if (above && below) {
            v = constants[static_cast<size_t>(bin.value)];
            break;
          }
        }
        break;
      }
      case kMapValues: {
        Value* args = top - in.count;
        top = args + 1;
        const RowTable& t = rowTables[static_cast<size_t>(in.a)];
        bool missing = false;
        for (int32_t k = 0; k < in.count; ++k) missing = missing || args[k].kind == kMissing;
        if (missing) {
          args[0].kind = kMissing;
          break;
        }
        int32_t found = -1;
        for (size_t r = 0; r < t.outputs.size() && found < 0; ++r) {
          bool all = true;
          for (size_t c = 0; c < t.columns && all; ++c) {
            const std::string& cell = t.cells[r * t.columns + c];
            const Value& arg = args[c];
            double x = 0.0;
            double y = 0.0;
            if (arg.kind == kNumber) {
              all = NumberText::ParseDouble(cell, &y) && arg.number == y;
            } else if (arg.kind == kText) {
              all = arg.text == cell || (AsNumber(arg, &x) && NumberText::ParseDouble(cell, &y) &&
                                         x == y);
            } else {
              all = false;
            }
          }
          if (all) found = t.outputs[r];
        }
        if (found >= 0) {
          args[0] = constants[static_cast<size_t>(found)];
        } else {
          args[0].kind = kInvalid;
        }
        break;
      }
    }
  }
  Store(field, stack[0], &outputs[static_cast<size_t>(&field - fields.data())]);
}

void DerivedFieldProgram::Store(const Field& field, const Value& value, Value* out) const {
  if (value.kind == kMissing || value.kind == kInvalid) {
    out->kind = kMissing;
    return;
  }
  if (field.dataType < 0) {
    out->kind = value.kind;
    if (value.kind == kNumber) out->number = value.number;
    if (value.kind == kText) out->text = value.text;
    return;
  }
  if (field.dataType == ScoreDictVar::kDataString) {
    out->kind = kText;
    AsText(value, &out->text);
    return;
  }
  double number = 0.0;
  bool ok = false;
  if (value.kind == kNumber) {
    number = value.number;
    ok = true;
  } else if (field.var != nullptr) {
    ok = field.var->ParseNumber(value.text, &number);
  } else {
    ok = NumberText::ParseDouble(value.text, &number);
  }
  if (!ok) {
    out->kind = kMissing;
    return;
  }
  if (field.dataType == ScoreDictVar::kDataBoolean) number = number != 0.0 ? 1.0 : 0.0;
  if (field.dataType == ScoreDictVar::kDataInteger) number = std::trunc(number);
  out->kind = kNumber;
  out->number = number;
}

void DerivedFieldProgram::Call(const Instruction& in, Value* args) {
  const size_t n = static_cast<size_t>(in.count);
  Value& r = args[0];  // the result replaces the first argument
  switch (in.function) {
    case kIsMissing:
      SetBool(&r, args[0].kind == kMissing);
      return;
    case kIsNotMissing:
      SetBool(&r, args[0].kind != kMissing);
      return;
    case kIf: {
      if (args[0].kind == kMissing || args[0].kind == kInvalid) return;
      double c = 0.0;
      if (!AsNumber(args[0], &c)) {
        r.kind = kInvalid;
        return;
      }
      if (c != 0.0) {
        std::swap(r, args[1]);
      } else if (n == 3) {
        std::swap(r, args[2]);
      } else {
        r.kind = kMissing;
      }
      return;
    }
    default:
      break;
  }
  // Every other function: a missing argument makes the result missing, an
  // invalid one makes it invalid.
  for (size_t k = 0; k < n; ++k) {
    if (args[k].kind == kMissing) {
      r.kind = kMissing;
      return;
    }
  }
  for (size_t k = 0; k < n; ++k) {
    if (args[k].kind == kInvalid) {
      r.kind = kInvalid;
      return;
    }
  }

  switch (in.function) {
    case kEqual:
    case kNotEqual:
    case kLessThan:
    case kLessOrEqual:
    case kGreaterThan:
    case kGreaterOrEqual: {
      const int c = Compare(args[0], args[1], &scratch, &args[1].text);
      bool b = false;
      switch (in.function) {
        case kEqual: b = c == 0; break;
        case kNotEqual: b = c != 0; break;
        case kLessThan: b = c < 0; break;
        case kLessOrEqual: b = c <= 0; break;
        case kGreaterThan: b = c > 0; break;
        default: b = c >= 0; break;
      }
      SetBool(&r, b);
      return;
    }
    case kIsIn:
    case kIsNotIn: {
      bool found = false;
      for (size_t k = 1; k < n && !found; ++k) {
        found = Compare(args[0], args[k], &scratch, &args[k].text) == 0;
      }
      SetBool(&r, in.function == kIsIn ? found : !found);
      return;
    }
    case kUppercase:
    case kLowercase:
    case kTrimBlanks: {
      if (r.kind != kText) AsText(r, &r.text);
      r.kind = kText;
      std::string& t = r.text;
      if (in.function == kTrimBlanks) {
        size_t b = 0;
        while (b < t.size() && IsSpace(t[b])) ++b;
        size_t e = t.size();
        while (e > b && IsSpace(t[e - 1])) --e;
        t.erase(e);
        t.erase(0, b);
        return;
      }
      // Letters of the basic Latin alphabet only; other bytes are kept.
      for (char& c : t) {
        if (in.function == kUppercase && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (in.function == kLowercase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      return;
    }
    case kConcat: {
      AsText(args[0], &scratch);
      for (size_t k = 1; k < n; ++k) {
        AsText(args[k], &args[k].text);
        scratch += args[k].text;
      }
      r.kind = kText;
      std::swap(r.text, scratch);
      return;
    }
    case kSubstring: {
      double start = 0.0;
      double length = 0.0;
      if (!AsNumber(args[1], &start) || !AsNumber(args[2], &length) || start < 1 || length < 0) {
        r.kind = kInvalid;
        return;
      }
      if (r.kind != kText) AsText(r, &r.text);
      r.kind = kText;
      const size_t from = Utf8Advance(r.text, 0, std::floor(start) - 1);
      const size_t to = Utf8Advance(r.text, from, std::floor(length));
      r.text = r.text.substr(from, to - from);
      return;
    }
    case kMatches:
    case kReplace: {
      if (r.kind != kText) AsText(r, &r.text);
      if (r.text.size() > kMaxRegexInput) {
        r.kind = kInvalid;
        return;
      }
      const std::regex& re = *regexes[static_cast<size_t>(in.a)];
      try {
        if (in.function == kMatches) {
          SetBool(&r, std::regex_search(r.text, re));
        } else {
          AsText(args[2], &args[2].text);
          scratch = std::regex_replace(r.text, re, args[2].text);
          r.kind = kText;
          std::swap(r.text, scratch);
        }
      } catch (const std::regex_error&) {
        // The library gives up on a search too complex for it.
        r.kind = kInvalid;
      }
      return;
    }
    case kFormatNumber: {
      double x = 0.0;
      if (!AsNumber(args[0], &x)) {
        r.kind = kInvalid;
        return;
      }
      const Format& f = formats[static_cast<size_t>(in.a)];
      char buffer[512];
      int written = 0;
      if (f.integer) {
        const double limit = 9.2e18;
        const long long whole = static_cast<long long>(std::max(-limit, std::min(limit, std::trunc(x))));
        written = std::snprintf(buffer, sizeof buffer, f.pattern.c_str(), whole);
      } else {
        written = std::snprintf(buffer, sizeof buffer, f.pattern.c_str(), x);
      }
      if (written < 0) {
        r.kind = kInvalid;
        return;
      }
      r.kind = kText;
      r.text.assign(buffer, std::min(static_cast<size_t>(written), sizeof buffer - 1));
      return;
    }
    default:
      break;
  }

  // Numeric functions: every argument must be a number; the arithmetic is
  // that of the double form.
  numArgs.resize(n);
  for (size_t k = 0; k < n; ++k) {
    if (!AsNumber(args[k], &numArgs[k])) {
      r.kind = kInvalid;
      return;
    }
  }
  const double value = CallNumeric(in.function, numArgs.data(), n);
  if (std::isnan(value)) {
    r.kind = kInvalid;
  } else {
    r.kind = kNumber;
    r.number = value;
  }
}

void DerivedFieldProgram::Display(std::ostream& os) const {
  static const char* const kTypes[] = {"string", "integer", "float", "double", "boolean"};
  for (int32_t f : order) {
    const Field& field = fields[static_cast<size_t>(f)];
    const char* type = field.dataType >= 0 && field.dataType < 5 ? kTypes[field.dataType] : "?";
    os << "derived field " << field.name << " (" << type << "): " << field.text << "\n";
  }
}

}  // namespace KtZembra_940
