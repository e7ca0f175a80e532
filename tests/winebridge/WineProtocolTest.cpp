// The Wine bridge's protocol without Wine: its frames, every request carried out by the
// bridge's own code on the hive, frames over a real pipe, and the client's check of the
// bridge's hello, with a stand-in for wine that says a hello and nothing more.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "winebridge/BridgeServer.h"
#include "winebridge/FramePipe.h"
#include "winebridge/Protocol.h"
#include "winebridge/WineRegistry.h"

namespace {

namespace fs = std::filesystem;
using namespace std::literals;
using namespace winebridge;

// A request's payload: its frame less the length.
template <Op op>
std::string Ask(const Request<op>& fields) {
  Writer writer(op);
  return writer.Put(fields).Frame().substr(kFrameHeaderBytes);
}

// The bridge's answer to a payload, less its length, or "refused" when the bridge would end.
std::string Served(std::string_view payload) {
  Writer answer;
  if (!Serve(Registry::Default(), payload, &answer)) return "refused";
  return answer.Frame().substr(kFrameHeaderBytes);
}

// The frames byte by byte, as the protocol lays them out
// clang-format off
TEST(WineProtocol, AFrameIsItsLengthAndItsFieldsInOrderLittleEndian) {
  Writer writer(Op::kSetValue);
  writer.Put(Request<Op::kSetValue>{Handle{0x0102030405060708}, "N", 4, kGivenData, 2, "\x7F\x80"});
  EXPECT_EQ(writer.Frame(), "\x1D\0\0\0" "\3" "\x08\x07\x06\x05\x04\x03\x02\x01" "\1\0\0\0N" "\4\0\0\0" "\2" "\2\0\0\0"
                            "\2\0\0\0\x7F\x80"s);
  std::string text;
  EXPECT_FALSE(Reader("\3\0\0\0ab"s).Bytes(&text));  // longer than what is left
}

TEST(WineProtocol, TheBridgeCarriesOutEachRequestOnTheRegistry) {
  using enum Op;
  const std::string created = Served(Ask<kCreateKey>({Handle{kCurrentUser}, "Software\\VantorBridge"}));
  ASSERT_EQ(created.size(), 12u);
  Handle key;
  ASSERT_TRUE(Reader(std::string_view(created).substr(4)).Get(&key));
  const std::string ok = "\0\0\0\0"s;
  ASSERT_EQ(Served(Ask<kCreateKey>({key, "Sub"})).substr(0, 4), ok);
  const Asked all{kGivenType | kGivenData | kGivenSize, 0, 16};
  struct Case {
    const char* what;
    std::string request, answer;
  } const cases[] = {
      {"set", Ask<kSetValue>({key, "Status", 1, kGivenData, 3, "Hi\0"s}), ok},
      {"query", Ask<kQueryValue>({key, "Status", all}), ok + "\1\0\0\0" "\3\0\0\0" "\3\0\0\0Hi\0"s},
      {"query, little room", Ask<kQueryValue>({key, "Status", Asked{7, 0, 1}}), "\xEA\0\0\0\1\0\0\0\3\0\0\0\0\0\0\0"s},
      {"query, size", Ask<kQueryValue>({key, "Status", Asked{kGivenSize, 9, 0}}), ok + "\t\0\0\0\3\0\0\0\0\0\0\0"s},
      {"query, UTF-16", Ask<kQueryValueWide>({key, "Status", all}), ok + "\1\0\0\0\6\0\0\0" "\6\0\0\0H\0i\0\0\0"s},
      {"set, UTF-16", Ask<kSetValueWide>({key, "Wide", 1, kGivenData, 4, "\xE9\0\0\0"s}), ok},
      {"query of it", Ask<kQueryValue>({key, "Wide", all}), ok + "\1\0\0\0\2\0\0\0" "\2\0\0\0\xE9\0"s},
      {"enum value", Ask<kEnumValue>({key, 0, all}), ok + "\6\0\0\0Status" "\1\0\0\0\3\0\0\0" "\3\0\0\0Hi\0"s},
      {"enum value, past the end", Ask<kEnumValue>({key, 2, all}), "\3\1\0\0" "\0\0\0\0\0\0\0\0\x10\0\0\0\0\0\0\0"s},
      {"enum key", Ask<kEnumKey>({key, 0}), ok + "\3\0\0\0Sub"s},
      {"enum key, past the end", Ask<kEnumKey>({key, 1}), "\3\1\0\0\0\0\0\0"s},
      {"delete key", Ask<kDeleteKey>({key, "Sub"}), ok},
      {"open, missing", Ask<kOpenKey>({key, "Sub"}), "\2\0\0\0" "\0\0\0\0\0\0\0\0"s},
      {"delete value", Ask<kDeleteValue>({key, "Wide"}), ok},
      {"delete value, missing", Ask<kDeleteValue>({key, "Wide"}), "\2\0\0\0"s},
      {"flush", Ask<kFlushKey>({key}), ok},
      {"to ANSI", Ask<kToAnsi>({"\xC3\xA9"}), ok + "\1\0\0\0\xE9"s},
      {"from ANSI", Ask<kFromAnsi>({"\xE9"}), ok + "\2\0\0\0\xC3\xA9"s},
      // Requests that make no sense end the bridge.
      {"no op", "", "refused"},
      {"an op past the last", "\x0E", "refused"},
      {"a field cut short", "\0" "\1\0\0\x80\0\0\0\0" "\5\0\0\0Sub"s, "refused"},
      {"bytes left over", Ask<kFlushKey>({key}) + "x", "refused"},
      {"data of another size", Ask<kSetValue>({key, "S", 3, kGivenData, 5, "abc"}), "refused"},
      {"room beyond a frame", Ask<kQueryValue>({key, "S", Asked{7, 0, 0x04000001}}), "refused"},
      // A closed key, and one never opened.
      {"close", Ask<kCloseKey>({key}), ok},
      {"close, closed", Ask<kCloseKey>({key}), "\6\0\0\0"s},
      {"query, unknown key", Ask<kQueryValue>({Handle{0x7777}, "Status", all}), "\6\0\0\0\0\0\0\0\x10\0\0\0\0\0\0\0"s},
  };
  for (const Case& c : cases) EXPECT_EQ(Served(c.request), c.answer) << c.what;
}

// clang-format on
TEST(WineProtocol, FramesCrossAPipeWhole) {
  struct Case {
    std::string sent;
    bool closed;
    Transfer transfer;
    std::string payload;
  } const cases[] = {
      {"\3\0\0\0abc"s, false, Transfer::kDone, "abc"},      {"\0\0\0\0"s, false, Transfer::kDone, ""},
      {"\4\0\0\0abcd"s, false, Transfer::kEnded, "(none)"},  // longer than the 3 bytes allowed
      {"\3\0\0\0ab"s, true, Transfer::kEnded, "ab"},        {"\3\0\0\0ab"s, false, Transfer::kLate, "ab"},
      {"\3\0"s, true, Transfer::kEnded, "(none)"},
  };
  for (const Case& c : cases) {
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_NONBLOCK | O_CLOEXEC), 0);
    base::Fd readEnd(ends[0]), writeEnd(ends[1]);
    ASSERT_EQ(WriteAll(writeEnd, c.sent, Clock::now() + 1s), Transfer::kDone);
    if (c.closed) writeEnd.reset();
    std::string payload = "(none)";
    EXPECT_EQ(ReadFrame(readEnd, &payload, 3, Clock::now() + 50ms), c.transfer) << c.sent;
    EXPECT_EQ(payload, c.payload) << c.sent;
  }
}

