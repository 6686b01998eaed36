#include "view/GeneralMidiNames.h"

#include "view/MainWindowModel.h"

namespace vako {

std::string programNameOnly(int program) {
    if (program < 0 || program > 127) return {};
    std::string name = instrumentNames()[static_cast<size_t>(program)];
    const auto colon = name.find(": ");
    if (colon != std::string::npos) name.erase(0, colon + 2);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

} // namespace vako
