// The replacement file on a POSIX host: the new file beside the
// destination, created with O_EXCL, renamed over it when whole, and removed
// when the run fails or a signal ends it first.
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_program.h"
#include "platform/program_io.h"
#include "platform/utf8.h"

namespace platform {
namespace {

// A path as this host's file functions take it: UTF-8.
std::string HostPath(const std::u16string& path) {
  std::string bytes;
  AppendUtf8(path, bytes);
  return bytes;
}

// The C library's text for `error`, in English as kestrel's own messages
// are, whatever the locale.
std::string ErrorText(int error) {
  static const locale_t english = newlocale(LC_ALL_MASK, "C", nullptr);
  return english ? strerror_l(error, english)
                 : "error " + std::to_string(error);
}

// The new file of a run, which a signal that ends the program removes
// first: its path is set with the signals blocked, read by the handler.
char newFilePath[PATH_MAX + 1];
volatile sig_atomic_t newFileNamed = 0;

// The signals that end a program by default, bar SIGPIPE (ignored) and
// SIGKILL (which cannot be caught).
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,  SIGTERM,
                                  SIGALRM, SIGUSR1, SIGUSR2,  SIGXCPU,
                                  SIGXFSZ, SIGPROF, SIGVTALRM};

void OnEndingSignal(int number) {
  if (newFileNamed)
    unlink(newFilePath);
  // The handler was reset: the signal, delivered again once this returns,
  // ends the program as it would have.
  raise(number);
}

// Holds back the signals that end the program while in scope.
class EndingSignalsBlocked {
 public:
  EndingSignalsBlocked() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int number : kEndingSignals)
      sigaddset(&blocked, number);
    sigprocmask(SIG_BLOCK, &blocked, &old_);
  }
  ~EndingSignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
  EndingSignalsBlocked(const EndingSignalsBlocked&) = delete;
  EndingSignalsBlocked& operator=(const EndingSignalsBlocked&) = delete;

 private:
  sigset_t old_;
};

// Whether the kernel would follow the link at `path`, whose status is
// `link`, for this process, as it does with fs.protected_symlinks set
// (whatever it is set to): a link in a sticky, world-writable folder (such
// as /tmp) only for the link's owner or the folder's, so that no other user
// can plant one there that leads a privileged run to a file of its choice.
bool MayFollow(const std::string& path, const struct stat& link) {
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? "."
                       : slash == 0               ? "/"
                                                  : path.substr(0, slash);
  struct stat status = {};
  if (stat(folder.c_str(), &status) != 0)
    return false;
  bool shared =
      (status.st_mode & S_ISVTX) != 0 && (status.st_mode & S_IWOTH) != 0;
  return !shared || link.st_uid == geteuid() || link.st_uid == status.st_uid;
}

// Follows the symbolic links from `path` to what they name, which need not
// exist. False, with errno set, when a link cannot be read, may not be
// followed (EACCES, see MayFollow) or they loop.
bool FollowLinks(std::string path, std::string* target) {
  for (int links = 0; links < 40; ++links) {
    struct stat status = {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      *target = std::move(path);
      return true;
    }
    if (!MayFollow(path, status)) {
      errno = EACCES;
      return false;
    }
    std::string link(PATH_MAX, '\0');
    ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0)
      return false;
    link.resize(static_cast<size_t>(length));
    if (link.empty() || link[0] != '/') {
      size_t slash = path.rfind('/');
      link.insert(0,
                  slash == std::string::npos ? "" : path.substr(0, slash + 1));
    }
    path = std::move(link);
  }
  errno = ELOOP;
  return false;
}

// Why the file at `path` may not be replaced, or empty: only a regular file
// with no other hard links that may be written.
std::string RefusalOf(const std::string& path, const struct stat& status) {
  if (S_ISDIR(status.st_mode))
    return ErrorText(EISDIR);
  if (!S_ISREG(status.st_mode))
    return "not a regular file";
  if (status.st_nlink > 1)
    return "it has other hard links";
  // Root may write any file, yet one without write permission is read-only
  // to it too.
  if ((status.st_mode & 0222) == 0)
    return ErrorText(EACCES);
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
    return ErrorText(errno);
  return {};
}

}  // namespace

