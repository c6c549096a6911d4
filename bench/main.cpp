// bench_tools: times every job of the converter and the account inspector on
// a large generated server folder, next to the raw file-system floor of the
// same work, and prints one table. See the Benchmark section of README.md.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bench/fs_util.h"
#include "bench/jobs.h"
#include "bench/measure.h"
#include "bench/server_folder.h"

namespace {

using bench::Sample;

struct Options {
  int records = 32767;
  int small = 1000;
  int accounts = 10000;
  int reps = 3;
  std::string dir;
  bool keep = false;
  std::set<std::string> only;  // empty: every job
};

[[noreturn]] void Usage(const char* why) {
  std::fprintf(stderr,
               "%s\nusage: bench_tools [--records N] [--small N] [--accounts N] [--reps N]\n"
               "                   [--dir FOLDER] [--keep] [--only items,spells,NPCs,shops,\n"
               "                    signs,maps,maps98,accounts]\n",
               why);
  std::exit(2);
}

int PositiveNumber(const char* text, int limit) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (!end || *end != '\0' || v < 1 || v > limit) Usage("a size must be a whole number in range");
  return static_cast<int>(v);
}

std::string DefaultFolder() {
  // A memory file system by default: it takes the disk's flush latency out
  // of both the jobs and their floors, so that the ratio shows the tools'
  // own overhead and the run stays short.
  struct stat st;
  if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) {
    return "/dev/shm";
  }
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) Usage(("missing value after " + arg).c_str());
      return argv[++i];
    };
    if (arg == "--records")
      o.records = PositiveNumber(value(), 32767);
    else if (arg == "--small")
      o.small = PositiveNumber(value(), 32767);
    else if (arg == "--accounts")
      o.accounts = PositiveNumber(value(), 1000000);
    else if (arg == "--reps")
      o.reps = PositiveNumber(value(), 100);
    else if (arg == "--dir")
      o.dir = value();
    else if (arg == "--keep")
      o.keep = true;
    else if (arg == "--only") {
      std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        if (comma > start) o.only.insert(list.substr(start, comma - start));
        start = comma + 1;
      }
    } else {
      Usage(("unknown argument " + arg).c_str());
    }
  }
  if (o.dir.empty()) o.dir = DefaultFolder();
  return o;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// The medians of one job's repetitions.
struct Row {
  Row(std::string j, int n, std::string l) : job(std::move(j)), records(n), loop(std::move(l)) {}
  std::string job;
  int records = 0;
  std::string loop;  // "yes", "no" or "-"
  double seconds = 0;
  double floor = 0;
  long peakKb = 0;  // the highest of the repetitions
  std::string failure;
  double ratio() const { return floor > 0 ? seconds / floor : 0; }
};

// Takes the sample, or notes why it failed; returns whether it succeeded.
bool Take(const Sample& s, std::vector<double>& times, long* peakKb, std::string* failure) {
  if (!s.ok) {
    if (failure->empty()) *failure = s.note;
    return false;
  }
  times.push_back(s.seconds);
  if (peakKb) *peakKb = std::max(*peakKb, s.peakKb);
  return true;
}

void Progress(const std::string& what) {
  std::fprintf(stderr, "  %s\n", what.c_str());
  std::fflush(stderr);
}

std::string Seconds(double s) {
  char buf[32];
  if (s >= 1)
    std::snprintf(buf, sizeof buf, "%.2f s", s);
  else if (s >= 1e-3)
    std::snprintf(buf, sizeof buf, "%.2f ms", s * 1e3);
  else
    std::snprintf(buf, sizeof buf, "%.1f us", s * 1e6);
  return buf;
}

