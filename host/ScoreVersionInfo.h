// The PMML version and the exporting application of a document.
#ifndef RULESCORE_HOST_SCOREVERSIONINFO_H_
#define RULESCORE_HOST_SCOREVERSIONINFO_H_

#include <string>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ScoreVersionInfo {
 public:
  ScoreVersionInfo(std::string pmmlVersion, std::string application)
      : pmmlVersion_(std::move(pmmlVersion)), application_(std::move(application)) {}
  const std::string& GetPMMLVersion() const { return pmmlVersion_; }
  const std::string& GetApplication() const { return application_; }

 private:
  std::string pmmlVersion_;
  std::string application_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREVERSIONINFO_H_
