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
#define TIMER_LINE_WATCH 3

// Toolbar images: 34 images of 16 x 16 in a strip, light and dark; the same
// at 24 x 24 and 32 x 32 for larger display scales.
#define IDB_TOOLBAR_LIGHT 92
#define IDB_TOOLBAR_DARK 93
#define IDB_TOOLBAR_LIGHT_24 94
#define IDB_TOOLBAR_DARK_24 95
#define IDB_TOOLBAR_LIGHT_32 96
#define IDB_TOOLBAR_DARK_32 97

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
#define IDC_ENV_SCROLL_LABEL 401
#define IDC_ENV_PERIOD_LABEL 402
#define IDC_ENV_SCROLL 301
#define IDC_ENV_LOWER_HEX 201
#define IDC_ENV_NO_FOCUS 202
#define IDC_ENV_RECONNECT 203
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

// Line status dialog (controls in resources/line_status.rc). The labels
// beside the circles are 401-408 (line errors), 409, 410 and 412-416 (hold
// reasons) and 417-420 (modem lines); serial/line_status.cpp places them.
#define IDD_LINE_STATUS 113
#define IDC_LS_BREAK 401
#define IDC_LS_FRAME 402
#define IDC_LS_OVERRUN 403
#define IDC_LS_MODE 404
#define IDC_LS_IOE 405
#define IDC_LS_RX_OVER 406
#define IDC_LS_RX_PARITY 407
#define IDC_LS_TX_FULL 408
#define IDC_LS_CTS_HOLD 409
#define IDC_LS_DSR_HOLD 410
#define IDC_LS_RLSD_HOLD 412
#define IDC_LS_XOFF_HOLD 413
#define IDC_LS_XOFF_SENT 414
#define IDC_LS_EOF 415
#define IDC_LS_TXIM 416
#define IDC_LS_CTS 417
#define IDC_LS_DSR 418
#define IDC_LS_RING 419
#define IDC_LS_RLSD 420
#define IDC_LS_LEGEND 421
#define IDC_LS_NOTE 422
#define IDC_LS_SEND_BREAK 423
#define IDC_LS_CLOSE 252
#define IDC_LS_RESET 253
#define IDC_LS_DTR_ON 254
#define IDC_LS_DTR_OFF 255
#define IDC_LS_RTS_ON 256
#define IDC_LS_RTS_OFF 257

// Preset strings send window (controls in resources/preset_send.rc).
#define IDD_PRESET_SEND 115
#define IDC_PS_CH1 251         // 251-260: send row 1-10 on CH1
#define IDC_PS_CH2 261         // 261-270: send row 1-10 on CH2
#define IDC_PS_CLOSE 271
#define IDC_PS_PAGE_BACK 272
#define IDC_PS_PAGE_NEXT 273
#define IDC_PS_RELOAD 274
#define IDC_PS_LOAD_OTHER 275
#define IDC_PS_NARROW 286
#define IDC_PS_ROW1 401        // 401-410: row numbers
#define IDC_PS_HEAD 411

// Preset strings editor (controls in resources/preset_editor.rc).
#define IDD_PRESET_EDITOR 126
#define IDC_PE_FIELD 502
#define IDC_PE_CLOSE 251
#define IDC_PE_ASSEMBLE 252
#define IDC_PE_LEFT 254
#define IDC_PE_RIGHT 255
#define IDC_PE_CLR 256
#define IDC_PE_BS 257
#define IDC_PE_ROW1 258        // 258-267: row numbers (select)
#define IDC_PE_PAGE_BACK 268
#define IDC_PE_PAGE_NEXT 269
#define IDC_PE_FORMAT 270
#define IDC_PE_DOWN 293
#define IDC_PE_UP 294
#define IDC_PE_DELETE 295
#define IDC_PE_READ 296
#define IDC_PE_DELETE_ALL 297
#define IDC_PE_SAVE 298
#define IDC_PE_ASC 311
#define IDC_PE_HEX 312
#define IDC_PE_MODE_HEAD 401

