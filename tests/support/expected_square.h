// The bytes a square must put on the port, worked out from the pins and levels alone. It neither
// calls nor copies the drive's plan, so that a check of a trace does not take the program's word
// for what the trace should hold.
#pragma once

#include <vector>
#include "app/settings_file.h"

namespace testsupport {

// Each side's step byte and its byte at rest (its direction alone), in side order.
using SideBytes = unsigned[4][2];
// Without kalibrix.ini: bit 0 X direction, bit 1 X step, bit 2 Y direction, bit 3 Y step, all
// active high; the sides run +X, +Y, -X, -Y: 2/0, 8/0, 3/1, 12/4.
extern const SideBytes DEFAULT_SIDES;

// The sides' bytes on the pins and levels of a kalibrix.ini.
void WiredSides(const PortWiring& wiring, SideBytes& sides);

// The bytes of a square of `steps` steps per side: each side sets its direction alone (0, 0, 1, 4
// by default), then pulses `steps` times (2/0, 8/0, 3/1, 12/4). A pre-travel of `pretravel`
// steps comes first, as four runs built like sides: X back, X forward, Y back, Y forward (the
// bytes of sides 3, 1, 4 and 2).
std::vector<unsigned> SquareBytes(int steps, const SideBytes& sides = DEFAULT_SIDES,
                                  int pretravel = 0);

} // namespace testsupport