// Runs one job `reps` times with and without the event loop, and its floor,
// on a freshly emptied output folder each time; every run's files are
// checked against the reference output.
std::vector<Row> MeasureConversion(const bench::ConversionInfo& job, const std::string& folder,
                                   const std::string& refRoot, int max, int reps) {
  const std::string output = folder + "/" + job.output;
  const std::string reference = refRoot + "/" + std::to_string(max) + "-" +
                                (job.job == bench::Conversion::kMaps98 ? "maps98" : job.output);
  bench::ClearFolder(output);
  Progress(std::string(job.name) + " x " + std::to_string(max) + ": reference run");
  Sample warm =
      bench::MeasureInChild([&] { return bench::RunConversion(job, folder, max, false); });
  Row withLoop(job.name, max, "yes"), without(job.name, max, "no");
  if (!warm.ok) {
    withLoop.failure = without.failure = warm.note;
    return {withLoop, without};
  }
  bench::RemoveTree(reference);
  if (rename(output.c_str(), reference.c_str()) != 0)
    throw std::runtime_error("cannot keep " + output);
  bench::MakeFolders(output);

  std::vector<double> loopTimes, plainTimes, floorTimes;
  std::string floorFailure;
  auto checked = [&](Sample s) {
    if (s.ok) {
      std::string diff = bench::CompareFolders(reference, output);
      if (!diff.empty()) {
        s.ok = false;
        s.note = diff;
      }
    }
    bench::ClearFolder(output);
    return s;
  };
  for (int r = 0; r < reps; ++r) {
    Progress(std::string(job.name) + " x " + std::to_string(max) + ": repetition " +
             std::to_string(r + 1) + " of " + std::to_string(reps));
    Take(checked(
             bench::MeasureInChild([&] { return bench::RunConversion(job, folder, max, true); })),
         loopTimes, &withLoop.peakKb, &withLoop.failure);
    Take(checked(
             bench::MeasureInChild([&] { return bench::RunConversion(job, folder, max, false); })),
         plainTimes, &without.peakKb, &without.failure);
    Take(checked(bench::MeasureInChild(
             [&] { return bench::RunConversionFloor(job, folder, reference, max); })),
         floorTimes, nullptr, &floorFailure);
  }
  // Leave the job's own output behind, as after a real conversion.
  bench::RemoveTree(output);
  if (rename(reference.c_str(), output.c_str()) != 0)
    throw std::runtime_error("cannot restore " + output);
  for (Row* row : {&withLoop, &without}) {
    if (!floorFailure.empty() && row->failure.empty()) row->failure = "floor: " + floorFailure;
  }
  withLoop.seconds = Median(loopTimes);
  without.seconds = Median(plainTimes);
  withLoop.floor = without.floor = Median(floorTimes);
  return {withLoop, without};
}

