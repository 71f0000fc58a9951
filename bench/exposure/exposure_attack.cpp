// Runs one attack on a replication server for a fixed time while a good client keeps timing its
// wait for the greeting, and meters the server's process meanwhile. Prints one line of
// "name=value" figures for bench/exposure/run.sh:
//
//   exposure_attack --port 17846 --pid 1234 --attack held [--tls] [--seconds 5] ...
#include <sys/resource.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "attacks.h"
#include "greeting_probe.h"
#include "process_meter.h"

namespace tramolin::bench {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kSampleInterval{20};
constexpr milliseconds kProbeDelay{1000};  // the attack has gathered its crowd by then
constexpr milliseconds kProbeTimeout{3000};

struct Options {
  AttackOptions attack;
  int pid = 0;
  int probes = 10;
};

struct GreetingFigures {
  int failed = 0;
  double connect_max_ms = 0;  // the longest wait for the TCP connection itself
  double median_ms = 0;
  double max_ms = 0;
};

struct CostFigures {
  double rss_start_mb = 0;  // of the server
  double rss_peak_mb = 0;
  double server_cpu_s = 0;
  double attacker_cpu_s = 0;  // this program's
  double seconds = 0;         // the attack's own time, longer when the probes took longer
};

std::optional<Options> ParseOptions(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription("One attack on a replication server, with a good client.");
  parser.addHelpOption();
  const QList<QCommandLineOption> options = {
      {"port", "The server's port.", "port"},
      {"pid", "The server's process id.", "pid"},
      {"attack", QString::fromStdString(AttackNames()), "name"},
      {"tls", "The server speaks TLS."},
      {"seconds", "How long the attack runs (5).", "seconds", "5"},
      {"probes", "Greetings the good client waits for (10).", "count", "10"},
      {"connections", "Attacking connections (the attack's own number).", "count", "0"},
      {"addresses", "Source addresses of the attackers (40).", "count", "40"},
      {"reconnect-ms", "Pause before a cut attacker connects again (100).", "ms", "100"},
      {"bomb-gib", "GiB of zeros in the large inflation bomb (8).", "GiB", "8"},
      {"bomb-file", "Where the large bomb's frame is kept.", "file", "inflation-bomb.frame"},
      {"forged-line", "The log line hidden in the flood's error reports.", "text"},
  };
  parser.addOptions(options);
  parser.process(app);
  if (!parser.isSet("port") || !parser.isSet("pid") || !parser.isSet("attack")) {
    std::fprintf(stderr, "--port, --pid and --attack are needed\n");
    return std::nullopt;
  }
  Options result;
  AttackOptions& attack = result.attack;
  attack.name = parser.value("attack").toStdString();
  attack.port = static_cast<quint16>(parser.value("port").toUInt());
  attack.tls = parser.isSet("tls");
  attack.connections = parser.value("connections").toInt();
  attack.addresses = std::max(1, parser.value("addresses").toInt());
  attack.reconnect_after = milliseconds(parser.value("reconnect-ms").toInt());
  attack.duration = milliseconds(static_cast<int>(parser.value("seconds").toDouble() * 1000));
  attack.bomb_zeros = parser.value("bomb-gib").toULongLong() << 30;
  attack.bomb_file = parser.value("bomb-file").toStdString();
  attack.forged_line = parser.value("forged-line").toStdString();
  result.pid = parser.value("pid").toInt();
  result.probes = std::max(1, parser.value("probes").toInt());
  return result;
}

// Runs the event loop until the condition holds, looking every 50 ms.
void RunUntil(const std::function<bool()>& done) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) loop.quit();
  });
  check.start(50);
  loop.exec();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

GreetingFigures Summarise(const std::vector<ProbeTiming>& probes) {
  std::vector<double> waits;
  GreetingFigures figures;
  for (const ProbeTiming& probe : probes) {
    if (probe.greeted_ms) waits.push_back(*probe.greeted_ms);
    if (probe.connected_ms) {
      figures.connect_max_ms = std::max(figures.connect_max_ms, *probe.connected_ms);
    }
  }
  figures.failed = static_cast<int>(probes.size() - waits.size());
  figures.median_ms = Median(waits);
  figures.max_ms = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
  return figures;
}

// Processor time this program has used: the attackers, the good client and the meter.
double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Print(const Options& options, const CrowdCounters& crowd, const CostFigures& costs,
           const GreetingFigures& greeting) {
  std::printf("attack=%s seconds=%.1f opened=%lld cut=%lld failed=%lld sent_mb=%.0f ",
              options.attack.name.c_str(), costs.seconds, crowd.opened, crowd.cut, crowd.failed,
              static_cast<double>(crowd.sent) / (1024 * 1024));
  std::printf("cpu_s=%.2f attacker_cpu_s=%.2f rss_start_mb=%.1f rss_peak_mb=%.1f ",
              costs.server_cpu_s, costs.attacker_cpu_s, costs.rss_start_mb, costs.rss_peak_mb);
  std::printf(
      "probes=%d failed_probes=%d connect_max_ms=%.0f greeting_median_ms=%.0f "
      "greeting_max_ms=%.0f\n",
      options.probes, greeting.failed, greeting.connect_max_ms, greeting.median_ms,
      greeting.max_ms);
  std::fflush(stdout);
}

// The good client's probes, spread over the attack from its second on (at rest, from the start).
std::unique_ptr<ProbeSeries> StartProbes(const Options& options) {
  const milliseconds delay = options.attack.name == "rest" ? milliseconds(0) : kProbeDelay;
  const milliseconds gap = (options.attack.duration - delay) / options.probes;
  return std::make_unique<ProbeSeries>(
      ProbeSettings{options.attack.port, options.attack.tls, kProbeTimeout}, options.probes, delay,
      gap);
}

int Run(const Options& options) {
  const std::unique_ptr<Attack> attack = MakeAttack(options.attack);
  if (!attack) {
    std::fprintf(stderr, "unknown attack; one of: %s\n", AttackNames().c_str());
    return 2;
  }
  const ProcessMeter meter(options.pid);
  CostFigures costs{meter.ResidentMb(), 0, meter.CpuSeconds(), OwnCpuSeconds()};
  const bool peak_reset = meter.ResetPeak();
  const auto start = std::chrono::steady_clock::now();
  const ResidentPeakSampler sampler(meter, kSampleInterval);
  const std::unique_ptr<ProbeSeries> probes = StartProbes(options);
  attack->Start();
  RunUntil([&] {
    return probes->Done() && std::chrono::steady_clock::now() - start >= options.attack.duration;
  });
  costs.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  costs.rss_peak_mb = std::max(sampler.PeakMb(), peak_reset ? meter.PeakResidentMb() : 0.0);
  costs.server_cpu_s = meter.CpuSeconds() - costs.server_cpu_s;
  costs.attacker_cpu_s = OwnCpuSeconds() - costs.attacker_cpu_s;
  Print(options, attack->Counters(), costs, Summarise(probes->Results()));
  return 0;
}

}  // namespace
}  // namespace tramolin::bench

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const std::optional<tramolin::bench::Options> options = tramolin::bench::ParseOptions(app);
  if (!options) return 2;
  return tramolin::bench::Run(*options);
}
