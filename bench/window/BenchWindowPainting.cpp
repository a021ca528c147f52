// The download loop's use of the window: for every 512-byte read, yield to the message loop, set
// the progress bar and the byte counter, and redraw the counter. Measured with the real window
// QtMainWindow against its peer, the same controls painted on every change, in the same run.
//
//   window_painting_bench [--reads N] [--runs N]
//
// Run it on a display (Xvfb: xvfb-run -a window_painting_bench); without one Qt's offscreen
// platform paints into memory only.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/qt/QtMainWindow.h"
#include "platform/qt/QtEnvironment.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The real window, as the download loop drives it.
double RunWindow(int reads) {
    QtMainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    window.ShowCentred();
    window.SetVisible(Control::LblUkupno3, true);
    window.SetProgressMax(static_cast<float>(reads) * 512.0f);
    QApplication::processEvents();
    const auto start = Clock::now();
    for (int read = 1; read <= reads; ++read) {
        window.DoEvents();
        window.SetProgressValue(static_cast<float>(read) * 512.0f);
        window.SetText(Control::LblUkupno3, std::to_string(read * 512));
        window.Refresh(Control::LblUkupno3);
    }
    return Seconds(Clock::now() - start);
}

// The peer: the same two controls at the same size, every change applied and painted at once.
double RunEveryChangePainted(int reads) {
    QWidget window;
    window.setFixedSize(414, 259);
    QProgressBar bar(&window);
    bar.setGeometry(12, 90, 391, 15);
    bar.setRange(0, QtMainWindow::kBarSteps);
    bar.setTextVisible(false);
    QLabel counter(&window);
    counter.setGeometry(60, 230, 59, 15);
    counter.setAlignment(Qt::AlignRight | Qt::AlignTop);
    window.show();
    QApplication::processEvents();
    const auto start = Clock::now();
    for (int read = 1; read <= reads; ++read) {
        QApplication::processEvents();
        bar.setValue(static_cast<int>(static_cast<long long>(read) * QtMainWindow::kBarSteps / reads));
        counter.setText(QString::number(read * 512));
        counter.repaint();
    }
    return Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    int reads = 16384;  // 8 MiB
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--reads") == 0) reads = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    }
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    PrepareQtEnvironment();
    QApplication app(argc, argv);

    double window = 1e9;
    double peer = 1e9;
    for (int run = 0; run < runs; ++run) {
        window = std::min(window, RunWindow(reads));
        peer = std::min(peer, RunEveryChangePainted(reads));
    }
    std::printf("window painting during a download of %d reads (%s), best of %d runs\n", reads,
                QApplication::platformName().toUtf8().constData(), runs);
    std::printf("  QtMainWindow             %8.3f s  %7.2f us/read\n", window, window * 1e6 / reads);
    std::printf("  every change painted    %8.3f s  %7.2f us/read\n", peer, peer * 1e6 / reads);
    std::printf("  ratio QtMainWindow / peer %8.2f\n", window / peer);
    return 0;
}
