#include "serial/port_list.h"

#include "app/text16.h"

void present_ports_clear(PresentPorts* set) { set->count = 0; }

void present_ports_add(PresentPorts* set, const char16_t* data) {
  if (set->count >= kPresentMax) return;
  if (text16_copy(set->name[set->count], kPortNameUnits, data)) return;
  set->count++;
}

static int text16_same(const char16_t* a, const char16_t* b) {
  for (; *a && *a == *b; a++, b++) {}
  return *a == *b;
}

int present_ports_has(const PresentPorts* set, const char16_t* port_name) {
  for (int i = 0; i < set->count; i++)
    if (text16_same(set->name[i], port_name)) return 1;
  return 0;
}

void port_name_of(int32_t number, char16_t* out) {
  char16_t digits[12];
  int n = 0;
  int64_t v = number;
  int negative = v < 0;
  if (negative) v = -v;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + v % 10);
    v /= 10;
  } while (v);
  int k = 0;
  out[k++] = u'C', out[k++] = u'O', out[k++] = u'M';
  if (negative) out[k++] = u'-';
  while (n) out[k++] = digits[--n];
  out[k] = 0;
}

static const char16_t* find_text(const char16_t* s, const char16_t* what) {
  for (; *s; s++) {
    int i = 0;
    while (what[i] && s[i] == what[i]) i++;
    if (!what[i]) return s;
  }
  return nullptr;
}

int port_list_entry(const char16_t* friendly, char16_t port_name[kPortNameUnits], char16_t entry[kPortEntryUnits]) {
  const char16_t* open = find_text(friendly, u"(COM");
  if (!open) return 1;
  const char16_t* close = open + 1;
  while (*close && *close != u')') close++;
  if (*close != u')') return 1;
  int name_len = static_cast<int>(close - (open + 1));
  int desc_len = static_cast<int>(open - friendly);
  if (name_len >= kPortNameUnits || name_len + desc_len + 5 >= kPortEntryUnits) return 1;
  for (int i = 0; i < name_len; i++) port_name[i] = open[1 + i];
  port_name[name_len] = 0;
  int k = 0;
  for (int i = 0; i < name_len; i++) entry[k++] = port_name[i];
  entry[k++] = u':';
  entry[k++] = u'[';
  for (int i = 0; i < desc_len; i++) entry[k++] = friendly[i];
  entry[k++] = u']';
  entry[k++] = u'\n';
  entry[k] = 0;
  return 0;
}

void port_list_begin(PortList* list, const int32_t numbers[2]) {
  list->count = 0;
  for (int ch = 0; ch < 2; ch++) list->chosen[ch] = numbers[ch] == 0 ? kChosenNone : kChosenEmpty;
}

int port_list_offer(PortList* list, const PresentPorts* present, const char16_t* friendly, const int32_t numbers[2]) {
  if (list->count >= kPortListMax) return 0;
  char16_t name[kPortNameUnits];
  char16_t* entry = list->entry[list->count];
  if (port_list_entry(friendly, name, entry)) return 0;
  if (!present_ports_has(present, name)) return 0;
  // Only names short enough to be a port number's are compared with the
  // channels' ports; a longer one is listed but chosen by neither.
  if (text16_copy(list->port_name[list->count], 16, name)) list->port_name[list->count][0] = 0;
  for (int ch = 0; ch < 2; ch++) {
    if (numbers[ch] == 0) continue;
    char16_t mine[16];
    port_name_of(numbers[ch], mine);
    // Whole names are compared, so COM1 does not take the COM10 entry.
    if (list->chosen[ch] == kChosenEmpty && text16_same(mine, list->port_name[list->count]))
      list->chosen[ch] = list->count;
  }
  list->count++;
  return 1;
}

int32_t port_number_of_choice(const char16_t* text) {
  for (int i = 0; i < 3; i++)
    if (text[i] == 0) return 0;
  int32_t n = 0;
  for (int i = 3; i < 6 && text[i] >= u'0' && text[i] <= u'9'; i++) n = n * 10 + (text[i] - u'0');
  return n;
}

int port_choice_take(int32_t numbers[2], int ch, int32_t number) {
  numbers[ch] = number;
  if (numbers[0] == numbers[1] && numbers[0] != 0) {
    numbers[1] = 0;
    return 1;
  }
  return 0;
}

int32_t port_number_of_edit(const char16_t* text) { return text16_to_int(text, 3); }

PortCheck port_dialog_check(int32_t numbers[2], int32_t lm_mode) {
  if (numbers[0] == numbers[1] && numbers[0] != 0) {
    numbers[1] = 0;
    return kPortCheckSame;
  }
  // Port numbers are 0 (none) to 255; the open refuses anything else.
  if (numbers[0] < 0 || numbers[0] > 255) {
    numbers[0] = 0;
    return kPortCheckRangeCh1;
  }
  if (numbers[1] < 0 || numbers[1] > 255) {
    numbers[1] = 0;
    return kPortCheckRangeCh2;
  }
  if (lm_mode && (numbers[0] == 0 || numbers[1] == 0)) return kPortCheckMonitorBoth;
  return kPortCheckOk;
}
