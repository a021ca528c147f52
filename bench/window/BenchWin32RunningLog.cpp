// The running log of a huge listing in the Win32 window, as BenchRunningLog.cpp measures the Qt
// window: "Verzije na raspolaganju :" followed, on the same line, by one entry per offered
// cabinet, the box painted after each, as the listing appends them. Two listing sizes show
// whether the whole grows linearly; the peer is the same window given the whole text anew for
// each entry (what it did before it appended), at smaller sizes.
//
//   win32_running_log_bench [--entries N]   N: the smaller size (20000); the larger 2.5 times it
//
// Run under Wine on a display (bench/window/run) or on Windows.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "online/RunningLog.h"
#include "platform/win32/Win32MainWindow.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string Entry(int i) { return "Tn_315_316_" + std::to_string(i) + ".cab / 1024, "; }

void Settle(Win32MainWindow& window) {
    for (int i = 0; i < 5; ++i) window.DoEvents();
    Sleep(50);  // the show's yields are a loop that no longer turns, as in the listing
}

// The box holds the whole text at the end: a benchmark of a window that lost entries would
// measure nothing.
bool BoxHoldsAll(Win32MainWindow& window, int entries) {
    const HWND box = window.Handle(Control::TxtRez);
    const int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(box, text.data(), length + 1);
    const std::wstring last = L"Tn_315_316_" + std::to_wstring(entries - 1) + L".cab / 1024, ";
    return text.find(last) != std::wstring::npos;
}

double RunAppending(int entries) {
    Win32MainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    window.ShowCentred();
    Settle(window);
    RunningLog log(window);
    const auto start = Clock::now();
    log.Show("Spajam se na Velmora internet server...");
    log.AppendLine("Verzije na raspolaganju :");
    for (int i = 0; i < entries; ++i) log.AppendBare(Entry(i));
    window.ApplyPending();  // the last additions on the box too, as the next yield shows them
    const double seconds = Seconds(Clock::now() - start);
    if (!BoxHoldsAll(window, entries)) std::fprintf(stderr, "appended: the box lost entries\n");
    return seconds;
}

double RunSettingWhole(int entries) {
    Win32MainWindow window("Velmora - Podizanje više verzije - v3.0", "Tarvik_Upg");
    window.ShowCentred();
    Settle(window);
    const auto start = Clock::now();
    window.SetText(Control::TxtRez,
                   "Spajam se na Velmora internet server...\r\nVerzije na raspolaganju :");
    for (int i = 0; i < entries; ++i) {
        window.SetText(Control::TxtRez, window.Text(Control::TxtRez) + Entry(i));
        window.SetCaretToEnd(Control::TxtRez);
        window.Refresh(Control::TxtRez);
    }
    window.ApplyPending();
    const double seconds = Seconds(Clock::now() - start);
    if (!BoxHoldsAll(window, entries)) std::fprintf(stderr, "set whole: the box lost entries\n");
    return seconds;
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
    int entries = 20000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--entries") == 0) entries = std::atoi(argv[i + 1]);
    }
    const int large = entries * 5 / 2;
    // Under Wine the peer takes seconds for a few dozen entries (each whole text is laid out and
    // the box painted anew).
    const int peerSmall = std::max(1, entries / 1000);
    const int peerLarge = peerSmall * 5 / 2;
    std::printf("running log of a listing (Win32); growth per entry 1.0 = linear, 2.5 = quadratic\n");
    const double appendedSmall = RunAppending(entries);
    const double appendedLarge = RunAppending(large);
    Print("FrmGlavna, appended", entries, appendedSmall, large, appendedLarge);
    Print("peer, set whole", peerSmall, RunSettingWhole(peerSmall), peerLarge,
          RunSettingWhole(peerLarge));
    std::fflush(stdout);
    return 0;
}
