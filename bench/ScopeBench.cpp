// Scope drawing and decoding speed, each next to a baseline of the same run:
//  - ScopePaint at three sizes against the floor of any paint: filling the
//    bitmap and the stretched copy to the screen picture (both timed in turn
//    in one loop, in this thread's CPU time);
//  - ComposeScreen writing every pixel against only the traces redrawn into
//    a target that keeps the picture (a backing store), at the same sizes;
//  - offline decoding (no painting) and decoding with a paint per frame at
//    615x284, against the scope's line rate of 5760 bytes per second.
// The ratios are printed after the table.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "scope/ScopeLink.h"
#include "scope/ScopeRenderer.h"

namespace {

constexpr double LineRate = 5760.0; // 57600 bit/s, 10 bits per byte

const int Sizes[][2] = {{615, 284}, {1920, 1080}, {3840, 2160}};

TScopeSamples Wave() {
  TScopeSamples S;
  for (int I = 0; I < ScopeSampleCount; ++I)
    S[I] = static_cast<std::uint8_t>(128 + 100 * std::sin(I * 0.1) + (I % 7) * 3);
  return S;
}

// CPU time of this thread: the machine is shared, so wall time would count
// other programs' turns.
double ThreadSeconds() {
  timespec T;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &T);
  return static_cast<double>(T.tv_sec) + static_cast<double>(T.tv_nsec) * 1e-9;
}

// ScopePaint and its floor, the least any paint does (fill the off-screen
// bitmap, copy it stretched to the screen picture), timed in turn in every
// iteration so that both see the same machine.
void BM_ScopePaintVsFloor(benchmark::State& State) {
  const int W = static_cast<int>(State.range(0));
  const int H = static_cast<int>(State.range(1));
  TScopeRenderer Renderer;
  const TScopeSamples Samples = Wave();
  TPixelImage Bitmap(W, H);
  TPixelImage Screen(W, H);
  const std::uint32_t Back = TScopeRenderer::ToPixel(TScopeRenderer::DefaultBackColor);
  double PaintTime = 0;
  double FloorTime = 0;
  for (auto _ : State) {
    const double T0 = ThreadSeconds();
    Bitmap.Fill(Back);
    TScopeRenderer::StretchCopy(Bitmap, Screen);
    benchmark::DoNotOptimize(Screen.Bits());
    const double T1 = ThreadSeconds();
    benchmark::DoNotOptimize(Renderer.ScopePaint(Samples, W, H).Bits());
    const double T2 = ThreadSeconds();
    FloorTime += T1 - T0;
    PaintTime += T2 - T1;
    State.SetIterationTime(T2 - T0);
  }
  const double N = static_cast<double>(State.iterations());
  State.counters["floor_us"] = FloorTime / N * 1e6;
  State.counters["paint_us"] = PaintTime / N * 1e6;
  State.counters["ratio"] = PaintTime / FloorTime;
}

// Composing into a front end's pixels: every pixel (a target that keeps
// nothing) against only the last trace put back and the new one drawn (a
// backing store that keeps the picture), two traces in turn.
void BM_ComposeWholeVsRetained(benchmark::State& State) {
  const int W = static_cast<int>(State.range(0));
  const int H = static_cast<int>(State.range(1));
  TScopeSamples Traces[2] = {Wave(), Wave()};
  std::reverse(Traces[1].begin(), Traces[1].end());
  TScopeRenderer Whole;
  TScopeRenderer Retained;
  TPixelImage Store(W, H);
  TPixelImage Kept(W, H);
  const TPixelTarget StoreTarget{Store.Bits(), Store.Stride(), 1, 1};
  const TPixelTarget KeptTarget{Kept.Bits(), Kept.Stride(), 1, 2};
  double WholeTime = 0;
  double RetainedTime = 0;
  std::size_t N = 0;
  for (auto _ : State) {
    const TScopeSamples& Samples = Traces[N++ % 2];
    const double T0 = ThreadSeconds();
    Whole.ComposeScreen(StoreTarget, Samples, W, H);
    benchmark::DoNotOptimize(Store.Bits());
    const double T1 = ThreadSeconds();
    Retained.ComposeScreen(KeptTarget, Samples, W, H, TTargetKeeps::tkLastPicture);
    benchmark::DoNotOptimize(Kept.Bits());
    const double T2 = ThreadSeconds();
    WholeTime += T1 - T0;
    RetainedTime += T2 - T1;
    State.SetIterationTime(T2 - T0);
  }
  const double Count = static_cast<double>(State.iterations());
  State.counters["whole_us"] = WholeTime / Count * 1e6;
  State.counters["retained_us"] = RetainedTime / Count * 1e6;
}

// A recording of the scope: trace frames with a single-sample frame and a
// frame to be ignored now and then, with a little noise between.
std::vector<std::uint8_t> Recording(std::size_t Bytes) {
  std::vector<std::uint8_t> Data;
  std::uint32_t Seed = 12345;
  auto Next = [&] {
    Seed = Seed * 1103515245 + 12345;
    return static_cast<std::uint8_t>(Seed >> 16);
  };
  auto Frame = [&](char Type, int PayloadSize) {
    const int L = PayloadSize + 7;
    Data.insert(Data.end(), {0x42, static_cast<std::uint8_t>(Type), static_cast<std::uint8_t>(L),
                             static_cast<std::uint8_t>(L >> 8), 0x0B, 0x04, 0});
    for (int I = 0; I < PayloadSize; ++I)
      Data.push_back(Next());
  };
  for (int N = 0; Data.size() < Bytes; ++N) {
    Frame('A', 259);
    if (N % 8 == 0)
      Frame('S', 5);
    if (N % 16 == 0)
      Frame('R', 20);
    if (N % 4 == 0)
      Data.insert(Data.end(), {0x00, 0x13, 0x37});
  }
  return Data;
}

