#include "tools/gui-driver/Command.h"

namespace zorvi::driver {

std::vector<TCommand> AllCommands() {
    std::vector<TCommand> all;
    for (auto group : {MainWindowCommands(), MessageBoxCommands(), WindowCommands(),
                       LogMenuCommands(), LayoutCommands()})
        all.insert(all.end(), group.begin(), group.end());
    return all;
}

} // namespace zorvi::driver
