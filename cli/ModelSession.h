// One model document made ready for scoring through the host: the Xerces
// platform, the plug-in opened with the host's loader, the parsed document,
// the plug-in's translator and one or more models translated from the one
// document (a model scores one record at a time, so each scoring thread
// needs its own).
//
// Members are released in the order that keeps every object valid for its
// users: models, translator, document, plug-in, platform.
#ifndef RULESCORE_CLI_MODELSESSION_H_
#define RULESCORE_CLI_MODELSESSION_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>

#include "host/PluginLoader.h"
#include "host/ScoreModel.h"
#include "host/ScoreTranslator.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"

namespace rulescore {
namespace cli {

class ModelSession {
 public:
  ModelSession();
  ~ModelSession();
  ModelSession(const ModelSession&) = delete;
  ModelSession& operator=(const ModelSession&) = delete;

  // The plug-in to load: `option` when not empty, else the environment
  // variable RULESCORE_PLUGIN when set, else librulescore_plugin.so beside
  // the running executable when it is there, else the installed path.
  static std::string FindPlugin(const std::string& option);

  // A translator option (ScoreTranslator::SetOption) for the next Load;
  // Load fails when the plug-in's translator refuses it.
  void SetTranslatorOption(const std::string& name, const std::string& value) {
    options_.emplace_back(name, value);
  }

  // Opens the plug-in, parses the document and translates it `copies`
  // times. False with a one-line message ("rulescore: ...") otherwise;
  // translation errors read "rulescore: FILE: error CODE: TEXT".
  bool Load(const std::string& modelPath, const std::string& pluginPath, int copies,
            std::string* error);

  int GetModelCount() const { return static_cast<int>(models_.size()); }
  // REQUIRES: 0 <= i < GetModelCount(). Owned by the session.
  KtZembra_940::ScoreModel* GetModel(int i) const { return models_[static_cast<size_t>(i)].get(); }
  // The parsed document, for reading what the model holds; null before Load.
  xercesc::DOMDocument* GetDocument() const;

 private:
  std::unique_ptr<KtZembra_940::XmlPlatform> platform_;
  KtZembra_940::PluginLoader loader_;
  std::unique_ptr<KtZembra_940::XmlDocument> document_;
  std::unique_ptr<KtZembra_940::ScoreTranslator> translator_;
  std::vector<std::unique_ptr<KtZembra_940::ScoreModel>> models_;
  std::vector<std::pair<std::string, std::string>> options_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_MODELSESSION_H_
