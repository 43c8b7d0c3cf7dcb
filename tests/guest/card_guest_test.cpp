// The card code on an emulated AudioPCI: this program is the init process of a
// small Linux guest under QEMU (-device ES1370). It mounts what it needs, runs
// the tests, prints one result line on the console and powers the guest off.
// The register is checked against the other access path each time: what one
// way writes, the other reads back.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/io.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "card/control_register.h"
#include "card/port_access.h"

namespace {

constexpr const char* kDevices = "/sys/bus/pci/devices";
constexpr const char* kCardTool = "/bin/tapewell-card";
constexpr const char* kUdevRule = "/etc/udev/rules.d/60-tapewell-audiopci.rules";
constexpr uid_t kNobody = 65534;
constexpr gid_t kAudioGroup = 29;  // as in /etc/group of the guest
constexpr uint64_t kBarPorts = 256;  // QEMU's ES1370 decodes 256 ports

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string s = text.str();
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string Hex(unsigned long value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%0*lx", digits, value);
  return text;
}

// The emulated card as the PCI configuration space tells it, independently of card/.
struct Card {
  std::string device;    // /sys/bus/pci/devices/0000:00:04.0
  std::string resource;  // its BAR 0 resource file
  std::string devpath;   // the device's path under /sys, as udev names it (%p)
  uint16_t base = 0;     // first port of BAR 0
};

const Card& TheCard() {
  static Card card = [] {
    Card c;
    for (const auto& entry : std::filesystem::directory_iterator(kDevices)) {
      const std::string dir = entry.path().string();
      if (ReadText(dir + "/vendor") != "0x1274" || ReadText(dir + "/device") != "0x5000") continue;
      c.device = dir;
      c.resource = dir + "/resource0";
      c.devpath = std::filesystem::canonical(dir).string().substr(4);  // without "/sys"
      std::ifstream config(dir + "/config", std::ios::binary);
      config.seekg(0x10);
      uint32_t bar0 = 0;
      config.read(reinterpret_cast<char*>(&bar0), 4);
      if ((bar0 & 1) != 0) c.base = static_cast<uint16_t>(bar0 & ~3u);  // an I/O BAR
    }
    return c;
  }();
  return card;
}

// The register through inl/outl, the way card/ does not go when the file works.
uint32_t RawIn() { return inl(TheCard().base); }
void RawOut(uint32_t value) { outl(value, TheCard().base); }

// The register through the resource file, the way card/ does not go when told to use ioperm.
uint32_t FileIn() {
  const int fd = open(TheCard().resource.c_str(), O_RDONLY | O_CLOEXEC);
  uint32_t value = 0;
  const bool ok = fd >= 0 && pread(fd, &value, 4, 0) == 4;
  if (fd >= 0) close(fd);
  EXPECT_TRUE(ok) << "reading " << TheCard().resource << ": " << std::strerror(errno);
  return value;
}
void FileOut(uint32_t value) {
  const int fd = open(TheCard().resource.c_str(), O_RDWR | O_CLOEXEC);
  const bool ok = fd >= 0 && pwrite(fd, &value, 4, 0) == 4;
  if (fd >= 0) close(fd);
  EXPECT_TRUE(ok) << "writing " << TheCard().resource << ": " << std::strerror(errno);
}

// Values for the bits the program never changes. The DMA enables (bits 4 to 6)
// stay clear so that the emulated card does not start moving memory.
constexpr uint32_t kSeedable = ~0x00000070u;
const uint32_t kSeeds[] = {0x00000000, 0xFFFFFFFF & kSeedable, 0xA5A5A5A5 & kSeedable, 0x5A5A5A5A & kSeedable,
                           0x12340A8F & kSeedable};

struct Members {
  uint16_t port = TheCard().base;
  uint32_t control = 0;
  int32_t monitor = 0, source = 0;
  std::string diag;
  ControlRegisterView View() { return {port, control, monitor, source, diag}; }
};

// Bits 9, 14 and 15 as a click with these boxes writes them, every other bit as seeded.
void ExpectWritten(uint32_t seed, uint32_t after, int source, int monitor, int i2s) {
  SCOPED_TRACE("seed " + Hex(seed, 8) + " source " + std::to_string(source) + " monitor " +
               std::to_string(monitor) + " i2s " + std::to_string(i2s));
  EXPECT_EQ(after & 0xFFFF3DFF, seed & 0xFFFF3DFF) << "other bits changed: " << Hex(after, 8);
  EXPECT_EQ((after >> 9) & 1u, uint32_t(source));
  EXPECT_EQ((after >> 14) & 1u, uint32_t(source && monitor));
  EXPECT_EQ((after >> 15) & 1u, uint32_t(i2s));
}

struct Output {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out, err;
};

// Runs `body` in a child process with its standard output and error captured.
Output InChild(const std::function<int()>& body) {
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], 1);
    dup2(errPipe[1], 2);
    close(outPipe[0]);
    close(errPipe[0]);
    const int status = body();
    std::fflush(nullptr);
    _exit(status);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  Output result;
  auto drain = [](int fd, std::string& into) {
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<size_t>(n));
    close(fd);
  };
  drain(outPipe[0], result.out);  // the children here write little: one pipe cannot fill while the other waits
  drain(errPipe[0], result.err);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Becomes the unprivileged user, with the given supplementary groups; false when that fails.
