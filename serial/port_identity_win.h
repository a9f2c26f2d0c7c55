// The identities of the present serial ports, read from SetupAPI: every
// present device of the Ports class with its "PortName" (COMn), its device
// instance path and its parent's. The matching is serial/port_identity.h.
// They run on the user-interface thread when a port opens, and on a
// reopen's worker beside it (once a second at most while a port is lost);
// they keep no state of their own between calls.
#pragma once

#include <cstdint>

#include "serial/port_identity.h"

// The identity of the present port COMn. 0 when found with something to
// match on; 1 otherwise, *out left empty.
int port_identity_read(int32_t com_number, PortIdentity* out);

// Fills out[] with up to `max` present ports and returns how many. A device
// whose port name, instance path or identity cannot be read is left out
// (without its parent's path it is kept, matched on its own path). Under
// Wine the class may be empty: 0.
int32_t port_identity_list(PortIdentityEntry* out, int32_t max);
