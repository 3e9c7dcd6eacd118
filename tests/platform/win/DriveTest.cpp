// The drive table and the drive functions that answer from it.
#include "TempDrives.h"

namespace {

TEST(DriveTable, ParsesEntries) {
  auto drives = winplat::ParseDriveTable(
      "C=/,fixed; e=/tmp/t/usb/,removable,NAVI ;F:=/mnt/cd,cdrom;G=/r,ramdisk;H=/net,remote;"
      "bad;I=relative,fixed;J=/x,floppy;K=/k;;C=/again,fixed,SYS");
  struct Expected {
    char letter;
    std::string root;
    UINT type;
    std::string label;
  } expected[] = {
      {'C', "/again", DRIVE_FIXED, "SYS"},  // a letter named twice: the last entry wins
      {'E', "/tmp/t/usb", DRIVE_REMOVABLE, "NAVI"},
      {'F', "/mnt/cd", DRIVE_CDROM, ""},
      {'G', "/r", DRIVE_RAMDISK, ""},
      {'H', "/net", DRIVE_REMOTE, ""},
      {'K', "/k", DRIVE_FIXED, ""},  // the type may be left out
  };
  ASSERT_EQ(drives.size(), std::size(expected));
  for (size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i].letter, expected[i].letter) << i;
    EXPECT_EQ(drives[i].root, expected[i].root) << i;
    EXPECT_EQ(drives[i].type, expected[i].type) << i;
    EXPECT_EQ(drives[i].label, expected[i].label) << i;
  }
  // Labels come from the environment as UTF-8 and are seen in code page 949.
  auto korean = winplat::ParseDriveTable("D=/m,removable,\xED\x95\x9C");
  ASSERT_EQ(korean.size(), 1u);
  EXPECT_EQ(korean[0].label, "\xC7\xD1");
}

TEST(DriveTable, DefaultsFromMountedMedia) {
  const std::string mounts =
      "/dev/sda1 / ext4 rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sdb1 /media/kim/NAVI vfat rw 0 0\n"
      "/dev/sdc1 /run/media/kim/MY\\040DISK exfat rw 0 0\n"
      "/dev/sdb1 /media/kim/NAVI vfat rw 0 0\n"
      "/dev/sdd1 /mnt/data ext4 rw 0 0\n";
  auto drives = winplat::DefaultDrives(mounts);
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(drives[0].letter, 'C');
  EXPECT_EQ(drives[0].root, "/");
  EXPECT_EQ(drives[0].type, static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(drives[1].letter, 'D');
  EXPECT_EQ(drives[1].root, "/media/kim/NAVI");
  EXPECT_EQ(drives[1].type, static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_EQ(drives[1].label, "NAVI");
  EXPECT_EQ(drives[2].letter, 'E');
  EXPECT_EQ(drives[2].root, "/run/media/kim/MY DISK");
  EXPECT_EQ(drives[2].label, "MY DISK");
}

using Drives = TempDrives;

TEST_F(Drives, TypesAndLogicalDrives) {
  EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 4));
  struct Case {
    const char* root;
    UINT type;
  } cases[] = {{"C:\\", DRIVE_FIXED},       {"c:", DRIVE_FIXED},         {"E:\\", DRIVE_REMOVABLE},
               {"e:/", DRIVE_REMOVABLE},    {"D:\\", DRIVE_NO_ROOT_DIR}, {"Z:", DRIVE_NO_ROOT_DIR},
               {"", DRIVE_NO_ROOT_DIR},     {"C:\\dir\\", DRIVE_NO_ROOT_DIR}, {nullptr, DRIVE_FIXED}};
  for (const Case& c : cases) EXPECT_EQ(GetDriveTypeA(c.root), c.type) << (c.root ? c.root : "(null)");
}

TEST_F(Drives, VolumeInformation) {
  char label[MAX_PATH], fs[MAX_PATH];
  DWORD serial = 0, maxComponent = 0, flags = 0;
  ASSERT_TRUE(GetVolumeInformationA("E:\\", label, sizeof label, &serial, &maxComponent, &flags, fs, sizeof fs));
  EXPECT_STREQ(label, "NAVI");
  EXPECT_EQ(maxComponent, 255u);
  DWORD again = 0;
  ASSERT_TRUE(GetVolumeInformationA("e:", nullptr, 0, &again, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(again, serial) << "the serial number stays the same for the drive";
  DWORD other = 0;
  ASSERT_TRUE(GetVolumeInformationA("C:\\", label, sizeof label, &other, nullptr, nullptr, nullptr, 0));
  EXPECT_STREQ(label, "");
  EXPECT_NE(other, serial);

  EXPECT_FALSE(GetVolumeInformationA("Q:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
  char small[2];
  EXPECT_FALSE(GetVolumeInformationA("E:\\", small, sizeof small, nullptr, nullptr, nullptr, nullptr, 0));

  // The medium taken out: the drive is still there but not ready; a new one brings its label.
  std::filesystem::remove_all(Usb());
  EXPECT_EQ(GetDriveTypeA("E:\\"), static_cast<UINT>(DRIVE_REMOVABLE));
  EXPECT_FALSE(GetVolumeInformationA("E:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  std::filesystem::create_directories(base_ + "/usb2");
  winplat::SetDrive('E', base_ + "/usb2", DRIVE_REMOVABLE, "MAPS");
  ASSERT_TRUE(GetVolumeInformationA("E:\\", label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_STREQ(label, "MAPS");
}

TEST_F(Drives, FreeSpace) {
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(available.QuadPart, free.QuadPart);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  std::filesystem::create_directories(C("sub"));
  EXPECT_TRUE(GetDiskFreeSpaceExA("C:\\sub\\", &available, nullptr, nullptr)) << "any folder of the drive";
  EXPECT_TRUE(GetDiskFreeSpaceExA(nullptr, &available, nullptr, nullptr)) << "the current drive";
  EXPECT_FALSE(GetDiskFreeSpaceExA("Q:\\", &available, nullptr, nullptr));
  EXPECT_FALSE(GetDiskFreeSpaceExA("C:\\missing\\", &available, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  DWORD sectors, bytes, freeClusters, clusters;
  ASSERT_TRUE(GetDiskFreeSpaceA("C:\\", &sectors, &bytes, &freeClusters, &clusters));
  EXPECT_EQ(sectors * bytes, 4096u);
  EXPECT_LE(freeClusters, clusters);
}

TEST(ErrorMode, ReturnsThePreviousMode) {
  UINT first = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  EXPECT_EQ(SetErrorMode(first), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX));
  EXPECT_EQ(SetErrorMode(first), first);
}

}  // namespace
