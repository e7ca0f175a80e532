// The hive's files are checked as OpenSSH checks ~/.ssh: otherwise another local user could
// put a database of theirs in the hive's place, or change the user's.
#include "hive/StoreFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/Fd.h"
#include "platform/Registry.h"

namespace hive {
namespace {

constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kOthersBits = 077;

long Refused(std::string* why, std::string what) {
  return platform::Fail(platform::kAccessDenied, why, std::move(what));
}

// Refused, saying why opening path without following a symbolic link (or looking at what was
// opened) failed.
long NotOpened(std::string* why, const std::string& path) {
  const std::string error = std::strerror(errno);
  struct stat info {};
  return Refused(why, lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode) ? path + " is a symbolic link"
                                                                               : path + ": " + error);
}

// One of the files in the hive's folder, opened (created when create says so) and checked.
// A missing file that isn't created is fine. A file others could write is refused rather
// than closed to them, since it may already hold their changes.
long CheckFile(const base::Fd& dir, const std::string& folder, const std::string& name, int create, std::string* why) {
  const std::string path = folder + '/' + name;
  const base::Fd file(
      openat(dir.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | create, kPrivateFile));
  struct stat info {};
  if (!file.valid() && errno == ENOENT) return platform::kSuccess;
  if (!file.valid() || fstat(file.get(), &info) != 0) return NotOpened(why, path);
  if (info.st_uid != geteuid()) return Refused(why, path + " belongs to another user");
  if (!S_ISREG(info.st_mode)) return Refused(why, path + " is not a plain file");
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return Refused(why, path + ": others than its owner may write it");
  // Closed to others' reading too, since SQLite gives the hive file's mode to the files it
  // makes beside it.
  if ((info.st_mode & kOthersBits) != 0 && fchmod(file.get(), kPrivateFile) != 0) return NotOpened(why, path);
  return platform::kSuccess;
}

}  // namespace

std::string HiveFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/vantor";
  if (home && home[0] == '/') return std::string(home) + "/.local/share/vantor";
  return {};
}

long MakeFolders(const std::string& folder, std::string* why) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), kPrivateFolder) != 0 && errno != EEXIST)
      return platform::Fail(platform::kCantOpen, why, "can't make " + part + ": " + std::strerror(errno));
    if (slash == std::string::npos) return platform::kSuccess;
  }
}

// What was opened is what is checked.
long CheckStore(const std::string& folder, std::string* why) {
  const base::Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info {};
  if (!dir.valid() || fstat(dir.get(), &info) != 0) return NotOpened(why, folder);
  if (info.st_uid != geteuid()) return Refused(why, folder + " belongs to another user");
  // The folder is the user's own, so it may be closed to others: whatever they could put in
  // it while it was open is theirs, and refused below.
  if ((info.st_mode & kOthersBits) != 0 && fchmod(dir.get(), kPrivateFolder) != 0) return NotOpened(why, folder);
  // SQLite's files first (a journal found beside the hive would be played back into it),
  // then the hive file, created here when it is missing.
  for (const std::string suffix : {"-journal", "-wal", "-shm"})
    if (const long rc = CheckFile(dir, folder, kHiveName + suffix, 0, why); rc != platform::kSuccess) return rc;
  return CheckFile(dir, folder, kHiveName, O_CREAT, why);
}

}  // namespace hive