namespace posix {

void RemoveNewFileOnEndingSignals() {
  for (int number : kEndingSignals) {
    struct sigaction old = {};
    if (sigaction(number, nullptr, &old) != 0 || old.sa_handler != SIG_DFL)
      continue;
    struct sigaction action = {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(number, &action, nullptr);
  }
}

}  // namespace posix

bool ReplacementFile::Create(std::string* reason) {
  Discard();
  // A name that was not valid UTF-8 (its bytes marked as lone surrogates)
  // cannot be written as given: any other name would be another file.
  if (HoldsLoneSurrogate(destination_)) {
    *reason = ErrorText(EILSEQ);
    return false;
  }
  std::string target;
  if (!FollowLinks(HostPath(destination_), &target)) {
    *reason = ErrorText(errno);
    return false;
  }
  struct stat old = {};
  bool replacing = stat(target.c_str(), &old) == 0;
  if (replacing) {
    *reason = RefusalOf(target, old);
    if (!reason->empty())
      return false;
  }
  target_ = DecodeUtf8(target);
  FileNameLimit limit;
  limit.utf8 = true;
  for (int taken = 0;; ++taken) {
    // The real process's ID: the simulated one is the session's.
    std::u16string path =
        NewPath(target_, static_cast<uint32_t>(getpid()), taken, limit);
    std::string hostPath = HostPath(path);
    EndingSignalsBlocked blocked;
    // A new file is made as any is (the umask applies), so that whoever
    // reads the destination now may read its replacement; one that replaces
    // a file starts private and takes that file's permissions.
    int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                  replacing ? 0600 : 0666);
    if (fd >= 0) {
      if (replacing) {
        if (old.st_uid != geteuid() || old.st_gid != getegid())
          (void)!fchown(fd, old.st_uid, old.st_gid);
        fchmod(fd, old.st_mode & 07777);
      }
      descriptor_ = fd;
      path_ = std::move(path);
      if (hostPath.size() < sizeof(newFilePath)) {
        std::memcpy(newFilePath, hostPath.c_str(), hostPath.size() + 1);
        newFileNamed = 1;
      }
      return true;
    }
    if (errno != EEXIST || taken + 1 == kNames) {
      *reason = ErrorText(errno);
      return false;
    }
  }
}

bool ReplacementFile::Write(const char* bytes, size_t length, bool /*text*/,
                            std::string* reason) {
  while (length > 0) {
    ssize_t written = write(descriptor_, bytes, length);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0) {
      *reason = ErrorText(written < 0 ? errno : EIO);
      Discard();
      return false;
    }
    bytes += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool ReplacementFile::Commit(std::string* reason) {
  // The destination is judged again as it is now, as at the first write:
  // over a long watch it may have gained a hard link, lost its write
  // permission or become a link itself. What would be refused now is
  // refused, and keeps its content; a mode or owner changed meanwhile is
  // taken.
  std::string target;
  if (!FollowLinks(HostPath(destination_), &target)) {
    *reason = ErrorText(errno);
    Discard();
    return false;
  }
  struct stat now = {};
  if (stat(target.c_str(), &now) == 0) {
    *reason = RefusalOf(target, now);
    if (!reason->empty()) {
      Discard();
      return false;
    }
    if (now.st_uid != geteuid() || now.st_gid != getegid())
      (void)!fchown(descriptor_, now.st_uid, now.st_gid);
    fchmod(descriptor_, now.st_mode & 07777);
  }
  target_ = DecodeUtf8(target);
  // close reports what a delayed write could not store.
  bool closed = close(descriptor_) == 0;
  int error = errno;
  descriptor_ = -1;
  if (closed &&
      rename(HostPath(path_).c_str(), HostPath(target_).c_str()) == 0) {
    newFileNamed = 0;
    path_.clear();
    return true;
  }
  *reason = ErrorText(closed ? errno : error);
  Discard();
  return false;
}

void ReplacementFile::Discard() {
  if (descriptor_ >= 0) {
    close(descriptor_);
    descriptor_ = -1;
  }
  if (!path_.empty()) {
    unlink(HostPath(path_).c_str());
    newFileNamed = 0;
    path_.clear();
  }
}

}  // namespace platform
