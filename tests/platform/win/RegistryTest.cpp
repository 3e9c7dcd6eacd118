// The registry over its per-user file: keys and values, several writers, damaged files.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "windows.h"
#include "WriterProcesses.h"

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/winplat-reg-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    file_ = folder_ + "/sub/hkcu.reg";  // the folder is made on the first write
    setenv("WINPLAT_HKCU", file_.c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  static HKEY Create(const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
  }
  static void SetString(HKEY key, const char* name, const std::string& value) {
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
  }
  static std::string GetString(HKEY key, const char* name, LONG* rc = nullptr) {
    char buffer[512];
    DWORD size = sizeof buffer, type = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (rc) *rc = result;
    if (result != ERROR_SUCCESS) return "<none>";
    return std::string(buffer, size > 0 && buffer[size - 1] == 0 ? size - 1 : size);
  }
  std::string Text() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void WriteText(const std::string& text) const {
    std::filesystem::create_directories(folder_ + "/sub");
    std::ofstream(file_, std::ios::binary) << text;
  }

  std::string folder_, file_;
};

TEST_F(Registry, KeysAndValues) {
  HKEY key = Create("Software\\Delmaro\\Movrant for Pavo");
  SetString(key, "UserID", "kim");
  SetString(key, "Name", "\xC7\xD1\xB1\xDB \"quoted\" \\ back\nline");
  DWORD number = 0x12345678;
  EXPECT_EQ(RegSetValueExA(key, "Count", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
  const BYTE blob[] = {0, 1, 0xFF, '\n', 0};
  EXPECT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  // Another handle, names in another case: everything as written.
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\DELMARO\\movrant for pavo\\", 0, KEY_READ, &again),
            ERROR_SUCCESS);
  EXPECT_EQ(GetString(again, "userid"), "kim");
  EXPECT_EQ(GetString(again, "NAME"), "\xC7\xD1\xB1\xDB \"quoted\" \\ back\nline");
  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(RegQueryValueExA(again, "count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 0x12345678u);
  BYTE read[16];
  size = sizeof read;
  EXPECT_EQ(RegQueryValueExA(again, "Blob", nullptr, &type, read, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(size, sizeof blob);
  EXPECT_EQ(memcmp(read, blob, sizeof blob), 0);
  size = sizeof read;
  EXPECT_EQ(RegQueryValueExA(again, "Empty", nullptr, &type, read, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);

  // Sizes: asked without a buffer, and a buffer too small.
  size = 0;
  EXPECT_EQ(RegQueryValueExA(again, "UserID", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  size = 2;
  EXPECT_EQ(RegQueryValueExA(again, "UserID", nullptr, nullptr, read, &size), static_cast<LONG>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 4u);
  LONG rc;
  GetString(again, "Missing", &rc);
  EXPECT_EQ(rc, static_cast<LONG>(ERROR_FILE_NOT_FOUND));

  // Overwrite and delete.
  SetString(again, "UserID", "lee");
  EXPECT_EQ(GetString(again, "UserID"), "lee");
  EXPECT_EQ(RegDeleteValueA(again, "USERID"), ERROR_SUCCESS);
  GetString(again, "UserID", &rc);
  EXPECT_EQ(rc, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteValueA(again, "UserID"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(again), static_cast<LONG>(ERROR_INVALID_HANDLE));

  EXPECT_EQ(Text().substr(Text().size() - 4), "END\n") << "a complete file";
}

TEST_F(Registry, OpenCreateAndDeleteKeys) {
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quorvex", 0, KEY_READ, &key),
            static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(file_)) << "reading writes nothing";
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvex\\WebUpdater", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\quorvex\\webupdater", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);

  // Parents were made; subkeys are listed in name order.
  HKEY software = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &software), ERROR_SUCCESS);
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(software, "Delmaro", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  SetString(child, "v", "1");
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD length = sizeof name;
    LONG rc = RegEnumKeyExA(software, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(length, strlen(name));
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Delmaro", "Quorvex"}));
  char tiny[3];
  DWORD tinyLength = sizeof tiny;
  EXPECT_EQ(RegEnumKeyExA(software, 0, tiny, &tinyLength, nullptr, nullptr, nullptr, nullptr),
            static_cast<LONG>(ERROR_MORE_DATA));
  DWORD subKeys = 0, values = 0;
  EXPECT_EQ(RegQueryInfoKeyA(software, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                             nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 2u);
  EXPECT_EQ(values, 0u);

  // A key with subkeys is not deleted; a leaf is, with its values.
  EXPECT_EQ(RegDeleteKeyA(software, "Quorvex"), static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegDeleteKeyA(software, "quorvex\\webupdater"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(software, "Quorvex"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(software, "Quorvex"), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Delmaro"), ERROR_SUCCESS);
  // A handle of a deleted key fails instead of writing into nowhere.
  LONG rc;
  GetString(child, "v", &rc);
  EXPECT_EQ(rc, static_cast<LONG>(ERROR_KEY_DELETED));
  EXPECT_EQ(RegSetValueExA(child, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("2"), 2),
            static_cast<LONG>(ERROR_KEY_DELETED));
  RegCloseKey(child);
  RegCloseKey(software);

  // Only the current user's branch exists here.
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), static_cast<LONG>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            static_cast<LONG>(ERROR_ACCESS_DENIED));
}

TEST_F(Registry, EnumeratesValuesInOrderOfCreation) {
  HKEY key = Create("Software\\Delmaro\\Movrant for Pavo\\SORVEL");
  SetString(key, "EVENTINDEX", "7");
  SetString(key, "Alpha", "a");
  SetString(key, "", "default");
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[64];
    DWORD length = sizeof name, type = 0, size = 0;
    LONG rc = RegEnumValueA(key, i, name, &length, nullptr, &type, nullptr, &size);
    if (rc == static_cast<LONG>(ERROR_NO_MORE_ITEMS)) break;
    ASSERT_EQ(rc, ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    names.push_back(name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"EVENTINDEX", "Alpha", ""}));
  EXPECT_EQ(GetString(key, nullptr), "default") << "the unnamed value";
  RegCloseKey(key);
}

// Each of two processes sets its own 500 values under one key, one change at a time.
TEST_F(Registry, TwoWritersLoseNothing) {
  Create("Software\\Shared");
  const int kCount = 500;
  std::vector<pid_t> children;
  for (char who : {'A', 'B'}) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) _exit(2);
      for (int i = 0; i < kCount; ++i) {
        std::string name = std::string(1, who) + std::to_string(i);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS)
          _exit(3);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                   nullptr);
  EXPECT_EQ(values, 2u * kCount);
  for (char who : {'A', 'B'})
    for (int i = 0; i < kCount; ++i) {
      std::string name = std::string(1, who) + std::to_string(i);
      ASSERT_EQ(GetString(key, name.c_str()), name);
    }
  RegCloseKey(key);
}

TEST_F(Registry, DamagedFileReadsAsFarAsValid) {
  const std::string good =
      "WINPLAT-REGISTRY 1\n"
      "[Software\\Delmaro]\n"
      "\"First\"=sz:\"one\"\n"
      "\"Second\"=dword:0000002a\n";
  struct Case {
    const char* what;
    std::string tail;
  } cases[] = {
      {"cut in a line", "\"Third\"=sz:\"thr"},
      {"cut after a line end", ""},
      {"garbage", "\x01\x02garbage\xFF\xFE\n\"Third\"=sz:\"three\"\nEND\n"},
      {"zero bytes", std::string("\0\0\0\0\n", 5) + "\"Third\"=sz:\"three\"\nEND\n"},
      {"a broken value", "\"Third\"=dword:12\n\"Fourth\"=sz:\"four\"\nEND\n"},
  };
  for (const Case& c : cases) {
    WriteText(good + c.tail);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Delmaro", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << c.what;
    EXPECT_EQ(GetString(key, "First"), "one") << c.what;
    DWORD value = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "Second", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 42u) << c.what;
    LONG rc;
    GetString(key, "Third", &rc);
    EXPECT_EQ(rc, static_cast<LONG>(ERROR_FILE_NOT_FOUND)) << c.what << ": nothing after the damage";

    // The next change writes a whole file again and keeps the damaged one aside.
    SetString(key, "Fifth", "five");
    RegCloseKey(key);
    std::string text = Text();
    EXPECT_EQ(text.substr(text.size() - 4), "END\n") << c.what;
    EXPECT_NE(text.find("\"First\"=sz:\"one\""), std::string::npos) << c.what;
    std::ifstream damaged(file_ + ".damaged", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(damaged), {}), good + c.tail) << c.what;
    std::filesystem::remove(file_ + ".damaged");
  }
  WriteText("not a registry at all\n[Software]\n");
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

// What a killed writer left beside the file goes with the next write; a running writer's
// temporary file, and files of other names, stay.
TEST_F(Registry, TheNextWriteRemovesTemporaryFilesOfEndedWriters) {
  testproc::RunningProcess running;
  ASSERT_GT(running.Id(), 0);
  const pid_t ended = testproc::EndedProcessId();
  ASSERT_GT(ended, 0);
  const std::string endedName = "hkcu.reg.tmp-" + std::to_string(ended) + "-7";
  const std::vector<std::string> kept = {
      "hkcu.reg.tmp-" + std::to_string(running.Id()) + "-1",
      "hkcu.reg.tmp-" + std::to_string(getpid()) + "-999",  // this process's own writers
      "other.reg.tmp-" + std::to_string(ended) + "-1",
      "hkcu.reg.tmp-" + std::to_string(ended) + "-x",
      "hkcu.reg.tmp-" + std::to_string(ended),
  };
  WriteText("");
  for (const std::string& name : kept) std::ofstream(folder_ + "/sub/" + name) << "partial";
  std::ofstream(folder_ + "/sub/" + endedName) << "partial";
  HKEY key = Create("Software\\Quorvex");
  SetString(key, "Name", "value");
  RegCloseKey(key);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/sub/" + endedName));
  for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(folder_ + "/sub/" + name)) << name;
}

// A writer killed at any moment leaves the old file or the new one, never a part of one.
TEST_F(Registry, KilledWriterLeavesNoTornFile) {
  HKEY key = Create("Software\\Big");
  const std::string big(200000, 'x');
  SetString(key, "Payload0", big);
  RegCloseKey(key);
  for (int round = 0; round < 12; ++round) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      HKEY k = nullptr;
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Big", 0, KEY_ALL_ACCESS, &k);
      for (int i = 1;; ++i) {
        std::string name = "Payload" + std::to_string(i % 5);
        RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()),
                       static_cast<DWORD>(big.size() + 1 - (i % 3)));
      }
    }
    usleep(static_cast<useconds_t>(2000 + round * 1500));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::string text = Text();
    ASSERT_GT(text.size(), big.size()) << "round " << round;
    EXPECT_EQ(text.substr(text.size() - 4), "END\n") << "round " << round;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Big", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Payload0", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_GE(size, big.size() - 1) << "round " << round;
    RegCloseKey(key);
  }
}

}  // namespace
