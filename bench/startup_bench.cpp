// Start-up to first window shown, for the whole process, and the idle window's peak memory.
// Starts itself as the tool again and again (offscreen); each child reports the moment its window
// has been shown and painted, then its peak resident memory after a second of idling.
#include "app/application.h"
#include "ui/veltora_motor.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

long long monotonic_us() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

long peak_resident_kib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    const auto peak = std::find_if(lines.begin(), lines.end(), [](const QByteArray &line) {
        return line.startsWith("VmHWM:");
    });
    return peak == lines.end() ? -1 : peak->mid(6).trimmed().split(' ').first().toLong();
}

class ShownProbe : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && qobject_cast<Veltora_Motor *>(watched) != nullptr &&
            !seen_) {
            seen_ = true;
            auto *window = static_cast<Veltora_Motor *>(watched);
            QTimer::singleShot(0, window, [window] {
                std::printf("shown %lld\n", monotonic_us());
                QTimer::singleShot(1000, window, [window] {
                    std::printf("peak %ld\n", peak_resident_kib());
                    std::fflush(stdout);
                    window->close();
                });
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

void watch_for_window() {
    if (QCoreApplication::arguments().contains(QStringLiteral("--child")))
        qApp->installEventFilter(new ShownProbe);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(watch_for_window)

int main(int argc, char *argv[]) {
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return run_application(argc, argv);

    // The customer form stores its fields; keep them out of the user's own settings.
    const QTemporaryDir home;
    const int runs = 15;
    std::vector<double> startups;
    std::vector<long> peaks;
    for (int run = 0; run < runs; ++run) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        child.setProcessEnvironment(environment);
        const long long started = monotonic_us();
        child.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--child")});
        child.waitForFinished(30000);
        long long shown = 0;
        long peak = 0;
        for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
            if (line.startsWith("shown "))
                shown = line.mid(6).toLongLong();
            if (line.startsWith("peak "))
                peak = line.mid(5).toLong();
        }
        startups.push_back(static_cast<double>(shown - started) / 1000.0);
        peaks.push_back(peak);
    }
    std::sort(startups.begin(), startups.end());
    std::sort(peaks.begin(), peaks.end());
    std::printf("start-up to window shown: median %.1f ms (min %.1f, max %.1f) over %d runs\n",
                startups[runs / 2], startups.front(), startups.back(), runs);
    std::printf("peak resident memory of the idle window: median %.1f MiB (max %.1f)\n",
                static_cast<double>(peaks[runs / 2]) / 1024.0,
                static_cast<double>(peaks.back()) / 1024.0);
    return 0;
}
