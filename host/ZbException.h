// The exception of translation: a message code and the text arguments that
// name the offending element, attribute or value.
#ifndef RULESCORE_HOST_ZBEXCEPTION_H_
#define RULESCORE_HOST_ZBEXCEPTION_H_

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/util/XercesDefs.hpp>

#include "host/ErrorFormatter.h"
#include "host/HostExport.h"
#include "host/XmlText.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ZbException : public std::exception {
 public:
  explicit ZbException(const ErrorFormatter& formatter);
  ZbException(const ZbException& other);
  ZbException& operator=(const ZbException& other);
  ~ZbException() override;

  // Sets the code and the arguments and formats the message. Arguments may
  // be std::string, const char* or XML text (const XMLCh*, null gives "").
  template <typename... Args>
  void PutErrorMessage(int code, const Args&... args) {
    std::vector<std::string> list;
    (list.push_back(ToArg(args)), ...);
    PutErrorMessageList(code, std::move(list));
  }
  void PutErrorMessageList(int code, std::vector<std::string> args);
  // Adds a line of its own below the formatted message (code and
  // arguments stay as they are).
  void AppendMessageLine(const std::string& line);

  // Where the failure is, as far as the readers on the way out know it: the
  // document line of the element, the field and the rule. Each is set by the
  // first (innermost) reader that knows it; later calls keep it.
  void AddLine(unsigned line) {
    if (line_ == 0) line_ = line;
  }
  void AddField(const std::string& field) {
    if (field_.empty()) field_ = field;
  }
  void AddRule(const std::string& rule) {
    if (rule_.empty()) rule_ = rule;
  }
  unsigned GetLine() const { return line_; }
  const std::string& GetField() const { return field_; }
  const std::string& GetRule() const { return rule_; }

  int GetErrorCode() const { return code_; }
  const std::vector<std::string>& GetArguments() const { return args_; }
  const std::string& GetMessage() const { return message_; }
  const char* what() const noexcept override;

 private:
  static std::string ToArg(const std::string& s) { return s; }
  static std::string ToArg(const char* s) { return s ? std::string(s) : std::string(); }
  static std::string ToArg(const XMLCh* s) { return XmlText::ToUtf8(s); }
  static std::string ToArg(XMLCh* s) { return XmlText::ToUtf8(s); }
  static std::string ToArg(long v) { return std::to_string(v); }
  static std::string ToArg(int v) { return std::to_string(v); }
  static std::string ToArg(unsigned long v) { return std::to_string(v); }

  const ErrorFormatter* formatter_;
  int code_ = 0;
  std::vector<std::string> args_;
  std::string message_;
  unsigned line_ = 0;
  std::string field_;
  std::string rule_;  // "rule R7", or "rule #3" for a rule without id
};

// Builds and throws a ZbException on gErrorFormater.
template <typename... Args>
[[noreturn]] void ThrowZb(int code, const Args&... args) {
  ZbException e(gErrorFormater);
  e.PutErrorMessage(code, args...);
  throw e;
}

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_ZBEXCEPTION_H_
