// The message text table: 401 numbered texts in four languages (Japanese,
// English, Korean, Chinese), read once at start from "quorrin_char2.ini",
// section "quorrin", keys "No.N:comt-j", "-e", "-k", "-c".
#pragma once

#include <cstdint>

#include "settings/settings.h"

constexpr int kMessageTexts = 600;
constexpr int kLanguages = 4;
constexpr int kMessageTextUnits = 64;  // 63 characters and a terminator

struct MessageTable {
  char16_t text[kMessageTexts][kLanguages][kMessageTextUnits];
};

// Builds the key of entry n in language lang (0 to 3) into out (32 units).
void message_text_key(int n, int lang, char16_t* out);

// Fills every entry through io's get_text; missing keys give empty texts,
// longer texts are cut to 63 characters.
void message_table_load(MessageTable* table, const ProfileIo* io);

// Copies entry n in `language` into out (kMessageTextUnits units). A
// language outside 0 to 3, or n outside the table, leaves out unchanged.
void message_text_get(const MessageTable* table, int language, int n, char16_t* out);

// Every message text number the program uses, named for what it says.
// A name ending in First and its Last bound a run of texts taken by index
// (line status labels, ASCII code names, Modbus function names). The texts
// are in resources/texts/messages.tsv; the build's tests check that every
// name (and every number of a run) has four texts, and that every language
// has the format fields message_fields gives.
enum MessageNumber : int {
  kTextNone = 0,                      // None
  kTextEnabled = 1,                   // Enable
  kTextPortNotOpen = 3,               // The port is not open.
  kTextMessageCaption = 4,            // Message
  kTextClearCaptureAsk = 5,           // Clear all captured data?
  kTextPortOpenCloseFirst = 6,        // The port is open. Close it first.
  kTextChannelNotOpen = 7,            // This channel is not open.
  kTextCh2PortNotOpen = 8,            // The CH2 port is not open.
  kTextSaveFileTitle = 10,            // Save log file
  kTextOpenFileTitle = 11,            // Open file
  kTextNoDataToSave = 12,             // There is no data to save.
  kTextFileOpenFailed = 13,           // The file could not be opened or created.
  kTextSamePortTwice = 15,            // CH1 and CH2 cannot use the same port. CH2 is set to None.
  kTextMonitorNeedsBothPorts = 16,    // Line monitor mode needs a port for both CH1 and CH2.
  kTextPortNumberRange = 17,          // The port number must be between 0 and 255.
  kTextDeviceManager = 18,            // Device Manager
  kTextLineMonitorMode = 19,          // Line monitor mode
  kTextConfirmDeleteCaption = 20,     // Confirm Delete
  kTextMacroRanOff = 21,              // Macro ended without PEND (end of file or label not found).
  kTextMacroFinished = 22,            // The macro has finished.
  kTextNotUnicodeFile = 23,           // The file is not Unicode (UTF-16 LE) text.
  kTextPortDialogFailed = 30,         // Port settings dialog failed, error No.
  kTextPortSettingsNotApplied = 31,   // Port settings were not applied, error No.
  kTextSendFailed = 32,               // The data could not be sent.
  kTextTextFileOpenFailed = 34,       // The text file could not be opened or created.
  kTextRepaintPeriod = 35,            // Repaint period (ms)
  kTextDeleteAsk = 36,                // Are you sure you want to delete?
  kTextEnterMacroName = 37,           // Enter the name of the macro file.
  kTextMacroFileEmpty = 38,           // The macro file is empty or does not exist.
  kTextAboutTitle = 40,               // About Quorrin
  kTextCancel = 41,                   // Cancel
  kTextStandardState = 42,            // Default State
  kTextLineStatusTitle = 43,          // Line Status
  kTextLineErrorsFirst = 44,          // Break
  kTextLineErrorsLast = 53,           // Waiting for DSR
  kTextLineHoldsFirst = 54,           // Waiting for RLSD
  kTextLineHoldsLast = 58,            // Immediate char queued
  kTextLineStatusLegend = 59,         // ● on, ○ off (errors are kept until RESET)
  kTextInputSendTitle = 60,           // Input Character Send
  kTextSendHistory = 61,              // Send History
  kTextStartChar = 62,                // Start char
  kTextEndChar = 63,                  // End char
  kTextChecksum = 64,                 // Checksum
  kTextTerminator = 65,               // Terminator
  kTextSendControlChar = 66,          // Send control character
  kTextSendCh1 = 67,                  // Send CH1
  kTextPageBack = 68,                 // ↑↑↑ Back ↑↑↑
  kTextPageNext = 69,                 // ↓↓↓ Next ↓↓↓
  kTextPresetSendTitle = 70,          // Preset String Send
  kTextPresetStrings = 71,            // Preset strings
  kTextSendCh2 = 72,                  // Send CH2
  kTextSendFormat = 73,               // Send Format
  kTextClose = 74,                    // Close
  kTextEnvironmentTitle = 75,         // Environment Settings
  kTextScrollStep = 76,               // Scroll step (rows)
  kTextLowerCaseChecksum = 77,        // Lower-case letters in ASC checksums
  kTextEnvironmentCancel = 78,        // Cancel
  kTextEntryMode = 79,                // Entry mode
  kTextNoAutoFocus = 80,              // No automatic focus in the send and checksum windows
  kTextHeader = 81,                   // Header
  kTextMacroTitle = 82,               // Run Macro
  kTextMacroFileName = 83,            // Macro file name
  kTextMacroRun = 84,                 // Run
  kTextMacroClose = 85,               // Close
  kTextMacroStop = 86,                // Stop
  kTextAscInput = 87,                 // ASC input
  kTextHexInput = 88,                 // Hex input
  kTextInputData = 89,                // Input data
  kTextReload = 90,                   // Reload
  kTextLoadOtherFile = 91,            // Load Other File
  kTextChecksumInputData = 95,        // Input data
  kTextInputMethod = 96,              // Input method
  kTextAscInputHelp = 97,             // ASC: characters are used as typed.
  kTextHexInputHelp = 98,             // HEX: type two hex digits per byte (e.g. 41 = A).
  kTextChecksumTitle = 100,           // Checksum Calculator
  kTextChecksumResult = 101,          // Result
  kTextCopyAsc = 102,                 // Copy ASC
  kTextCopyHex = 103,                 // Copy HEX
  kTextChecksumKindTitle = 104,       // Select Checksum
  kTextChecksumKind = 105,            // Checksum type
  kTextAsciiTitle = 106,              // ASCII Table
  kTextAsciiNamesFirst = 110,         // NUL (00): Null
  kTextAsciiNamesLast = 141,          // US (1F): Unit Separator
  kTextValueInvalid = 146,            // The value is invalid; the previous value is kept.
  kTextDecimalInput = 147,            // Decimal input
  kTextModbusCount = 148,             // Count
  kTextModbusRtuFrame = 149,          // Modbus RTU frame
  kTextModbusAsciiFrame = 150,        // Modbus ASCII frame
  kTextModbusStartChar = 151,         // Start char
  kTextModbusSlave = 152,             // Slave address
  kTextModbusFunction = 153,          // Function
  kTextModbusRegister = 154,          // Register address
  kTextModbusData = 155,              // Data
  kTextModbusEndCode = 156,           // End code
  kTextAssemble = 157,                // Assemble
  kTextModbusSubFunction = 158,       // Sub-function
  kTextModbusFunctionsFirst = 161,    // 01 Read Coils
  kTextModbusFunctionsLast = 179,     // 13 Reset Comm Link
  kTextDarkMode = 180,                // Dark mode
  kTextNoMenuBar = 181,               // No menu bar
  kTextSaveAndRestart = 182,          // Save and restart
  kTextPresetEditorTitle = 183,       // Preset String Editor
  kTextClearHistory = 184,            // Clear History
  kTextSaveHistory = 185,             // Save History
  kTextDeleteAll = 186,               // Delete All
  kTextSave = 187,                    // Save
  kTextLoad = 188,                    // Load
  kTextFormatNoteHex = 189,           // Enter characters in hex, two digits each
  kTextFormatNoteExample = 190,       // Example: 3141 gives the characters 1A
  kTextFormatNoteRange = 191,         // Select the checksum range with the "check" boxes
  kTextFormatNoteAdjacent = 192,      // Checked items must be adjacent: ON,OFF,ON is not allowed
  kTextMenuFile = 200,                // &File
  kTextMenuView = 201,                // &View
  kTextMenuSend = 202,                // &Send
  kTextMenuTools = 203,               // &Tools
  kTextMenuPort = 204,                // &Port
  kTextMenuOptions = 205,             // &Options
  kTextMenuHelp = 206,                // &Help
  kTextMenuSaveLog = 210,             // &Save Log
  kTextMenuOpenLog = 211,             // &Open Log
  kTextMenuExit = 212,                // E&xit
  kTextMenuRedraw = 220,              // &Redraw
  kTextMenuClearData = 221,           // &Clear Data
  kTextMenuScrollDown = 222,          // Scroll &Down
  kTextMenuScrollUp = 223,            // Scroll &Up
  kTextMenuGoToEnd = 224,             // Go to &End
  kTextMenuGoToBeginning = 225,       // Go to &Beginning
  kTextMenuChecksum = 226,            // Chec&ksum Calculator
  kTextMenuAsciiTable = 227,          // &ASCII Table
  kTextMenuInputSend = 230,           // &Input Character Send
  kTextMenuPresetSend = 231,          // &Preset String Send
  kTextMenuRunMacro = 232,            // Run &Macro
  kTextMenuModbus = 233,              // Mod&bus Frame Builder
  kTextMacroBadOffset = 236,          // Offset %d and count %d must be 00 to 99.
  kTextMacroLfAlone = 237,            // The line ends with LF alone; macro lines end with CR LF.
  kTextMacroLineTooLong = 238,        // The line is longer than %d characters.
  kTextEventError = 239,              // Event Error No.%d (CH%d)
  kTextMenuPresetEditor = 240,        // Preset String &Editor
  kTextMenuNotepad = 241,             // Open &Notepad
  kTextMenuEditMacro = 242,           // Edit &Macro File
  kTextNotHexNumber = 243,            // %ls: "%ls" is not a hexadecimal number from %ls to %ls.
  kTextFrameTooLong = 244,            // A %d-byte frame cannot be sent: one send carries at most %d.
  kTextNothingSent = 245,             // Nothing was sent.
  kTextFramedTooLong = 246,           // With the send format the frame would be %d bytes long.
  kTextSendLimit = 247,               // One send carries at most %d bytes.
  kTextEntryFramedTooLong = 248,      // With the send format this entry would be %d bytes long.
  kTextEntryLimit = 249,              // An entry holds at most %d bytes. The list was not changed.
  kTextMenuPortNumber = 250,          // Port &Number
  kTextMenuOpenPorts = 251,           // &Open Ports
  kTextMenuClosePorts = 252,          // &Close Ports
  kTextMenuPortSettings = 253,        // Port &Settings
  kTextMenuDcb = 254,                 // &DCB and Timeouts
  kTextMenuLineStatus = 255,          // &Line Status
  kTextLogShort = 256,                // The log file declares %lld records but holds only %d.
  kTextLogShortLoaded = 257,          // Those %d records were loaded.
  kTextAdminStartFailed = 258,        // %ls could not be started as administrator.
  kTextNotNumber = 259,               // %ls: "%ls" is not a number from %ls to %ls.
  kTextMenuEnvironment = 260,         // &Environment Settings
  kTextMenuTheme = 261,               // &Dark/Light Mode
  kTextMenuLanguage = 262,            // &Language
  kTextMenuColors = 263,              // &Color Settings
  kTextLogWriteFailed = 264,          // The log could not be written completely.
  kTextNotLog = 265,                  // This is not a log file: its header holds no record count.
  kTextCaptureUnchanged = 266,        // The capture is unchanged.
  kTextLogNoMemory = 267,             // Out of memory: the log file could not be read.
  kTextLogCut = 268,                  // The log file holds %lld records; the buffer takes %d.
  kTextLogCutLoaded = 269,            // The first %d records were loaded.
  kTextMenuAbout = 270,               // &About Quorrin
  kTextMenuManual = 271,              // User &Manual
  kTextMenuWebSite = 272,             // Quorrin &Web Site
  kTextNameTooLongForExtension = 273, // The file name is too long for the extension %ls.
  kTextNameTooLong = 274,             // The file name is longer than %d characters.
  kTextMacroReadFailed = 275,         // The macro file could not be read (error No.%d).
  kTextCaptureNoMemory = 276,         // Out of memory: the %d-byte capture buffer was not allocated.
  kTextSettingsWriteFailed = 277,     // The settings could not be written; they were not kept.
  kTextColorsWriteFailed = 278,       // The colors could not be written; they were not kept.
  kTextEntryTooLongForLine = 279,     // Entry %d does not fit in a line of %d characters: not saved.
  kTextStringsWriteFailed = 280,      // The strings file could not be written completely.
  kTextStringsReadStopped = 281,      // Reading stopped at line %d: error No.%lu.
  kTextStringsLongLines = 282,        // %d line(s) longer than %d characters, the first is line %d.
  kTextEntriesLeftEmpty = 283,        // Their entries were left empty.
  kTextStringsFullLines = 284,        // %d line(s) give more than %d bytes, the first is line %d.
  kTextModbusTooManyPairs = 285,      // The data field holds more than %d hexadecimal pairs.
  kTextModbusTooManyChars = 286,      // The data field holds more than %d characters.
  kTextModbusFirstTaken = 287,        // Only the first %d were taken.
  kTextModbusByteCount = 288,         // The byte count would be %d; one byte holds at most 255.
  kTextModbusNotAssembled = 289,      // The frame was not assembled; the previous one is kept.
  kTextModbusFrameTooLong = 290,      // The frame would be %d units long; it holds at most %d.
  kTextModbusNoFrame = 291,           // No frame has been assembled yet: nothing was sent.
  kTextModbusHasNul = 292,            // The data holds the byte 00, which ASC entry cannot show.
  kTextModbusStaysHex = 293,          // The data stays in HEX entry.
  kTextMacroStoppedAt = 294,          // The macro stopped at Step:%03d.
  kTextMacroBadSlot = 295,            // Slot number %d is not 00 to 99.
  kTextMacroNotConvertible = 296,     // The data cannot be converted to the code page.
  kTextMacroDataTooLong = 297,        // The data is longer than %d bytes.
  kTextMacroSlotTooLongToSend = 298,  // Slot %02d holds %d bytes; one send carries at most %d.
  kTextMacroSlotTooLong = 299,        // Slot %02d would grow to %d bytes; a slot holds %d.
  kTextMenuExport = 300,              // &Export Capture...
  kTextExportTitle = 301,             // Export capture
  kTextTimesMissing = 302,            // No times file lies beside this log.
  kTextTimesDamaged = 303,            // The times file beside this log is damaged.
  kTextTimesOtherLog = 304,           // The times file beside this log is for a log of another length.
  kTextTimesUnknownLoaded = 305,      // Precise times are unknown; silences come from the gap digits.
  kTextTimesNotWritten = 306,         // The times file could not be written; the log itself was saved.
  kTextExportWriteFailed = 307,       // The export could not be written completely.
  kTextNoDataToExport = 308,          // There is no data to export.
  kTextExportUsage = 309,             // Usage: Quorrin.exe /export <log file> <out file>
  kTextExportNoMemory = 310,          // There is not enough memory for the export.
  kTextManualNotOpened = 311,         // The manual could not be opened (no file, or no PDF viewer).
  kTextMenuModbusMonitor = 312,       // Mod&bus Monitor
  kTextMenuSaveAsMacro = 313,         // Save Capture as &Macro...
  kTextMenuAutoAnswer = 314,          // &Auto Answer
  kTextMenuLinkStats = 315,           // Link &Statistics
  kTextLinkStatsTitle = 316,          // Link Statistics
  kTextStatsChunks = 317,             // Chunks
  kTextStatsBytes = 318,              // Bytes
  kTextStatsRate = 319,               // Rate (bytes/s)
  kTextStatsSilences = 320,           // Silences between chunks
  kTextStatsLatency = 321,            // Request to answer (ms)
  kTextStatsLatencyFigureFirst = 322, // Count
  kTextStatsLatencyFigureLast = 326,  // Maximum
  kTextStatsPrecision = 327,          // Received times: ±1 ms near traffic, up to %d ms late if quiet.
  kTextStatsCopy = 328,               // Copy
  kTextStatsSilenceFirst = 329,       // under 1 ms
  kTextStatsSilenceLast = 333,        // 1 s and more
  kTextStatsStreamFirst = 334,        // CH1 RX
  kTextStatsStreamLast = 337,         // CH2 TX
  kTextStatsLatencyPaired = 338,      // From each send to the next receive on its channel
  kTextStatsLatencyMonitor = 339,     // Line monitor: from CH1 data to the next CH2 data
  kTextTipByteOfChunk = 340,          // %ls, index %ls in its chunk
  kTextTipByteOfLongRun = 341,        // %ls, index %ls or more in a long run
  kTextTipTime = 342,                 // Time %ls, %ls s after the first chunk
  kTextTipTimeUnknown = 343,          // Time: unknown
  kTextTipSilence = 344,              // Silence before: %ls ms
  kTextTipSilenceDigits = 345,        // Silence before: %ls ms (from the gap digits)
  kTextTipSilenceUnknown = 346,       // Silence before: unknown
  kTextTipSilenceFirst = 347,         // Silence before: none, first chunk
  kTextTipByte = 348,                 // Byte: hex %ls, decimal %ls, %ls
  kTextTipGapMarker = 349,            // Gap marker after a %ls chunk
  kTextTipGapSilence = 350,           // Silence after the chunk: %ls s
  kTextTipGapCounting = 351,          // Silence after the chunk: %ls s so far
  kTextTipGapUnknown = 352,           // Silence after the chunk: unknown
  kTextTipGapOrphan = 353,            // Gap marker with no chunk before it
  kTextMonitorTitle = 354,            // Modbus Monitor
  kTextMonitorColumnFirst = 355,      // Time (s); 355-363: the list's columns
  kTextMonitorExport = 364,           // Export...
  kTextMonitorStatus = 365,           // %d frames, %d bad
  kTextMonitorNoFrames = 366,         // No frames
  kTextModbusUsage = 367,             // Usage: Quorrin.exe /modbus <log file> <out file>
  kTextMonitorRequest = 368,          // Request
  kTextMonitorAnswer = 369,           // Answer
  kTextSaveMacroTitle = 370,          // Save Capture as Macro
  kTextMacroTooManySteps = 371,       // More answers than labels: the macro ends after step %d.
  kTextMacroUncompared = 372,         // %d answer bytes past the first 999 are not compared.
  kTextMacroTooLongToRun = 373,       // The macro is %lld code units long; a run loads at most %d.
  kTextMacroWriteFailed = 374,        // The macro could not be written completely.
  kTextAnswerTitle = 375,             // Auto Answer
  kTextAnswerChannel = 376,           // Channel
  kTextAnswerMatch = 377,             // When received
  kTextAnswerDelay = 378,             // Delay (ms)
  kTextAnswerAnswer = 379,            // Answer
  kTextAnswerFired = 380,             // Fired
  kTextAnswerAdd = 381,               // Add
  kTextAnswerChange = 382,            // Change
  kTextAnswerDelete = 383,            // Delete
  kTextAnswerLoad = 384,              // Load
  kTextAnswerSave = 385,              // Save
  kTextAnswerActive = 386,            // Answering with %d of %d rules; closing this window stops it
  kTextAnswerNoneOn = 387,            // No rule is on: nothing is answered
  kTextAnswerLineMonitor = 388,       // Line monitor mode: nothing is sent, matches are only counted
  kTextAnswerLinesSkipped = 389,      // %d lines were not loaded; the other rules were:
  kTextAnswerLineProblem = 390,       // Line %d: %ls
  kTextAnswerReasonFirst = 391,       // the line is too long (391-397: AutoAnswerReason 1-9 folded)
  kTextAnswerReasonLast = 397,        // more than 32 rules
  kTextAnswerQueueFull = 398,         // %d waiting answers were dropped: too many at once
  kTextAnswerUnseen = 399,            // %d capture records were cleared before they were looked at
  kTextReceiveThreadAlive = 400,      // The previous receive thread is still running: try again later.
  kTextTimesForAnotherLog = 430,      // The times file beside this log belongs to another log.
  kTextAnswerMatchNotation = 431,     // the match is not quoted text and hex pairs
  kTextAnswerAnswerNotation = 432,    // the answer is not quoted text and hex pairs
  kTextAnswerNotSent = 433,           // CH%d: %d answers not sent; the line is held or failed
  kTextMonitorStatusLeftOut = 440,    // %d frames, %d bad; %d more left out: memory is short
  kTextMonitorDecoding = 441,         // Reading the capture...
  kTextMonitorRole = 442,             // Role
  kTextMonitorNoMemory = 443,         // There is not enough memory to read the capture.
  kTextReconnect = 450,               // Reconnect a lost port
  kTextChannelLost = 451,             // LOST %ds (the status bar, while a lost port is tried again)
  kTextEventsNotWritten = 452,        // Events file beside the log not written; the log is saved.
  kTextEventsDamaged = 453,           // Events file beside the log is damaged; loaded without events.
  kTextTipEventOpened = 454,          // %ls %ls: port opened (time, "CH1 COM3")
  kTextTipEventClosed = 455,          // %ls %ls: port closed
  kTextTipEventLost = 456,            // %ls %ls: port lost, error %ls
  kTextTipEventGone = 457,            // %ls %ls: port lost, gone from the port list
  kTextTipEventBack = 458,            // %ls %ls: port back after %ls s
  kTextTipEventSettings = 459,        // %ls %ls: line settings changed, %ls baud
  kTextTipEventLoaded = 460,          // %ls: log loaded
  kTextTipEventCleared = 461,         // %ls: capture cleared
  kTextStatsOutages = 462,            // Line outages (link statistics)
  kTextStatsOutageTime = 463,         // Time lost (s)
  kTextModbusTcpFrame = 464,          // Modbus TCP frame (the builder's preview title)
  kTextModbusTcp = 465,               // TCP (the builder's third framing)
  kTextAddressEmpty = 470,            // No port given: write e.g. COM3 or socket://10.0.0.5:4001
  kTextAddressTooLong = 471,          // Port address too long: at most 299 characters
  kTextAddressNonAscii = 472,         // Port address has a non-ASCII character (a full-width one?)
  kTextAddressBlank = 473,            // Port address has a blank or control character inside it
  kTextAddressUnknownScheme = 474,    // Unknown port type: use COMn, rfc2217://, socket:// or listen://
  kTextAddressSchemeSlashes = 475,    // Write :// after the port type, e.g. socket://10.0.0.5:4001
  kTextAddressBadCom = 476,           // COM port number must be 1 to 255, no leading zero, e.g. COM3
  kTextAddressMissingHost = 477,      // Host missing: write host:port, e.g. socket://10.0.0.5:4001
  kTextAddressMissingPort = 478,      // Port number missing: host:port, e.g. socket://10.0.0.5:4001
  kTextAddressBadPort = 479,          // Port number must be 1 to 65535, digits only, no leading zero
  kTextAddressBadHost = 480,          // Bad host name: letters, digits, '-' inside, parts split by '.'
  kTextAddressHostTooLong = 481,      // Host name too long: at most 253 characters, 63 between dots
  kTextAddressBadIpv4 = 482,          // Bad IPv4 address: four numbers 0 to 255, e.g. 192.168.0.10
  kTextAddressBadIpv6 = 483,          // Bad IPv6 address, e.g. write [fe80::1] or [2001:db8::5]
  kTextAddressIpv6Brackets = 484,     // IPv6 address needs brackets, e.g. socket://[::1]:4001
  kTextAddressTrailing = 485,         // Unexpected text after host:port; nothing may follow the port
  kTextAddressListenName = 486,       // Listen address must be an IP address or localhost, e.g. 0.0.0.0
  kTextPortAddressInvalid = 487, // CH%d: the port address is not valid:
  kTextNetConnectFailed = 488, // CH%d: cannot connect to %ls
  kTextNetRefused = 489,  // Connection refused: nothing listens on that port
  kTextNetTimedOut = 490, // No answer within 5 s: host down or unreachable
  kTextNetNoHost = 491,   // Host name not found
  kTextNetNoListen = 492, // Cannot listen there: address in use or not this machine's
  kTextNetError = 493,    // Network error %d
  kTextPortAddressNote = 494, // Network: rfc2217://host:port, socket://host:port, listen://port
  kTextServerNotConfirmed = 495, // Not confirmed by the server: %ls
  kTextBreak = 496,       // Break
  kTextServerRefused = 497,  // The server refused: %ls (the line status dialog's note)
  kTextMenuRecord = 498,  // &Record to Disk...
  kTextRecordFailed = 499,  // Recording stopped (error %d). What was written stays readable.
  kTextRecordCannotStart = 501,  // Cannot record into this folder (error %d)
  kTextTipRecordStopped = 500,  // %ls: recording stopped, error %ls
  kTextSliceUsage = 502,         // With a recording: /from TIME /to TIME (HH:MM:SS or seconds)
  kTextNotATime = 503,           // Not a time: %ls
  kTextNoRecordingHere = 504,    // No recording here (no quorrin-*.qrec file)
  kTextRecordSkipped = 505,      // %lld damaged bytes passed over, %d file(s) cut short
  kTextRecordNotRead = 506,      // Not a recording this program reads: passed over
  kTextRecordLogCut = 507,       // The slice is longer than a log holds: the log ends at %ls
  kTextRecordReadFailed = 508,   // %d file(s) could not be read to their end
  kTextMenuOpenRecording = 509,  // Open Re&cording...
  kTextMenuBackToLive = 510,     // Back to &Live Capture
  kTextBackToLive = 511,         // Back to live (the status bar while a recording is shown)
  kTextOpenRecordingTitle = 512, // Open Recording (choose one file, or all of a folder)
  kTextRecordingPart = 513,      // Recording, %ls to %ls (a tool window's title while a recording is shown)
  kTextFindUsage = 514,          // Usage: Quorrin.exe /find <log or recording> <pattern> [options]
  kTextFindEmpty = 516,          // Nothing to find: the pattern is empty
  kTextFindTooLong = 517,        // The pattern is longer than 256 bytes
  kTextFindNotHex = 518,         // Not a hex digit or ?? at character %d
  kTextFindLoneDigit = 519,      // A hex digit or ? without its partner at character %d
  kTextFindOpenQuote = 520,      // A quote at character %d is never closed
  kTextFindNotByte = 521,        // Not a byte in quotes at character %d
  kTextFindOnlyAny = 522,        // Only ?? would match everything: give one byte at least
  kTextMenuFind = 523,  // &Find...
  kTextMenuFindNext = 524,  // Find &Next
  kTextMenuFindPrevious = 525,  // Find &Previous
  kTextMenuGoToTime = 526,  // &Go to Time...
  kTextFindTitle = 527,  // Find
  kTextFindWhat = 528,  // Find what:
  kTextFindLookFor = 529,  // Look for:
  kTextFindBytes = 530,  // Bytes
  kTextFindSilence = 531,  // A silence longer than (ms)
  kTextFindBadFrame = 532,  // A bad Modbus frame
  kTextFindLineEvent = 533,  // A line event
  kTextFindFormNotation = 534,  // Strings notation ("OK"0D0A)
  kTextFindFormHex = 535,  // Hex (?? for any byte)
  kTextFindFormText = 536,  // Text
  kTextFindMatchCase = 537,  // Match case
  kTextFindReceived = 538,  // Received
  kTextFindSent = 539,  // Sent
  kTextFindNext = 540,  // Find Next
  kTextFindPrevious = 541,  // Find Previous
  kTextFindAll = 542,  // Find All
  kTextFindSearching = 543,  // Searching... %d%% (Esc cancels)
  kTextFindMatchOf = 544,  // Match %d of %d
  kTextFindMatchOfMore = 545,  // Match %d of more than %d
  kTextFindNoMatch = 546,  // No match
  kTextFindNoFurther = 547,  // No further match this way
  kTextFindCancelled = 548,  // Cancelled: %d found in the part searched
  kTextFindGone = 549,  // That match is no longer in the capture
  kTextFindBadSilence = 550,  // Give the silence as whole ms, 1 or more
  kTextFindColumnTime = 551,  // Time of day
  kTextFindColumnFound = 552,  // Found
  kTextFindColumnHex = 553,  // Hex
  kTextFindNoAnswer = 554,  // no answer
  kTextGoToTimeTitle = 555,  // Go to Time
  kTextGoToTimeLabel = 556,  // Time of day (14:03:07.250) or seconds since the start:
  kTextGoToTimeNothing = 557,  // Nothing was captured at or after that time
  kTextFindFound = 558,  // %d found
  kTextFindNoSource = 559,  // Nothing to search: the capture is empty
  kTextFindFoundSince = 560,  // %d found, searched from %ls on (a live capture that has dropped its oldest records)
  kTextServerSet = 561,  // The server set: %ls (settings an RFC 2217 server set otherwise than asked)
  kTextNetUnterminated = 562,  // CH%d: the server at %ls left a Telnet subnegotiation open
  kTextNetUnterminatedData = 563,  // After %d bytes, what it sends is shown as data again.
  kTextStatusClient = 565,     // Client %ls (a listening channel's line part: the client it serves)
  kTextStatusNoClient = 566,   // No client yet (a listening channel's line part)
  kTextStatusRawTcp = 567,     // Raw TCP: no line settings (a socket:// channel's line part)
  kTextRecordSummary = 568,    // Recorded %ls in %d files: %ls (the status bar after a stop: size, files, folder)
  kTextMenuOpenRecordingFolder = 569,  // Open Recording &Folder...
  kTextRecordSaved = 570,      // Saved %ls (the REC part after a stop: the size; its tooltip says the rest)
  kTextTipEventRefused = 564,  // %ls %ls: client refused, another one is connected (time, "CH1 10.0.0.5:50123")
};

// The format fields text n must have, as their length and conversion
// letters separated by blanks ("d", "lld d", "ls ls"); "" for a text that
// is shown as it stands.
const char* message_fields(int n);

// 1 when the format fields of `text` are exactly `expected` (flags, width
// and precision aside: "%03d" is "d"), in order; "%%" is no field. Any
// other field (%s, %n, %*d, a lone % at the end) does not match.
int message_fields_match(const char16_t* text, const char* expected);
