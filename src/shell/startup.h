// The start-up sequence of a process: the single-copy rule, the configuration, the restart of
// an installed service, the start of work. Decides whether the process goes on to its message
// loop or ends at once.
#pragma once

#include <functional>
#include <optional>

namespace tramolin {

class TDM;

enum class WizardOutcome { kCancelled, kSaved, kSavedAndStart };

class StartupSequence {
 public:
  // Shows the configuration wizard; empty while the process cannot show one.
  using Wizard = std::function<WizardOutcome()>;

  StartupSequence(TDM& tdm, Wizard wizard);

  // The exit status when the process must end now; nullopt when it works and the message loop
  // should run.
  std::optional<int> Run();

 private:
  bool IsSecondCopy();
  void BringRunningCopyForward(int running_pid);
  WizardOutcome RunWizard(bool configuration_missing);
  bool RestartInstalledService();
  bool ServiceProcessRuns();
  void LogStartOfWork();

  TDM& tdm_;
  Wizard wizard_;
  bool failed_ = false;
};

}  // namespace tramolin
