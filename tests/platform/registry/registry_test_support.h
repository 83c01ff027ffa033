#pragma once
// A fresh configuration directory for each registry test, so no test sees another's store.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/registry/registry.h"

namespace platform::testing {

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
            savedXdg_ = old;
        }
        char pattern[] = "/tmp/quenby-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        ::setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
        storePath_ = root_ + "/quenby/HKEY_CURRENT_USER.reg";
    }

    void TearDown() override {
        if (savedXdg_) {
            ::setenv("XDG_CONFIG_HOME", savedXdg_->c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        std::filesystem::remove_all(root_);
    }

    std::string StoreText() const {
        std::ifstream in(storePath_, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void WriteStore(const std::string& text) const {
        std::filesystem::create_directories(root_ + "/quenby");
        std::ofstream(storePath_, std::ios::binary) << text;
    }

    static HKEY Create(const char* subKey, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key, disposition),
                  ERROR_SUCCESS);
        return key;
    }

    static LONG SetText(HKEY key, const char* name, const std::string& bytes) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    }

    // The value's bytes, or nothing when the query fails.
    static std::optional<std::string> Query(HKEY key, const char* name, DWORD* type = nullptr) {
        BYTE buffer[4096];
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key, name, nullptr, type, buffer, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return std::string(reinterpret_cast<const char*>(buffer), size);
    }

    std::string root_;
    std::string storePath_;
    std::optional<std::string> savedXdg_;
};

}  // namespace platform::testing
