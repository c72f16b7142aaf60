// A set of fields looked up by name. The dictionary owns its variables.
#ifndef RULESCORE_HOST_SCOREDICTIONARY_H_
#define RULESCORE_HOST_SCOREDICTIONARY_H_

#include <string>
#include <unordered_map>
#include <vector>

#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreDictVar;

class RULESCORE_HOST_API ScoreDictionary {
 public:
  virtual ~ScoreDictionary();
  ScoreDictionary(const ScoreDictionary&) = delete;
  ScoreDictionary& operator=(const ScoreDictionary&) = delete;

  // The variable of that name, or null.
  ScoreDictVar* GetVar(const std::string& name) const;
  // Adds a variable under a name and takes ownership of it. A name already
  // present is refused: the variable is deleted and false returned.
  bool AddVar(const std::string& name, ScoreDictVar* var);
  int GetVarCount() const { return static_cast<int>(vars_.size()); }
  // Every variable in the order added.
  const std::vector<ScoreDictVar*>& GetAllVars() const { return vars_; }

 protected:
  ScoreDictionary();

 private:
  std::vector<ScoreDictVar*> vars_;  // owned
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREDICTIONARY_H_
