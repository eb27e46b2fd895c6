// Tessary start-up: time from process start to the main window shown and painted, and resident
// memory once idle. Runs the measurement in fresh child processes (offscreen) and prints each
// run and the median.
//
//   startup_bench [runs]      default 5 runs

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/qt/qt_dialog_host.h"
#include "setuptool/main_window.h"

namespace {

// Seconds since boot at which this process started (/proc/self/stat field 22).
double ProcessStartSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = content.rfind(')');  // the command name may hold blanks
    std::istringstream fields(content.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double UptimeSeconds() {
    std::ifstream uptime("/proc/uptime");
    double seconds = 0;
    uptime >> seconds;
    return seconds;
}

long ResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// One start-up in this process; prints "<ms since process start> <ms since main> <rss kB>".
int Child(int argc, char** argv, std::chrono::steady_clock::time_point mainEntered) {
    QApplication app(argc, argv);
    QTemporaryDir workDir;
    setuptool::MainWindowConfig config;
    config.replyPort = 0;  // beside a running copy
    config.workDir = workDir.path().toStdString();
    config.exitProgram = [](int) {};
    platform::QtDialogHost host(setuptool::MainWindow::Layout());
    setuptool::MainWindow window(std::move(config));
    host.Attach(window);
    if (window.Initialise() != setuptool::StartResult::Ready) return 1;
    host.show();
    if (!QTest::qWaitForWindowExposed(&host, 5000)) return 1;
    host.grab();  // the first full paint
    const double sinceStartMs = (UptimeSeconds() - ProcessStartSeconds()) * 1000.0;
    const double sinceMainMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - mainEntered)
            .count();
    // Idle: the serial probe has finished and the event loop is quiet.
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    std::printf("%.1f %.1f %ld\n", sinceStartMs, sinceMainMs, ResidentKilobytes());
    std::fflush(stdout);
    _exit(0);  // as the program does: its threads end with the process
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const auto mainEntered = std::chrono::steady_clock::now();
    if (argc > 1 && std::string(argv[1]) == "--child") return Child(argc, argv, mainEntered);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> startMs, mainMs, rssMb;
    std::printf("run  start->shown(ms)  main->shown(ms)  idle VmRSS(MB)\n");
    for (int run = 1; run <= runs; ++run) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--child")});
        if (!child.waitForFinished(30000) || child.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed\n", run);
            return 1;
        }
        double start = 0, sinceMain = 0;
        long rss = 0;
        if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %lf %ld", &start,
                        &sinceMain, &rss) != 3) {
            std::fprintf(stderr, "run %d printed nothing usable\n", run);
            return 1;
        }
        startMs.push_back(start);
        mainMs.push_back(sinceMain);
        rssMb.push_back(rss / 1024.0);
        std::printf("%3d  %16.1f  %15.1f  %14.1f\n", run, start, sinceMain, rss / 1024.0);
    }
    std::printf(
        "median start->shown %.1f ms (target < 300), main->shown %.1f ms, idle VmRSS %.1f MB "
        "(target < 60)\n",
        Median(startMs), Median(mainMs), Median(rssMb));
    return 0;
}
