#include "cli/OutputFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace rulescore {
namespace cli {

namespace {

// The signals that end a run early and must not leave the temporary file.
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];

// What the handler reads. A signal handler can reach nothing else, so this
// is the tool's one piece of process-wide state. The path is set before the
// flag and the flag cleared (with the signals blocked) before the path goes
// away; both are volatile so that the stores stay in that order.
const char* volatile gTempPath = nullptr;
volatile sig_atomic_t gArmed = 0;
struct sigaction gPrevious[kSignalCount];
bool gInstalled[kSignalCount] = {};

// Only async-signal-safe calls: unlink, then the signal again with its
// default action (SA_RESETHAND put it back on entry), which ends the
// process with the status the signal gives (128 + its number in a shell).
extern "C" void RemoveTemporaryAndDie(int signalNumber) {
  const int saved = errno;
  if (gArmed != 0 && gTempPath != nullptr) unlink(gTempPath);
  raise(signalNumber);
  errno = saved;
}

void InstallHandlers(const char* path) {
  gTempPath = path;
  gArmed = 1;
  for (size_t k = 0; k < kSignalCount; ++k) {
    struct sigaction previous;
    if (sigaction(kSignals[k], nullptr, &previous) != 0) continue;
    // A signal the caller chose to ignore (nohup, a background job) stays
    // ignored: it would not have ended the run.
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    if (sigaction(kSignals[k], &action, &gPrevious[k]) == 0) gInstalled[k] = true;
  }
}

// Blocks the handled signals while the temporary file changes hands, so
// that a handler never sees it half renamed or its path freed.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t saved_;
};

// REQUIRES: the handled signals are blocked.
void RemoveHandlers() {
  gArmed = 0;
  gTempPath = nullptr;
  for (size_t k = 0; k < kSignalCount; ++k) {
    if (!gInstalled[k]) continue;
    sigaction(kSignals[k], &gPrevious[k], nullptr);
    gInstalled[k] = false;
  }
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return path.substr(0, slash + 1);
}

// How a named output is written.
enum class Route { kReplace, kStraight, kRefuse };

// Follows `path` through its symbolic links. kReplace with `*finalPath` the
// regular file (or the name of the file yet to be made) that the last link
// names; kStraight for anything that is not a regular file, or a link into
// /proc (the /dev/stdout kind, whose target is an open file, not a name to
// replace); kRefuse with `*error` set otherwise.
Route ChooseRoute(const std::string& path, std::string* finalPath, std::string* error) {
  std::string current = path;
  // The limit of links the system itself follows.
  for (int hops = 0; hops < 40; ++hops) {
    if (current.compare(0, 6, "/proc/") == 0) return Route::kStraight;
    struct stat info;
    if (lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) {
        *error = std::strerror(errno);
        return Route::kRefuse;
      }
      *finalPath = current;
      return Route::kReplace;
    }
    if (S_ISREG(info.st_mode)) {
      *finalPath = current;
      return Route::kReplace;
    }
    if (S_ISDIR(info.st_mode)) {
      *error = std::strerror(EISDIR);
      return Route::kRefuse;
    }
    if (!S_ISLNK(info.st_mode)) return Route::kStraight;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t length = readlink(current.c_str(), target.data(), target.size() - 1);
    if (length < 0) {
      *error = std::strerror(errno);
      return Route::kRefuse;
    }
    const std::string text(target.data(), static_cast<size_t>(length));
    current = !text.empty() && text[0] == '/' ? text : DirectoryOf(current) + text;
  }
  *error = std::strerror(ELOOP);
  return Route::kRefuse;
}

}  // namespace

OutputFile::~OutputFile() {
  if (file_ != nullptr && !toStdout_) std::fclose(file_);
  file_ = nullptr;
  if (!committed_) Discard();
}

void OutputFile::Discard() {
  if (tempPath_.empty()) return;
  SignalBlock block;
  unlink(tempPath_.c_str());
  RemoveHandlers();
  tempPath_.clear();
}

bool OutputFile::Open(const std::string& path, std::string* error) {
  if (path.empty() || path == "-") {
    file_ = stdout;
    toStdout_ = true;
    return true;
  }
  path_ = path;
  std::string reason;
  const Route route = ChooseRoute(path, &finalPath_, &reason);
  if (route == Route::kRefuse) {
    *error = "rulescore: " + path + ": cannot create the output: " + reason;
    return false;
  }
  if (route == Route::kStraight) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      *error = "rulescore: " + path + ": cannot open the output: " + std::strerror(errno);
      return false;
    }
    file_ = fdopen(fd, "ab");
    if (file_ == nullptr) {
      *error = "rulescore: " + path + ": cannot open the output: " + std::strerror(errno);
      close(fd);
      return false;
    }
    return true;
  }

  std::vector<char> name(finalPath_.begin(), finalPath_.end());
  const char suffix[] = ".tmp-XXXXXX";
  name.insert(name.end(), suffix, suffix + sizeof suffix);
  int fd;
  {
    // The handlers go in as the file comes into being: no signal falls
    // between the two.
    SignalBlock block;
    fd = mkstemp(name.data());
    if (fd < 0) {
      *error = "rulescore: " + path + ": cannot create the output: " + std::strerror(errno);
      return false;
    }
    tempPath_ = name.data();
    InstallHandlers(tempPath_.c_str());
  }
  // mkstemp creates the file private; give it the usual mode of a new file.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  file_ = fdopen(fd, "wb");
  if (file_ == nullptr) {
    *error = "rulescore: " + path + ": cannot create the output: " + std::strerror(errno);
    close(fd);
    Discard();
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
  if (file_ == nullptr) {
    *error = "rulescore: " + name + ": cannot write the output";
    return false;
  }
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
    Discard();
    return false;
  }
  if (!tempPath_.empty()) {
    SignalBlock block;
    if (std::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
      *error = "rulescore: " + name + ": cannot write the output: " + std::strerror(errno);
      unlink(tempPath_.c_str());
      RemoveHandlers();
      tempPath_.clear();
      return false;
    }
    RemoveHandlers();
    tempPath_.clear();
  }
  committed_ = true;
  return true;
}

}  // namespace cli
}  // namespace rulescore
