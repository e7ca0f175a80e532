#include "winebridge/WineStart.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/ProcessStat.h"

extern char** environ;

namespace winebridge {

using namespace platform;
namespace {

constexpr std::string_view kPrefixVariable = "WINEPREFIX=";
constexpr std::string_view kArchitectureOption = "#arch=";
// Wine's reason for not starting is in its last lines; more than this is chatter.
constexpr std::size_t kWineOutputKept = 64 * 1024;
// How long a killed bridge may take to end, and how often that is looked at.
constexpr auto kKillGrace = std::chrono::milliseconds(500);
constexpr auto kReapPoll = std::chrono::milliseconds(5);

bool IsProgram(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The program of that name in the first folder of the PATH that has it, or empty.
std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  const std::string folders = path;
  for (std::size_t begin = 0; begin <= folders.size();) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
    const std::string candidate = folder + "/" + program;
    if (IsProgram(candidate)) return candidate;
    begin = end + 1;
  }
  return {};
}

bool MakePipe(base::Fd* readEnd, base::Fd* writeEnd) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  readEnd->reset(ends[0]);
  writeEnd->reset(ends[1]);
  return true;
}

void MakeNonBlocking(const base::Fd& fd) { fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) | O_NONBLOCK); }

// This environment, with the prefix the one chosen here whatever the environment said, and
// Wine's debugging chatter off unless the user asked for it.
std::vector<std::string> BridgeEnvironment(const std::string& prefix) {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable)
    if (!std::string_view(*variable).starts_with(kPrefixVariable)) variables.emplace_back(*variable);
  variables.push_back(std::string(kPrefixVariable) + prefix);
  if (!std::getenv("WINEDEBUG")) variables.emplace_back("WINEDEBUG=-all");
  return variables;
}

