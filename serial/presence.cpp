#include "serial/presence.h"

int32_t presence_port_number(const char16_t* data) {
  for (int i = 0; i < 3; i++)
    if (data[i] == 0) return 0;
  char16_t digits[4] = {};
  for (int i = 0; i < 3; i++) {
    digits[i] = data[3 + i];
    if (digits[i] == 0 || digits[i] == u' ') break;
  }
  int i = 0;
  while (digits[i] == u' ' || digits[i] == u'\t') i++;
  int32_t n = 0;
  for (; i < 3 && digits[i] >= u'0' && digits[i] <= u'9'; i++) n = n * 10 + (digits[i] - u'0');
  return n;
}

int presence_bits_for(const char16_t* data, int32_t port1, int32_t port2) {
  int32_t n = presence_port_number(data);
  int bits = 0;
  if (n == port1) bits |= 1;
  if (n == port2) bits |= 2;
  return bits;
}
