// tapewell-card: its work on a fake register, and the real program's command line.
#include <gtest/gtest.h>

#include <sstream>

#include "card/port_access.h"
#include "cli/card_tool.h"
#include "tests/test_support.h"

namespace {

struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun RunOn(FakePort& ports, CardCommand::Action action, bool on = false, bool sony = false, uint16_t port = 0xE000) {
  CardCommand command;
  command.port = port;
  command.sony = sony;
  command.action = action;
  command.on = on;
  std::ostringstream out, err;
  const int status = RunCardCommand(ports, command, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace

TEST(CardToolTest, StatusPrintsTheRegisterAndWritesNothing) {
  FakePort ports;
  ports.value = 0x12344078;  // bit 14 set, bit 9 clear, bit 15 clear
  ports.route = "/sys/bus/pci/devices/0000:00:04.0/resource0";
  const ToolRun run = RunOn(ports, CardCommand::Action::Status, false, false, 0xE400);
  EXPECT_EQ(run.status, kCardExitOk);
  EXPECT_EQ(run.out,
            "port 0xe400\nregister 0x12344078\nsource off\nmonitor on\nformat sony\n"
            "access /sys/bus/pci/devices/0000:00:04.0/resource0\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ports.writes, 0);
  EXPECT_EQ(ports.lastReadPort, 0xE400);
}

TEST(CardToolTest, SourceAndMonitorDoWhatTheCheckBoxesDo) {
  FakePort ports;
  ports.value = 0xA5A50000;
  ToolRun run = RunOn(ports, CardCommand::Action::Source, true);
  EXPECT_EQ(run.status, kCardExitOk);
  EXPECT_EQ(ports.value, 0xA5A58200u);  // bit 9, and bit 15 for I2S
  EXPECT_NE(run.out.find("register 0xa5a58200\nsource on\nmonitor off\nformat i2s\n"), std::string::npos) << run.out;

  run = RunOn(ports, CardCommand::Action::Monitor, true, /*sony=*/true);
  EXPECT_EQ(ports.value, 0xA5A54200u);  // bits 9 and 14, bit 15 clear for Sony
  EXPECT_EQ(run.err, "");

  run = RunOn(ports, CardCommand::Action::Monitor, false);
  EXPECT_EQ(ports.value, 0xA5A58200u);

  RunOn(ports, CardCommand::Action::Monitor, true);
  run = RunOn(ports, CardCommand::Action::Source, false);  // source off takes the monitor with it
  EXPECT_EQ(ports.value, 0xA5A58000u);
  EXPECT_EQ(run.status, kCardExitOk);
}

TEST(CardToolTest, MonitorWithoutSourceLeavesBit14ClearAndSaysSo) {
  FakePort ports;
  ports.value = 0x00000001;
  const ToolRun run = RunOn(ports, CardCommand::Action::Monitor, true);
  EXPECT_EQ(run.status, kCardExitOk);
  EXPECT_EQ(ports.value, 0x00008001u);
  EXPECT_NE(run.out.find("monitor off"), std::string::npos);
  EXPECT_NE(run.err.find("run 'tapewell-card source on' first"), std::string::npos) << run.err;
}

TEST(CardToolTest, AnUnreachableRegisterExitsOneWithTheReason) {
  FakePort ports;
  ports.available = false;
  ToolRun run = RunOn(ports, CardCommand::Action::Status);
  EXPECT_EQ(run.status, kCardExitUnreachable);
  EXPECT_EQ(run.out, "");  // no value that could pass for the register's
  EXPECT_EQ(run.err, "tapewell-card: no sound card control register (fake)\n");

  ports.available = true;
  ports.failWrites = true;
  ports.value = 0x200;
  run = RunOn(ports, CardCommand::Action::Source, false);
  EXPECT_EQ(run.status, kCardExitUnreachable);
  EXPECT_EQ(run.err, "tapewell-card: the register refused the write (fake)\n");
  EXPECT_EQ(run.out, "");
}

TEST(CardToolTest, PortsAreHexadecimalWithOrWithout0x) {
  EXPECT_EQ(ParseHexPort("E000"), 0xE000);
  EXPECT_EQ(ParseHexPort("0xe400"), 0xE400);
  EXPECT_EQ(ParseHexPort("0XC0"), 0xC0);
  EXPECT_EQ(ParseHexPort("ffff"), 0xFFFF);
  EXPECT_FALSE(ParseHexPort("10000").has_value());
  EXPECT_FALSE(ParseHexPort("e400x").has_value());
  EXPECT_FALSE(ParseHexPort("0x").has_value());
  EXPECT_FALSE(ParseHexPort("").has_value());
  EXPECT_FALSE(ParseHexPort("-1").has_value());
  EXPECT_FALSE(ParseHexPort(" e000").has_value());
}

namespace {
ToolRun RunProgram(const std::string& args) {
  testsupport::TempDir dir;
  int status = -1;
  const std::string out =
      testsupport::RunCommand(std::string(TAPEWELL_CARD_PATH) + " " + args + " 2>" + dir.file("err"), &status);
  const auto err = testsupport::ReadFileBytes(dir.file("err"));
  return {status, out, std::string(err.begin(), err.end())};
}
}  // namespace

TEST(CardToolProgramTest, UsageErrorsExitTwo) {
  for (const char* args : {"", "source", "source maybe", "monitor", "frobnicate", "-i zz status", "-i 10000 status",
                           "status --bogus"}) {
    const ToolRun run = RunProgram(args);
    EXPECT_EQ(run.status, kCardExitUsage) << args;
    EXPECT_FALSE(run.err.empty()) << args;
  }
}

TEST(CardToolProgramTest, HelpNamesTheCommands) {
  const ToolRun run = RunProgram("--help");
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"status", "source", "monitor", "--sony", "-i", "Exit status"}) {
    EXPECT_NE(run.out.find(word), std::string::npos) << word << " in\n" << run.out;
  }
}

TEST(CardToolProgramTest, WithoutTheCardItExitsOneAndSaysWhy) {
  // No machine that runs the tests has an ES1370; the emulated one is tested in a guest.
  if (PortBelongsToEs1370("/sys/bus/pci/devices", 0xE000)) GTEST_SKIP() << "this machine has the card";
  const ToolRun run = RunProgram("-i 0xe000 --sony source on");
  EXPECT_EQ(run.status, kCardExitUnreachable);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "tapewell-card: no sound card control register at port 0xe000\n");
}

namespace {
// The real program under the locale `locale` (LANG; LC_ALL and LC_MESSAGES empty).
ToolRun RunProgramIn(const std::string& locale, const std::string& args) {
  testsupport::TempDir dir;
  int status = -1;
  const std::string out = testsupport::RunCommand("env LANG=" + locale + " LC_ALL= LC_MESSAGES= " +
                                                      std::string(TAPEWELL_CARD_PATH) + " " + args + " 2>" +
                                                      dir.file("err"),
                                                  &status);
  const auto err = testsupport::ReadFileBytes(dir.file("err"));
  return {status, out, std::string(err.begin(), err.end())};
}
}  // namespace

TEST(CardToolProgramTest, JapaneseLocaleGivesJapaneseUsageErrorsAndHelp) {
  ToolRun run = RunProgramIn("ja_JP.UTF-8", "source maybe");
  EXPECT_EQ(run.status, kCardExitUsage);
  EXPECT_EQ(run.err, "コマンドラインの誤り: state: maybe not in {on,off}\n使い方は tapewell-card --help を見てください。\n");
  run = RunProgramIn("ja_JP.UTF-8", "-i zz status");
  EXPECT_EQ(run.status, kCardExitUsage);
  EXPECT_EQ(run.err, "tapewell-card: -i には 0 から FFFF までの 16 進数のポートを指定してください（\"zz\" は使えません）\n");

  run = RunProgramIn("ja_JP.UTF-8", "--help");
  EXPECT_EQ(run.status, 0);
  for (const char* text : {"MPEG 入力ビット", "終了ステータス", "使い方: tapewell-card [オプション] サブコマンド",
                           "\nオプション:\n", "\nサブコマンド:\n", "バージョン情報を表示して終了します",
                           "レジスタの I/O ポート", "--sony", "status", "source", "monitor", "\n例:\n"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
  }
  run = RunProgramIn("ja_JP.UTF-8", "source --help");
  EXPECT_EQ(run.status, 0);
  for (const char* text : {"使い方: tapewell-card source [オプション] state", "\n引数:\n", "state 文字列:{on,off} 必須",
                           "on または off", "\nオプション:\n", "このヘルプを表示して終了します"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
  }
  for (const char* english : {"Usage", "OPTIONS", "Options", "Positionals", "REQUIRED", "TEXT", "Examples"}) {
    EXPECT_EQ(run.out.find(english), std::string::npos) << english << " in\n" << run.out;
  }
}

TEST(CardToolProgramTest, OtherLocalesGiveEnglishUsageErrorsAndHelp) {
  ToolRun run = RunProgramIn("C", "source maybe");
  EXPECT_EQ(run.status, kCardExitUsage);
  EXPECT_EQ(run.err, "state: maybe not in {on,off}\nRun with --help for more information.\n");
  run = RunProgramIn("C", "source --help");
  for (const char* text : {"Usage: tapewell-card source [OPTIONS] state", "\nPositionals:\n",
                           "state TEXT:{on,off} REQUIRED", "\nOptions:\n", "Print this help message and exit",
                           "\nExamples:\n"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
  }
}

TEST(CardToolTest, TheMonitorNoteIsInTheCommandsLanguage) {
  FakePort ports;
  ports.value = 0;
  CardCommand command;
  command.action = CardCommand::Action::Monitor;
  command.on = true;
  command.language = Language::Japanese;
  std::ostringstream out, err;
  EXPECT_EQ(RunCardCommand(ports, command, out, err), kCardExitOk);
  EXPECT_EQ(err.str(), "tapewell-card: 注意: MPEG 入力が録音ソースでない間、モニターはオフのままです。"
                       "先に 'tapewell-card source on' を実行してください\n");
}
