#include "base/InstallPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/TestUtil.h"

namespace fs = std::filesystem;

// An installed tree in a scratch folder: <root>/usr/bin/ and, on request,
// <root>/usr/share/hxt24/locale.
class InstallPaths : public ::testing::Test {
protected:
  TTempDir Root;
  const std::string Bin = Root.File("usr/bin") + "/";
  const std::string Shared = Root.File("usr/share/hxt24/locale");
  void SetUp() override { fs::create_directories(Bin); }
};

TEST_F(InstallPaths, CatalogsBesideTheExecutableFirstThenTheSharedTree) {
  // Nothing installed: beside the executable, as a build tree has it.
  EXPECT_EQ(CatalogDirectoryFor(Bin, false), Bin + "locale");
  fs::create_directories(Shared);
  // Installed: found from the executable's folder, normalised.
  EXPECT_EQ(CatalogDirectoryFor(Bin, false), Shared);
  // Catalogs carried inside the executable are named beside it.
  EXPECT_EQ(CatalogDirectoryFor(Bin, true), Bin + "locale");
  // A file of that name is not a catalog tree.
  WriteTextFile(Bin + "locale", "");
  EXPECT_EQ(CatalogDirectoryFor(Bin, false), Shared);
  fs::remove(Bin + "locale");
  fs::create_directories(Bin + "locale");
  EXPECT_EQ(CatalogDirectoryFor(Bin, false), Bin + "locale");
}

TEST_F(InstallPaths, ConfigBesideTheExecutableElseInTheUsersConfigFolder) {
  const std::string Home = Root.File("home/user");
  EXPECT_EQ(ConfigFileFor(Bin, "/xdg", Home), "/xdg/hxt24/config.ini");
  EXPECT_EQ(ConfigFileFor(Bin, "", Home), Home + "/.config/hxt24/config.ini");
  // A relative XDG_CONFIG_HOME does not count.
  EXPECT_EQ(ConfigFileFor(Bin, "conf", Home), Home + "/.config/hxt24/config.ini");
  EXPECT_EQ(ConfigFileFor(Bin, "", ""), Bin + "config.ini");
  WriteTextFile(Bin + "config.ini", "[Settings]\n");
  EXPECT_EQ(ConfigFileFor(Bin, "/xdg", Home), Bin + "config.ini");
  EXPECT_EQ(ConfigFileFor(Bin, "", Home), Bin + "config.ini");
}

TEST_F(InstallPaths, SaveDialogsStartInAWritableExecutableFolderElseTheUsersFolderElseHome) {
  const std::string Pictures = Root.File("Pictures");
  const std::string Home = Root.File("home");
  fs::create_directories(Pictures);
  EXPECT_EQ(SaveStartFolderFor(Bin, Pictures, Home), Bin);
  EXPECT_EQ(SaveStartFolderFor(Root.File("gone/"), Pictures, Home), Pictures);
  EXPECT_EQ(SaveStartFolderFor(Root.File("gone/"), Root.File("no-pictures"), Home), Home);
  EXPECT_EQ(SaveStartFolderFor(Root.File("gone/"), "", Home), Home);
  // A folder this user may not write to: as another user when running as root
  // (root may write anywhere), else by taking the write permission away.
  if (geteuid() == 0) {
    fs::permissions(Root.Path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      const bool Other = setgid(65534) == 0 && setuid(65534) == 0;
      _exit(Other && SaveStartFolderFor(Bin, Pictures, Home) == Pictures ? 0 : 1);
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  } else {
    chmod(Bin.c_str(), 0555);
    EXPECT_EQ(SaveStartFolderFor(Bin, Pictures, Home), Pictures);
    chmod(Bin.c_str(), 0755);
  }
}

TEST_F(InstallPaths, SaveDialogsNeverStartInASystemFolder) {
  const struct {
    const char* Path;
    const char* Folder;
    bool In;
  } Rows[] = {
      {"/usr/bin/", "/usr", true},
      {"/usr", "/usr/", true},
      {"/usr/local/bin/", "/usr", true},
      {"/opt/hxt24/./bin/", "/opt", true},
      {"//usr//bin", "/usr", true},
      {"/usrx/bin/", "/usr", false},
      {"/us/", "/usr", false},
      {"/usr/../home/user/", "/usr", false},
      {"/home/user/../../usr/bin/", "/usr", true},
      {"/home/user/", "/", false},
      {"/home/user/", "", false},
      {"C:\\Program Files\\HXT24\\", "c:/program files", true},
      {"C:\\Program Files (x86)\\HXT24\\", "C:\\Program Files", false},
      {"C:\\Users\\me\\hxt24\\", "C:\\Windows", false},
  };
  for (const auto& Row : Rows)
    EXPECT_EQ(IsInFolder(Row.Path, Row.Folder), Row.In) << Row.Path << " in " << Row.Folder;

  const std::string Pictures = Root.File("Pictures");
  const std::string Home = Root.File("home");
  fs::create_directories(Pictures);
  // A writable executable folder inside a protected one is not offered; outside it, it is.
  EXPECT_EQ(SaveStartFolderFor(Bin, Pictures, Home, {Root.File("opt"), Root.File("usr")}),
            Pictures);
  EXPECT_EQ(SaveStartFolderFor(Bin, Pictures, Home, {Root.File("opt")}), Bin);
  // Reached through a link, the folder is still the protected one.
  fs::create_directory_symlink(Bin, Root.File("bin"));
  EXPECT_EQ(SaveStartFolderFor(Root.File("bin") + "/", Pictures, Home, {Root.File("usr")}),
            Pictures);
  // The system's own folders: an installed program's folder is never offered, even to root,
  // who may write there; with no pictures folder, home.
  for (const char* Installed : {"/usr/bin/", "/bin/", "/usr/local/bin/", "/opt/"})
    if (fs::is_directory(Installed)) {
      EXPECT_EQ(SaveStartFolderFor(Installed, Pictures, Home), Pictures) << Installed;
      EXPECT_EQ(SaveStartFolderFor(Installed, "", Home), Home) << Installed;
    }
}
