// Building and decoding a change batch of about 1,000,000 characters, against zlib level 9 alone
// on the same text: what base64, the length prefix and the frame add to the compression.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>

#include "protocol/frame.h"
#include "protocol/packet_types.h"
#include "protocol/payloads.h"

namespace tramolin {
namespace {

constexpr std::size_t kBatchCharacters = 1'000'000;

// Records shaped like exported changes: table, change type, key, then named typed fields.
std::string ChangeRecords() {
  std::string records;
  std::uint32_t seed = 12345;
  auto next = [&seed](std::uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  while (records.size() < kBatchCharacters) {
    records += std::to_string(next(137)) + ";" + std::to_string(next(3)) + ";" +
               std::to_string(100000 + next(900000)) + ";4;ID;1;" + std::to_string(next(1000000)) +
               ";NAZWA;0;Towar nr " + std::to_string(next(50000)) + ";CENA;2;" +
               std::to_string(next(100000)) + "." + std::to_string(next(100)) + ";DATA;3;" +
               std::to_string(40000 + next(6000)) + "." + std::to_string(next(1000000)) + ";";
  }
  return BuildChangeBatch(1000, 1000, records);
}

const std::string& Payload() {
  static const std::string payload = ChangeRecords();
  return payload;
}

std::string RawZlib(const std::string& text) {
  uLongf size = compressBound(text.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size,
            reinterpret_cast<const Bytef*>(text.data()), text.size(), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

void ReportSizes(benchmark::State& state, std::size_t encoded) {
  const std::string& payload = Payload();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * payload.size()));
  state.counters["payload_chars"] = static_cast<double>(payload.size());
  state.counters["wire_bytes"] = static_cast<double>(encoded);
  state.counters["wire_ratio"] = static_cast<double>(encoded) / static_cast<double>(payload.size());
}

void BM_BuildChangePacket(benchmark::State& state) {
  std::size_t frame_size = 0;
  for (auto _ : state) {
    const std::string frame = BuildPacket(pkZmiany, Payload(), false);
    frame_size = frame.size();
    benchmark::DoNotOptimize(frame.data());
  }
  ReportSizes(state, frame_size);
}

void BM_DecodeChangePacket(benchmark::State& state) {
  const std::string frame = BuildPacket(pkZmiany, Payload(), false);
  for (auto _ : state) {
    FrameReader reader;
    reader.Feed(frame);
    const FrameReader::Result result = reader.Next();
    if (result.payload.size() != Payload().size()) state.SkipWithError("payload lost");
    benchmark::DoNotOptimize(result.payload.data());
  }
  ReportSizes(state, frame.size());
}

void BM_RawZlibCompress(benchmark::State& state) {
  std::size_t compressed_size = 0;
  for (auto _ : state) {
    const std::string compressed = RawZlib(Payload());
    compressed_size = compressed.size();
    benchmark::DoNotOptimize(compressed.data());
  }
  ReportSizes(state, compressed_size);
}

void BM_RawZlibUncompress(benchmark::State& state) {
  const std::string compressed = RawZlib(Payload());
  std::string text(Payload().size(), '\0');
  for (auto _ : state) {
    uLongf size = text.size();
    uncompress(reinterpret_cast<Bytef*>(text.data()), &size,
               reinterpret_cast<const Bytef*>(compressed.data()), compressed.size());
    benchmark::DoNotOptimize(text.data());
  }
  ReportSizes(state, compressed.size());
}

BENCHMARK(BM_BuildChangePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawZlibCompress)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeChangePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawZlibUncompress)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tramolin

BENCHMARK_MAIN();
