// The control register's read-modify-write and the PCI check of the real ports.
#ifndef _WIN32  // Linux's
#include <grp.h>
#endif
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32  // Linux's
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "card/control_register.h"
#ifndef _WIN32  // Linux's
#include "card/kernel_lockdown.h"
#endif
#include "card/port_access.h"
#include "tests/test_support.h"

namespace {

struct Members {
  uint16_t port = 0xE000;
  uint32_t control = 0;
  int32_t monitor = 0, source = 0;
  std::string diag;
  ControlRegisterView View() { return {port, control, monitor, source, diag}; }
};

}  // namespace

TEST(ControlRegisterTest, BitTableKeepsEveryOtherBit) {
  std::mt19937 rng(3);
  for (int i2s : {1, 0}) {
    for (int source : {0, 1}) {
      for (int monitor : {0, 1}) {
        for (int round = 0; round < 50; ++round) {
          FakePort ports;
          ports.value = rng();
          const uint32_t before = ports.value;
          Members m;
          m.monitor = monitor;
          m.source = source;
          std::string why;
          ASSERT_TRUE(ProgramControlRegister(ports, i2s, m.View(), why));
          const uint32_t after = ports.value;
          EXPECT_EQ(after & 0xFFFF3DFF, before & 0xFFFF3DFF);
          EXPECT_EQ((after >> 9) & 1u, uint32_t(source));
          EXPECT_EQ((after >> 14) & 1u, uint32_t(source && monitor));
          EXPECT_EQ((after >> 15) & 1u, uint32_t(i2s));
          EXPECT_EQ(m.control, after);
          EXPECT_EQ(ports.reads, 1);  // a fresh read in the same click
          EXPECT_EQ(ports.writes, 1);
        }
      }
    }
  }
}

TEST(ControlRegisterTest, StartupReadAndTheSonyExample) {
  FakePort ports;
  ports.value = 0x00000220;
  Members m;
  std::string why;
  ASSERT_TRUE(ReadControlRegisterAtStartup(ports, "-fsony", m.View(), why));
  EXPECT_EQ(m.diag, "-fsony 0xe000 - 0x00000220");
  EXPECT_EQ(m.source, 1);
  EXPECT_EQ(m.monitor, 0);
  EXPECT_EQ(ports.writes, 0);
  m.monitor = 1;  // the click that checks the monitor box
  ASSERT_TRUE(ProgramControlRegister(ports, /*i2s=*/0, m.View(), why));
  EXPECT_EQ(ports.value, 0x00004220u);
  EXPECT_EQ(m.diag, "0xe000 - 0x00004220");
}

TEST(ControlRegisterTest, MonitorWithoutSourceWritesBit14Clear) {
  FakePort ports;
  ports.value = 0x00004000;
  Members m;
  std::string why;
  ASSERT_TRUE(ReadControlRegisterAtStartup(ports, "", m.View(), why));
  EXPECT_EQ(m.monitor, 1);
  EXPECT_EQ(m.source, 0);
  EXPECT_EQ(m.diag, " 0xe000 - 0x00004000");
  ASSERT_TRUE(ProgramControlRegister(ports, 1, m.View(), why));
  EXPECT_EQ(ports.value, 0x00008000u);
}

TEST(ControlRegisterTest, OtherPortsArePrintedInLowerCase) {
  FakePort ports;
  ports.value = 0xABCDEF01;
  Members m;
  m.port = 0xE400;
  std::string why;
  ASSERT_TRUE(ReadControlRegisterAtStartup(ports, "-iE400", m.View(), why));
  EXPECT_EQ(ports.lastReadPort, 0xE400);
  EXPECT_EQ(m.diag, "-iE400 0xe400 - 0xabcdef01");
  m.port = 0x10;
  ASSERT_TRUE(ProgramControlRegister(ports, 1, m.View(), why));
  EXPECT_EQ(ports.lastWritePort, 0x10);
  EXPECT_EQ(m.diag.substr(0, 9), "0x0010 - ");
}

#ifndef _WIN32  // the PCI files and kernel lockdown are Linux's
namespace {
// A sysfs-like tree with one PCI device.
void AddDevice(const std::string& root, const std::string& name, const char* vendor, const char* device,
               const std::string& resource) {
  const std::string dir = root + "/" + name;
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/vendor") << vendor << "\n";
  std::ofstream(dir + "/device") << device << "\n";
  std::ofstream(dir + "/resource") << resource;
}
}  // namespace