bool BecomeNobody(const std::vector<gid_t>& groups) {
  // I/O port permissions pass to children across fork and exec: give them up first.
  return ioperm(TheCard().base, kBarPorts, 0) == 0 && setgroups(groups.size(), groups.data()) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
         geteuid() == kNobody;
}

Output CardTool(const std::vector<std::string>& args, const std::vector<gid_t>* asNobodyWithGroups = nullptr) {
  return InChild([&] {
    if (asNobodyWithGroups && !BecomeNobody(*asNobodyWithGroups)) return 90;
    std::vector<char*> argv{const_cast<char*>(kCardTool)};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(kCardTool, argv.data());
    return 91;
  });
}

std::string ExpectedNoPermission() {
  return "no permission for " + TheCard().resource +
         ": install the udev rule 60-tapewell-audiopci.rules and add yourself to the audio group, then log in "
         "again (see the README)";
}

// What udev does with the rule for this card's "add" event: match every key,
// then run the RUN program with %p and $$ replaced. Returns the RUN
// program's exit status, or a message when the rule does not match.
std::string ApplyUdevRule() {
  std::ifstream rules(kUdevRule);
  std::string line, matched;
  while (std::getline(rules, line)) {
    if (line.empty() || line[0] == '#') continue;
    bool all = true;
    std::string run;
    // Keys: NAME{attr}OP"value", separated by ", ".
    size_t at = 0;
    while (at < line.size()) {
      const size_t quote = line.find('"', at);
      const size_t end = line.find('"', quote + 1);
      if (quote == std::string::npos || end == std::string::npos) return "unparsable rule line: " + line;
      std::string key = line.substr(at, quote - at);
      const std::string value = line.substr(quote + 1, end - quote - 1);
      at = line.find_first_not_of(", ", end + 1);
      if (at == std::string::npos) at = line.size();
      std::string op;
      for (const char* o : {"==", "!=", "+="}) {
        if (key.size() >= 2 && key.compare(key.size() - 2, 2, o) == 0) op = o;
      }
      key.resize(key.size() - op.size());
      std::string actual;
      if (key == "ACTION") {
        actual = "add";
      } else if (key == "SUBSYSTEM") {
        actual = std::filesystem::read_symlink(TheCard().device + "/subsystem").filename().string();
      } else if (key.rfind("ATTR{", 0) == 0) {
        actual = ReadText(TheCard().device + "/" + key.substr(5, key.size() - 6));
      } else if (key == "RUN" && op == "+=") {
        run = value;
        continue;
      } else {
        return "key the test does not know: " + key;
      }
      if ((op == "==") != (actual == value)) all = false;
    }
    if (all && !run.empty()) matched = run;
  }
  if (matched.empty()) return "no rule matches the card";
  std::string program;
  for (size_t i = 0; i < matched.size(); ++i) {
    if (matched.compare(i, 2, "%p") == 0) {
      program += TheCard().devpath;
      ++i;
    } else if (matched.compare(i, 2, "$$") == 0) {
      program += '$';
      ++i;
    } else {
      program += matched[i];
    }
  }
  // udev splits the program at blanks, keeping what single quotes enclose together.
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char c : program) {
    if (c == '\'') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (any) words.push_back(word);
  const Output run = InChild([&] {
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    return 127;
  });
  return "exit " + std::to_string(run.status) + run.err;
}

}  // namespace

