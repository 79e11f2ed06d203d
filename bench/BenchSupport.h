#pragma once
// Timing helpers for the benchmark programs: run a step n times, report the median.

#include "app/ProcessEnd.h"
#include "store/Schema.h"
#include "server/ServerEngine.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

static const bool kServerEngineInstalled = (serverstore::install(), true);

inline double medianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Times body n times (after one warm-up run) and returns the median in milliseconds.
inline double timeMedian(int n, const std::function<void()> &body, const std::function<void()> &before = {})
{
    std::vector<double> ms;
    for (int i = 0; i <= n; ++i) {
        if (before)
            before();
        QElapsedTimer t;
        t.start();
        body();
        if (i > 0)
            ms.push_back(t.nsecsElapsed() / 1e6);
    }
    return medianMs(ms);
}

// Starts this program again with args (offscreen) and times it until the child prints "shown".
inline double timeChildStart(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), args);
    while (!p.readAllStandardOutput().contains("shown")) {
        if (!p.waitForReadyRead(20000)) {
            std::fprintf(stderr, "child did not show its window: %s\n", p.readAllStandardError().constData());
            std::exit(1);
        }
    }
    const double ms = t.nsecsElapsed() / 1e6;
    p.waitForFinished(20000);
    return ms;
}

inline void report(const char *what, double ms, const char *baselineName, double baselineMs, double targetMs)
{
    std::printf("%-44s median %8.2f ms   %-28s %8.2f ms   ratio %5.2f   target < %.1f ms  %s\n", what, ms,
                baselineName, baselineMs, baselineMs > 0 ? ms / baselineMs : 0.0, targetMs,
                ms < targetMs ? "ok" : "MISSED");
    std::fflush(stdout);
}

// Fresh delivered data files in a temporary folder, seeded by the caller in one transaction.
struct BenchData {
    QTemporaryDir dir;
    QString folder = dir.path() + "/data/";
    explicit BenchData(const std::function<void(Db &perm)> &seed)
    {
        setEndOwnProcessHook([](QWidget *) {});
        if (!schema::createMissingFiles(folder))
            std::exit(1);
        Db perm("seed");
        perm.open(folder + schema::kPermFileName);
        perm.transaction([&]() -> DbResult {
            seed(perm);
            return {};
        });
    }
};
