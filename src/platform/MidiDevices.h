// Choosing and opening the MIDI output device. Each kind of device (the
// built-in synthesizer, the MIDI ports of the system) is a backend that lists
// its devices and opens one of them; the device list gathers the backends that
// were built in. The choice comes from VAKO_MIDI_OUT:
//   synth      the built-in synthesizer (the default; the first port when no
//              synthesizer is available)
//   port:NAME  the first MIDI port whose name contains NAME
//   null       no sound at all
#pragma once

#include "platform/MidiOut.h"
#include "platform/Translation.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vako {

namespace msg {
// Start-up found no device at all.
inline const std::string kNoMidiDevice = markForTranslation("MIDI音源を使用できません.");
// The chosen device could not be opened (the text ends with a blank).
inline const std::string kMidiInUse =
    markForTranslation("おそらく別のソフトで、すでにmidiが使われています。そちらを先に終了させてから、"
    "ヴァコヴァコMIDIを起動してください ");
} // namespace msg

struct MidiOutChoice {
    enum class Kind { Synth, Port, Null };
    Kind kind = Kind::Synth;
    std::string portName; // Kind::Port: part of the port's name

    friend bool operator==(const MidiOutChoice&, const MidiOutChoice&) = default;
};

// The choice a VAKO_MIDI_OUT value names; unset or empty means the synthesizer.
// `recognised` is false for any other text (the synthesizer is chosen then).
MidiOutChoice parseMidiOutChoice(const char* value, bool* recognised = nullptr);
// The choice of the environment variable VAKO_MIDI_OUT.
MidiOutChoice midiOutChoiceFromEnvironment(bool* recognised = nullptr);

class MidiOutBackend {
public:
    virtual ~MidiOutBackend() = default;
    // True for the built-in synthesizer, false for the system's MIDI ports.
    virtual bool isSynth() const = 0;
    // The devices this backend offers now; empty when it has none or its
    // system service is not running.
    virtual std::vector<std::string> deviceNames() = 0;
    // Opens the device of that name; nullptr with `error` set when it cannot.
    virtual std::unique_ptr<MidiOut> open(const std::string& deviceName, std::string& error) = 0;
};

class MidiDeviceList {
public:
    void add(std::unique_ptr<MidiOutBackend> backend);

    // Every device of every backend, synthesizers first.
    std::vector<std::string> names();
    int count() { return static_cast<int>(names().size()); }

    // Opens the device the choice names (never the silent one). nullptr with
    // `error` set when there is no such device or it cannot be opened; `busy`
    // then tells a port that exists but would not open (or was named and is
    // missing) from a machine without any usable device. The synthesizer
    // choice falls through to the ports when the synthesizer will not open.
    std::unique_ptr<MidiOut> open(const MidiOutChoice& choice, std::string& error);
    std::unique_ptr<MidiOut> open(const MidiOutChoice& choice, std::string& error, bool& busy);
    // Opens the device of exactly that name, as names() lists it.
    std::unique_ptr<MidiOut> openByName(const std::string& deviceName, std::string& error);

private:
    std::vector<std::unique_ptr<MidiOutBackend>> m_backends;
};

// What start-up gets: always a device to send to (the silent one when nothing
// else could be opened), and the message box text when something went wrong,
// with the reason for whoever can show more than a message box.
struct MidiStartup {
    std::unique_ptr<MidiOut> device;
    std::string message;         // empty, msg::kNoMidiDevice or msg::kMidiInUse
    std::string detail;          // why, in plain words; empty when all went well
    bool silentFallback = false; // the device is the silent stand-in
};

// Start-up's device step: no device at all, or none that can sound (the
// synthesizer without audio output), gives msg::kNoMidiDevice; a port that
// exists but will not open gives msg::kMidiInUse. Either way the program goes
// on with the silent device, so the rest of start-up and every later handler
// always have a device to send to, and the user can pick another device
// later. Choosing "null" is not a failure.
MidiStartup openMidiOutAtStartup(MidiDeviceList& devices, const MidiOutChoice& choice);

} // namespace vako
