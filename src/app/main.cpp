// vakomidi [--screenshot FILE.png] [FILE]
// Opens the main window; the rest of the command line, joined by blanks, is the
// name of a file to open. With --screenshot the window is drawn off screen at
// its designed size, saved as a PNG picture and the program ends.
#include "app/MainWindow.h"

#include "platform/MidiDevices.h"
#ifdef VAKO_HAVE_FLUIDSYNTH
#include "platform/fluidsynth/FluidSynthMidiOut.h"
#endif
#ifdef VAKO_HAVE_RTMIDI
#include "platform/rtmidi/RtMidiPortOut.h"
#endif

#include <QApplication>
#include <QTimer>

#include <iostream>
#include <string>

namespace {

vako::MidiStartup openDevice() {
    vako::MidiDeviceList devices;
#ifdef VAKO_HAVE_FLUIDSYNTH
    devices.add(vako::makeFluidSynthBackend());
#endif
#ifdef VAKO_HAVE_RTMIDI
    devices.add(vako::makeRtMidiBackend());
#endif
    vako::MidiStartup opened =
        vako::openMidiOutAtStartup(devices, vako::midiOutChoiceFromEnvironment());
    if (!opened.detail.empty()) std::cerr << "vakomidi: " << opened.detail << '\n';
    return opened;
}

} // namespace

int main(int argc, char** argv) {
    std::string screenshot;
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--screenshot" && i + 1 < argc) {
            screenshot = argv[++i];
            continue;
        }
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += arg;
    }
    if (!screenshot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vakomidi"));

    vako::Song song;
    const bool quiet = !screenshot.empty();
    vako::MainWindow window(song,
                            quiet ? vako::Formmain::DeviceOpener([] {
                                vako::MidiStartup silent;
                                silent.device = std::make_unique<vako::NullMidiOut>();
                                return silent;
                            })
                                  : vako::Formmain::DeviceOpener(openDevice),
                            vako::SongFolders::fromEnvironment(), quiet);
    window.resize(vako::kDesignWidth, vako::kDesignHeight + 24);
    window.load(commandLine);
    if (window.form().endRequested) return 1;
    window.show();

    if (!screenshot.empty()) {
        QTimer::singleShot(0, [&] {
            window.refresh();
            const bool saved = window.grab().save(QString::fromStdString(screenshot), "PNG");
            if (!saved) std::cerr << "vakomidi: cannot write " << screenshot << '\n';
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
