// What the wizard's tests share: a configuration and flags, a recorded log and status line, a
// systemd stand-in (a temporary unit folder and a systemctl script that notes its arguments), an
// autostart folder, and a database test that answers as told.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/configuration.h"
#include "platform/autostart.h"
#include "platform/service_control.h"
#include "ui/service_setup.h"
#include "ui/wizard_logic.h"
#include "unit/util/temp_dir.h"
#include "util/cp1250.h"

namespace tramolin::testing {

class WizardFixture : public ::testing::Test {
 protected:
  WizardFixture() {
    std::filesystem::create_directories(dir_ / "units");
    std::filesystem::create_directories(dir_ / "app");
    WriteFile(stub_, "#!/bin/sh\necho \"$@\" >> '" + calls_.string() + "'\n");
    std::filesystem::permissions(stub_, std::filesystem::perms::owner_all);
    config_.AppDir = AppDir();
    setup_.SetStatus([this](std::string_view text) { statuses_.push_back(Cp1250ToUtf8(text)); });
  }

  std::string AppDir() const { return (dir_ / "app").string() + "/"; }

  WizardEnvironment Environment() {
    WizardEnvironment environment;
    environment.config = &config_;
    environment.flags = &flags_;
    environment.log = [this](std::string_view message, int level) { Record(message, level); };
    environment.services = &setup_;
    environment.autostart = &autostart_;
    environment.executable = AppDir() + "tramolin2";
    environment.test_database = [this](const DatabaseSettings& settings) {
      database_tested_ = true;
      tested_ = settings;
      return database_error_;
    };
    environment.server_version = [this](std::string_view, std::string_view, std::string_view) {
      return std::optional<std::string>(version_);
    };
    return environment;
  }

  void Record(std::string_view message, int level) {
    messages_.push_back(Cp1250ToUtf8(message));
    levels_.push_back(level);
  }
  std::string LastMessage() const { return messages_.empty() ? "" : messages_.back(); }

  // systemctl's calls so far; stop and start run without being waited for, so the wait is for
  // the number of lines expected.
  std::string Calls() const { return ReadFile(calls_); }
  std::string CallsAfter(std::size_t lines) const {
    for (int i = 0; i < 100; ++i) {
      const std::string calls = Calls();
      if (static_cast<std::size_t>(std::count(calls.begin(), calls.end(), '\n')) >= lines) {
        return calls;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Calls();
  }
  void RemoveCalls() { std::filesystem::remove(calls_); }

  TempDir dir_;
  const std::filesystem::path stub_ = dir_ / "systemctl";
  const std::filesystem::path calls_ = dir_ / "calls";
  TConfig config_;
  RunFlags flags_;
  std::vector<std::string> messages_;
  std::vector<int> levels_;
  std::vector<std::string> statuses_;
  ServiceControl service_control_{dir_ / "units", stub_.string()};
  ServiceSetup setup_{service_control_, AppDir(), AppDir() + "tramolin2",
                      [this](std::string_view message, int level) { Record(message, level); }};
  Autostart autostart_{dir_ / "autostart"};
  bool database_tested_ = false;
  DatabaseSettings tested_;
  std::optional<std::string> database_error_;
  std::string version_;
};

}  // namespace tramolin::testing
