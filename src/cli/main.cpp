#include <CLI/CLI.hpp>

#include "vemra_version.h"

int main(int argc, char** argv) {
  CLI::App app{"Vemra command line: acoustic measurement without the window program"};
  app.set_version_flag("--version", VEMRA_VERSION_STRING);
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
