// The one packing of the Win32 DCB and COMMTIMEOUTS into the program's
// mirror of them (LineDcb, LineTimeouts) and back. The port open, the DCB
// dialog and the tests' hook DLL all go through here.
#pragma once

#include <windows.h>

#include "serial/line_params.h"

void line_dcb_from_win(const DCB& d, LineDcb* l);
// Every field but DCBlength and the reserved words, which keep their values.
void line_dcb_to_win(const LineDcb& l, DCB* d);
void line_timeouts_from_win(const COMMTIMEOUTS& c, LineTimeouts* t);
void line_timeouts_to_win(const LineTimeouts& t, COMMTIMEOUTS* c);
