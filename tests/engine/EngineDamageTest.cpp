// ZE_UnzExec on archives damaged in many ways, from fixed seeds: flipped bits, broken header
// fields and names, cut and spliced files. Whatever the damage, the engine returns a result it
// documents, writes nothing outside the extract folder, leaves no temporary file, and every file
// it leaves holds exactly the content of one of the archive's entries.
#include <set>

#include "EngineHarness.h"
#include "ZipWriter.h"

using namespace enginetest;

namespace {

uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (static_cast<uint32_t>(Get16(s, at + 2)) << 16); }

void Put(std::string& s, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width && at + i < s.size(); ++i) s[at + i] = static_cast<char>(value >> (8 * i));
}

// Where the fields worth damaging sit in an intact archive.
struct Layout {
  size_t end = 0;  // end record
  size_t cdStart = 0;
  std::vector<size_t> central;                     // central records
  std::vector<size_t> local;                       // local headers
  std::vector<std::pair<size_t, size_t>> names;    // name bytes, central and local: offset, length
};

Layout Map(const std::string& a) {
  Layout l;
  l.end = a.rfind(std::string("PK\x05\x06", 4));
  if (l.end == std::string::npos) return l;
  l.cdStart = Get32(a, l.end + 16);
  if (l.cdStart == 0xFFFFFFFFu) {
    // Zip64: the directory's offset is in the Zip64 end record before the locator.
    size_t rec = a.rfind(std::string("PK\x06\x06", 4), l.end);
    if (rec == std::string::npos) return l;
    l.cdStart = Get32(a, rec + 48);
  }
  for (size_t at = l.cdStart; at + 46 <= a.size() && Get32(a, at) == 0x02014b50;) {
    l.central.push_back(at);
    size_t n = Get16(a, at + 28), x = Get16(a, at + 30), c = Get16(a, at + 32);
    l.names.emplace_back(at + 46, n);
    size_t localAt = Get32(a, at + 42);
    if (localAt + 30 <= a.size() && Get32(a, localAt) == 0x04034b50) {
      l.local.push_back(localAt);
      l.names.emplace_back(localAt + 30, Get16(a, localAt + 26));
    }
    at += 46 + n + x + c;
  }
  return l;
}

struct Rng {
  uint64_t s;
  uint64_t Next() {
    s += 0x9E3779B97F4A7C15ull;
    uint64_t z = s;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }
};