// posix_spawn with the pipes as standard input and output, stderr to wineOutput when valid,
// in a process group of its own; this process ignores SIGPIPE, and wine gets the default
// back. The error number, or 0.
int Spawn(const std::string& wine, std::string program, std::vector<std::string> variables, const base::Fd& input,
          const base::Fd& output, const base::Fd& wineOutput, pid_t* pid) {
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::string loader = wine;
  char* argv[] = {loader.data(), program.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output.get(), STDOUT_FILENO);
  if (wineOutput.valid()) posix_spawn_file_actions_adddup2(&actions, wineOutput.get(), STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  const int spawned = posix_spawn(pid, wine.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

// True while a process of the group runs. One that has ended but is not reaped yet doesn't
// count: Wine's relaunched bridge, whose parent is gone, waits for init to reap it, which
// some inits do late or never.
bool GroupRuns(pid_t group) {
  if (::kill(-group, 0) != 0 && errno == ESRCH) return false;
  for (const pid_t pid : base::Processes()) {
    const base::ProcessStat stat = base::StatOf(pid);
    if (stat.group == group && stat.state != 0 && stat.state != 'Z' && stat.state != 'X') return true;
  }
  return false;
}

// Waits, within the time given, until no process of the group runs; reaps its leader, our
// child, on the way, with its status in *status and *reaped set.
bool GroupEnded(pid_t group, int* status, bool* reaped, std::chrono::steady_clock::duration within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  for (;;) {
    // Looked at before the leader is reaped: a group found ended has it ended too.
    const bool runs = GroupRuns(group);
    if (!*reaped && waitpid(group, status, WNOHANG) == group) *reaped = true;
    if (!runs) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kReapPoll);
  }
}

}  // namespace

long FindWine(std::string* loader, std::string* why) {
  const char* named = std::getenv("WINE");
  const bool chosen = named && *named;
  const std::string wine = chosen ? named : "wine";
  const bool onPath = wine.find('/') == std::string::npos;
  *loader = onPath ? FindOnPath(wine) : IsProgram(wine) ? wine : "";
  if (!loader->empty()) return kSuccess;
  if (!chosen) return Fail(kFileNotFound, why, "wine is not on the PATH (WINE may name the Wine loader to start)");
  return Fail(kFileNotFound, why,
              "WINE names " + wine + ", which is " + (onPath ? "not on the PATH" : "no program that can be run"));
}

// Wine starts the prefix's server itself, from WINESERVER when no wineserver lies beside its
// loader. A server the user named that can't be run is refused, not silently passed over
// for another of perhaps another version.
long CheckWineServer(std::string* why) {
  const char* server = std::getenv("WINESERVER");
  if (!server || !*server || IsProgram(server)) return kSuccess;
  return Fail(kFileNotFound, why, std::string("WINESERVER names ") + server + ", which is no program that can be run");
}

// Wine would create a missing prefix and refuses one that belongs to someone else.
long CheckPrefix(const std::string& prefix, std::string* why) {
  struct stat info {};
  if (prefix.empty()) return Fail(kFileNotFound, why, "no Wine prefix was named");
  if (stat(prefix.c_str(), &info) != 0)
    return Fail(kFileNotFound, why, "there is no Wine prefix at " + prefix + ": the folder does not exist");
  if (!S_ISDIR(info.st_mode)) return Fail(kFileNotFound, why, prefix + " is no Wine prefix: it is not a folder");
  if (info.st_uid != getuid())
    return Fail(kAccessDenied, why, prefix + " is not your Wine prefix: it belongs to another user");
  for (const char* file : {"system.reg", "user.reg"}) {
    const std::string path = prefix + "/" + file;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      return Fail(kFileNotFound, why, prefix + " is no Wine prefix: it has no " + file);
  }
  return kSuccess;
}

// Read as Wine's server reads it: from the "#arch=" line among the options above
// system.reg's first key. A system.reg without one is a 32-bit prefix's: Wine wrote none
// before it had 64-bit prefixes, and its server still takes such a prefix for 32-bit.
long PrefixArchitecture(const std::string& prefix, std::string* architecture, std::string* why) {
  const std::string path = prefix + "/system.reg";
  std::ifstream file(path);
  if (!file) return Fail(kCantOpen, why, "cannot read " + path + ": " + std::strerror(errno));
  std::string line;
  if (!std::getline(file, line) || line != "WINE REGISTRY Version 2")
    return Fail(kBadDb, why, prefix + " is no Wine prefix: its system.reg is no Wine registry file");
  *architecture = "win32";
  while (std::getline(file, line) && !line.starts_with('[')) {
    if (!line.starts_with(kArchitectureOption)) continue;
    if (line != "#arch=win32" && line != "#arch=win64")
      return Fail(kBadDb, why,
                  prefix + " is a Wine prefix of an architecture Wine doesn't know: its system.reg says " + line);
    *architecture = line.substr(kArchitectureOption.size());
    break;
  }
  return kSuccess;
}

long SpawnBridge(const std::string& wine, const std::string& program, const std::string& prefix, BridgeProcess* process,
                 std::string* why) {
  base::Fd bridgeInput, bridgeOutput;
  if (!MakePipe(&bridgeInput, &process->toBridge)) return Fail(kCantOpen, why, "no pipe to the Wine bridge");
  if (!MakePipe(&process->fromBridge, &bridgeOutput)) return Fail(kCantOpen, why, "no pipe from the Wine bridge");
  std::vector<std::string> variables = BridgeEnvironment(prefix);
  // With its chatter off, what Wine still says is why it could not start (a wineserver of
  // another version, a prefix it refuses): it goes to a file of ours, read back when the
  // bridge's hello doesn't come. A user who set WINEDEBUG reads it all on the terminal.
  process->wineOutput.reset(std::getenv("WINEDEBUG") ? -1 : memfd_create("wine-stderr", MFD_CLOEXEC));
  const int spawned =
      Spawn(wine, program, std::move(variables), bridgeInput, bridgeOutput, process->wineOutput, &process->group);
  if (spawned != 0) {
    *process = BridgeProcess();
    return Fail(kCantOpen, why, "could not start " + wine + ": " + std::strerror(spawned));
  }
  // A bridge that has gone away must fail the write, not end this process.
  signal(SIGPIPE, SIG_IGN);
  MakeNonBlocking(process->toBridge);
  MakeNonBlocking(process->fromBridge);
  return kSuccess;
}

int StopBridge(BridgeProcess* process, std::chrono::steady_clock::duration grace) {
  process->toBridge.reset();
  process->fromBridge.reset();
  const pid_t group = std::exchange(process->group, -1);
  int status = -1;
  bool reaped = false;
  if (group > 0 && !GroupEnded(group, &status, &reaped, grace)) {
    ::kill(-group, SIGKILL);
    GroupEnded(group, &status, &reaped, kKillGrace);
  }
  return reaped && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string TakeWineOutput(base::Fd* file) {
  if (!file->valid()) return {};
  std::string text(kWineOutputKept, '\0');
  const ssize_t size = pread(file->get(), text.data(), text.size(), 0);
  file->reset();
  text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return text;
}

}  // namespace winebridge