// Checksum calculator and its kind choice (controls in resources/checksum_calc.rc).
#define IDD_CHECKSUM 120
#define IDD_CHECKSUM_KIND 121
#define IDC_CS_FIELD 502
#define IDC_CS_CLOSE 251
#define IDC_CS_RESULT 252
#define IDC_CS_LEFT 254
#define IDC_CS_RIGHT 255
#define IDC_CS_CLR 256
#define IDC_CS_BS 257
#define IDC_CS_KIND 258
#define IDC_CS_COPY_ASC 259
#define IDC_CS_COPY_HEX 260
#define IDC_CS_ASC 311
#define IDC_CS_HEX 312
#define IDC_CS_MODE_HEAD 401
#define IDC_CS_KIND_NAME 402
#define IDC_CK_CLOSE 251
#define IDC_CK_COMBO 301
#define IDC_CK_HEAD 401

// Modbus frame builder (controls in resources/modbus_dialog.rc).
#define IDD_MODBUS 123
#define IDC_MB_ASSEMBLE 251
#define IDC_MB_SEND_CH1 252
#define IDC_MB_SEND_CH2 253
#define IDC_MB_LEFT 254
#define IDC_MB_RIGHT 255
#define IDC_MB_CLOSE 256
#define IDC_MB_FUNCTION 301
#define IDC_MB_RATIO 302
#define IDC_MB_DATA_ASC 311
#define IDC_MB_DATA_HEX 312
#define IDC_MB_MODE_ASC 313
#define IDC_MB_MODE_RTU 314
#define IDC_MB_MODE_TCP 315
#define IDC_MB_START 321
#define IDC_MB_SLAVE 322
#define IDC_MB_ADDRESS 324
#define IDC_MB_COUNT 325
#define IDC_MB_DATA 326
#define IDC_MB_END 327
#define IDC_MB_START_LABEL 401
#define IDC_MB_SLAVE_LABEL 402
#define IDC_MB_FUNCTION_LABEL 403
#define IDC_MB_ADDRESS_LABEL 404
#define IDC_MB_COUNT_LABEL 405
#define IDC_MB_DATA_LABEL 406
#define IDC_MB_END_LABEL 407
#define IDC_MB_START_NOTE 411
#define IDC_MB_SLAVE_NOTE 412
#define IDC_MB_ADDRESS_NOTE 414
#define IDC_MB_COUNT_NOTE 415
#define IDC_MB_END_NOTE 417
#define IDC_MB_RATIO_LABEL 418

// Port number dialog (controls in resources/port_dialog.rc).
#define IDD_PORT_NUMBER 111
#define IDC_PN_NUMBER1 321      // 321, 322: the port numbers of CH1 and CH2
#define IDC_PN_NUMBER2 322
#define IDC_PN_UNUSED 323       // a tiny edit the dialog does not use
#define IDC_PN_ADDRESS1 324     // 324, 325: the network addresses of CH1 and CH2
#define IDC_PN_ADDRESS2 325
#define IDC_PN_NOTE 326
#define IDC_PN_LIST1 301        // 301, 302: the port lists of CH1 and CH2
#define IDC_PN_LIST2 302
#define IDC_PN_MONITOR 201
#define IDC_PN_OK 251
#define IDC_PN_RELOAD 252
#define IDC_PN_DEVICE_MANAGER 253

// DCB and timeouts dialog (controls in resources/dcb_dialog.rc): the flag
// check boxes and the field edits in the order of serial/dcb_fields.cpp.
#define IDD_DCB 112
#define IDC_DCB_BINARY 201
#define IDC_DCB_OUTX_CTS 202
#define IDC_DCB_OUTX_DSR 203
#define IDC_DCB_DSR_SENSITIVITY 204
#define IDC_DCB_TX_CONTINUE 205
#define IDC_DCB_OUTX 206
#define IDC_DCB_INX 207
#define IDC_DCB_ERROR_CHAR_ON 208
#define IDC_DCB_NULL 209
#define IDC_DCB_ABORT_ON_ERROR 210
#define IDC_DCB_PARITY_ON 211
#define IDC_DCB_DTR_CONTROL 321
#define IDC_DCB_RTS_CONTROL 322
#define IDC_DCB_RESERVED 323
#define IDC_DCB_XON_LIM 324
#define IDC_DCB_XOFF_LIM 325
#define IDC_DCB_XON_CHAR 326
#define IDC_DCB_XOFF_CHAR 327
#define IDC_DCB_ERROR_CHAR 328
#define IDC_DCB_EOF_CHAR 329
#define IDC_DCB_EVT_CHAR 330
#define IDC_DCB_BAUD_RATE 331
#define IDC_DCB_BYTE_SIZE 332
#define IDC_DCB_PARITY 333
#define IDC_DCB_STOP_BITS 334
#define IDC_DCB_READ_INTERVAL 335
#define IDC_DCB_READ_MULTIPLIER 336
#define IDC_DCB_READ_CONSTANT 337
#define IDC_DCB_WRITE_MULTIPLIER 338
#define IDC_DCB_WRITE_CONSTANT 339
#define IDC_DCB_OK 251
#define IDC_DCB_CANCEL 252
#define IDC_DCB_STANDARD 253

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

