// The text an object's Display writes (models, rule records, split
// variables).
#ifndef RULESCORE_TESTS_SUPPORT_DISPLAYED_H_
#define RULESCORE_TESTS_SUPPORT_DISPLAYED_H_

#include <sstream>
#include <string>

namespace KtZembra_940 {
namespace testing_support {

template <class T>
std::string Displayed(const T& object) {
  std::ostringstream os;
  object.Display(os);
  return os.str();
}

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_DISPLAYED_H_
