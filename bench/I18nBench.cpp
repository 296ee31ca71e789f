// Nanoseconds per lookup in one 5000-entry catalog built by msgfmt: ours
// (TranslateInDomain, wide text in and out) against glibc's dgettext on the
// very same file, for keys that are present and keys that are not. The
// ratios are printed after the runs.
#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <libintl.h>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "base/WideText.h"
#include "i18n/gnugettext.h"

namespace {

constexpr int EntryCount = 5000;
const char* const Domain = "benchdomain";

struct TFixture {
  std::filesystem::path Dir;
  std::vector<std::string> HitKeys, MissKeys;
  std::vector<std::u16string> WideHitKeys, WideMissKeys;
  std::unique_ptr<TGnuGettextInstance> Instance;

  TFixture() {
    char Pattern[] = "/tmp/hxt24-bench-XXXXXX";
    Dir = mkdtemp(Pattern);
    std::filesystem::create_directories(Dir / "de_DE/LC_MESSAGES");
    std::mt19937 Random(42);
    std::ofstream Po(Dir / "bench.po");
    Po << "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
    for (int i = 0; i < EntryCount; ++i) {
      // Texts shaped like the program's messages: shared prefixes, 20-60 bytes.
      const std::string Key = "Failed to set data for item " +
                              std::to_string(Random() % 100000000) + " of group " +
                              std::to_string(i);
      HitKeys.push_back(Key);
      MissKeys.push_back(Key + " (absent)");
      Po << "msgid \"" << Key << "\"\nmsgstr \"Daten für Eintrag " << i << " nicht gesetzt\"\n\n";
    }
    Po.close();
    const std::string Command = "msgfmt -o " + (Dir / "de_DE/LC_MESSAGES" / Domain).string() +
                                ".mo " + (Dir / "bench.po").string();
    if (std::system(Command.c_str()) != 0)
      std::abort();
    std::shuffle(HitKeys.begin(), HitKeys.end(), Random);
    std::shuffle(MissKeys.begin(), MissKeys.end(), Random);
    for (const auto& Key : HitKeys)
      WideHitKeys.push_back(Utf8ToUtf16(Key));
    for (const auto& Key : MissKeys)
      WideMissKeys.push_back(Utf8ToUtf16(Key));

    setlocale(LC_ALL, "C.UTF-8");
    setenv("LANGUAGE", "de_DE", 1);
    setenv("LANG", "de_DE", 1);
    bindtextdomain(Domain, Dir.c_str());
    bind_textdomain_codeset(Domain, "UTF-8");
    Instance = std::make_unique<TGnuGettextInstance>();
    Instance->BindDomain(Domain, Dir.string());
    // Both open their catalog before timing starts.
    if (Instance->TranslateInDomain(Domain, WideHitKeys[0]) == WideHitKeys[0] ||
        std::string(dgettext(Domain, HitKeys[0].c_str())) == HitKeys[0])
      std::abort();
  }
  ~TFixture() {
    std::error_code Ignored;
    std::filesystem::remove_all(Dir, Ignored);
  }
};

TFixture& Fixture() {
  static TFixture Instance;
  return Instance;
}

void Ours(benchmark::State& State, const std::vector<std::u16string>& Keys) {
  TGnuGettextInstance& Instance = *Fixture().Instance;
  std::size_t i = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(Instance.TranslateInDomain(Domain, Keys[i]));
    if (++i == Keys.size())
      i = 0;
  }
}

void Glibc(benchmark::State& State, const std::vector<std::string>& Keys) {
  std::size_t i = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(dgettext(Domain, Keys[i].c_str()));
    if (++i == Keys.size())
      i = 0;
  }
}

void BM_OursHit(benchmark::State& State) {
  Ours(State, Fixture().WideHitKeys);
}
void BM_GlibcHit(benchmark::State& State) {
  Glibc(State, Fixture().HitKeys);
}
void BM_OursMiss(benchmark::State& State) {
  Ours(State, Fixture().WideMissKeys);
}
void BM_GlibcMiss(benchmark::State& State) {
  Glibc(State, Fixture().MissKeys);
}

BENCHMARK(BM_GlibcHit)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_OursHit)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_GlibcMiss)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_OursMiss)->Repetitions(5)->ReportAggregatesOnly(true);

// Keeps the median CPU time of each benchmark (the machine is shared, so
// wall-clock time measures the neighbours too) so the ratios can be printed at the end.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& Runs) override {
    for (const Run& R : Runs)
      if (R.aggregate_name == "median")
        Medians[R.run_name.function_name] = R.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(Runs);
  }
  std::map<std::string, double> Medians;
};

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Fixture();
  TRatioReporter Reporter;
  benchmark::RunSpecifiedBenchmarks(&Reporter);
  auto& M = Reporter.Medians;
  for (const char* Kind : {"Hit", "Miss"}) {
    const std::string O = std::string("BM_Ours") + Kind, G = std::string("BM_Glibc") + Kind;
    if (M.count(O) && M.count(G))
      std::printf("%-4s ours %.1f ns, glibc %.1f ns, ratio %.2f (target <= 1.00)\n", Kind, M[O],
                  M[G], M[O] / M[G]);
  }
  benchmark::Shutdown();
  return 0;
}
