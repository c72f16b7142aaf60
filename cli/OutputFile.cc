#include "cli/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace rulescore {
namespace cli {

OutputFile::~OutputFile() {
  if (file_ != nullptr && !toStdout_) std::fclose(file_);
  if (!committed_ && !tempPath_.empty()) unlink(tempPath_.c_str());
}

bool OutputFile::Open(const std::string& path, std::string* error) {
  if (path.empty() || path == "-") {
    file_ = stdout;
    toStdout_ = true;
    return true;
  }
  path_ = path;
  std::vector<char> name(path.begin(), path.end());
  const char suffix[] = ".tmp-XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "rulescore: " + path + ": cannot create the output: " + std::strerror(errno);
    return false;
  }
  tempPath_ = name.data();
  // mkstemp creates the file private; give it the usual mode of a new file.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    *error = "rulescore: " + path + ": cannot create the output: " + std::strerror(errno);
    close(fd);
    return false;
  }
  return true;
}

bool OutputFile::Write(std::string_view data) {
  if (failed_ || file_ == nullptr) return false;
  if (data.empty()) return true;
  if (std::fwrite(data.data(), 1, data.size(), file_) != data.size()) {
    failed_ = true;
    errorNumber_ = errno;
  }
  return !failed_;
}

bool OutputFile::Commit(std::string* error) {
  const std::string name = toStdout_ ? std::string("standard output") : path_;
  if (file_ == nullptr) return false;
  if (std::fflush(file_) != 0 && !failed_) {
    failed_ = true;
    errorNumber_ = errno;
  }
  if (!toStdout_) {
    if (std::fclose(file_) != 0 && !failed_) {
      failed_ = true;
      errorNumber_ = errno;
    }
    file_ = nullptr;
  }
  if (failed_) {
    *error = "rulescore: " + name + ": cannot write the output: " + std::strerror(errorNumber_);
    return false;
  }
  if (!toStdout_ && std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    *error = "rulescore: " + name + ": cannot write the output: " + std::strerror(errno);
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace cli
}  // namespace rulescore
