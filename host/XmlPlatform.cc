#include "host/XmlPlatform.h"

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "host/ErrorCodes.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

XmlPlatform::XmlPlatform() {
  try {
    xercesc::XMLPlatformUtils::Initialize();
  } catch (const xercesc::XMLException& e) {
    ThrowZb(ErrorCode::kXmlParse, "", "0", "0",
            "cannot start the XML platform: " + XmlText::ToUtf8(e.getMessage()));
  }
}

XmlPlatform::~XmlPlatform() { xercesc::XMLPlatformUtils::Terminate(); }

}  // namespace KtZembra_940
