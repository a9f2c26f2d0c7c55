// Resource numbers of Quorrin. The numbers are fixed: dialogs, controls and
// commands are known by them in the settings, the message texts and tests.
#pragma once

// Strings and icon of the main window.
#define IDS_TITLE 100
#define IDS_CLASS 101
#define IDI_QUORRIN 102

// Timers of the main window.
#define TIMER_REPAINT 1
#define TIMER_PRESENCE 2
