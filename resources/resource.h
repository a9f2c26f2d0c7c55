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

// Input character send window.
#define IDD_INPUT_SEND 114
#define IDC_INPUT_FIELD 501
#define IDC_IN_CLOSE 251
#define IDC_IN_SEND_CH1 252
#define IDC_IN_SEND_CH2 253
#define IDC_IN_LEFT 254
#define IDC_IN_RIGHT 255
#define IDC_IN_CLR 256
#define IDC_IN_BS 257
#define IDC_IN_ROW1 258        // 258-262: history row numbers (delete)
#define IDC_IN_PAGE_BACK 263
#define IDC_IN_PAGE_NEXT 264
#define IDC_IN_FORMAT 265
#define IDC_IN_CTRL_CH1 266    // 266-274: control characters on CH1
#define IDC_IN_CTRL_CH2 275    // 275-283: control characters on CH2
#define IDC_IN_SHORT 286
#define IDC_IN_HIST_CH1 287    // 287-291: send history row on CH1
#define IDC_IN_HIST_CH2 292    // 292-296: send history row on CH2
#define IDC_IN_HIST_CLEAR 297
#define IDC_IN_HIST_SAVE 298
#define IDC_IN_ASC 311
#define IDC_IN_HEX 312
#define IDC_IN_MODE_HEAD 401
#define IDC_IN_CTRL_HEAD 402
#define IDC_IN_CH1_LABEL 404
#define IDC_IN_CH2_LABEL 405
#define IDC_IN_PREVIEW_HEAD 406  // 406-411: preview headings
#define IDC_IN_PREVIEW_START 412
#define IDC_IN_PREVIEW_HEADER 413
#define IDC_IN_PREVIEW_END 415
#define IDC_IN_PREVIEW_SUM 416
#define IDC_IN_PREVIEW_TERM 417

// Send format dialog.
#define IDD_SEND_FORMAT 119
#define IDC_SF_CLOSE 251
#define IDC_SF_ON_START 231     // 231-236: start, header, input, end, checksum, terminator on
#define IDC_SF_IN_START 237     // 237-240: start, header, input, end in the checksum range
#define IDC_SF_KIND 301
#define IDC_SF_ASC 311
#define IDC_SF_HEX 312
#define IDC_SF_START 321
#define IDC_SF_HEADER 322
#define IDC_SF_END 323
#define IDC_SF_TERM 324
#define IDC_SF_HEAD 401         // 401-406: column headings
#define IDC_SF_NOTE 411         // 411-414: notes

// Color setting dialog: rows 1-16 each have a label 400 + k, edits
// 318 + 3k, 319 + 3k, 320 + 3k (r, g, b) and a color button 250 + k.
#define IDD_COLORS 125
#define IDC_CO_LIGHT 311
#define IDC_CO_DARK 312
#define IDC_CO_CANCEL 250
#define IDC_CO_REWRITE 285
#define IDC_CO_SET 286

// Environment settings dialog.
#define IDD_ENVIRONMENT 116
#define IDC_ENV_SCROLL 301
#define IDC_ENV_LOWER_HEX 201
#define IDC_ENV_NO_FOCUS 202
#define IDC_ENV_PERIOD 321
#define IDC_ENV_OK 251
#define IDC_ENV_CANCEL 252

// About box.
#define IDD_ABOUT 110
#define IDC_ABOUT_VERSION 401
#define IDC_ABOUT_BUILD 402
#define IDC_ABOUT_OK 251
#define IDC_ABOUT_NEW 252

// Dark and light mode dialog.
#define IDD_THEME 124
#define IDC_THEME_DARK 201
#define IDC_THEME_NO_MENU 202
#define IDC_THEME_WRITE 251
#define IDC_THEME_CLOSE 252

// ASCII table window (controls in resources/ascii_table.rc).
#define IDD_ASCII_TABLE 122

// Line status dialog (controls in resources/line_status.rc).
#define IDD_LINE_STATUS 113

// Macro dialog (controls in resources/macro_dialog.rc).
#define IDD_MACRO 117
#define IDC_MACRO_NAME 321
#define IDC_MACRO_RUN 251
#define IDC_MACRO_CLOSE 252
#define IDC_MACRO_BROWSE 253
#define IDC_MACRO_STOP 254
#define IDC_MACRO_LABEL 401
#define IDC_MACRO_STEP 402
#define IDC_MACRO_STATUS 403
