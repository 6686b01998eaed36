// vakomidi [--screenshot FILE.png] [FILE]
// Opens the main window; the rest of the command line, joined by blanks, is the
// name of a file to open. With --screenshot the window is drawn off screen at
// its designed size, saved as a PNG picture and the program ends.
#include "app/MainWindow.h"

#include "platform/MidiDevices.h"
#include "platform/ProgramSettings.h"
#include "platform/Translation.h"
#ifdef VAKO_HAVE_FLUIDSYNTH
#include "platform/fluidsynth/FluidSynthMidiOut.h"
#endif
#ifdef VAKO_HAVE_RTMIDI
#include "platform/rtmidi/RtMidiIn.h"
#include "platform/rtmidi/RtMidiPortOut.h"
#endif

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <iostream>
#include <string>

namespace {

// The built-in synthesizer and the system's MIDI ports: opened at start-up and
// listed by the "MIDI出力" menu for as long as the program runs.
vako::MidiDeviceList& systemDevices() {
    static vako::MidiDeviceList devices = [] {
        vako::MidiDeviceList list;
#ifdef VAKO_HAVE_FLUIDSYNTH
        list.add(vako::makeFluidSynthBackend());
#endif
#ifdef VAKO_HAVE_RTMIDI
        list.add(vako::makeRtMidiBackend());
#endif
        return list;
    }();
    return devices;
}

vako::MidiStartup openDevice() {
    vako::MidiStartup opened =
        vako::openMidiOutAtStartup(systemDevices(), vako::midiOutChoiceFromEnvironment());
    if (!opened.detail.empty()) std::cerr << "vakomidi: " << opened.detail << '\n';
    if (opened.silentFallback)
        std::cerr << "vakomidi: no sound; another device can be chosen from the MIDI Out menu\n";
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
    // The window's language, and the toolkit's own buttons ("キャンセル",
    // "はい", "いいえ") in it: the toolkit speaks English by itself.
    const std::string language = vako::languageOfUser();
    vako::useLanguage(language);
    QTranslator toolkitWords;
    if (language != "en" &&
        toolkitWords.load(QStringLiteral("qtbase_") + QString::fromStdString(language),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitWords);

    vako::Song song;
    // The MIDI keyboards the window reads; they outlive the window.
    std::unique_ptr<vako::MidiInBackend> keyboards;
    const bool quiet = !screenshot.empty();
    vako::MainWindow window(song,
                            quiet ? vako::MainWindowModel::DeviceOpener([] {
                                vako::MidiStartup silent;
                                silent.device = std::make_unique<vako::NullMidiOut>();
                                return silent;
                            })
                                  : vako::MainWindowModel::DeviceOpener(openDevice),
                            vako::SongFolders::fromEnvironment(), quiet);
    // The designed size, zoomed to the screen: about 1:1 on 1366 x 768, larger
    // on bigger screens (the controls scale with the window).
    double zoom = 1.0;
    if (!quiet) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect avail = screen->availableGeometry();
            zoom = std::clamp(std::min(avail.width() * 0.95 / vako::kDesignWidth,
                                       avail.height() * 0.9 / (vako::kDesignHeight + 24)),
                              0.6, 2.0);
        }
    }
    window.resize(static_cast<int>(vako::kDesignWidth * zoom),
                  static_cast<int>((vako::kDesignHeight + 24) * zoom));
    if (!quiet) window.form().setDeviceList(&systemDevices());
    window.form().settingsFile = vako::programSettingsFile();
    window.load(commandLine);
    // A MIDI keyboard: the ports the menu "MIDI入力" lists, and the one
    // VAKO_MIDI_IN names at start-up.
#ifdef VAKO_HAVE_RTMIDI
    if (!quiet) {
        vako::MainWindow* target = &window;
        keyboards = vako::makeRtMidiInBackend(window.form().clock(),
                                              [target] { target->keyboardWakeUp(); });
    }
#endif
    window.form().keyboard.setBackend(keyboards.get());
    if (!quiet) window.run([&] { window.form().keyboard.openAtStartup(std::getenv("VAKO_MIDI_IN")); });
    window.show();
    window.resize(static_cast<int>(vako::kDesignWidth * zoom),
                  static_cast<int>((vako::kDesignHeight + 24) * zoom));

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
