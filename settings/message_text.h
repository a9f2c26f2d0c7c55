// The message text table: 300 numbered texts in four languages (Japanese,
// English, Korean, Chinese), read once at start from "quorrin_char2.ini",
// section "quorrin", keys "No.N:comt-j", "-e", "-k", "-c".
#pragma once

#include <cstdint>

#include "settings/settings.h"

constexpr int kMessageTexts = 300;
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
