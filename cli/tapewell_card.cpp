// tapewell-card: the AudioPCI card's control register from a terminal or a
// script, without the window.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/card_tool.h"

int main(int argc, char** argv) {
  CLI::App app{
      "Shows or sets the MPEG input bits of an AudioPCI (ES1370) card's control register, as the "
      "window's two check boxes do.\nExit status: 0 done, 1 the register cannot be reached (the reason is "
      "printed), 2 usage error.",
      "tapewell-card"};
  app.set_version_flag("--version", "tapewell-card 1.0.4");
  app.require_subcommand(1);
  app.fallthrough();
  app.footer(
      "Examples:\n  tapewell-card status\n  tapewell-card -i E400 source on\n  tapewell-card --sony monitor on\n"
      "'monitor on' takes effect only while the source is on; 'source off' turns both off. Every write also sets "
      "the serial format (I2S, or Sony with --sony) and writes every other bit back as read.");

  std::string portText = "E000";
  bool sony = false;
  app.add_option("-i,--port", portText, "the register's I/O port in hexadecimal, with or without 0x (default E000)")
      ->type_name("PORT");
  app.add_flag("--sony", sony, "write the Sony serial format (bit 15 clear) instead of I2S");

  CardCommand command;
  std::string state;
  app.add_subcommand("status", "print the port, the register value and the settings");
  auto* source = app.add_subcommand("source", "make the MPEG input the recording source (bit 9), or not");
  source->add_option("state", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));
  auto* monitor = app.add_subcommand(
      "monitor", "pass the MPEG input through to the playback path (bit 14; only while it is the source)");
  monitor->add_option("state", state, "on or off")->required()->check(CLI::IsMember({"on", "off"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kCardExitUsage;
  }

  const auto port = ParseHexPort(portText);
  if (!port) {
    std::cerr << "tapewell-card: -i wants a hexadecimal port from 0 to FFFF, not \"" << portText << "\"\n";
    return kCardExitUsage;
  }
  command.port = *port;
  command.sony = sony;
  command.on = state == "on";
  if (source->parsed()) command.action = CardCommand::Action::Source;
  if (monitor->parsed()) command.action = CardCommand::Action::Monitor;

  LinuxPortAccess ports;
  return RunCardCommand(ports, command, std::cout, std::cerr);
}
