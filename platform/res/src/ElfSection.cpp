#include "ElfSection.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace winplat::res {
namespace {

class Fd {
 public:
  explicit Fd(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
  auto* p = static_cast<char*>(buffer);
  while (size) {
    ssize_t n = ::pread(fd, p, size, off_t(offset));
    if (n <= 0) return false;
    p += n;
    offset += uint64_t(n);
    size -= size_t(n);
  }
  return true;
}

template <class Ehdr, class Shdr>
ElfResult Find(int fd, uint64_t fileSize, const char* name, ElfSection& section) {
  Ehdr eh;
  if (!ReadAt(fd, 0, &eh, sizeof eh)) return ElfResult::NotElf;
  if (eh.e_shoff == 0 || eh.e_shentsize != sizeof(Shdr)) return ElfResult::NoSection;

  uint64_t count = eh.e_shnum;
  uint64_t strIndex = eh.e_shstrndx;
  Shdr first;
  if (!ReadAt(fd, eh.e_shoff, &first, sizeof first)) return ElfResult::NoSection;
  if (count == 0) count = first.sh_size;  // more than 0xff00 sections
  if (strIndex == SHN_XINDEX) strIndex = first.sh_link;
  if (count == 0 || strIndex >= count || eh.e_shoff > fileSize || count > (fileSize - eh.e_shoff) / sizeof(Shdr))
    return ElfResult::NoSection;

  std::vector<Shdr> headers(count);
  if (!ReadAt(fd, eh.e_shoff, headers.data(), count * sizeof(Shdr))) return ElfResult::NoSection;
  const Shdr& strtab = headers[strIndex];
  if (strtab.sh_offset > fileSize || strtab.sh_size > fileSize - strtab.sh_offset) return ElfResult::NoSection;
  std::vector<char> names(strtab.sh_size + 1, '\0');
  if (!ReadAt(fd, strtab.sh_offset, names.data(), strtab.sh_size)) return ElfResult::NoSection;

  for (const Shdr& sh : headers) {
    if (sh.sh_name >= strtab.sh_size || std::strcmp(&names[sh.sh_name], name) != 0) continue;
    if (sh.sh_type == SHT_NOBITS) return ElfResult::NoSection;
    if (sh.sh_offset > fileSize || sh.sh_size > fileSize - sh.sh_offset) return ElfResult::NoSection;
    section.offset = sh.sh_offset;
    section.size = sh.sh_size;
    section.address = sh.sh_addr;
    section.loaded = (sh.sh_flags & SHF_ALLOC) != 0;
    return ElfResult::Found;
  }
  return ElfResult::NoSection;
}

}  // namespace

ElfResult FindElfSection(const std::string& unixPath, const char* name, ElfSection& section) {
  Fd fd(unixPath);
  if (fd.get() < 0) return ElfResult::Unreadable;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return ElfResult::Unreadable;
  if (!S_ISREG(st.st_mode)) return ElfResult::NotElf;
  unsigned char ident[EI_NIDENT];
  if (!ReadAt(fd.get(), 0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0 ||
      ident[EI_DATA] != ELFDATA2LSB)
    return ElfResult::NotElf;
  uint64_t fileSize = uint64_t(st.st_size);
  if (ident[EI_CLASS] == ELFCLASS64) return Find<Elf64_Ehdr, Elf64_Shdr>(fd.get(), fileSize, name, section);
  if (ident[EI_CLASS] == ELFCLASS32) return Find<Elf32_Ehdr, Elf32_Shdr>(fd.get(), fileSize, name, section);
  return ElfResult::NotElf;
}

bool ReadElfSection(const std::string& unixPath, const ElfSection& section, std::vector<unsigned char>& bytes) {
  Fd fd(unixPath);
  if (fd.get() < 0) return false;
  bytes.resize(section.size);
  return ReadAt(fd.get(), section.offset, bytes.data(), bytes.size());
}

}  // namespace winplat::res