void Decode(benchmark::State& State, bool Paint) {
  const std::vector<std::uint8_t> Data = Recording(Paint ? 1 << 16 : 1 << 20);
  TScopeRenderer Renderer;
  std::int64_t Frames = 0;
  for (auto _ : State) {
    TMemoryByteSource Source;
    TScopeLink Link(&Source);
    if (Paint)
      Link.State.OnRepaint = [&] { Renderer.ScopePaint(Link.State.Samples(), 615, 284); };
    Link.OnFrameDone = [&](std::string_view, int) { ++Frames; };
    for (std::size_t Pos = 0; Pos < Data.size(); Pos += 4096) {
      Source.Push(Data.data() + Pos, std::min<std::size_t>(4096, Data.size() - Pos));
      Link.ComPortRxChar(Source.Waiting());
    }
    benchmark::DoNotOptimize(Link.State.Samples().data());
  }
  State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations() * Data.size()));
  State.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(Frames), benchmark::Counter::kIsRate);
}

void BM_Decode(benchmark::State& State) {
  Decode(State, false);
}
void BM_DecodeAndPaint615x284(benchmark::State& State) {
  Decode(State, true);
}

void SizeArgs(benchmark::internal::Benchmark* B) {
  for (const auto& S : Sizes)
    B->Args({S[0], S[1]});
}

BENCHMARK(BM_ScopePaintVsFloor)->Apply(SizeArgs)->Unit(benchmark::kMicrosecond)->UseManualTime();
BENCHMARK(BM_ComposeWholeVsRetained)
    ->Apply(SizeArgs)
    ->Unit(benchmark::kMicrosecond)
    ->UseManualTime();
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeAndPaint615x284)->Unit(benchmark::kMillisecond)->UseRealTime();

// Prints the table as usual and keeps what the ratios need.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  TRatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& R : Runs) {
      // With --benchmark_repetitions the median stands for the benchmark.
      const bool Median = R.run_type == Run::RT_Aggregate && R.aggregate_name == "median";
      if ((R.run_type != Run::RT_Iteration && !Median) || R.error_occurred)
        continue;
      const std::string Name = R.run_name.str();
      for (const char* Key : {"floor_us", "paint_us", "ratio", "whole_us", "retained_us"}) {
        const auto C = R.counters.find(Key);
        if (C != R.counters.end())
          FPaint[Name][Key] = C->second.value;
      }
      const auto Bytes = R.counters.find("bytes_per_second");
      if (Bytes != R.counters.end())
        FBytesPerSecond[Name] = Bytes->second.value;
      const auto Frames = R.counters.find("frames_per_s");
      if (Frames != R.counters.end())
        FFramesPerSecond[Name] = Frames->second.value;
    }
  }

  void PrintRatios() const {
    std::printf("\nScopePaint / floor (fill + stretched copy), thread CPU time, target <= 1.5:\n");
    for (const auto& S : Sizes) {
      const std::string Name = "BM_ScopePaintVsFloor/" + std::to_string(S[0]) + "/" +
                               std::to_string(S[1]) + "/manual_time";
      const auto P = FPaint.find(Name);
      if (P != FPaint.end())
        std::printf("  %4dx%-4d  %.2fx  (%.1f us vs %.1f us)\n", S[0], S[1], P->second.at("ratio"),
                    P->second.at("paint_us"), P->second.at("floor_us"));
    }
    std::printf(
        "ComposeScreen into a front end's pixels, every pixel / only the traces redrawn:\n");
    for (const auto& S : Sizes) {
      const std::string Name = "BM_ComposeWholeVsRetained/" + std::to_string(S[0]) + "/" +
                               std::to_string(S[1]) + "/manual_time";
      const auto P = FPaint.find(Name);
      if (P != FPaint.end())
        std::printf("  %4dx%-4d  %.1f us / %.1f us = %.1fx\n", S[0], S[1], P->second.at("whole_us"),
                    P->second.at("retained_us"),
                    P->second.at("whole_us") / P->second.at("retained_us"));
    }
    std::printf("Throughput / line rate (5760 B/s), decoding target >= 10000:\n");
    for (const auto& [Name, Rate] : FBytesPerSecond) {
      const auto Frames = FFramesPerSecond.find(Name);
      std::printf("  %-26s %.1f MB/s = %.0fx line rate, %.0f frames/s\n", Name.c_str(), Rate / 1e6,
                  Rate / LineRate, Frames != FFramesPerSecond.end() ? Frames->second : 0.0);
    }
  }

private:
  std::map<std::string, std::map<std::string, double>> FPaint;
  std::map<std::string, double> FBytesPerSecond;
  std::map<std::string, double> FFramesPerSecond;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  Reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
