#include "tests/regtool/ToolRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string TempFile(const std::string& contents) {
  char name[] = "/tmp/vantor-run-XXXXXX";
  const int fd = mkstemp(name);
  if (fd >= 0) {
    if (write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size())) std::abort();
    close(fd);
  }
  return name;
}

void ReadTree(platform::Registry& registry, platform::RegKey key, const std::string& path, Tree* tree) {
  Values& values = (*tree)[path];
  std::string name;
  for (std::uint32_t i = 0; registry.EnumValue(key, i, &name, nullptr, nullptr, nullptr) == platform::kSuccess; ++i)
    values[name] = ReadRaw(registry, path, name).value_or(RawValue{~0u, "(unreadable)"});
  for (std::uint32_t i = 0; registry.EnumKey(key, i, &name) == platform::kSuccess; ++i) {
    platform::RegKey subkey = platform::kNoKey;
    registry.OpenKey(key, name, &subkey);
    ReadTree(registry, subkey, path + '\\' + name, tree);
    registry.CloseKey(subkey);
  }
}

}  // namespace

Started StartProgram(const std::vector<std::string>& argv, const std::string& input) {
  Started program{.in = TempFile(input), .out = TempFile(""), .err = TempFile("")};
  program.pid = fork();
  if (program.pid == 0) {
    dup2(open(program.in.c_str(), O_RDONLY), STDIN_FILENO);
    dup2(open(program.out.c_str(), O_WRONLY), STDOUT_FILENO);
    dup2(open(program.err.c_str(), O_WRONLY), STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return program;
}

ToolRun Finish(const Started& program) {
  int status = 0;
  waitpid(program.pid, &status, 0);
  ToolRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(program.out), ReadFile(program.err)};
  for (const std::string& file : {program.in, program.out, program.err}) unlink(file.c_str());
  return run;
}

ToolRun RunProgram(const std::vector<std::string>& argv, const std::string& input) {
  return Finish(StartProgram(argv, input));
}

ToolRun RunReg(std::vector<std::string> args, const std::string& input) {
  args.insert(args.begin(), VANTOR_REG);
  return RunProgram(args, input);
}

ToolRun RunInWine(std::vector<std::string> args) {
  const char* prefix = std::getenv("WINEPREFIX");
  if (!prefix) return {-1, "", "WINEPREFIX is not set: the suite runs under scripts/wine-prefix with\n"};
  args.insert(args.begin(), {WINE_PREFIX, "run", prefix});
  return RunProgram(args);
}

Tree ReadHive(const std::string& path) { return ReadRegistry(platform::Registry::Default(), path); }

Tree ReadRegistry(platform::Registry& registry, const std::string& path) {
  Tree tree;
  platform::RegKey key = platform::kNoKey;
  if (registry.OpenKey(platform::kCurrentUser, path, &key) != platform::kSuccess) return tree;
  ReadTree(registry, key, path, &tree);
  registry.CloseKey(key);
  return tree;
}

void SetRaw(const std::string& path, const std::string& name, std::uint32_t type, const std::string& data,
            Tree* seeded) {
  if (!WriteRaw(platform::Registry::Default(), path, name, {type, data})) std::abort();
  if (seeded) (*seeded)[path][name] = {type, data};
}

std::string Counting(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += static_cast<char>(i);
  return bytes;
}

std::string Below(std::string path, int levels) {
  for (int level = 0; level < levels; ++level) path += "\\k";
  return path;
}

std::string Utf16(const std::string& latin1) {
  std::string bytes;
  for (const char c : latin1) bytes += {c, '\0'};
  return bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
