#include "tools/typed_input.h"

int typed_input_take(TypedInput* in, const char16_t* typed, int len) {
  int added = 0;
  if (in->count >= kInputUnits) return 0;
  for (int i = 0; i < len && typed[i]; i++) added += hex_entry_type(&in->entry, typed[i], in->units, &in->count);
  return added;
}

void typed_input_backspace(TypedInput* in) {
  if (in->count < 1) return;
  in->units[--in->count] = 0;
}

void typed_input_clear(TypedInput* in) {
  for (char16_t& u : in->units) u = 0;
  in->count = 0;
}

void typed_input_scroll(TypedInput* in, int step) {
  int32_t next = in->view_offset + (step < 0 ? -32 : 32);
  if (next < 0) next = 0;
  if (next > 192) next = 192;
  in->view_offset = next;
  in->user_scrolled = 1;
}

int32_t typed_input_view(TypedInput* in) {
  if (!in->user_scrolled) in->view_offset = in->count >= 32 ? 32 * (in->count / 32 - 1) : 0;
  if (in->view_offset > 192) in->view_offset = 192;
  if (in->view_offset < 0) in->view_offset = 0;
  in->user_scrolled = 0;
  return in->view_offset;
}
