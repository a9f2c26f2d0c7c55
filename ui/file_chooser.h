// The program's one file chooser: what each of its modes starts from, shows
// and makes of the chosen name. ui/file_chooser_win.cpp runs the common open
// and save dialogs with these rules.
#pragma once

#include <cstdint>

enum FileChooserMode {
  kChooseOpenLog = 0,      // open a log file
  kChooseSaveLog = 1,      // save a log file
  kChooseOpenText = 2,     // open a text file (macro files)
  kChooseOpenStrings = 3,  // open a strings file
  kChooseSaveStrings = 4,  // save a strings file (its extension is the save's own rule)
  kChooseEditMacro = 5,    // pick macro files to open in their editor
  kChooseExport = 6,       // export the capture (".csv" makes CSV, any other name text)
  kChooseSaveMacro = 7,    // save the capture as a macro file
  kChooseOpenRecording = 8,  // open recording files (one, or several of a folder)
  kChoosePicture = 9,       // save a picture as PNG
  kChooseModes = 10,
};
constexpr int kPathChars = 260;

struct FileChooserRule {
  int save;                    // 1: the save dialog
  int title_text;              // message text of the title, or 0
  const char16_t* title;       // fixed title when title_text is 0
  const char16_t* filter;      // the filter list, pairs ended by a double NUL
  const char16_t* start_name;  // the name a path without a "." starts from
  const char16_t* extension;   // given to the chosen name, or null
  int multiple;                // 1: several files may be chosen (explorer style)
  int hide_read_only;          // 1: no "Open as read-only" box, which means nothing there
};

// The rule of `mode`; an unknown mode gets the rule of kChooseOpenText.
const FileChooserRule* file_chooser_rule(int mode);

// Prepares the initial name of the chooser in `path` (kPathChars units):
// the mode's start name ("Temp1.log", "Temp1.txt", "temp.txt", "*.txt",
// "Temp1.csv", "replay.txt") when
// it holds no ".", and made absolute under `program_dir` unless it starts
// with a drive ("X:\"). Returns 1 when the result would not fit (path then
// holds the start name under the program directory, or the bare start name
// when even that does not fit).
int file_chooser_initial_path(char16_t* path, const char16_t* program_dir, int mode);

// Gives the chosen name the mode's extension, compared without case: a name
// part (after the last backslash) with a "." is cut at its first "." and the
// extension put in its place; else the extension is appended. A mode without
// an extension leaves the name as it is. Returns 1 and leaves `name`
// unchanged when the result would not fit in kPathChars units.
int file_chooser_fix_extension(char16_t* name, int mode);
