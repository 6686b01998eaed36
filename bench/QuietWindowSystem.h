// A window system that answers every box silently, for benchmarks of the main
// window's model.
#pragma once

#include "view/WindowSystem.h"

#include <string>

namespace vako {

class QuietWindowSystem : public WindowSystem {
public:
    void messageBox(const std::string&) override {}
    std::string inputBox(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    Answer askYesNo(const std::string&) override { return Answer::No; }
    Answer askYesNoCancel(const std::string&) override { return Answer::No; }
    void endProgram() override {}
};

} // namespace vako
