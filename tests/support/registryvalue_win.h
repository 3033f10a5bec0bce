// A value under HKEY_CURRENT_USER of the test prefix's registry set for one test: what was there
// (or its absence) is put back at the end.
#pragma once

#include <windows.h>

#include <vector>

#include <gtest/gtest.h>

namespace qmtest {

class RegistryValue {
public:
    RegistryValue(const wchar_t* key, const wchar_t* name) : key_(key), name_(name) {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return;
        DWORD size = 0;
        if (RegQueryValueExW(h, name, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            saved_.resize(size);
            existed_ = RegQueryValueExW(h, name, nullptr, &type_, saved_.data(), &size) == ERROR_SUCCESS;
        }
        RegCloseKey(h);
    }
    ~RegistryValue() {
        if (existed_) set(type_, saved_.data(), static_cast<DWORD>(saved_.size()));
        else remove();
    }
    void set(DWORD type, const void* data, DWORD size) {
        HKEY h = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr), ERROR_SUCCESS);
        RegSetValueExW(h, name_, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(h);
    }
    void setDword(DWORD value) { set(REG_DWORD, &value, sizeof value); }
    void remove() {
        HKEY h = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, key_, 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
        RegDeleteValueW(h, name_);
        RegCloseKey(h);
    }

private:
    const wchar_t* key_;
    const wchar_t* name_;
    DWORD type_ = 0;
    std::vector<BYTE> saved_;
    bool existed_ = false;
};

}  // namespace qmtest