// One damaged copy of the archive and what was done to it.
std::string Damage(const std::string& good, const Layout& l, uint64_t seed, std::string& what) {
  Rng r{seed};
  std::string a = good;
  switch (seed % 6) {
    case 0: {  // bits flipped anywhere
      size_t n = 1 + r.Below(4);
      what = "bits flipped at";
      for (size_t i = 0; i < n; ++i) {
        size_t at = r.Below(a.size());
        a[at] = static_cast<char>(a[at] ^ (1 << r.Below(8)));
        what += " " + std::to_string(at);
      }
      break;
    }
    case 1: {  // random bytes in the directory and the end record
      size_t n = 1 + r.Below(3);
      what = "directory bytes changed at";
      for (size_t i = 0; i < n; ++i) {
        size_t at = l.cdStart + r.Below(a.size() - l.cdStart);
        a[at] = static_cast<char>(r.Next());
        what += " " + std::to_string(at);
      }
      break;
    }
    case 2: {  // one header field set to a value that lies
      struct Field {
        size_t offset;
        int width;
      };
      static const Field centralFields[] = {{8, 2},  {10, 2}, {16, 4}, {20, 4}, {24, 4}, {28, 2},
                                            {30, 2}, {32, 2}, {34, 2}, {38, 4}, {42, 4}};
      static const Field localFields[] = {{6, 2}, {8, 2}, {26, 2}, {28, 2}};
      static const Field endFields[] = {{4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 2}};
      size_t base;
      Field f;
      size_t kind = r.Below(3);
      if (kind == 0 && !l.central.empty()) {
        base = l.central[r.Below(l.central.size())];
        f = centralFields[r.Below(std::size(centralFields))];
      } else if (kind == 1 && !l.local.empty()) {
        base = l.local[r.Below(l.local.size())];
        f = localFields[r.Below(std::size(localFields))];
      } else {
        base = l.end;
        f = endFields[r.Below(std::size(endFields))];
      }
      uint64_t old = f.width == 2 ? Get16(a, base + f.offset) : Get32(a, base + f.offset);
      const uint64_t values[] = {0, 1, 0xFFFFFFFFull, old + 1, old - 1, old + 46, r.Next(), old ^ 0x8000};
      uint64_t v = values[r.Below(std::size(values))];
      Put(a, base + f.offset, v, f.width);
      what = "field at " + std::to_string(base + f.offset) + " set to " + std::to_string(v & 0xFFFFFFFFull);
      break;
    }
    case 3: {  // a name byte turned into one that matters to paths
      static const char bytes[] = {'/', '\\', '.', ':', '\0', '\x81', '\xFF'};
      size_t n = 1 + r.Below(2);
      what = "name bytes changed at";
      for (size_t i = 0; i < n && !l.names.empty(); ++i) {
        auto [at, len] = l.names[r.Below(l.names.size())];
        if (len == 0) continue;
        size_t pos = at + r.Below(len);
        a[pos] = bytes[r.Below(sizeof bytes)];
        what += " " + std::to_string(pos);
      }
      break;
    }
    case 4: {  // cut short, maybe with garbage or the old tail after the cut
      size_t cut = r.Below(a.size());
      std::string tail = a.substr(l.cdStart);
      a.resize(cut);
      switch (r.Below(3)) {
        case 0: what = "cut at " + std::to_string(cut); break;
        case 1:
          for (size_t i = r.Below(300); i > 0; --i) a.push_back(static_cast<char>(r.Next()));
          what = "cut at " + std::to_string(cut) + " with garbage after";
          break;
        default:
          a += tail;
          what = "cut at " + std::to_string(cut) + " with the directory after";
          break;
      }
      break;
    }
    default: {  // a piece of the middle lost
      size_t from = r.Below(a.size());
      size_t len = 1 + r.Below(std::min<size_t>(a.size() - from, 20000));
      a.erase(from, len);
      what = "bytes " + std::to_string(from) + " to " + std::to_string(from + len) + " lost";
      break;
    }
  }
  return a;
}

// Every path below the drive except the extract folder, so that any file written elsewhere shows.
std::set<std::string> Outside(const fs::path& root, const fs::path& out) {
  std::set<std::string> all;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == out) {
      it.disable_recursion_pending();
      continue;
    }
    all.insert(it->path().string());
  }
  return all;
}

class EngineDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheEngine().UnzExec, nullptr) << dlerror();
    place = std::make_unique<Place>(TestName());
  }

  // Extracts `cases` damaged copies of `good` and checks each run.
  void Survive(const std::string& good, const std::set<std::string>& contents, uint64_t cases) {
    Layout layout = Map(good);
    ASSERT_NE(layout.end, std::string::npos);
    ASSERT_FALSE(layout.central.empty());
    fs::path out = place->U("out");
    fs::create_directories(out);
    WriteFile(place->U("a.zip"), good);
    const std::set<std::string> before = Outside(TheDrive().root, out);

    for (uint64_t seed = 0; seed < cases && !HasFailure(); ++seed) {
      std::string what;
      std::string bytes = seed == 0 ? good : Damage(good, layout, seed, what);
      SCOPED_TRACE("seed " + std::to_string(seed) + ": " + (seed == 0 ? "intact" : what));
      // A new file each time: writing over a truncated one makes some file systems flush at close.
      fs::remove(place->U("a.zip"));
      WriteFile(place->U("a.zip"), bytes);
      fs::remove_all(out);
      fs::create_directories(out);
      Options o;
      o.archive = place->D("a.zip");
      o.extractDir = place->D("out");
      o.overwrite = true;
      o.password = "pw";
      o.dirNames = seed % 4 != 3;
      o.test = seed % 7 == 5;
      Recorder rec;
      int32_t result = RunEngine(o, rec);

      EXPECT_TRUE(result >= 0 || result == ZB_ERR_ARCHIVE) << result << "\n" << rec.Messages();
      ASSERT_FALSE(rec.events.empty());
      EXPECT_EQ(rec.events.front().action, zacCommandHandle);
      EXPECT_EQ(rec.events.back().action, zacEndOfBatch);
      EXPECT_LE(result, static_cast<int32_t>(rec.Of(zacItem).size()));
      EXPECT_EQ(Outside(TheDrive().root, out), before);
      size_t files = 0;
      for (auto& it : fs::recursive_directory_iterator(out)) {
        EXPECT_FALSE(it.is_symlink()) << it.path();
        EXPECT_NE(it.path().filename().string().rfind("~zb", 0), 0u) << it.path();
        if (!it.is_regular_file()) continue;
        ++files;
        EXPECT_TRUE(contents.count(ReadFile(it.path()))) << "unexpected content in " << it.path();
      }
      if (o.test) {
        EXPECT_EQ(files, 0u);
      }
      // Only files the engine counted are left; a name may come twice, so fewer is fine.
      EXPECT_LE(files, static_cast<size_t>(std::max(result, 0)));
      if (seed == 0) {
        EXPECT_EQ(result, static_cast<int32_t>(contents.size())) << rec.Messages();
      }
    }
  }

  std::unique_ptr<Place> place;
};

