#include "settings/message_text.h"

#include <cstdio>

#include "app/text16.h"

void message_text_key(int n, int lang, char16_t* out) {
  static const char kLetter[kLanguages] = {'j', 'e', 'k', 'c'};
  char key[32];
  std::snprintf(key, sizeof key, "No.%d:comt-%c", n, kLetter[lang & 3]);
  text16_from_ascii(out, 32, key);
}

void message_table_load(MessageTable* table, const ProfileIo* io) {
  for (int n = 0; n < kMessageTexts; n++)
    for (int lang = 0; lang < kLanguages; lang++) {
      char16_t key[32];
      message_text_key(n, lang, key);
      char16_t* slot = table->text[n][lang];
      slot[0] = 0;
      io->get_text(io->ctx, key, u"", slot, kMessageTextUnits);
      slot[kMessageTextUnits - 1] = 0;
    }
}

void message_text_get(const MessageTable* table, int language, int n, char16_t* out) {
  if (language < 0 || language >= kLanguages || n < 0 || n >= kMessageTexts) return;
  text16_copy(out, kMessageTextUnits, table->text[n][language]);
}
