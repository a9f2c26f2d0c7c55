// The thread's ANSI code page for the core's conversions (AnsiCodec).
#include <windows.h>

#include "codec/convert.h"

static int ansi_encode_win(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  if (count <= 0 || cap <= 0) return 0;
  const wchar_t* text = reinterpret_cast<const wchar_t*>(units);
  char* bytes = reinterpret_cast<char*>(out);
  // No best fit: a character the code page lacks becomes its default
  // character, never a look-alike (a full-width digit must not turn into a
  // digit, nor a Greek letter into a Latin one).
  int n = WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, text, count, bytes, cap, nullptr, nullptr);
  // A system whose ANSI code page is UTF-8 takes no flags; it has no best fit
  // to avoid either.
  if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS)
    n = WideCharToMultiByte(CP_THREAD_ACP, 0, text, count, bytes, cap, nullptr, nullptr);
  return n;
}

static int ansi_lead_byte_win(void*, uint8_t b) { return IsDBCSLeadByteEx(CP_THREAD_ACP, b) ? 1 : 0; }

const AnsiCodec ansi_codec_win = {nullptr, ansi_encode_win, ansi_lead_byte_win};