TEST(GuestCard, TheEmulatedCardHasAnIoBar) {
  ASSERT_FALSE(TheCard().device.empty()) << "no 1274:5000 under " << kDevices;
  ASSERT_NE(TheCard().base, 0) << "BAR 0 is not an I/O BAR";
  ASSERT_EQ(std::filesystem::file_size(TheCard().resource), kBarPorts);
  ASSERT_EQ(ioperm(TheCard().base, kBarPorts, 1), 0) << std::strerror(errno);
  std::printf("card %s, I/O ports %s..%s\n", TheCard().device.c_str(), Hex(TheCard().base, 4).c_str(),
              Hex(TheCard().base + kBarPorts - 1, 4).c_str());
}

TEST(GuestCard, StartupReadShowsTheBoxesAndWritesNothing) {
  for (uint32_t seed : {0x00000220u, 0x00004000u, 0x0000C200u, 0xFFFFFF8Fu}) {
    RawOut(seed);
    ASSERT_EQ(RawIn(), seed);
    LinuxPortAccess ports;
    Members m;
    std::string why;
    ASSERT_TRUE(ReadControlRegisterAtStartup(ports, "-fsony", m.View(), why)) << why;
    EXPECT_EQ(m.control, seed);
    EXPECT_EQ(m.source, (seed >> 9) & 1);
    EXPECT_EQ(m.monitor, (seed >> 14) & 1);
    EXPECT_EQ(m.diag, "-fsony " + Hex(TheCard().base, 4) + " - " + Hex(seed, 8) + " via " + TheCard().resource);
    EXPECT_EQ(RawIn(), seed) << "the start-up read wrote the register";
  }
}

TEST(GuestCard, ClicksThroughTheResourceFileSetExactlyBits9And14And15) {
  LinuxPortAccess ports;
  for (uint32_t seed : kSeeds) {
    for (int i2s : {1, 0}) {
      for (int source : {0, 1}) {
        for (int monitor : {0, 1}) {
          RawOut(seed);
          ASSERT_EQ(RawIn(), seed);
          Members m;
          m.source = source;
          m.monitor = monitor;
          std::string why;
          ASSERT_TRUE(ProgramControlRegister(ports, i2s, m.View(), why)) << why;
          EXPECT_EQ(ports.Route(), TheCard().resource);
          const uint32_t after = RawIn();
          EXPECT_EQ(m.control, after);
          ExpectWritten(seed, after, source, monitor, i2s);
          EXPECT_EQ(m.diag, Hex(TheCard().base, 4) + " - " + Hex(after, 8) + " via " + TheCard().resource);
        }
      }
    }
  }
}

TEST(GuestCard, ClicksThroughIoPortsSetExactlyBits9And14And15) {
  LinuxPortAccessSetup setup;
  setup.useResourceFile = false;
  LinuxPortAccess ports(setup);
  for (uint32_t seed : kSeeds) {
    for (int i2s : {1, 0}) {
      for (int source : {0, 1}) {
        for (int monitor : {0, 1}) {
          FileOut(seed);
          ASSERT_EQ(FileIn(), seed);
          Members m;
          m.source = source;
          m.monitor = monitor;
          std::string why;
          ASSERT_TRUE(ProgramControlRegister(ports, i2s, m.View(), why)) << why;
          EXPECT_EQ(ports.Route(), "ioperm");
          const uint32_t after = FileIn();
          EXPECT_EQ(m.control, after);
          ExpectWritten(seed, after, source, monitor, i2s);
        }
      }
    }
  }
}

