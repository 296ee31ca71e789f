#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <cstdlib>
#include <iterator>
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
    std::string Pattern = (std::filesystem::temp_directory_path() / "hxt24-test-XXXXXX").string();
    if (!mkdtemp(Pattern.data()))
      throw std::runtime_error("mkdtemp failed");
    FPath = Pattern;
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
