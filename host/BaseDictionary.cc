#include "host/BaseDictionary.h"

namespace KtZembra_940 {

BaseDictionary::BaseDictionary() = default;

BaseDictionary::~BaseDictionary() = default;

}  // namespace KtZembra_940
