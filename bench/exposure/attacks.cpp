#include "attacks.h"

#include <stdexcept>
#include <utility>

#include "attack_frames.h"
#include "protocol/frame.h"
#include "protocol/packet_types.h"

namespace tramolin::bench {
namespace {

// The old buffering attack: a frame that declares 256 MB and never stops coming.
constexpr std::size_t kHugeDeclaredLength = std::size_t{256} * 1024 * 1024;
constexpr std::size_t kFloodChunk = std::size_t{64} * 1024;
// Zeros whose level-9 stream still fits a frame a stranger may send (about 65,000 characters).
constexpr std::uint64_t kSmallBombZeros = std::uint64_t{48} << 20;
constexpr std::size_t kReportSize = 82'000;
// A report whose text stays within the 64 KiB a stranger's payload may hold.
constexpr std::size_t kSmallReportSize = 60'000;
constexpr int kCrowd = 300;
constexpr int kBombers = 4;
constexpr int kSilentPeers = 1000;
// The share of the attack during which the first silent crowd is held open.
constexpr double kFirstSilentShare = 0.4;

class NoAttack final : public Attack {
 public:
  void Start() override {}
  CrowdCounters Counters() const override { return {}; }
};

// One crowd, all connecting at once and again whenever they are cut.
class CrowdAttack final : public Attack {
 public:
  CrowdAttack(const CrowdSettings& settings, CrowdScript script)
      : crowd_(settings, std::move(script)) {}
  void Start() override { crowd_.ConnectAll(); }
  CrowdCounters Counters() const override { return crowd_.Counters(); }

 private:
  AttackerCrowd crowd_;
};

// Peers that connect to a TLS server and never start a handshake: a crowd all at once, closed
// after a while, then a crowd connecting one after another and staying.
class NoHandshakeFlood final : public Attack {
 public:
  NoHandshakeFlood(const CrowdSettings& settings, std::chrono::milliseconds first_phase)
      : at_once_(settings, {}), in_turn_(settings, {}) {
    switch_.setSingleShot(true);
    switch_.setInterval(first_phase);
    QObject::connect(&switch_, &QTimer::timeout, [this] {
      at_once_.CloseAll();
      in_turn_.ConnectOneByOne();
    });
  }
  void Start() override {
    at_once_.ConnectAll();
    switch_.start();
  }
  CrowdCounters Counters() const override {
    CrowdCounters sum = at_once_.Counters();
    return sum += in_turn_.Counters();
  }

 private:
  AttackerCrowd at_once_;
  AttackerCrowd in_turn_;
  QTimer switch_;
};

CrowdSettings Crowd(const AttackOptions& options, int connections) {
  return {options.port, options.tls, options.connections > 0 ? options.connections : connections,
          options.addresses, options.reconnect_after};
}

std::string SmallBombFrame() {
  std::string frame = ZeroBombFrame(kSmallBombZeros);
  if (frame.size() > kPreLoginFrameLimit + FrameHead(pkAutoryzacja, kPreLoginFrameLimit).size()) {
    throw std::logic_error("the small inflation bomb does not fit a frame before the login");
  }
  return frame;
}

std::unique_ptr<Attack> Repeating(const CrowdSettings& settings, const std::string& frame) {
  return std::make_unique<CrowdAttack>(settings, CrowdScript{frame, frame});
}

std::unique_ptr<Attack> SilentPeers(const AttackOptions& options) {
  CrowdSettings settings = Crowd(options, kSilentPeers);
  settings.tls = false;
  settings.reconnect_after.reset();
  const auto first_phase =
      std::chrono::duration_cast<std::chrono::milliseconds>(options.duration * kFirstSilentShare);
  return std::make_unique<NoHandshakeFlood>(settings, first_phase);
}

}  // namespace

std::string AttackNames() {
  return "rest held flood bomb small-bomb log-flood small-log-flood no-handshake";
}

std::unique_ptr<Attack> MakeAttack(const AttackOptions& options) {
  const std::string& name = options.name;
  if (name == "rest") return std::make_unique<NoAttack>();
  if (name == "held") {
    return std::make_unique<CrowdAttack>(
        Crowd(options, kCrowd),
        CrowdScript{UnfinishedFrame(kPreLoginFrameLimit, kPreLoginFrameLimit - 1), {}});
  }
  if (name == "flood") {
    return std::make_unique<CrowdAttack>(
        Crowd(options, kCrowd),
        CrowdScript{FrameHead(pkAutoryzacja, kHugeDeclaredLength), std::string(kFloodChunk, 'A')});
  }
  if (name == "bomb") {
    return Repeating(Crowd(options, kBombers),
                     CachedZeroBombFrame(options.bomb_zeros, options.bomb_file));
  }
  if (name == "small-bomb") return Repeating(Crowd(options, kBombers), SmallBombFrame());
  if (name == "log-flood") {
    return Repeating(Crowd(options, kCrowd),
                     ForgedErrorReportFrame(kReportSize, options.forged_line));
  }
  if (name == "small-log-flood") {
    return Repeating(Crowd(options, kCrowd),
                     ForgedErrorReportFrame(kSmallReportSize, options.forged_line));
  }
  if (name == "no-handshake") return SilentPeers(options);
  return nullptr;
}

}  // namespace tramolin::bench
