// An in-memory private-profile section that reads and writes like the
// platform's profile functions, for the settings and message text tests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/settings.h"

struct FakeProfile {
  std::map<std::u16string, std::u16string> values;
  std::vector<std::u16string> write_order;

  static int32_t get_int(void* ctx, const char16_t* key, int32_t def) {
    auto* p = static_cast<FakeProfile*>(ctx);
    auto it = p->values.find(key);
    if (it == p->values.end()) return def;
    // Leading blanks, a sign, then decimal digits; no digits reads as 0.
    const std::u16string& v = it->second;
    size_t i = 0;
    while (i < v.size() && v[i] == u' ') i++;
    bool neg = i < v.size() && v[i] == u'-';
    if (i < v.size() && (v[i] == u'-' || v[i] == u'+')) i++;
    int64_t n = 0;
    for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; i++) n = n * 10 + (v[i] - u'0');
    return static_cast<int32_t>(neg ? -n : n);
  }
  static void get_text(void* ctx, const char16_t* key, const char16_t* def, char16_t* out, int units) {
    auto* p = static_cast<FakeProfile*>(ctx);
    auto it = p->values.find(key);
    std::u16string v = it == p->values.end() ? std::u16string(def) : it->second;
    size_t n = v.size() < static_cast<size_t>(units - 1) ? v.size() : static_cast<size_t>(units - 1);
    for (size_t i = 0; i < n; i++) out[i] = v[i];
    out[n] = 0;
  }
  static void put_text(void* ctx, const char16_t* key, const char16_t* value) {
    auto* p = static_cast<FakeProfile*>(ctx);
    p->values[key] = value;
    p->write_order.push_back(key);
  }
  ProfileIo io() { return {this, get_int, get_text, put_text}; }
};
