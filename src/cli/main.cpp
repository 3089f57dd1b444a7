#include <iostream>

#include "CliCommand.h"
#include "vemra_version.h"

int main(int argc, char** argv) {
  CLI::App app{"Vemra command line: acoustic measurement without the window program"};
  app.set_version_flag("--version", VEMRA_VERSION_STRING);
  app.require_subcommand(1);
  for (const auto& setup : TCliCommand::All()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "vemra-cli: " << e.what() << "\n";
    return 2;
  } catch (const TCliUsageError& e) {
    std::cerr << "vemra-cli: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "vemra-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
