#include "restart/pivotle_command.h"

int pivotle_take_command(const char16_t* line, char16_t command[kPivotleCommandUnits]) {
  for (int i = 0; i < kPivotleCommandUnits; i++) command[i] = 0;
  int n = 0;
  while (n < kPivotleCommandUnits && line[n]) n++;
  if (n == 0) return kPivotleNothing;
  if (n == kPivotleCommandUnits) return kPivotleTooLong;
  for (int i = 0; i < n; i++) command[i] = line[i];
  return kPivotleOpen;
}