// Link statistics window (controls in resources/link_stats.rc).
#define IDD_LINK_STATS 127
#define IDC_LST_COPY 251
#define IDC_LST_CLOSE 252
#define IDC_LST_HEAD_CHUNKS 401
#define IDC_LST_HEAD_BYTES 402
#define IDC_LST_HEAD_RATE 403
#define IDC_LST_STREAM 404         // 404-407: CH1 RX, CH1 TX, CH2 RX, CH2 TX
#define IDC_LST_SILENCES 408
#define IDC_LST_SILENCE 409        // 409-413: the five silence classes
#define IDC_LST_LATENCY 414
#define IDC_LST_LATENCY_MODE 415
#define IDC_LST_FIGURE 416         // 416-420: count, minimum, median, 95th percentile, maximum
#define IDC_LST_PRECISION 421
#define IDC_LST_CHUNKS 431         // 431-434: chunks of each stream
#define IDC_LST_BYTES 435          // 435-438: bytes of each stream
#define IDC_LST_RATE 439           // 439-442: rate of each stream
#define IDC_LST_SILENCE_COUNT 443  // 443-447: silences of each class
#define IDC_LST_FIGURE_VALUE 448   // 448-452: the latency figures
#define IDC_LST_OUTAGES 453
#define IDC_LST_OUTAGES_VALUE 454
#define IDC_LST_OUTAGE_TIME 455
#define IDC_LST_OUTAGE_TIME_VALUE 456

