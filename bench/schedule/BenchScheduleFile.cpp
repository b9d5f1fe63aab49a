// Load and save of a schedule file of many large groups (500 stations, 500
// sensors and 20 parameters each). The cost should grow linearly with the
// number of groups: the file is parsed once and written once, whole.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "core/schedule/ReportLookup.h"
#include "core/schedule/ReportItem.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/ScheduleFile.h"

namespace {

class TAnyReport : public mv::IReportLookup {
public:
    void FindReport(const std::string& key, mv::TReportItem& item) const override
    {
        item.Key = key;
        item.Title = "Benchmark report";
        item.TimeRange = true;
    }
};

const TAnyReport kLookup;

std::string BenchFolder()
{
    auto dir = std::filesystem::temp_directory_path() / ("mv-bench-schedule-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

void FillGroups(mv::TVidUduzadevGroups& groups, int count)
{
    for (int i = 1; i <= count; ++i) {
        auto g = std::make_unique<mv::TVidUduzadevGroupItem>();
        g->RGIndex = i;
        g->GroupName = "RptSchGroup:" + std::to_string(i);
        g->Enabled = true;
        g->Report.Key = "DailyRain";
        g->StartFrom = "01/31/2024 06:00:00";
        g->OutputDir = "/srv/reports/group" + std::to_string(i);
        g->OutputName = "report_yyyymmdd_hhnn";
        g->TimeFrom = "Yesterday";
        g->TimeTo = "Today";
        for (int s = 0; s < 500; ++s) {
            g->Stations.push_back("ST" + std::to_string(100000 + s));
            g->Sensors.push_back("SENSOR_" + std::to_string(s % 40));
        }
        for (int p = 0; p < 20; ++p)
            g->OtherParams.push_back("Param" + std::to_string(p) + "=value " + std::to_string(p * i));
        groups.Add(std::move(g));
    }
}

// Writes the file of `count` groups once and returns its path.
std::string MakeFile(int count)
{
    static const std::string dir = BenchFolder();
    const std::string path = dir + "/groups" + std::to_string(count) + ".mvf";
    if (!std::filesystem::exists(path)) {
        mv::TVidUduzadevGroups groups;
        FillGroups(groups, count);
        mv::TScheduleFile file(path, groups, kLookup, nullptr);
        file.Open();
        file.SaveScheduleFile();
    }
    return path;
}

void BM_LoadScheduleFile(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = MakeFile(count);
    for (auto _ : state) {
        mv::TVidUduzadevGroups groups;
        mv::TScheduleFile file(path, groups, kLookup, nullptr);
        file.Open();
        file.LoadStartupSettings();
        if (groups.Count() != count)
            state.SkipWithError("not every group was read");
        benchmark::DoNotOptimize(groups);
    }
    state.SetComplexityN(count);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
}

// The periodic save: every group written over its own section, the whole
// file replaced and synced to disk.
void BM_SaveScheduleFile(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::string path = MakeFile(count);
    mv::TVidUduzadevGroups groups;
    mv::TScheduleFile file(path, groups, kLookup, nullptr);
    file.Open();
    file.LoadStartupSettings();
    int n = 0;
    for (auto _ : state) {
        // A changed start per save, as after the jobs of a period.
        groups.Items(0).StartFrom = "02/01/2024 06:00:" + std::to_string(10 + n++ % 50);
        file.SaveScheduleFile();
    }
    state.SetComplexityN(count);
}

// The first save of groups into a new file: every key appended.
void BM_SaveNewScheduleFile(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    static const std::string dir = BenchFolder();
    const std::string path = dir + "/new" + std::to_string(count) + ".mvf";
    mv::TVidUduzadevGroups groups;
    FillGroups(groups, count);
    for (auto _ : state) {
        std::filesystem::remove(path);
        mv::TScheduleFile file(path, groups, kLookup, nullptr);
        file.Open();
        file.SaveScheduleFile();
    }
    state.SetComplexityN(count);
}

BENCHMARK(BM_LoadScheduleFile)->Arg(100)->Arg(300)->Arg(999)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_SaveScheduleFile)->Arg(100)->Arg(300)->Arg(999)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(BM_SaveNewScheduleFile)->Arg(100)->Arg(300)->Arg(999)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                    ("mv-bench-schedule-" + std::to_string(::getpid())),
                                ec);
    return 0;
}
