// Fixtures shared by the unit tests: a scratch directory per test and a
// fresh set of settings and run counts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/counters.hpp"
#include "common/settings.hpp"
#include "driver/accounting.hpp"
#include "driver/run_state.hpp"
#include "tables/tables.hpp"

/// Runs each test in its own temporary directory with default settings.
class scratch_test : public ::testing::Test {
  protected:
    void SetUp() override
    {
        reset_settings();
        reset_run_state();
        char templ[] = "/tmp/parva-test-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        old_dir_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_dir_);
        std::filesystem::remove_all(dir_);
        reset_run_state();
        reset_settings();
    }

    /// Writes a file in the scratch directory and returns its name.
    static std::string write_file(const std::string& name, const std::string& content)
    {
        std::FILE* f = std::fopen(name.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
        return name;
    }

  private:
    std::filesystem::path dir_;
    std::filesystem::path old_dir_;
};

/// The whole content of a file, empty when it cannot be read.
std::string content_of(const std::string& name);

/// True when something, a dangling link too, stands at the name.
bool exists(const std::string& name);

/// The UTF-8 form of ISO-8859-2 bytes, so that expectations read as Polish.
std::string utf8_of_latin2(const std::string& bytes);
