// Saving and loading strings files (the send history, preset strings).
#pragma once

#include "app/app_win.h"
#include "send/strings_file.h"

// Writes entries 0 to m - 1, stopping at the first empty one, as a strings
// file at path (given ".txt" first). An entry too long for a line is
// reported before anything is written; a failed or short write is reported
// after the file is closed.
void strings_file_save(HWND owner, wchar_t* path, const StringEntry* entries, int m);
// Asks for a name with the file chooser, then saves as above.
void strings_file_save_as(HWND owner, const StringEntry* entries, int m);
// Load strings file: reads the file `name` (in the program directory when
// relative is 1, else a full path) into list (kStringsListEntries entries).
// A file that cannot be opened or lacks the byte order mark is reported and
// leaves the list unchanged (returns 1); lines whose entries had to stay
// empty because they were too long are reported after the read (returns 0).
int strings_file_load(HWND owner, const wchar_t* name, int relative, StringEntry* list);
