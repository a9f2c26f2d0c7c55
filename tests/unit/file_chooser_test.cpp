// The file chooser's rules: where each mode starts and what it makes of the
// chosen name.
#include "ui/file_chooser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string fixed(std::u16string name, int mode) {
  char16_t buf[kPathChars] = {};
  if (name.size() >= static_cast<size_t>(kPathChars)) return u"<no room for the terminator>";
  for (size_t i = 0; i < name.size(); i++) buf[i] = name[i];
  if (file_chooser_fix_extension(buf, mode)) return u"<too long>";
  return buf;
}

TEST(FileChooser, ExtensionRules) {
  EXPECT_EQ(fixed(u"C:\\q\\data", kChooseSaveLog), u"C:\\q\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\data.bin", kChooseSaveLog), u"C:\\q\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\trace.LOG", kChooseSaveLog), u"C:\\q\\trace.LOG");
  EXPECT_EQ(fixed(u"C:\\my.logs\\data", kChooseSaveLog), u"C:\\my.logs\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\a.b.c", kChooseOpenLog), u"C:\\q\\a.log");
  EXPECT_EQ(fixed(u"C:\\q\\macro", kChooseOpenText), u"C:\\q\\macro.txt");
  EXPECT_EQ(fixed(u"C:\\q\\macro.TXT", kChooseOpenText), u"C:\\q\\macro.TXT");
}

TEST(FileChooser, ExtensionThatDoesNotFitIsRefused) {
  std::u16string name = u"C:\\" + std::u16string(255, u'a');
  EXPECT_EQ(fixed(name, kChooseSaveLog), u"<too long>");
  std::u16string fits = u"C:\\" + std::u16string(252, u'a');
  EXPECT_EQ(fixed(fits, kChooseSaveLog), fits + u".log");
  // Cutting at the dot makes room for the extension.
  std::u16string dotted = u"C:\\" + std::u16string(249, u'a') + u".abcdef";  // 259 units, as a chosen path can be
  EXPECT_EQ(fixed(dotted, kChooseSaveLog), u"C:\\" + std::u16string(249, u'a') + u".log");
}

TEST(FileChooser, InitialPath) {
  char16_t path[kPathChars] = u"";
  EXPECT_EQ(file_chooser_initial_path(path, u"C:\\q", kChooseSaveLog), 0);
  EXPECT_EQ(std::u16string(path), u"C:\\q\\Temp1.log");
  char16_t text[kPathChars] = u"notes";
  file_chooser_initial_path(text, u"Z:\\work", kChooseOpenText);
  EXPECT_EQ(std::u16string(text), u"Z:\\work\\Temp1.txt");
  char16_t rel[kPathChars] = u"sub\\x.log";
  file_chooser_initial_path(rel, u"C:\\q", kChooseOpenLog);
  EXPECT_EQ(std::u16string(rel), u"C:\\q\\sub\\x.log");
  char16_t abs[kPathChars] = u"D:\\logs\\x.log";
  file_chooser_initial_path(abs, u"C:\\q", kChooseOpenLog);
  EXPECT_EQ(std::u16string(abs), u"D:\\logs\\x.log");
  std::u16string long_dir = u"C:\\" + std::u16string(240, u'd');
  char16_t big[kPathChars] = u"some.file.name.that.is.long.enough.not.to.fit";
  EXPECT_EQ(file_chooser_initial_path(big, long_dir.c_str(), kChooseOpenLog), 1);
  EXPECT_EQ(std::u16string(big), long_dir + u"\\Temp1.log");
}

TEST(FileChooser, StringsAndMacroEditModes) {
  char16_t strings[kPathChars] = u"";
  EXPECT_EQ(file_chooser_initial_path(strings, u"C:\\q", kChooseSaveStrings), 0);
  EXPECT_EQ(std::u16string(strings), u"C:\\q\\temp.txt");
  char16_t edit[kPathChars] = u"";
  file_chooser_initial_path(edit, u"C:\\q", kChooseEditMacro);
  EXPECT_EQ(std::u16string(edit), u"C:\\q\\*.txt");
  // Strings files get their extension when saved, by their own rule; the
  // macro editor opens what was picked as it is.
  EXPECT_EQ(fixed(u"C:\\q\\list.dat", kChooseSaveStrings), u"C:\\q\\list.dat");
  EXPECT_EQ(fixed(u"C:\\q\\m.mac", kChooseEditMacro), u"C:\\q\\m.mac");
  EXPECT_EQ(file_chooser_rule(kChooseSaveStrings)->save, 1);
  EXPECT_EQ(file_chooser_rule(kChooseOpenStrings)->save, 0);
  EXPECT_EQ(file_chooser_rule(kChooseEditMacro)->multiple, 1);
  EXPECT_EQ(file_chooser_rule(99), file_chooser_rule(kChooseOpenText));
}

}  // namespace
