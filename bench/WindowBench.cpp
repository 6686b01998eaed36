// The main window itself on Qt's off-screen platform, driven by synthetic
// events as a user would drive it: a mouse move over the staff of a song of
// 100,000 notes, a page turn, and the memory the process holds after opening
// and exporting that song. Times are the process's own CPU time for the event
// and everything it sets off (handlers, mirroring, painting).
#include "app/MainWindow.h"
#include "midi/MidiFileWriter.h"
#include "platform/MidiOut.h"
#include "song/OpenFile.h"
#include "song/SongWriter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

using namespace vako;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Resident memory of this process now, MB.
double residentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096 / 1e6;
}

QApplication& application() {
    static int argc = 1;
    static char name[] = "window_bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::filesystem::path benchFolder() {
    return std::filesystem::temp_directory_path() / "vako-window-bench";
}

// A song file of `notes` notes, chords of one to three, on every part.
std::string writeSongFile(int notes) {
    Song song;
    std::mt19937 random(7);
    int32_t pos = 1;
    for (int i = 0; i < notes; ++i) {
        if (random() % 2 == 0) pos += 3;
        song.notes.push_back(Note{pos, static_cast<uint8_t>(48 + i % 36), 12,
                                  static_cast<uint8_t>(random() % 16), 120, 64, 0});
    }
    song.twiceNoteCount = 2 * notes;
    sortChords(song);
    std::filesystem::create_directories(benchFolder());
    const std::filesystem::path path = benchFolder() / "big.txt";
    saveSongTo(song, path);
    return path.string();
}

struct OpenWindow {
    Song song;
    std::unique_ptr<MainWindow> window;

    explicit OpenWindow(int notes) {
        application();
        const std::string path = writeSongFile(notes);
        window = std::make_unique<MainWindow>(
            song,
            [] {
                MidiStartup s;
                s.device = std::make_unique<NullMidiOut>();
                return s;
            },
            SongFolders{benchFolder(), benchFolder()}, true);
        window->resize(kDesignWidth, kDesignHeight + 30);
        window->load(path);
        window->show();
        QApplication::processEvents();
    }
};

// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) : m_widget(widget) { widget.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            ++paints;
            for (const QRect& r : static_cast<QPaintEvent*>(e)->region())
                area += double(r.width()) * r.height() /
                        (double(m_widget.width()) * m_widget.height());
        }
        return false;
    }
    int64_t paints = 0;
    double area = 0; // painted area in whole views

private:
    QWidget& m_widget;
};

void moveMouse(QWidget& view, QPointF at) {
    QMouseEvent move(QEvent::MouseMove, at, view.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QApplication::processEvents();
}

void BM_WindowMouseMoveOverStaff(benchmark::State& state) {
    OpenWindow w(100000);
    ScoreView& view = w.window->scoreView();
    PaintCounter counter(view);
    // Across the staff, one step to the right each move, back and forth.
    int i = 0;
    for (auto _ : state) {
        const QPointF at = view.toWidget(150 + (i % 100) * 5, 300 + (i % 7) * 10);
        ++i;
        const double start = cpuSeconds();
        moveMouse(view, at);
        state.SetIterationTime(cpuSeconds() - start);
    }
    state.SetLabel("100,000 notes");
    state.counters["view_share_painted"] = counter.area / std::max<int64_t>(1, i);
    state.counters["paints_per_move"] =
        static_cast<double>(counter.paints) / static_cast<double>(std::max<int64_t>(1, i));
}
BENCHMARK(BM_WindowMouseMoveOverStaff)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WindowPageTurn(benchmark::State& state) {
    OpenWindow w(100000);
    MainWindowModel& form = w.window->form();
    int page = 0;
    for (auto _ : state) {
        page = (page + 1) % 50;
        const double start = cpuSeconds();
        w.window->run([&] { form.pageScrollBar.setValue(page); }); // runs its change handler
        QApplication::processEvents();
        state.SetIterationTime(cpuSeconds() - start);
    }
}
BENCHMARK(BM_WindowPageTurn)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_WindowMemoryAfterOpenAndExport(benchmark::State& state) {
    double mb = 0;
    for (auto _ : state) {
        OpenWindow w(100000);
        MidiImageReport report;
        benchmark::DoNotOptimize(buildMidiFileImage(w.song, 0, report));
        QApplication::processEvents();
        mb = residentMb();
    }
    state.counters["resident_MB"] = mb;
}
BENCHMARK(BM_WindowMemoryAfterOpenAndExport)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