TEST(PortAccessTest, OnlyPortsInsideAnEs1370IoRangeAreTouched) {
  testsupport::TempDir dir;
  const std::string root = dir.path();
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xE000));
  // Another vendor's card at the same range does not count.
  AddDevice(root, "0000:00:02.0", "0x8086", "0x5000",
            "0x000000000000e000 0x000000000000e03f 0x0000000000040101\n");
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xE000));
  AddDevice(root, "0000:00:05.0", "0x1274", "0x5000",
            "0x000000000000e000 0x000000000000e03f 0x0000000000040101\n"
            "0x00000000febf0000 0x00000000febf0fff 0x0000000000040200\n");
  EXPECT_TRUE(PortBelongsToEs1370(root, 0xE000));
  EXPECT_TRUE(PortBelongsToEs1370(root, 0xE03C));   // the last four bytes
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xE03D));  // straddles the end
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xDFFE));  // straddles the start
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xE400));
  EXPECT_FALSE(PortBelongsToEs1370(root, 0xF000));  // the memory range is not I/O

  LinuxPortAccess ports(root);
  std::string why;
  EXPECT_FALSE(ports.Available(0xE400, why));
  EXPECT_EQ(why, "no sound card control register at port 0xe400");
  why.clear();
  EXPECT_FALSE(ports.In32(0xE400, why).has_value());  // no value that could pass for the register's
  EXPECT_EQ(why, "no sound card control register at port 0xe400");
  why.clear();
  EXPECT_FALSE(ports.Out32(0xE400, 0x1234, why));
  EXPECT_EQ(why, "no sound card control register at port 0xe400");
}

namespace {

// An ES1370 whose I/O BAR is BAR 1 (a memory BAR before it), with a plain file
// standing in for the kernel's resource file: byte N of it is port start + N.
struct FakeCard {
  testsupport::TempDir dir;
  std::string device = dir.path() + "/0000:00:04.0";
  std::string resource = device + "/resource1";
  std::string lockdown = dir.file("lockdown");

  FakeCard() {
    AddDevice(dir.path(), "0000:00:04.0", "0x1274", "0x5000",
              "0x00000000febf0000 0x00000000febf0fff 0x0000000000040200\n"
              "0x000000000000c000 0x000000000000c0ff 0x0000000000040101\n"
              "0x0000000000000000 0x0000000000000000 0x0000000000000000\n");
    testsupport::WriteFileBytes(resource, std::vector<uint8_t>(256, 0xEE));
    std::ofstream(lockdown) << "[none] integrity confidentiality\n";
  }
  LinuxPortAccessSetup Setup() const {
    LinuxPortAccessSetup setup;
    setup.sysfsRoot = dir.path();
    setup.lockdownPath = lockdown;
    setup.usePortIo = false;  // never the machine's real ports from a test
    return setup;
  }
};

}  // namespace

TEST(PortAccessTest, TheRegisterIsReachedThroughTheBarsResourceFile) {
  FakeCard card;
  LinuxPortAccess ports(card.Setup());
  std::string why;
  ASSERT_TRUE(ports.Available(0xC010, why)) << why;
  EXPECT_EQ(ports.Route(), card.resource);

  ASSERT_TRUE(ports.Out32(0xC010, 0x12345678, why)) << why;
  auto bytes = testsupport::ReadFileBytes(card.resource);
  ASSERT_EQ(bytes.size(), 256u);
  EXPECT_EQ(testsupport::ReadLe32(bytes, 0x10), 0x12345678u);  // at port - BAR start
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i < 0x10 || i >= 0x14) {
      ASSERT_EQ(bytes[i], 0xEE) << "byte " << i;
    }
  }
  bytes[0x20] = 0x01, bytes[0x21] = 0x02, bytes[0x22] = 0x03, bytes[0x23] = 0x04;
  testsupport::WriteFileBytes(card.resource, bytes);
  const auto value = ports.In32(0xC020, why);
  ASSERT_TRUE(value.has_value()) << why;
  EXPECT_EQ(*value, 0x04030201u);
}

TEST(PortAccessTest, LockdownIsNamedInsteadOfAskingForRoot) {
  FakeCard card;
  std::ofstream(card.lockdown) << "none [integrity] confidentiality\n";
  LinuxPortAccess ports(card.Setup());
  std::string why;
  EXPECT_FALSE(ports.Available(0xC000, why));
  EXPECT_NE(why.find("lockdown mode (integrity)"), std::string::npos) << why;
  EXPECT_EQ(why.find("run as root"), std::string::npos) << why;
  EXPECT_EQ(ports.Route(), "");
}

