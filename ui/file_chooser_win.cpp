#include "ui/file_chooser_win.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/text16.h"


int file_chooser(HWND owner, int mode, wchar_t* path, int units) {
  const FileChooserRule* rule = file_chooser_rule(mode);
  wchar_t title[kMessageTextUnits] = L"";
  if (rule->title_text) get_text(rule->title_text, title);
  else lstrcpynW(title, wide(rule->title), kMessageTextUnits);
  SetCurrentDirectoryW(wide(g_app.program_dir));
  char16_t* path16 = reinterpret_cast<char16_t*>(path);
  file_chooser_initial_path(path16, g_app.program_dir, mode);

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = wide(rule->filter);
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = static_cast<DWORD>(units);
  ofn.lpstrTitle = title;
  ofn.Flags = rule->multiple ? OFN_EXPLORER | OFN_ALLOWMULTISELECT : OFN_FILEMUSTEXIST | OFN_EXTENSIONDIFFERENT;
  if (rule->hide_read_only) ofn.Flags |= OFN_HIDEREADONLY;
  if (!(rule->save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return 0;
  if (file_chooser_fix_extension(path16, mode)) {
    show_texts(owner, L"Error", {kTextNameTooLongForExtension}, path, wide(rule->extension));
    return 0;
  }
  return 1;
}

namespace {

// The classic dialog's folder: where it opens, then a typed path the shell
// does not know yet (asked for only when the caller makes missing folders).
struct ClassicFolder {
  const wchar_t* start;
  wchar_t typed[MAX_PATH];
};

int CALLBACK folder_begin(HWND dlg, UINT msg, LPARAM value, LPARAM data) {
  auto* f = reinterpret_cast<ClassicFolder*>(data);
  if (msg == BFFM_INITIALIZED) SendMessageW(dlg, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(f->start));
  if (msg == BFFM_VALIDATEFAILEDW) lstrcpynW(f->typed, reinterpret_cast<const wchar_t*>(value), MAX_PATH);
  return 0;
}

// The classic folder dialog, where IFileOpenDialog is missing; its edit box
// takes a typed path.
int folder_choose_classic(HWND owner, const wchar_t* caption, wchar_t* folder, int may_be_new) {
  ClassicFolder f = {folder, L""};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.lpszTitle = caption;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX | (may_be_new ? BIF_VALIDATE : 0);
  info.lpfn = folder_begin;
  info.lParam = reinterpret_cast<LPARAM>(&f);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (f.typed[0]) {
    if (chosen) CoTaskMemFree(chosen);
    lstrcpynW(folder, f.typed, MAX_PATH);
    return 0;
  }
  if (!chosen) return 1;
  wchar_t path[MAX_PATH] = L"";
  const BOOL got = SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  if (!got) return 1;
  lstrcpynW(folder, path, MAX_PATH);
  return 0;
}

// The folder picker of the open dialog: it starts in `folder`, and a path
// can be typed into its name field as well as picked. -1 when the system
// has none, 1 when the user cancelled, 0 with the folder chosen.
int folder_choose_modern(HWND owner, const wchar_t* caption, wchar_t* folder, int may_be_new) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog))))
    return -1;
  int result = 1;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  // A typed folder that is not there yet is taken when the caller makes it.
  if (may_be_new) options &= ~(FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
  dialog->SetTitle(caption);
  IShellItem* start = nullptr;
  if (SUCCEEDED(SHCreateItemFromParsingName(folder, nullptr, IID_PPV_ARGS(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  // The folder's whole path stands in the name field: what OK takes is in
  // sight, and another path can be typed over it.
  dialog->SetFileName(folder);
  IShellItem* chosen = nullptr;
  if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&chosen))) {
    wchar_t* path = nullptr;
    if (SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)) && wcslen(path) < MAX_PATH) {
      lstrcpynW(folder, path, MAX_PATH);
      result = 0;
    }
    CoTaskMemFree(path);
    chosen->Release();
  }
  dialog->Release();
  return result;
}

}  // namespace

int folder_choose(HWND owner, int title, wchar_t* folder, int may_be_new) {
  wchar_t caption[kMessageTextUnits] = L"";
  get_text(title, caption);
  text16_menu_plain(reinterpret_cast<char16_t*>(caption));
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  int result = folder_choose_modern(owner, caption, folder, may_be_new);
  if (result < 0) result = folder_choose_classic(owner, caption, folder, may_be_new);
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}
