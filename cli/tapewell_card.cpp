// tapewell-card: the AudioPCI card's control register from a terminal or a
// script, without the window.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/card_tool.h"
#include "cli/cli_text.h"
#include "cli/help_labels.h"
#include "cli/help_layout.h"

int main(int argc, char** argv) {
  using enum CliTextId;
  const Language language = SystemLanguage();
  auto text = [language](CliTextId id, std::initializer_list<std::string> args = {}) {
    return CliText(id, language, args);
  };
  CLI::App app{text(kCardDescription), "tapewell-card"};
  app.set_version_flag("--version", "tapewell-card 1.0.4");
  app.require_subcommand(1);
  app.fallthrough();
  app.footer(text(kCardFooter));

  std::string portText = "E000";
  bool sony = false;
  app.add_option("-i,--port", portText, text(kCardOptPort))->type_name("PORT");
  app.add_flag("--sony", sony, text(kCardOptSony));

  CardCommand command;
  std::string state;
  app.add_subcommand("status", text(kCardCmdStatus));
  auto* source = app.add_subcommand("source", text(kCardCmdSource));
  // The type is named here: CLI11 looks its label up with the allowed values appended.
  source->add_option("state", state, text(kCardArgState))
      ->required()
      ->type_name(text(kLabelText))
      ->check(CLI::IsMember({"on", "off"}));
  auto* monitor = app.add_subcommand("monitor", text(kCardCmdMonitor));
  monitor->add_option("state", state, text(kCardArgState))
      ->required()
      ->type_name(text(kLabelText))
      ->check(CLI::IsMember({"on", "off"}));

  LocalizeHelp(app, language, HelpColumns());
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << text(kCardParseError, {e.what()}) << "\n";
    return kCardExitUsage;
  }

  const auto port = ParseHexPort(portText);
  if (!port) {
    std::cerr << "tapewell-card: " << text(kCardBadPort, {portText}) << "\n";
    return kCardExitUsage;
  }
  command.port = *port;
  command.sony = sony;
  command.on = state == "on";
  command.language = language;
  if (source->parsed()) command.action = CardCommand::Action::Source;
  if (monitor->parsed()) command.action = CardCommand::Action::Monitor;

  LinuxPortAccess ports;
  return RunCardCommand(ports, command, std::cout, std::cerr);
}