// Modbus monitor window (controls in resources/modbus_monitor.rc).
#define IDD_MODBUS_MONITOR 128
#define IDC_MBM_EXPORT 251
#define IDC_MBM_CLOSE 252
#define IDC_MBM_LIST 461
#define IDC_MBM_STATUS 462
// Auto answer window (controls in resources/auto_answer.rc).
#define IDD_AUTO_ANSWER 129
#define IDC_ANS_ADD 251
#define IDC_ANS_CHANGE 252
#define IDC_ANS_DELETE 253
#define IDC_ANS_LOAD 254
#define IDC_ANS_SAVE 255
#define IDC_ANS_CLOSE 256
#define IDC_ANS_LABEL_CHANNEL 401
#define IDC_ANS_LABEL_MATCH 402
#define IDC_ANS_LABEL_DELAY 403
#define IDC_ANS_LABEL_ANSWER 404
#define IDC_ANS_STATUS 405
#define IDC_ANS_NOTICE 406
#define IDC_ANS_LIST 501
#define IDC_ANS_CHANNEL 502
#define IDC_ANS_MATCH 503
#define IDC_ANS_DELAY 504
#define IDC_ANS_ANSWER 505
// Find window (controls in resources/find.rc).
#define IDD_FIND 130
#define IDC_FND_NEXT 251
#define IDC_FND_PREVIOUS 252
#define IDC_FND_ALL 253
#define IDC_FND_EXPORT 255
#define IDC_FND_CLOSE 256
#define IDC_FND_LABEL_LOOK 401
#define IDC_FND_LABEL_WHAT 402
#define IDC_FND_STATUS 403
#define IDC_FND_LOOK 501
#define IDC_FND_PATTERN 502
#define IDC_FND_FORM 503
#define IDC_FND_CASE 504
#define IDC_FND_CH1 505         // 505-508: CH1, CH2, received, sent
#define IDC_FND_CH2 506
#define IDC_FND_RX 507
#define IDC_FND_TX 508
#define IDC_FND_LIST 509
// Go to Time (controls in resources/find.rc).
#define IDD_GO_TO_TIME 131
#define IDC_GTT_LABEL 401
#define IDC_GTT_RANGE 402
#define IDC_GTT_SAID 403
#define IDC_GTT_TIME 501
// File transfer window (controls in resources/transfer.rc).
#define IDD_TRANSFER 132
#define IDC_XFR_BROWSE 251
#define IDC_XFR_START 252
#define IDC_XFR_CANCEL 253
#define IDC_XFR_CLOSE 254
#define IDC_XFR_LABEL_CHANNEL 401
#define IDC_XFR_LABEL_PROTOCOL 402
#define IDC_XFR_LABEL_PATH 403
#define IDC_XFR_LABEL_BYTE 404
#define IDC_XFR_LABEL_LINE 405
#define IDC_XFR_LABEL_QUIET 406
#define IDC_XFR_FILE 407
#define IDC_XFR_COUNTS 408
#define IDC_XFR_TIMES 409
#define IDC_XFR_STATUS 410
#define IDC_XFR_CHANNEL 501
#define IDC_XFR_PROTOCOL 502
#define IDC_XFR_PATH 503
#define IDC_XFR_BYTE_MS 504
#define IDC_XFR_LINE_MS 505
#define IDC_XFR_QUIET_MS 506
// Highlight Rules dialog (controls in resources/highlight.rc).
#define IDD_HIGHLIGHT 133
#define IDC_HL_ADD 251
#define IDC_HL_CHANGE 252
#define IDC_HL_REMOVE 253
#define IDC_HL_UP 254
#define IDC_HL_DOWN 255
#define IDC_HL_CHOOSE 256
#define IDC_HL_LABEL_COLOUR 401
#define IDC_HL_LABEL_FORM 402
#define IDC_HL_LABEL_CHANNEL 403
#define IDC_HL_LABEL_DIRECTION 404
#define IDC_HL_LABEL_PATTERN 405
#define IDC_HL_LABEL_SAMPLE 406
#define IDC_HL_SAMPLE_RESULT 407
#define IDC_HL_LIST 501
#define IDC_HL_COLOUR 502
#define IDC_HL_FORM 503
#define IDC_HL_CHANNEL 504
#define IDC_HL_DIRECTION 505
#define IDC_HL_PATTERN 506
#define IDC_HL_SAMPLE 507
// Repeat dialog (controls in resources/repeat.rc), and the Repeat... button
// and counts line of the windows that own a repeat (input send, preset
// send, Modbus builder).
#define IDD_REPEAT 134
#define IDC_RPT_START 251
#define IDC_RPT_STOP 252
#define IDC_RPT_CLOSE 253
#define IDC_RPT_ROW_LABEL 401
#define IDC_RPT_EVERY_LABEL 402
#define IDC_RPT_COUNT_LABEL 403
#define IDC_RPT_CHANNEL_LABEL 404
#define IDC_RPT_COUNTS 405
#define IDC_RPT_ROW 501
#define IDC_RPT_EVERY 502
#define IDC_RPT_COUNT 503
#define IDC_RPT_CHANNEL 504
#define IDC_REPEAT_OPEN 720
#define IDC_REPEAT_COUNTS 721
// Plot window (controls in resources/plot.rc): the series list with its
// check boxes, how a register series is read, the plot area (a child
// window of class "QuorrinPlotArea" the window paints), and the buttons.
#define IDD_PLOT 135
#define IDC_PLOT_FOLLOW 251
#define IDC_PLOT_FIT 252
#define IDC_PLOT_PNG 253
#define IDC_PLOT_CSV 254
#define IDC_PLOT_CLOSE 255
#define IDC_PLOT_READ_LABEL 401
#define IDC_PLOT_SCALE_LABEL 402
#define IDC_PLOT_STATUS 403
#define IDC_PLOT_SERIES 501
#define IDC_PLOT_READ 502
#define IDC_PLOT_SCALE 503
#define IDC_PLOT_OVERLAY 504
#define IDC_PLOT_AREA 505
