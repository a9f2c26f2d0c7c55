#include "serial/presence_win.h"

#include "serial/presence.h"

int serial_comm_each(void (*each)(void* ctx, const char16_t* data), void* ctx) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return 1;
  for (DWORD index = 0;; index++) {
    wchar_t name[256];
    DWORD name_len = 256;
    // One unit more than the 256 bytes read, so the data always ends in a NUL.
    wchar_t data[129] = {};
    DWORD data_size = 256;
    DWORD type = 0;
    if (RegEnumValueW(key, index, name, &name_len, nullptr, &type, reinterpret_cast<BYTE*>(data), &data_size) !=
        ERROR_SUCCESS)
      break;
    if (type == REG_SZ) each(ctx, reinterpret_cast<char16_t*>(data));
  }
  RegCloseKey(key);
  return 0;
}

static void presence_add(void* ctx, const char16_t* data) {
  *static_cast<int*>(ctx) |= presence_bits_for(data, g_app.settings.port[0].rs_comport,
                                               g_app.settings.port[1].rs_comport);
}

int presence_check() {
  int bits = 0;
  serial_comm_each(presence_add, &bits);
  return bits;
}
