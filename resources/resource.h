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

// Toolbar images: 34 images of 16 x 16 in a strip, light and dark.
#define IDB_TOOLBAR_LIGHT 92
#define IDB_TOOLBAR_DARK 93

// Language dialog.
#define IDD_LANGUAGE 118
#define IDC_LANGUAGE_COMBO 301
#define IDC_LANGUAGE_OK 251