std::vector<Row> MeasureAccounts(const Options& o, const std::string& folder) {
  std::vector<Row> rows;
  const int itemFiles = o.records;
  {
    Row row("list accounts", o.accounts, "-");
    std::vector<double> times, floors;
    const int iterations = 5;
    Progress("account listing");
    for (int r = 0; r < o.reps; ++r) {
      Take(bench::MeasureInChild([&] { return bench::RunListing(folder, o.accounts, iterations); }),
           times, &row.peakKb, &row.failure);
      Take(bench::MeasureInChild(
               [&] { return bench::RunListingFloor(folder, o.accounts, iterations); }),
           floors, nullptr, &row.failure);
    }
    row.seconds = Median(times);
    row.floor = Median(floors);
    rows.push_back(row);
  }
  {
    // Ten accounts spread over the folder, each shown once per repetition.
    std::vector<int> shown;
    for (int k = 0; k < 10; ++k)
      shown.push_back(static_cast<int>(static_cast<long long>(k) * o.accounts / 10));
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    Row row("show one account", 300, "-");
    std::vector<double> times, floors;
    Progress("account view");
    for (int r = 0; r < o.reps; ++r) {
      Take(bench::MeasureInChild([&] { return bench::RunShow(folder, shown); }), times, &row.peakKb,
           &row.failure);
      Take(bench::MeasureInChild([&] { return bench::RunShowFloor(folder, shown, itemFiles); }),
           floors, nullptr, &row.failure);
    }
    row.seconds = Median(times);
    row.floor = Median(floors);
    rows.push_back(row);
  }
  {
    Row row("wipe inventories", o.accounts, "-");
    std::vector<double> times, floors;
    // Each run starts from full inventories and must leave exactly the
    // wiped text behind.
    auto checked = [&](Sample s) {
      if (s.ok) {
        for (int a = 0; a < o.accounts; ++a) {
          const std::string path = folder + "/Accounts/" + bench::AccountFileName(a);
          if (bench::ReadWholeFile(path) != bench::AccountText(a, itemFiles, true)) {
            s.ok = false;
            s.note = path + " is not the wiped account";
            break;
          }
        }
      }
      bench::RestoreAccounts(folder, o.accounts, itemFiles);
      return s;
    };
    for (int r = 0; r < o.reps; ++r) {
      Progress("inventory wipe: repetition " + std::to_string(r + 1) + " of " +
               std::to_string(o.reps));
      Take(checked(bench::MeasureInChild([&] { return bench::RunWipe(folder, o.accounts); })),
           times, &row.peakKb, &row.failure);
      Take(checked(bench::MeasureInChild(
               [&] { return bench::RunWipeFloor(folder, o.accounts, itemFiles); })),
           floors, nullptr, &row.failure);
    }
    row.seconds = Median(times);
    row.floor = Median(floors);
    rows.push_back(row);
  }
  return rows;
}

bool Wanted(const Options& o, const std::string& name) {
  return o.only.empty() || o.only.count(name);
}

std::string OnlyName(const bench::ConversionInfo& job) {
  return job.job == bench::Conversion::kMaps98 ? "maps98" : job.name;
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf(
      "\n| job | records | event loop | time | floor | ratio | per record | peak memory |\n");
  std::printf("|---|---:|:---:|---:|---:|---:|---:|---:|\n");
  for (const Row& r : rows) {
    if (!r.failure.empty()) {
      std::printf("| %s | %d | %s | FAILED: %s | | | | |\n", r.job.c_str(), r.records,
                  r.loop.c_str(), r.failure.c_str());
      continue;
    }
    std::printf("| %s | %d | %s | %s | %s | %.2f | %s | %.1f MB |\n", r.job.c_str(), r.records,
                r.loop.c_str(), Seconds(r.seconds).c_str(), Seconds(r.floor).c_str(), r.ratio(),
                Seconds(r.seconds / r.records).c_str(), r.peakKb / 1024.0);
  }
}

