#include "tests/support/main_window_catalogue.h"

namespace testsupport {

std::vector<int> TabCycle() {
    std::vector<int> cycle;
    for (const GadgetRow& row : MAIN_GADGETS) {
        if (row.style & WS_TABSTOP) {
            cycle.push_back(row.number);
        }
    }
    return cycle;
}

} // namespace testsupport
