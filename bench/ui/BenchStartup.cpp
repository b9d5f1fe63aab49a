// Start-up of the program to the first paint of its main window, with a
// schedule of 999 groups and a catalog of 1,000 reports, on Qt's offscreen
// platform. Goal: under one second.
//
//   bench_ui_startup [--runs 5] [--groups 999] [--reports 1000]
//
// The harness writes the folder once, then starts itself as a child process
// per run; the child builds the window as the program does (real scheduler
// runtime, report engine opened, schedule file and catalogs read) and
// prints when the first paint event reaches the window. A run's figure is
// taken by the parent from just before it starts the child to the child's
// line, so it includes loading the program and its libraries.
#include "ui/app/AppShell.h"
#include "ui/app/RuntimeAdapter.h"
#include "ui/app/ScheduleMain.h"
#include "core/schedule/ScheduleDataDef.h"
#include "engine/TRpe.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string Hex(const std::string& line) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : line + "\r\n") {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

void WriteFolder(const std::string& dir, int groups, int reports) {
    std::ofstream cat(dir + "MVReports.MVF");
    cat << "[Reports Category]\n";
    for (int c = 0; c < 10; ++c) cat << "C" << c << "=Category " << c << "\n";
    cat << "[CategoryType]\n";
    for (int c = 0; c < 10; ++c) cat << "C" << c << "=0\n";
    cat << "[CategoryIndex]\n";
    for (int c = 0; c < 10; ++c) cat << "C" << c << "=" << c + 1 << "\n";
    cat << "[Reports Settings]\n";
    for (int r = 1; r <= reports; ++r) cat << "R" << r << "=1\n";
    for (int c = 0; c < 10; ++c) {
        cat << "[C" << c << "]\n";
        for (int r = 1 + c; r <= reports; r += 10) cat << "R" << r << "=1\n";
    }
    for (int r = 1; r <= reports; ++r)
        cat << "[R" << r << "]\nReport Type=0\nReport Title=Report number " << r
            << "\nReport File Name=reports/r" << r << ".xml\nReport Enabled=1\nReport Prompt=0\n"
            << "Report Time Range=1\nReport Time Range Style=0\nReport Filter=0\nReport Site Lists=1\n"
            << "Report Sensor Lists=1\nReport Special Type=0\nReport Category=C" << r % 10 << "\n";
    std::ofstream(dir + "MVRptUsr.MVF") << "[Reports Category]\n[Reports Settings]\n";

    // Every group enabled and due tomorrow, so that nothing runs while measured.
    std::ofstream s(dir + "MVVidUduzadev.MVF");
    s << "[VidUduzadevr]\nLogDetail=1\nListViewStyle=0\nGroupNames=";
    for (int g = 1; g <= groups; ++g) s << (g > 1 ? "," : "") << "RptSchGroup:" << g;
    s << "\nLogMessage=0\n\n";
    const std::string stations = Hex("FTC01") + Hex("LOV01") + Hex("GRE01");
    for (int g = 1; g <= groups; ++g)
        s << "[RptSchGroup:" << g << "]\nRGIndex=" << g << "\nEnabled=1\nReportKey=R" << (g - 1) % reports + 1
          << "\nBaseTime=0" << g % 10 << ":" << 10 + g % 50 << ":00\nIntType=" << g % 7
          << "\nInterval=00:15:00\nIntervalDays=0\nStartFrom=Tomorrow\nOutput=2\nOutputDir=" << dir
          << "out\nOutputName=g" << g << " yyyymmdd hhmi\nOutputFormat=" << g % 6
          << "\nTimeFrom=Yesterday\nTimeTo=Today\nStations=" << stations << "\nSensors=" << Hex("RAIN")
          << "\nOtherParams=\nSpecialParams=" << Hex("pReportTime") << "\n\n";
}

// The child: the program's start-up up to the first paint of the main window.
int Child(int argc, char** argv, const std::string& dir) {
    const auto mainEntered = Clock::now();
    const bool headless = mv::ui::PrepareHeadless();
    QApplication app(argc, argv);
    mv::ui::TMainWindowOptions options;
    options.AppDir = dir;
    options.Headless = headless;
    options.OpenReportEngine = [](mv::TRpe& binding) { binding.OpenPrintEngine(); };
    mv::ui::UseSchedulerRuntime(options);
    mv::ui::TfrmVidUduzadevrMain window(std::move(options));

    struct TFirstPaint : QObject {
        QWidget* Window = nullptr;
        Clock::time_point Entered;
        bool Seen = false;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (!Seen && e->type() == QEvent::Paint && o->isWidgetType() &&
                static_cast<QWidget*>(o)->window() == Window) {
                Seen = true;
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - Entered).count();
                auto* main = static_cast<mv::ui::TfrmVidUduzadevrMain*>(Window);
                std::printf("painted %.1f %d\n", ms, main->ScheduleGroups().Count());
                std::fflush(stdout);
                QTimer::singleShot(0, main, [main] { main->ShutdownNow(); });
            }
            return false;
        }
    } filter;
    filter.Window = &window;
    filter.Entered = mainEntered;
    app.installEventFilter(&filter);
    window.show();
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child") return Child(argc, argv, argv[2]);

    int runs = 5, groups = 999, reports = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--runs") runs = std::atoi(argv[i + 1]);
        else if (a == "--groups") groups = std::atoi(argv[i + 1]);
        else if (a == "--reports") reports = std::atoi(argv[i + 1]);
    }
    char tmpl[] = "/tmp/mv-bench-ui-XXXXXX";
    const std::string dir = std::string(mkdtemp(tmpl)) + "/";
    WriteFolder(dir, groups, reports);
    setenv("MV_RPENG_LIBRARY", RPENG32, 1);
    setenv("MV_REGISTRY_FILE", (dir + "none.reg").c_str(), 1);  // no connection: the database is not measured
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

    const std::string self = fs::canonical("/proc/self/exe").string();
    std::vector<double> total, inMain;
    for (int r = 0; r < runs; ++r) {
        const std::string command = "'" + self + "' --child '" + dir + "' 2>/dev/null";
        const auto started = Clock::now();
        FILE* child = popen(command.c_str(), "r");
        if (!child) return 1;
        char line[128] = {};
        double mainMs = -1;
        int read = -1;
        while (std::fgets(line, sizeof line, child))
            if (std::sscanf(line, "painted %lf %d", &mainMs, &read) == 2) break;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        while (std::fgets(line, sizeof line, child)) {
        }
        pclose(child);
        if (mainMs < 0) {
            std::fprintf(stderr, "run %d: the window was never painted\n", r + 1);
            return 1;
        }
        if (read != groups) {
            std::fprintf(stderr, "run %d: %d groups read at the first paint, not %d\n", r + 1, read, groups);
            return 1;
        }
        total.push_back(ms);
        inMain.push_back(mainMs);
        std::printf("run %d: %.0f ms from process start to first paint (%.0f ms of it after main() began)\n", r + 1,
                    ms, mainMs);
    }
    std::sort(total.begin(), total.end());
    std::sort(inMain.begin(), inMain.end());
    const double median = total[total.size() / 2];
    std::printf("groups %d, reports %d: median %.0f ms (%.0f ms after main()), goal < 1000 ms: %s\n", groups, reports,
                median, inMain[inMain.size() / 2], median < 1000 ? "met" : "MISSED");
    fs::remove_all(dir);
    return median < 1000 ? 0 : 1;
}