// Checks the targets and prints one line per target; returns the misses.
int PrintTargets(const std::vector<Row>& rows, int small, int large) {
  int missed = 0;
  std::printf("\nTargets:\n");
  auto verdict = [&](bool met, const std::string& text) {
    if (!met) ++missed;
    std::printf("  %-6s %s\n", met ? "met" : "MISSED", text.c_str());
  };
  char buf[256];
  std::map<std::string, const Row*> byKey;
  for (const Row& r : rows) byKey[r.job + "|" + std::to_string(r.records) + "|" + r.loop] = &r;
  for (const Row& r : rows) {
    if (!r.failure.empty()) {
      verdict(false, r.job + " x " + std::to_string(r.records) + ": did not run cleanly");
      continue;
    }
    double limit = r.job == "shops" ? 2.0 : 1.5;
    if (r.job == "list accounts" || r.job == "show one account") limit = 2.0;
    std::snprintf(buf, sizeof buf, "%s x %d%s: %.2f times the floor (limit %.1f)", r.job.c_str(),
                  r.records,
                  r.loop == "yes"  ? " with event loop"
                  : r.loop == "no" ? " without"
                                   : "",
                  r.ratio(), limit);
    verdict(r.ratio() <= limit, buf);
  }
  for (const Row& r : rows) {
    if (r.records != large || r.loop == "-" || !r.failure.empty()) continue;
    auto it = byKey.find(r.job + "|" + std::to_string(small) + "|" + r.loop);
    if (it == byKey.end() || !it->second->failure.empty()) continue;
    const double perLarge = r.seconds / large, perSmall = it->second->seconds / small;
    std::snprintf(buf, sizeof buf, "%s%s: per record %.2f times that at %d (limit 1.3)",
                  r.job.c_str(), r.loop == "yes" ? " with event loop" : " without",
                  perLarge / perSmall, small);
    verdict(perLarge / perSmall <= 1.3, buf);
  }
  for (const Row& r : rows) {
    if (r.job != "items" || r.records != large || !r.failure.empty()) continue;
    std::snprintf(buf, sizeof buf, "items x %d%s: peak memory %.1f MB (limit 100 MB)", large,
                  r.loop == "yes" ? " with event loop" : " without", r.peakKb / 1024.0);
    verdict(r.peakKb < 100 * 1024, buf);
  }
  return missed;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string root = o.dir + "/bench_tools-" + std::to_string(getpid());
  const std::string large = root + "/server";
  const std::string small = root + "/server-small";
  const std::string refs = root + "/reference";
  int missed = 0;
  try {
    const double start = bench::Now();
    std::fprintf(stderr, "Making the server folders in %s ...\n", root.c_str());
    bench::MakeFolders(refs);
    // Qt wants a private runtime folder; give it one inside the scratch
    // folder rather than let it complain on every measurement.
    if (!std::getenv("XDG_RUNTIME_DIR")) {
      const std::string runtime = root + "/runtime";
      bench::MakeFolders(runtime);
      chmod(runtime.c_str(), 0700);
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    bench::MakeServerFolder(large, {o.records, o.accounts, o.records});
    bench::MakeServerFolder(small, {o.small, 0, 0});
    std::fprintf(stderr, "  done in %.1f s\n", bench::Now() - start);
    // Hand the generator's freed memory back, so that a measuring child does
    // not start with it counted in its peak.
    malloc_trim(0);
    const Sample idle = bench::MeasureInChild([] { return 0.0; });

    std::vector<Row> rows;
    // The account jobs read the profile-layout item files, which the item
    // conversion overwrites, so they go first.
    if (Wanted(o, "accounts")) {
      for (Row& r : MeasureAccounts(o, large)) rows.push_back(r);
    }
    for (const auto& [folder, max] : {std::pair{small, o.small}, std::pair{large, o.records}}) {
      for (const bench::ConversionInfo& job : bench::Conversions()) {
        if (!Wanted(o, OnlyName(job))) continue;
        for (Row& r : MeasureConversion(job, folder, refs, max, o.reps)) rows.push_back(r);
      }
    }
    // One job's rows together, smaller runs first, in the order of the pages.
    auto rank = [](const Row& r) {
      const auto& jobs = bench::Conversions();
      for (size_t i = 0; i < jobs.size(); ++i) {
        if (r.job == jobs[i].name) return static_cast<int>(i);
      }
      return static_cast<int>(jobs.size());
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      return std::pair(rank(a), a.records) < std::pair(rank(b), b.records);
    });
    std::printf("Medians of %d repetitions; folder %s; %.0f s in all.\n", o.reps, o.dir.c_str(),
                bench::Now() - start);
    std::printf("A measuring child that does nothing peaks at %.1f MB (the program itself).\n",
                idle.peakKb / 1024.0);
    PrintTable(rows);
    missed = PrintTargets(rows, o.small, o.records);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_tools: %s\n", e.what());
    if (!o.keep) bench::RemoveTree(root);
    return 1;
  }
  if (!o.keep)
    bench::RemoveTree(root);
  else
    std::fprintf(stderr, "The folders are kept in %s\n", root.c_str());
  return missed == 0 ? 0 : 3;
}
