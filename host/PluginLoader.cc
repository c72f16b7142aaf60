#include "host/PluginLoader.h"

#include <dlfcn.h>

namespace KtZembra_940 {

namespace {

// The loader's last error text, read once; dlerror clears it.
std::string LastLoadError() {
  const char* text = dlerror();
  return text != nullptr ? std::string(text) : std::string("unknown error");
}

}  // namespace

PluginLoader::PluginLoader() = default;

PluginLoader::~PluginLoader() { Close(); }

bool PluginLoader::Open(const std::string& path, std::string* error) {
  Close();
  int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(__SANITIZE_ADDRESS__)
  // Keeps the module mapped after Close, so that leak reports can still
  // name the plug-in's frames.
  flags |= RTLD_NODELETE;
#endif
  dlerror();  // a stale message must not be taken for this call's
  void* handle = dlopen(path.c_str(), flags);
  if (handle == nullptr) {
    if (error != nullptr) *error = path + ": cannot open: " + LastLoadError();
    return false;
  }
  dlerror();
  void* symbol = dlsym(handle, "GiveMyTranslator");
  if (symbol == nullptr) {
    if (error != nullptr) *error = path + ": no GiveMyTranslator: " + LastLoadError();
    dlclose(handle);
    return false;
  }
  handle_ = handle;
  factory_ = reinterpret_cast<GiveMyTranslatorFn>(symbol);
  if (error != nullptr) error->clear();
  return true;
}

ScoreTranslator* PluginLoader::CreateTranslator() const {
  return factory_ != nullptr ? factory_() : nullptr;
}

void PluginLoader::Close() {
  factory_ = nullptr;
  if (handle_ != nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
  }
}

}  // namespace KtZembra_940
