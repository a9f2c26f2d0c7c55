#include "serial/port_identity_win.h"

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

namespace {

// The setup class of serial and parallel ports.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The COM number of one device of the set from its "PortName"; 0 when it
// has none (a printer port, or a key that cannot be read).
int32_t device_com_number(HDEVINFO set, SP_DEVINFO_DATA* info) {
  HKEY key = SetupDiOpenDevRegKey(set, info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return 0;
  // One unit more than is read, so the value always ends in a NUL.
  wchar_t name[17] = {};
  DWORD size = 16 * sizeof(wchar_t);
  DWORD type = 0;
  LONG rc = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return 0;
  return port_identity_com_number(reinterpret_cast<char16_t*>(name));
}

// The identity of one device of the set; 1 when it has none.
int device_identity(HDEVINFO set, SP_DEVINFO_DATA* info, PortIdentity* out) {
  wchar_t instance[kPortIdUnits] = {};
  wchar_t parent[kPortIdUnits] = {};
  if (!SetupDiGetDeviceInstanceIdW(set, info, instance, kPortIdUnits, nullptr)) return 1;
  DEVINST up = 0;
  if (CM_Get_Parent(&up, info->DevInst, 0) != CR_SUCCESS ||
      CM_Get_Device_IDW(up, parent, kPortIdUnits, 0) != CR_SUCCESS)
    parent[0] = 0;
  return port_identity_parse(reinterpret_cast<char16_t*>(instance), reinterpret_cast<char16_t*>(parent), out);
}

// Calls each(ctx, number, set, info) for every present port with a COM
// number, until it returns non-zero.
void ports_each(int (*each)(void* ctx, int32_t number, HDEVINFO set, SP_DEVINFO_DATA* info), void* ctx) {
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA info = {};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); i++) {
    int32_t number = device_com_number(set, &info);
    if (number != 0 && each(ctx, number, set, &info)) break;
  }
  SetupDiDestroyDeviceInfoList(set);
}

struct ReadOne {
  int32_t number;
  PortIdentity* out;
  int rc;
};

int read_one(void* ctx, int32_t number, HDEVINFO set, SP_DEVINFO_DATA* info) {
  ReadOne* r = static_cast<ReadOne*>(ctx);
  if (number != r->number) return 0;
  r->rc = device_identity(set, info, r->out);
  return 1;
}

struct ListAll {
  PortIdentityEntry* out;
  int32_t max;
  int32_t count;
};

int list_one(void* ctx, int32_t number, HDEVINFO set, SP_DEVINFO_DATA* info) {
  ListAll* l = static_cast<ListAll*>(ctx);
  PortIdentityEntry* e = &l->out[l->count];
  if (device_identity(set, info, &e->identity) == 0) {
    e->number = number;
    l->count++;
  }
  return l->count >= l->max;
}

}  // namespace

int port_identity_read(int32_t com_number, PortIdentity* out) {
  port_identity_parse(nullptr, nullptr, out);
  if (com_number < 1 || com_number > 256) return 1;
  ReadOne r = {com_number, out, 1};
  ports_each(read_one, &r);
  if (r.rc) port_identity_parse(nullptr, nullptr, out);
  return r.rc;
}

int32_t port_identity_list(PortIdentityEntry* out, int32_t max) {
  if (!out || max <= 0) return 0;
  ListAll l = {out, max, 0};
  ports_each(list_one, &l);
  return l.count;
}
