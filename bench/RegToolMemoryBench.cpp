// regtool_memory_bench [MEGABYTES]: vantor-reg's peak memory beside the size of the file it
// reads or writes. It imports files of several shapes, each MEGABYTES large (16 unless told),
// each into a throw-away hive of its own, and exports what the import made; it takes each
// run's peak resident memory as the kernel counts it (the child's ru_maxrss). Prints the
// peak as a multiple of the file's size and of the peak for the baseline, the same-size file
// of one long comment, which any reader must hold once. The goal: an import at most 4 times
// its file. The last import goes into a hive that already holds its value.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "bench/DurableWrite.h"

namespace {

constexpr double kGoal = 4.0;
constexpr double kMegabyte = 1 << 20;

// The files imported, written a line at a time: the benchmark holds none of them, since a
// child counts its parent's peak memory at the fork in its own.
struct Shape {
  const char* name;
  const char* hive;  // the folder of its hive; a shape that shares one finds it filled
  void (*write)(std::ostream& out, std::size_t size);
};

// A head, then lines until size bytes are written, give or take a line, then a tail.
void Fill(std::ostream& out, std::size_t size, const std::string& head, const std::string& line,
          const std::string& tail = "") {
  out << head;
  for (std::size_t written = head.size(); written < size; written += line.size()) out << line;
  out << tail;
}

const std::string kRegedit4 = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Bench]\r\n";
const std::string kVersion5 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Bench]\r\n";

void WriteString(std::ostream& out, std::size_t size) { Fill(out, size, kRegedit4 + "@=\"", "x", "\"\r\n"); }

const Shape kShapes[] = {
    {"one long comment (baseline)", "comment",
     [](std::ostream& out, std::size_t size) { Fill(out, size, "REGEDIT4\r\n;", "x"); }},
    {"empty lines", "empty", [](std::ostream& out, std::size_t size) { Fill(out, size, "REGEDIT4\r\n", "\r\n"); }},
    {"\"@=-\" lines", "deletions", [](std::ostream& out, std::size_t size) { Fill(out, size, kRegedit4, "@=-\r\n"); }},
    {"one long string", "string", WriteString},
    {"one long string of byte 0x80, the euro sign", "euro",
     [](std::ostream& out, std::size_t size) { Fill(out, size, kVersion5 + "@=\"", "\x80", "\"\r\n"); }},
    {"hex data over many lines", "hex",
     [](std::ostream& out, std::size_t size) {
       std::string line = "  ";
       for (int i = 0; i < 25; ++i) line += "a5,";
       Fill(out, size, kRegedit4 + "\"b\"=hex:\\\r\n", line + "\\\r\n", "  a5\r\n");
     }},
    {"many keys with a value", "keys",
     [](std::ostream& out, std::size_t size) {
       // A hundred to a parent: the hive enumerates subkeys in time that grows with their count.
       char line[80];
       out << "REGEDIT4\r\n";
       for (std::size_t i = 0, written = 0; written < size; ++i) {
         written += std::snprintf(line, sizeof line, "\r\n[HKEY_CURRENT_USER\\Bench\\Keys\\k%05zu\\k%02zu]\r\n@=\"v\"",
                                  i / 100, i % 100);
         out << line;
       }
     }},
    {"UTF-16 values", "utf16",
     [](std::ostream& out, std::size_t size) {
       // Latin-1 text, whose characters are their own UTF-16 units.
       const auto utf16 = [](const std::string& latin1) {
         std::string units;
         for (const char c : latin1) units += {c, '\0'};
         return units;
       };
       Fill(out, size, "\xFF\xFE" + utf16(kVersion5), utf16("\"caf\xE9\"=\"cr\xE8me br\xFBl\xE9\"\r\n"));
     }},
    {"one long string again, replacing itself", "string", WriteString},
};

// Runs vantor-reg to its end; its peak resident memory in bytes, or -1 when it failed.
double PeakOf(const std::vector<std::string>& args) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    std::vector<char*> argv{const_cast<char*>(VANTOR_REG)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(VANTOR_REG, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss * 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t size = static_cast<std::size_t>((argc > 1 ? std::atof(argv[1]) : 16) * kMegabyte);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string folder = MakeBenchFolder();
  const std::string file = folder + "/bench.reg";
  const std::string exported = folder + "/exported.reg";
  std::printf("vantor-reg's peak memory beside its file (goal for import: at most %.0f times the file)\n\n", kGoal);
  std::printf("%-44s %24s   %s\n", "", "import", "export of what it made");
  std::printf("%-44s %7s %7s %5s %5s  %7s %7s %5s\n", "file", "MB", "peak MB", "/file", "/base", "MB", "peak MB",
              "/file");
  double baseline = 0;
  double worst = 0;
  std::set<std::string> filled;
  for (const Shape& shape : kShapes) {
    setenv("XDG_DATA_HOME", (folder + "/" + shape.hive).c_str(), 1);
    {
      std::ofstream out(file, std::ios::binary);
      shape.write(out, size);
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    const double peak = PeakOf({"import", file});
    if (baseline == 0) baseline = peak;
    if (filled.insert(shape.hive).second) worst = std::max(worst, peak / bytes);
    std::printf("%-44s %7.1f %7.1f %5.2f %5.2f", shape.name, bytes / kMegabyte, peak / kMegabyte, peak / bytes,
                peak / baseline);
    // Only a file of some size says something about the export's memory.
    const double exportPeak = PeakOf({"export", "HKCU", exported, "/y"});
    const double written = static_cast<double>(std::filesystem::file_size(exported));
    if (written >= kMegabyte)
      std::printf("  %7.1f %7.1f %5.2f", written / kMegabyte, exportPeak / kMegabyte, exportPeak / written);
    std::printf("%s\n", peak < 0 || exportPeak < 0 ? "  (failed)" : "");
  }
  std::printf("\nImport's worst peak / file into a new hive: %.2f  (goal <= %.0f)\n", worst, kGoal);
  std::filesystem::remove_all(folder);
  return 0;
}
