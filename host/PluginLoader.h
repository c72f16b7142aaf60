// Opens a plug-in shared library and finds its exported factory.
#ifndef RULESCORE_HOST_PLUGINLOADER_H_
#define RULESCORE_HOST_PLUGINLOADER_H_

#include <string>

#include "host/HostExport.h"
#include "host/ScoreTranslator.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API PluginLoader {
 public:
  PluginLoader();
  // Closes the library. Every translator and model from it must be gone.
  ~PluginLoader();
  PluginLoader(const PluginLoader&) = delete;
  PluginLoader& operator=(const PluginLoader&) = delete;

  // Opens the library and looks up GiveMyTranslator. False with a message
  // naming the file and the reason when either fails.
  bool Open(const std::string& path, std::string* error);
  bool IsOpen() const { return handle_ != nullptr; }
  // The factory; null until Open succeeded.
  GiveMyTranslatorFn GetFactory() const { return factory_; }
  // Calls the factory: a new translator (caller owns), or null.
  ScoreTranslator* CreateTranslator() const;
  void Close();

 private:
  void* handle_ = nullptr;
  GiveMyTranslatorFn factory_ = nullptr;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_PLUGINLOADER_H_