TEST(WineProtocol, TheClientRefusesABridgeOfAnotherProtocolVersion) {
  const fs::path folder = fs::path(std::getenv("XDG_DATA_HOME")) / "wine";
  const fs::path prefix = folder / "prefix", wine = folder / "wine", hello = folder / "hello";
  const std::string bridge = (folder / "vantor-wine-bridge-win32.exe").string();
  fs::create_directories(prefix);
  std::ofstream(prefix / "system.reg") << "WINE REGISTRY Version 2\n#arch=win32\n";
  std::ofstream(prefix / "user.reg") << "WINE REGISTRY Version 2\n";
  std::ofstream(bridge) << "";
  // Says the hello, then waits for its input to end, as a bridge does.
  std::ofstream(wine) << "#!/bin/sh\ncat " << hello << "\nexec cat >/dev/null\n";
  fs::permissions(wine, fs::perms::owner_all);
  setenv("WINE", wine.c_str(), 1);
  unsetenv("WINESERVER");
  const std::string theBridge = "the Wine bridge " + bridge + " speaks protocol version ";
  const std::string reinstall = "; reinstall vantor so that its Wine bridges match it";
  const struct {
    std::string hello, said;
  } cases[] = {
      {"\x08\0\0\0VNTB\2\0\0\0"s, "ready"},
      {"\4\0\0\0VNTB"s, theBridge + "1, this vantor speaks version 2: it is an older vantor's bridge" + reinstall},
      {"\x0C\0\0\0VNTB\3\0\0\0more"s,
       theBridge + "3, this vantor speaks version 2: it is a newer vantor's bridge" + reinstall},
      {"\4\0\0\0VNTX"s,
       "the Wine bridge did not start in " + prefix.string() + " (" + wine.string() + " ended with exit code 0)"},
  };
  for (const auto& c : cases) {
    std::ofstream(hello, std::ios::binary) << c.hello;
    std::string error;
    const auto registry = WineRegistry::Start(prefix, folder, &error);
    ASSERT_TRUE(registry) << error;
    EXPECT_EQ(registry->WaitUntilReady(&error) == kSuccess ? "ready" : error, c.said);
  }
}

}  // namespace
