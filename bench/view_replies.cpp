// Cost of one WM_PING_REPLY handled by the real view (offscreen), with 100 and with 10,000
// hosts in the list. Finding a host's row is a binary search, so the cost per reply should
// hardly grow with the list: the ratio is printed against its limit of 1.5.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "platform/AddressText.h"
#include "platform/NamedEvent.h"
#include "view/CCorvelView.h"

using namespace sondrel;

namespace {

constexpr int kReplies = 50000;
constexpr int kRepeats = 5;

uint32_t HostAddress(int i) {
    return AddressFromOctets(10, static_cast<uint8_t>(i >> 16), static_cast<uint8_t>(i >> 8),
                             static_cast<uint8_t>(i));
}

void Drain() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

struct Cost {
    double micros = 0;        // per reply, the median of several runs
    double historyBytes = 0;  // heap held by the histories per event, before they are emptied
};

Cost MeasureReplies(CCorvelView* view, int hosts) {
    MonitorSession& session = view->Session();
    session.ClearAllHosts();
    for (int i = 0; i < hosts; ++i) session.AddHost(HostAddress(i), "", false);
    Drain();
    // Every reply must answer a request, or the view leaves it uncounted.
    for (auto item : session.Hosts()) item.record.m_nSent = kReplies * kRepeats;
    std::mt19937 random(42);
    std::vector<uint32_t> order(kReplies);
    for (uint32_t& a : order)
        a = HostAddress(static_cast<int>(random() % static_cast<uint32_t>(hosts)));
    std::vector<double> runs;
    size_t historyBytes = 0;
    for (int r = 0; r < kRepeats; ++r) {
        QElapsedTimer clock;
        clock.start();
        int t = 1;
        for (uint32_t address : order) {
            session.OnPingReply(address, "ttl=64,time=" + std::to_string(t) + ",bytes=32");
            t = t % 40 + 1;
        }
        Drain();
        runs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0 / kReplies);
        // Histories grow by two lines per reply; empty them as the idle flushing would.
        historyBytes = 0;
        for (auto item : session.Hosts()) {
            historyBytes += item.record.m_history.HeapBytes();
            item.record.m_history.clear();
        }
    }
    std::sort(runs.begin(), runs.end());
    return {runs[runs.size() / 2], static_cast<double>(historyBytes) / kReplies};
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
        std::string dir = "/tmp/sondrel-bench-runtime-" + std::to_string(::getuid());
        std::filesystem::create_directories(dir);
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    QApplication app(argc, argv);
    NamedEvent stop = NamedEvent::Create(kStopPingEvent, NamedEvent::ResetMode::Manual, false);
    NamedEvent gate = NamedEvent::Create(kModifyListEvent, NamedEvent::ResetMode::Automatic, true);
    NamedEvent quit = NamedEvent::Create(kQuitProgramEvent, NamedEvent::ResetMode::Manual, false);

    DesktopSettings settings;
    auto* frame = new CMainFrame();
    ViewSetup setup;  // no engine, no default.ipl, no history files: only the handler is timed
    setup.useTray = false;
    auto* view = new CCorvelView(frame, settings, setup);
    frame->SetView(view, [view] { view->OnDestroy(); });
    view->OnInitialUpdate();
    view->OnStop();  // no rounds while measuring
    frame->show();
    Drain();

    const Cost smallList = MeasureReplies(view, 100);
    const Cost largeList = MeasureReplies(view, 10000);
    const double small = smallList.micros, large = largeList.micros;
    for (const auto& [hosts, cost] : {std::pair{100, smallList}, std::pair{10000, largeList}}) {
        std::printf(
            "view_replies: %d hosts: %.3f us per WM_PING_REPLY, %.1f history bytes per event\n",
            hosts, cost.micros, cost.historyBytes);
    }
    std::printf("view_replies: ratio 10000/100: %.2f (limit 1.5)\n", large / small);
    delete frame;
    return large / small <= 1.5 ? 0 : 1;
}
