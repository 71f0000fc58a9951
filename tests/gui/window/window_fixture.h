// A program folder with a configuration and a main data module over it, without a database: what
// the window and the tray need. Used by the window tests and the screenshot renderer.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "shell/tdm.h"

namespace tramolin::testing {

struct WindowSetup {
  bool server = true;
  bool on_demand = false;
  std::vector<std::string> switches;  // e.g. "-min", "-serwis"
};

WindowSetup ServerSetup(std::vector<std::string> switches = {});
WindowSetup ClientSetup(bool on_demand = false, std::vector<std::string> switches = {});

class WindowProgram {
 public:
  // A fresh folder named after `name` under the temporary directory.
  WindowProgram(const std::string& name, const WindowSetup& setup);
  ~WindowProgram();
  WindowProgram(const WindowProgram&) = delete;
  WindowProgram& operator=(const WindowProgram&) = delete;

  TDM& Tdm() { return *tdm_; }
  const std::filesystem::path& Dir() const { return dir_; }
  std::string ReadFile(const std::string& name) const;

  // The clock every test reads: 2026-03-14 09:26:53.
  static double Now();

 private:
  std::filesystem::path dir_;
  std::unique_ptr<TDM> tdm_;
};

}  // namespace tramolin::testing
