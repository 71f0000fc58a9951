#include "gui/window/window_fixture.h"

#include <fstream>
#include <sstream>

#include "util/day_time.h"

namespace tramolin::testing {

WindowSetup ServerSetup(std::vector<std::string> switches) {
  WindowSetup setup;
  setup.switches = std::move(switches);
  return setup;
}

WindowSetup ClientSetup(bool on_demand, std::vector<std::string> switches) {
  WindowSetup setup;
  setup.server = false;
  setup.on_demand = on_demand;
  setup.switches = std::move(switches);
  return setup;
}

double WindowProgram::Now() { return ToDayCount({2026, 3, 14, 9, 26, 53, 0}); }

WindowProgram::WindowProgram(const std::string& name, const WindowSetup& setup)
    : dir_(std::filesystem::temp_directory_path() / ("tramolin_window_" + name)) {
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  std::ofstream(dir_ / "Tramolin2.ini", std::ios::binary)
      << "[DB]\r\nDBHOST=\r\nDBPATH=" << dir_.string() << "\r\nDBFILE=main.fdb\r\n"
      << "[Tramolin]\r\nMode=" << (setup.server ? 1 : 0) << "\r\n"
      << "[Server]\r\nPort=0\r\n"
      << "[Klient]\r\nHost=127.0.0.1\r\nOnDemand=" << (setup.on_demand ? 1 : 0) << "\r\n";
  ShellServices services;
  services.app_dir = dir_;
  services.executable_name = "window_test_" + name;
  services.command_line = CommandLine(setup.switches);
  services.clock = [] { return Now(); };
  services.firebird_probe = [](const TConfig&) { return std::optional<std::string>(); };
  tdm_ = std::make_unique<TDM>(std::move(services));
}

WindowProgram::~WindowProgram() {
  tdm_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string WindowProgram::ReadFile(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tramolin::testing
