// The send format: the frame (start character, header characters, input
// characters, end character, checksum, terminator) wrapped around what the
// user sends, assembled from the send format settings kept in Settings
// (rs_stchar_on ... rs_spcheck_on), and the rules of the send format dialog
// that shows and reads back those settings. The dialog itself only moves
// SendFormatForm to and from its controls.
#pragma once

#include <cstdint>

#include "codec/convert.h"
#include "settings/settings.h"

// The most bytes one send carries, on every path (input window, presets,
// Modbus builder, macro): a longer frame is refused, never cut short.
constexpr int kSendMax = 258;

enum FrameResult { kFrameOk = 0, kFrameTooLong = 1 };

// Terminator modes (rs_endchar_on): 0 and 2 send nothing, remembering in
// the dialog whether one byte or CR LF was chosen.
enum TerminatorMode { kTermOffByte = 0, kTermByte = 1, kTermOffCrLf = 2, kTermCrLf = 3 };

// The number of bytes frame_assemble produces for `count` input units (a
// negative count counts as 0), with or without the send format.
int64_t frame_length(const Settings* s, int32_t count, int frame);

// Turns input units into the bytes of one send. With `frame` clear they are
// just the units as bytes (convert_chars_to_bytes); with it set the send
// format of `s` is wrapped around them and the checksum covers the elements
// chosen for its range, joined in frame order. Returns kFrameOk with the
// byte count in *length; or kFrameTooLong, writing nothing to out, with
// *length the size the frame would have had, when that exceeds kSendMax
// (256 units with a header, start, end, checksum and terminator can).
int frame_assemble(const Settings* s, const AnsiCodec* codec, const char16_t* units, int32_t count, int frame,
                   uint8_t out[kSendMax], int32_t* length);

// The controls of the send format dialog, as texts and check states.
constexpr int kFormByteTextUnits = 63;  // a byte field is read up to 62 characters
struct SendFormatForm {
  int32_t start_on, header_on, end_on, checksum_on, terminator_on;  // "enabled" boxes (input is always on)
  int32_t start_in_range, header_in_range, end_in_range;           // "check" boxes (input always in range)
  int32_t hex_form;                                                // "HEX" radio button, else "ASC"
  char16_t start[kFormByteTextUnits];
  char16_t header[kHeaderTextUnits + 1];
  char16_t end[kFormByteTextUnits];
  char16_t terminator[kFormByteTextUnits];
  char16_t kind[16];  // the combo box's text
};

// What the dialog shows when it opens. Opening also puts the input
// characters on and in the checksum range for good: the dialog shows them
// checked and disabled.
void send_format_form_fill(Settings* s, SendFormatForm* f);
// Reads the dialog back into the settings when the user closes it with its
// button. Byte fields are read as base-16 numbers (low 8 bits); the header
// text is kept as typed; the terminator field sets the byte when it is two
// characters long, chooses CR LF when it begins with "0D0A" or "0d0a", and
// otherwise leaves the byte as it was; the checksum name picks the kind
// (unknown names are XOR).
void send_format_form_apply(const SendFormatForm* f, Settings* s);
