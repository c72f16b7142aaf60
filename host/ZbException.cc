#include "host/ZbException.h"

namespace KtZembra_940 {

ZbException::ZbException(const ErrorFormatter& formatter) : formatter_(&formatter) {}

ZbException::ZbException(const ZbException& other) = default;

ZbException& ZbException::operator=(const ZbException& other) = default;

ZbException::~ZbException() = default;

void ZbException::PutErrorMessageList(int code, std::vector<std::string> args) {
  code_ = code;
  args_ = std::move(args);
  message_ = formatter_->Format(code_, args_);
}

void ZbException::AppendMessageLine(const std::string& line) {
  message_ += "\n";
  message_ += line;
}

const char* ZbException::what() const noexcept {
  return message_.empty() ? "translation error" : message_.c_str();
}

}  // namespace KtZembra_940