TEST(GuestCard, APortWhoseFourBytesLeaveTheBarIsRefused) {
  const uint16_t last = static_cast<uint16_t>(TheCard().base + kBarPorts - 4);
  const uint16_t straddling = static_cast<uint16_t>(last + 1);
  LinuxPortAccess ports;
  std::string why;
  EXPECT_TRUE(ports.Available(last, why)) << why;
  EXPECT_FALSE(ports.Available(straddling, why));
  EXPECT_EQ(why, "no sound card control register at port " + Hex(straddling, 4));
  EXPECT_FALSE(ports.Available(static_cast<uint16_t>(TheCard().base - 2), why));
  EXPECT_FALSE(ports.In32(straddling, why).has_value());
  EXPECT_FALSE(ports.Out32(straddling, 0, why));

  const Output tool = CardTool({"-i", Hex(straddling, 4), "status"});
  EXPECT_EQ(tool.status, 1);
  EXPECT_EQ(tool.out, "");
  EXPECT_EQ(tool.err, "tapewell-card: no sound card control register at port " + Hex(straddling, 4) + "\n");
}

TEST(GuestCard, TheTerminalToolReadsAndWritesTheRegister) {
  const std::string port = Hex(TheCard().base, 4);
  RawOut(0x12340A8F & kSeedable);
  Output tool = CardTool({"-i", port, "status"});
  EXPECT_EQ(tool.status, 0) << tool.err;
  EXPECT_EQ(tool.out, "port " + port + "\nregister " + Hex(RawIn(), 8) + "\nsource on\nmonitor off\nformat sony\n" +
                          "access " + TheCard().resource + "\n");
  EXPECT_EQ(RawIn(), 0x12340A8F & kSeedable);

  const uint32_t seed = 0x5A5A5A5A & kSeedable;
  RawOut(seed);
  tool = CardTool({"-i", port.substr(2), "source", "off"});
  EXPECT_EQ(tool.status, 0) << tool.err;
  ExpectWritten(seed, RawIn(), 0, 0, 1);
  tool = CardTool({"-i", port, "source", "on"});
  ExpectWritten(seed, RawIn(), 1, 0, 1);
  tool = CardTool({"-i", port, "--sony", "monitor", "on"});
  EXPECT_EQ(tool.status, 0) << tool.err;
  ExpectWritten(seed, RawIn(), 1, 1, 0);
  EXPECT_NE(tool.out.find("register " + Hex(RawIn(), 8) + "\nsource on\nmonitor on\nformat sony\n"),
            std::string::npos)
      << tool.out;
  tool = CardTool({"-i", port, "monitor", "off"});
  ExpectWritten(seed, RawIn(), 1, 0, 1);
  tool = CardTool({"-i", port, "source", "off"});
  tool = CardTool({"-i", port, "monitor", "on"});  // without the source: stays off, and says so
  EXPECT_EQ(tool.status, 0);
  ExpectWritten(seed, RawIn(), 0, 0, 1);
  EXPECT_NE(tool.err.find("source on' first"), std::string::npos) << tool.err;
}

