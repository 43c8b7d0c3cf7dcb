// The control register's read-modify-write and the PCI check of the real ports.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "card/control_register.h"
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
          ProgramControlRegister(ports, i2s, m.View());
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
  ReadControlRegisterAtStartup(ports, "-fsony", m.View());
  EXPECT_EQ(m.diag, "-fsony 0xe000 - 0x00000220");
  EXPECT_EQ(m.source, 1);
  EXPECT_EQ(m.monitor, 0);
  EXPECT_EQ(ports.writes, 0);
  m.monitor = 1;  // the click that checks the monitor box
  ProgramControlRegister(ports, /*i2s=*/0, m.View());
  EXPECT_EQ(ports.value, 0x00004220u);
  EXPECT_EQ(m.diag, "0xe000 - 0x00004220");
}

TEST(ControlRegisterTest, MonitorWithoutSourceWritesBit14Clear) {
  FakePort ports;
  ports.value = 0x00004000;
  Members m;
  ReadControlRegisterAtStartup(ports, "", m.View());
  EXPECT_EQ(m.monitor, 1);
  EXPECT_EQ(m.source, 0);
  EXPECT_EQ(m.diag, " 0xe000 - 0x00004000");
  ProgramControlRegister(ports, 1, m.View());
  EXPECT_EQ(ports.value, 0x00008000u);
}

TEST(ControlRegisterTest, OtherPortsArePrintedInLowerCase) {
  FakePort ports;
  ports.value = 0xABCDEF01;
  Members m;
  m.port = 0xE400;
  ReadControlRegisterAtStartup(ports, "-iE400", m.View());
  EXPECT_EQ(ports.lastReadPort, 0xE400);
  EXPECT_EQ(m.diag, "-iE400 0xe400 - 0xabcdef01");
  m.port = 0x10;
  ProgramControlRegister(ports, 1, m.View());
  EXPECT_EQ(ports.lastWritePort, 0x10);
  EXPECT_EQ(m.diag.substr(0, 9), "0x0010 - ");
}

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
  EXPECT_EQ(ports.In32(0xE400), 0u);
  ports.Out32(0xE400, 0x1234);  // refused quietly: nothing to observe but no crash
}
