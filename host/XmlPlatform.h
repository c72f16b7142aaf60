// Sets up the Xerces platform for the life of the object. Xerces counts
// Initialize and Terminate, so guards may nest; create and destroy them on
// one thread, and free every Xerces object before the last guard goes.
#ifndef RULESCORE_HOST_XMLPLATFORM_H_
#define RULESCORE_HOST_XMLPLATFORM_H_

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API XmlPlatform {
 public:
  // Throws ZbException (kXmlParse) when Xerces cannot start.
  XmlPlatform();
  ~XmlPlatform();
  XmlPlatform(const XmlPlatform&) = delete;
  XmlPlatform& operator=(const XmlPlatform&) = delete;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_XMLPLATFORM_H_
