#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <cstdlib>
#include <iterator>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "base/Exception.h"

// Expects Statement to raise an Exception (or subclass) whose message is
// exactly Expected.
#define EXPECT_EXCEPTION_MESSAGE(Statement, Expected)                                              \
  do {                                                                                             \
    try {                                                                                          \
      Statement;                                                                                   \
      ADD_FAILURE() << "no exception from " #Statement;                                            \
    } catch (const Exception& E) {                                                                 \
      EXPECT_EQ(E.Message(), Expected);                                                            \
    }                                                                                              \
  } while (false)

// A fresh, empty directory under the system's temporary folder, removed with
// everything in it when the object goes.
class TTempDir {
public:
  TTempDir() {
    // A random name, created only if nobody has it (as mkdtemp does, also on
    // Windows).
    std::random_device Random;
    const auto Base = std::filesystem::temp_directory_path();
    for (int Attempt = 0; Attempt < 100; ++Attempt) {
      auto Candidate = Base / ("hxt24-test-" + std::to_string(Random()));
      std::error_code Error;
      if (std::filesystem::create_directory(Candidate, Error)) {
        FPath = Candidate;
        return;
      }
    }
    throw std::runtime_error("cannot create a temporary folder");
  }
  ~TTempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  std::string File(std::string_view Name) const { return (FPath / Name).string(); }

private:
  std::filesystem::path FPath;
};

inline void WriteTextFile(const std::string& FileName, std::string_view Contents) {
  std::ofstream Out(FileName, std::ios::binary | std::ios::trunc);
  Out.write(Contents.data(), static_cast<std::streamsize>(Contents.size()));
}

inline std::string ReadTextFile(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}
