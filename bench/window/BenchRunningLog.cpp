// The running log of a huge listing in the real window: "Verzije na raspolaganju :" followed,
// on the same line, by one entry per offered cabinet, the box painted after each, as the
// listing appends them. Measured for two listing sizes, so that the cost per entry shows
// whether the whole grows linearly; the peer is the same window given the whole text anew for
// each entry (what the log did before it appended), at smaller sizes.
//
//   running_log_bench [--entries N]     N: the smaller size (16000); the larger is 2.5 times it
//
// Run it on a display (Xvfb: xvfb-run -a running_log_bench); without one Qt's offscreen
// platform paints into memory only.
#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "online/RunningLog.h"
#include "platform/qt/QtMainWindow.h"
#include "platform/qt/QtEnvironment.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string Entry(int i) { return "Tn_315_316_" + std::to_string(i) + ".cab / 1024, "; }

double RunAppending(int entries) {
    QtMainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    window.ShowCentred();
    QApplication::processEvents();
    RunningLog log(window);
    const auto start = Clock::now();
    log.Show("Spajam se na Velmora internet server...");
    log.AppendLine("Verzije na raspolaganju :");
    for (int i = 0; i < entries; ++i) log.AppendBare(Entry(i));
    window.ApplyPending();  // the last additions on the box too, as the next yield shows them
    return Seconds(Clock::now() - start);
}

double RunSettingWhole(int entries) {
    QtMainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    window.ShowCentred();
    QApplication::processEvents();
    const auto start = Clock::now();
    window.SetText(Control::TxtRez, "Spajam se na Velmora internet server...\r\nVerzije na raspolaganju :");
    for (int i = 0; i < entries; ++i) {
        window.SetText(Control::TxtRez, window.Text(Control::TxtRez) + Entry(i));
        window.SetCaretToEnd(Control::TxtRez);
        window.Refresh(Control::TxtRez);
    }
    return Seconds(Clock::now() - start);
}

void Print(const char* name, int small, double smallSeconds, int large, double largeSeconds) {
    const double perSmall = smallSeconds * 1e6 / small;
    const double perLarge = largeSeconds * 1e6 / large;
    std::printf("  %-22s %6d: %8.3f s %8.1f us/entry   %6d: %8.3f s %8.1f us/entry   "
                "growth per entry %5.2f\n",
                name, small, smallSeconds, perSmall, large, largeSeconds, perLarge,
                perLarge / perSmall);
}

}  // namespace

int main(int argc, char** argv) {
    int entries = 16000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--entries") == 0) entries = std::atoi(argv[i + 1]);
    }
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    PrepareQtEnvironment();
    QApplication app(argc, argv);

    const int large = entries * 5 / 2;
    const int peerSmall = entries / 32;  // the peer takes seconds for a few hundred entries
    const int peerLarge = peerSmall * 5 / 2;
    std::printf("running log of a listing (%s); growth per entry 1.0 = linear, 2.5 = quadratic\n",
                QApplication::platformName().toUtf8().constData());
    Print("FrmGlavna, appended", entries, RunAppending(entries), large, RunAppending(large));
    Print("peer, set whole", peerSmall, RunSettingWhole(peerSmall), peerLarge,
          RunSettingWhole(peerLarge));
    return 0;
}