ztest::ZipEntrySpec Entry(const std::string& name, const std::string& data) {
  ztest::ZipEntrySpec e;
  e.name = name;
  e.data = data;
  return e;
}

}  // namespace

TEST_F(EngineDamage, WriterArchivesNeverEscapeOrLeaveDamagedFiles) {
  // Each content differs, so a file holding another entry's data would still show as a source
  // content; names sit one changed byte away from leaving the folder.
  std::vector<ztest::ZipEntrySpec> entries;
  auto add = [&](ztest::ZipEntrySpec e) { entries.push_back(std::move(e)); };
  auto stored = Entry("dir/stored.txt", Content(5000, 31));
  stored.method = 0;
  add(stored);
  add(Entry("dir/deflated.bin", Content(40000, 32)));
  auto descriptor = Entry("desc.dat", Content(20000, 33));
  descriptor.dataDescriptor = true;
  add(descriptor);
  auto secret = Entry("secret.txt", Content(3000, 34));
  secret.password = "pw";
  add(secret);
  auto secretStored = Entry("dir/secret.bin", Content(2000, 35));
  secretStored.password = "pw";
  secretStored.method = 0;
  secretStored.dataDescriptor = true;
  add(secretStored);
  add(Entry("s/.a/../near1.txt", Content(1000, 36)));  // ".a" -> ".." climbs out
  add(Entry("..a/near2.txt", Content(1100, 37)));      // "..a" -> "..\0"
  add(Entry("Cq/near3.txt", Content(1200, 38)));       // "Cq" -> "C:"
  add(Entry("x/near4.txt", Content(1300, 39)));        // "x/" -> "//"
  add(Entry("zero.txt", ""));

  ztest::ZipWriter w;
  w.AddDir("dir/");
  w.AddDir("empty/");
  std::set<std::string> contents;
  for (auto& e : entries) {
    w.Add(e);
    contents.insert(e.data);
  }
  w.SetComment("archive comment");
  Survive(w.Build(), contents, 360);
}

TEST_F(EngineDamage, InfoZipArchivesWithZip64RecordsNeverEscapeOrLeaveDamagedFiles) {
  if (std::system("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "Info-ZIP zip is not installed";
  fs::path src = place->U("src");
  std::set<std::string> contents;
  const std::pair<const char*, std::string> files[] = {
      {"readme.txt", Content(4000, 41)}, {"maps/a.map", Content(30000, 42)}, {"maps/b.map", Content(9000, 43)},
      {"empty.dat", ""}};
  for (auto& [name, data] : files) {
    WriteFile(src / name, data);
    contents.insert(data);
  }
  fs::path zip = place->U("src.zip");
  std::string command = "cd '" + src.string() + "' && zip -q -r -fz -P pw '" + zip.string() + "' .";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string good = ReadFile(zip);
  fs::remove_all(src);
  fs::remove(zip);
  Survive(good, contents, 360);
}