TEST(PortAccessTest, AMissingResourceFileIsNamed) {
  FakeCard card;
  std::filesystem::remove(card.resource);
  LinuxPortAccess ports(card.Setup());
  std::string why;
  EXPECT_FALSE(ports.Available(0xC000, why));
  EXPECT_EQ(why, "cannot open " + card.resource + " (No such file or directory)");
}

TEST(PortAccessTest, WithoutPermissionTheRemedyIsTheUdevRule) {
  FakeCard card;
  // Everyone may look at the listing; only the owner may open the resource file.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(card.dir.path())) {
    chmod(entry.path().c_str(), entry.is_directory() ? 0755 : 0644);
  }
  chmod(card.dir.path().c_str(), 0755);
  chmod(card.resource.c_str(), geteuid() == 0 ? 0600 : 0);
  const LinuxPortAccessSetup setup = card.Setup();
  const int status = testsupport::RunInChild([&] {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) return 3;
    LinuxPortAccess ports(setup);
    std::string why;
    if (ports.Available(0xC000, why)) return 4;
    const std::string expected = "no permission for " + card.resource +
                                 ": install the udev rule 60-tapewell-audiopci.rules and add yourself to the "
                                 "audio group, then log in again (see the README)";
    if (why != expected) {
      std::fprintf(stderr, "why: %s\n", why.c_str());
      return 5;
    }
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(PortAccessTest, LockdownModeIsTheBracketedWord) {
  testsupport::TempDir dir;
  std::ofstream(dir.file("a")) << "[none] integrity confidentiality\n";
  std::ofstream(dir.file("b")) << "none integrity [confidentiality]\n";
  EXPECT_EQ(KernelLockdownMode(dir.file("a")), "none");
  EXPECT_EQ(KernelLockdownMode(dir.file("b")), "confidentiality");
  EXPECT_EQ(KernelLockdownMode(dir.file("missing")), "");
  EXPECT_FALSE(LockdownForbidsPortWrites("none"));
  EXPECT_FALSE(LockdownForbidsPortWrites(""));
  EXPECT_TRUE(LockdownForbidsPortWrites("integrity"));
}
#endif

TEST(ControlRegisterTest, TheRouteIsNamedInTheDiagnosticLine) {
  FakePort ports;
  ports.value = 0x00000200;
  ports.route = "/sys/bus/pci/devices/0000:00:04.0/resource0";
  Members m;
  std::string why;
  ASSERT_TRUE(ReadControlRegisterAtStartup(ports, "-fsony", m.View(), why));
  EXPECT_EQ(m.diag, "-fsony 0xe000 - 0x00000200 via /sys/bus/pci/devices/0000:00:04.0/resource0");
  ASSERT_TRUE(ProgramControlRegister(ports, 1, m.View(), why));
  EXPECT_EQ(m.diag, "0xe000 - 0x00008200 via /sys/bus/pci/devices/0000:00:04.0/resource0");
}

TEST(ControlRegisterTest, AnUnreadableRegisterGivesNoValue) {
  FakePort ports;
  ports.available = false;
  Members m;
  m.control = 0x4200;
  std::string why;
  EXPECT_FALSE(ReadControlRegisterAtStartup(ports, "-x", m.View(), why));
  EXPECT_EQ(why, "no sound card control register (fake)");
  EXPECT_EQ(m.diag, "-x 0xe000 - no sound card control register (fake)");
  EXPECT_EQ(m.control, 0x4200u);  // untouched: nothing was read
  m.source = 0;                   // a click...
  EXPECT_FALSE(ProgramControlRegister(ports, 1, m.View(), why));
  EXPECT_EQ(m.source, 1);  // ...shows again what the card was last known to hold
  EXPECT_EQ(m.monitor, 1);
  EXPECT_EQ(m.diag, "0xe000 - no sound card control register (fake)");
}

TEST(ControlRegisterTest, ARefusedWriteKeepsTheBoxesAtWhatTheCardHolds) {
  FakePort ports;
  ports.value = 0x00000200;
  ports.failWrites = true;
  Members m;
  m.source = 1;
  m.monitor = 1;  // the user asked for pass-through
  std::string why;
  EXPECT_FALSE(ProgramControlRegister(ports, 1, m.View(), why));
  EXPECT_EQ(why, "the register refused the write (fake)");
  EXPECT_EQ(ports.value, 0x00000200u);
  EXPECT_EQ(m.control, 0x00000200u);
  EXPECT_EQ(m.source, 1);
  EXPECT_EQ(m.monitor, 0);
  EXPECT_EQ(m.diag, "0xe000 - the register refused the write (fake)");
}
