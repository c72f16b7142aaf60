#include "cli/ModelSession.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <new>

#include "host/ZbException.h"

#ifndef RULESCORE_PLUGIN_INSTALL_PATH
#define RULESCORE_PLUGIN_INSTALL_PATH "librulescore_plugin.so"
#endif

namespace rulescore {
namespace cli {

namespace {

constexpr char kPluginFile[] = "librulescore_plugin.so";

std::string ExecutableDirectory() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", &path[0], path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return std::string();
  path.resize(static_cast<size_t>(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

ModelSession::ModelSession() = default;

ModelSession::~ModelSession() {
  models_.clear();
  translator_.reset();
  document_.reset();
  loader_.Close();
  platform_.reset();
}

std::string ModelSession::FindPlugin(const std::string& option) {
  if (!option.empty()) return option;
  const char* env = std::getenv("RULESCORE_PLUGIN");
  if (env != nullptr && *env != '\0') return env;
  const std::string dir = ExecutableDirectory();
  if (!dir.empty()) {
    const std::string beside = dir + "/" + kPluginFile;
    if (access(beside.c_str(), F_OK) == 0) return beside;
  }
  return RULESCORE_PLUGIN_INSTALL_PATH;
}

xercesc::DOMDocument* ModelSession::GetDocument() const {
  return document_ ? document_->GetDocument() : nullptr;
}

bool ModelSession::Load(const std::string& modelPath, const std::string& pluginPath, int copies,
                        std::string* error) {
  const std::string prefix = "rulescore: " + modelPath + ": ";
  try {
    if (!platform_) platform_ = std::make_unique<KtZembra_940::XmlPlatform>();
    std::string loadError;
    if (!loader_.Open(pluginPath, &loadError)) {
      *error = "rulescore: cannot load the plug-in: " + loadError;
      return false;
    }
    document_ = KtZembra_940::XmlDocument::ParseFile(modelPath);
    translator_.reset(loader_.CreateTranslator());
    if (!translator_) {
      *error = "rulescore: the plug-in " + pluginPath + " gave no translator";
      return false;
    }
    for (const auto& option : options_) {
      if (!translator_->SetOption(option.first, option.second)) {
        *error = "rulescore: the plug-in " + pluginPath + " does not take the option " +
                 option.first + "=" + option.second;
        return false;
      }
    }
    for (int i = 0; i < copies; ++i) {
      std::unique_ptr<KtZembra_940::ScoreModel> model(
          translator_->ParseFromTree(document_->GetDocument(), document_->GetEncoding()));
      if (!model) {
        *error = prefix + "the document holds no RuleSetModel that can be scored";
        return false;
      }
      models_.push_back(std::move(model));
    }
    return true;
  } catch (const KtZembra_940::ZbException& e) {
    // The place in the document, as far as the translator knew it.
    std::string where = "rulescore: " + modelPath;
    if (e.GetLine() > 0) where += ":" + std::to_string(e.GetLine());
    std::string context;
    if (!e.GetField().empty()) context = "field " + e.GetField();
    if (!e.GetRule().empty()) context += (context.empty() ? "" : ", ") + e.GetRule();
    // The context belongs to the first line; a second line (why another
    // semantics would read the document) follows it.
    std::string message = e.GetMessage();
    const size_t firstLine = std::min(message.find('\n'), message.size());
    if (!context.empty()) message.insert(firstLine, " (" + context + ")");
    *error = where + ": error " + std::to_string(e.GetErrorCode()) + ": " + message;
  } catch (const std::bad_alloc&) {
    *error = prefix + "out of memory while reading the model";
  } catch (const std::exception& e) {
    *error = prefix + "cannot read the model: " + e.what();
  } catch (...) {
    *error = prefix + "cannot read the model";
  }
  models_.clear();
  return false;
}

}  // namespace cli
}  // namespace rulescore