TEST(GuestCard, AnUnprivilegedUserIsRefusedUntilTheUdevRuleGrantsTheAudioGroup) {
  ASSERT_EQ(chown(TheCard().resource.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(TheCard().resource.c_str(), 0600), 0);  // as the kernel makes it
  const std::vector<gid_t> audio{kAudioGroup}, none{};

  Output child = InChild([&] {
    if (!BecomeNobody(audio)) return 90;
    LinuxPortAccess ports;
    std::string why;
    if (ports.Available(TheCard().base, why)) return 1;
    std::fprintf(stdout, "%s", why.c_str());
    return 0;
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.out, ExpectedNoPermission());
  Output tool = CardTool({"-i", Hex(TheCard().base, 4), "status"}, &audio);
  EXPECT_EQ(tool.status, 1);
  EXPECT_EQ(tool.err, "tapewell-card: " + ExpectedNoPermission() + "\n");

  EXPECT_EQ(ApplyUdevRule(), "exit 0");
  struct stat st {};
  ASSERT_EQ(stat(TheCard().resource.c_str(), &st), 0);
  EXPECT_EQ(st.st_gid, kAudioGroup);
  EXPECT_EQ(st.st_mode & 0777, 0660u);

  const uint32_t seed = 0xA5A5A5A5 & kSeedable;
  RawOut(seed);
  child = InChild([&] {
    if (!BecomeNobody(audio)) return 90;
    LinuxPortAccess ports;
    Members m;
    m.source = 1;
    m.monitor = 1;
    std::string why;
    if (!ProgramControlRegister(ports, 1, m.View(), why)) {
      std::fprintf(stdout, "%s", why.c_str());
      return 1;
    }
    std::fprintf(stdout, "%s", ports.Route().c_str());
    return 0;
  });
  EXPECT_EQ(child.status, 0) << child.out;
  EXPECT_EQ(child.out, TheCard().resource);
  ExpectWritten(seed, RawIn(), 1, 1, 1);

  tool = CardTool({"-i", Hex(TheCard().base, 4), "--sony", "source", "off"}, &audio);
  EXPECT_EQ(tool.status, 0) << tool.err;
  ExpectWritten(seed, RawIn(), 0, 0, 0);

  tool = CardTool({"-i", Hex(TheCard().base, 4), "status"}, &none);  // outside the audio group: still refused
  EXPECT_EQ(tool.status, 1);
  EXPECT_EQ(tool.err, "tapewell-card: " + ExpectedNoPermission() + "\n");
}

// Last: lockdown cannot be lifted once raised.
TEST(GuestCard, UnderLockdownTheReasonIsLockdownNotPrivilege) {
  const uint32_t before = FileIn();
  {
    std::ofstream lockdown("/sys/kernel/security/lockdown");
    lockdown << "integrity";
  }
  ASSERT_NE(ReadText("/sys/kernel/security/lockdown").find("[integrity]"), std::string::npos);
  // The kernel's own refusal, whatever the privilege:
  const int fd = open(TheCard().resource.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  uint32_t value = before ^ 0x200;
  EXPECT_EQ(pwrite(fd, &value, 4, 0), -1);
  EXPECT_EQ(errno, EPERM);
  close(fd);

  LinuxPortAccess ports;
  std::string why;
  EXPECT_FALSE(ports.Available(TheCard().base, why));
  EXPECT_NE(why.find("lockdown mode (integrity)"), std::string::npos) << why;
  const Output tool = CardTool({"-i", Hex(TheCard().base, 4), "source", "on"});
  EXPECT_EQ(tool.status, 1);
  EXPECT_EQ(tool.err, "tapewell-card: " + why + "\n");
  EXPECT_EQ(FileIn(), before);
}

int main(int argc, char** argv) {
  const bool init = getpid() == 1;
  if (init) {
    mount("proc", "/proc", "proc", 0, nullptr);
    mount("sysfs", "/sys", "sysfs", 0, nullptr);
    mount("devtmpfs", "/dev", "devtmpfs", 0, nullptr);
    mount("securityfs", "/sys/kernel/security", "securityfs", 0, nullptr);
    setenv("PATH", "/bin", 1);
  }
  testing::InitGoogleTest(&argc, argv);
  GTEST_FLAG_SET(color, "no");  // the console log is read as plain text
  const int failed = RUN_ALL_TESTS();
  std::printf("tapewell-guest-result: %s\n", failed == 0 ? "PASS" : "FAIL");
  std::fflush(stdout);
  if (init) {
    sync();
    reboot(RB_POWER_OFF);
  }
  return failed;
}
