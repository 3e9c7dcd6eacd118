// The archive directory reader and the entry decoder, on archives built in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include "UnzArchive.h"
#include "UnzDecoder.h"
#include "UnzPrefetch.h"
#include "ZipWriter.h"

using namespace zbe;

namespace {

std::string Pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    // Half text-like (compressible), half noise.
    s[i] = (i / 4096) % 2 ? static_cast<char>(x >> 24) : static_cast<char>('a' + (i % 26));
  }
  return s;
}

ZArchive MustRead(ByteSource& src) {
  ZArchive ar;
  std::string why;
  EXPECT_EQ(ReadDirectory(src, ar, why), ZReadResult::Ok) << why;
  return ar;
}

struct Decoded {
  DecodeOutcome outcome;
  std::string data;
  size_t pieces = 0;
};

Decoded Decode(MemorySource& src, const ZArchive& ar, const ZEntry& e, const std::string& password = "") {
  Decoded d;
  uint64_t off = 0;
  std::string why;
  EXPECT_TRUE(LocateData(src, ar, e, off, why)) << why;
  std::unique_ptr<ZCryptKeys> keys;
  if (e.IsEncrypted()) {
    unsigned char h[kCryptHeaderSize];
    EXPECT_TRUE(src.ReadAt(off, h, sizeof h));
    keys = std::make_unique<ZCryptKeys>("");
    EXPECT_TRUE(CheckPassword(h, e, password, *keys));
    off += kCryptHeaderSize;
  }
  d.outcome = DecodeEntry(src, off, e, keys.get(), [&](const unsigned char* p, size_t n) {
    d.data.append(reinterpret_cast<const char*>(p), n);
    ++d.pieces;
    return true;
  });
  return d;
}

}  // namespace

TEST(EngineReader, ReadsEntriesOfEveryKindWithTheirContent) {
  struct Case {
    const char* label;
    ztest::ZipEntrySpec spec;
  };
  std::vector<Case> cases;
  auto add = [&](const char* label, auto tweak) {
    ztest::ZipEntrySpec s;
    s.name = std::string("dir/") + label + ".bin";
    s.data = Pattern(300000, static_cast<unsigned>(cases.size() + 1));
    tweak(s);
    cases.push_back({label, s});
  };
  add("stored", [](auto& s) { s.method = 0; });
  add("deflated", [](auto&) {});
  add("descriptor", [](auto& s) { s.dataDescriptor = true; });
  add("descriptor-nosig", [](auto& s) {
    s.dataDescriptor = true;
    s.descriptorSignature = false;
  });
  add("encrypted-stored", [](auto& s) {
    s.method = 0;
    s.password = "secret";
  });
  add("encrypted-deflated-descriptor", [](auto& s) {
    s.password = "pa55";
    s.dataDescriptor = true;
  });
  add("empty", [](auto& s) { s.data.clear(); });
  add("empty-stored", [](auto& s) {
    s.data.clear();
    s.method = 0;
  });

  ztest::ZipWriter w;
  for (auto& c : cases) w.Add(c.spec);
  MemorySource src(w.Build());
  ZArchive ar;
  std::string why;
  ASSERT_EQ(ReadDirectory(src, ar, why), ZReadResult::Ok) << why;
  ASSERT_EQ(ar.entries.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].label);
    const ZEntry& e = ar.entries[i];
    EXPECT_EQ(e.rawName, cases[i].spec.name);
    EXPECT_EQ(e.size, cases[i].spec.data.size());
    EXPECT_EQ(e.method, cases[i].spec.method);
    EXPECT_EQ(e.IsEncrypted(), !cases[i].spec.password.empty());
    Decoded d = Decode(src, ar, e, cases[i].spec.password);
    EXPECT_EQ(d.outcome.result, DecodeResult::Ok) << d.outcome.detail;
    EXPECT_TRUE(d.data == cases[i].spec.data);
  }
}

TEST(EngineReader, LargeEntryArrivesInBoundedPieces) {
  std::string data = Pattern(5 * 1024 * 1024, 7);
  ztest::ZipWriter w;
  w.AddFile("big.bin", data);
  MemorySource src(w.Build());
  ZArchive ar = MustRead(src);
  ASSERT_EQ(ar.entries.size(), 1u);
  std::string why;
  Decoded d = Decode(src, ar, ar.entries[0]);
  EXPECT_EQ(d.outcome.result, DecodeResult::Ok);
  EXPECT_TRUE(d.data == data);
  EXPECT_GE(d.pieces, data.size() / (256 * 1024));
}

TEST(EngineReader, FindsTheArchiveBehindPrefixBytesAndBeforeAComment) {
  for (bool adjust : {true, false}) {
    SCOPED_TRACE(adjust ? "offsets adjusted" : "offsets as if no prefix");
    ztest::ZipWriter w;
    w.SetPrefix(std::string("MZ") + std::string(5000, '\x90'), adjust);
    // A comment that contains an end-record signature must not fool the search.
    w.SetComment(std::string("PK\x05\x06 fake end record inside the comment", 40));
    w.AddFile("a.txt", "alpha").AddFile("b.txt", std::string(10000, 'b'));
    MemorySource src(w.Build());
    ZArchive ar;
    std::string why;
    ASSERT_EQ(ReadDirectory(src, ar, why), ZReadResult::Ok) << why;
    ASSERT_EQ(ar.entries.size(), 2u);
    EXPECT_EQ(ar.comment.substr(0, 4), "PK\x05\x06");
    EXPECT_EQ(Decode(src, ar, ar.entries[0]).data, "alpha");
    EXPECT_EQ(Decode(src, ar, ar.entries[1]).data, std::string(10000, 'b'));
  }
}

TEST(EngineReader, RejectsWhatIsNotAnIntactArchive) {
  ztest::ZipWriter w;
  w.AddFile("a.txt", Pattern(20000)).AddFile("b.txt", "b");
  std::string good = w.Build();
  struct Case {
    const char* label;
    std::string bytes;
    ZReadResult expected;
  };
  std::string badCount = good;
  badCount[good.size() - 22 + 10] = '\x50';  // entries: far more than the directory can hold
  badCount[good.size() - 22 + 8] = '\x50';
  std::string badSig = good;
  size_t cd = good.find("PK\x01\x02");
  badSig[cd + 2] = 'X';
  // The zip component lists an archive by its last end record: one in front of it that also
  // ends the file could be the archive's just as well.
  ztest::ZipWriter decoyWriter;
  decoyWriter.AddFile("a.txt", Pattern(20000));
  std::string decoy = decoyWriter.Build();
  std::vector<Case> cases = {
      {"empty file", "", ZReadResult::NotZip},
      {"text", std::string(1000, 'x'), ZReadResult::NotZip},
      {"truncated before the end record", good.substr(0, good.size() - 10), ZReadResult::NotZip},
      {"truncated in the data", good.substr(0, good.size() / 2), ZReadResult::NotZip},
      {"entry count larger than the directory", badCount, ZReadResult::Damaged},
      {"damaged directory signature", badSig, ZReadResult::Damaged},
      {"a second directory in the comment, then zero bytes", ztest::WithDecoyDirectory(good, decoy),
       ZReadResult::Damaged},
      {"a second directory that ends the file", ztest::WithDecoyDirectory(good, decoy, 0), ZReadResult::Damaged},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.label);
    MemorySource src(c.bytes);
    ZArchive ar;
    std::string why;
    EXPECT_EQ(ReadDirectory(src, ar, why), c.expected);
    EXPECT_FALSE(why.empty());
  }
}

// An archive stored inside holds an end record of its own, which is no end of the file.
TEST(EngineReader, AnArchiveStoredLastIsOnlyAnEntry) {
  ztest::ZipWriter inner;
  inner.AddFile("inner.txt", "inner");
  const std::string innerBytes = inner.Build();
  ztest::ZipWriter w;
  w.AddFile("a.txt", "alpha").AddFile("inner.zip", innerBytes, 0);
  const std::string outer = w.Build();
  for (const std::string& tail : {std::string(), std::string(5, '\0')}) {
    SCOPED_TRACE(tail.size());
    MemorySource src(outer + tail);
    ZArchive ar = MustRead(src);
    ASSERT_EQ(ar.entries.size(), 2u);
    EXPECT_EQ(Decode(src, ar, ar.entries[1]).data, innerBytes);
  }
}

// The zip component refuses such an archive: it cannot read the directory the engine reads.
TEST(EngineReader, AZip64RecordNamesTheDirectory) {
  ztest::ZipWriter decoy, real;
  decoy.AddFile("a.txt", "alpha");
  real.AddFile("a.txt", "alpha").AddFile("b.txt", "beta");
  MemorySource src(ztest::WithZip64Directory(real.Build(), decoy.Build()));
  ZArchive ar = MustRead(src);
  ASSERT_EQ(ar.entries.size(), 2u);
  EXPECT_EQ(Decode(src, ar, ar.entries[1]).data, "beta");
}

TEST(EngineReader, EmptyArchiveHasNoEntries) {
  ztest::ZipWriter w;
  MemorySource src(w.Build());
  ZArchive ar;
  std::string why;
  EXPECT_EQ(ReadDirectory(src, ar, why), ZReadResult::Ok);
  EXPECT_TRUE(ar.entries.empty());
}

TEST(EngineDecoder, DetectsDamagedData) {
  std::string data = Pattern(200000, 3);
  struct Case {
    const char* label;
    uint16_t method;
    bool corruptCrc;
    size_t flipAt;  // 0 = no flip; else byte of the compressed data to change
    DecodeResult expected;
  };
  const Case cases[] = {
      {"stored, wrong CRC", 0, true, 0, DecodeResult::CrcMismatch},
      {"deflated, wrong CRC", 8, true, 0, DecodeResult::CrcMismatch},
      {"stored, changed byte", 0, false, 1000, DecodeResult::CrcMismatch},
      {"deflated, changed byte", 8, false, 50, DecodeResult::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ztest::ZipEntrySpec s;
    s.name = "x.bin";
    s.data = data;
    s.method = c.method;
    s.corruptCrc = c.corruptCrc;
    ztest::ZipWriter w;
    w.Add(s);
    std::string bytes = w.Build();
    if (c.flipAt) bytes[30 + s.name.size() + c.flipAt] ^= 0x55;
    MemorySource src(bytes);
    ZArchive ar = MustRead(src);
    ASSERT_EQ(ar.entries.size(), 1u);
    std::string why;
    Decoded d = Decode(src, ar, ar.entries[0]);
    // A changed deflate stream is either caught by inflate or by the CRC.
    if (c.expected == DecodeResult::Damaged)
      EXPECT_NE(d.outcome.result, DecodeResult::Ok);
    else
      EXPECT_EQ(d.outcome.result, c.expected);
  }
}

TEST(EngineDecoder, NeverProducesMoreThanTheDeclaredSize) {
  // The directory claims 10 bytes but the stream inflates to a megabyte.
  ztest::ZipWriter w;
  w.AddFile("bomb.bin", std::string(1 << 20, '\0'));
  std::string bytes = w.Build();
  size_t cd = bytes.find("PK\x01\x02");
  bytes[cd + 24] = 10;
  bytes[cd + 25] = bytes[cd + 26] = bytes[cd + 27] = 0;
  MemorySource src(bytes);
  ZArchive ar = MustRead(src);
  ASSERT_EQ(ar.entries.size(), 1u);
  std::string why;
  Decoded d = Decode(src, ar, ar.entries[0]);
  EXPECT_EQ(d.outcome.result, DecodeResult::Damaged);
  EXPECT_LE(d.data.size(), 10u);
}

TEST(EngineDecoder, TruncatedDataIsNotLocated) {
  ztest::ZipEntrySpec s;
  s.name = "cut.bin";
  s.data = Pattern(50000);
  s.truncateData = 100;
  ztest::ZipWriter w;
  w.Add(s);
  MemorySource src(w.Build());
  ZArchive ar = MustRead(src);
  ASSERT_EQ(ar.entries.size(), 1u);
  std::string why;
  // The data of the only entry now overlaps the directory: what is read there is garbage
  // and must never come out as the entry's content.
  uint64_t off = 0;
  if (LocateData(src, ar, ar.entries[0], off, why)) {
    DecodeOutcome o = DecodeEntry(src, off, ar.entries[0], nullptr, [](const unsigned char*, size_t) { return true; });
    EXPECT_NE(o.result, DecodeResult::Ok);
  }
}

TEST(EngineDecoder, PasswordCheckTellsRightFromWrong) {
  for (bool descriptor : {false, true}) {
    SCOPED_TRACE(descriptor ? "with data descriptor" : "without");
    ztest::ZipEntrySpec s;
    s.name = "p.txt";
    s.data = "top secret";
    s.password = "right";
    s.dataDescriptor = descriptor;
    ztest::ZipWriter w;
    w.Add(s);
    MemorySource src(w.Build());
    ZArchive ar = MustRead(src);
    ASSERT_EQ(ar.entries.size(), 1u);
    std::string why;
    uint64_t off = 0;
    ASSERT_TRUE(LocateData(src, ar, ar.entries[0], off, why));
    unsigned char h[kCryptHeaderSize];
    ASSERT_TRUE(src.ReadAt(off, h, sizeof h));
    ZCryptKeys keys("");
    EXPECT_TRUE(CheckPassword(h, ar.entries[0], "right", keys));
    int accepted = 0;
    for (const char* wrong : {"wrong", "Right", "", "right ", "rightt"})
      accepted += CheckPassword(h, ar.entries[0], wrong, keys) ? 1 : 0;
    EXPECT_EQ(accepted, 0);
  }
}

TEST(EngineDecoder, ContentThatFillsItsLastPieceExactlyIsWhole) {
  // The output room can fill just as the input runs out, with inflate still owing output; that
  // is no early end of the data.
  std::vector<size_t> sizes;
  for (size_t base : {kPieceSize, 2 * kPieceSize})
    for (size_t d = 0; d <= 64; ++d) sizes.push_back(base + d);
  for (int level : {1, 6, 9}) {
    ztest::ZipWriter w;
    w.SetLevel(level);
    for (size_t n : sizes) w.AddFile("z" + std::to_string(n), std::string(n, 'z'));
    w.AddFile("pattern", Pattern(kPieceSize));
    MemorySource src(w.Build());
    ZArchive ar = MustRead(src);
    ASSERT_EQ(ar.entries.size(), sizes.size() + 1);
    for (const ZEntry& e : ar.entries) {
      SCOPED_TRACE("level " + std::to_string(level) + ", " + e.rawName);
      Decoded d = Decode(src, ar, e);
      ASSERT_EQ(d.outcome.result, DecodeResult::Ok) << d.outcome.detail;
      EXPECT_EQ(d.data.size(), e.size);
    }
  }
}

TEST(EnginePrefetch, HandsOverEachEntryInOrderWhateverTheCommandTakesSkipsOrStops) {
  const std::string big = Pattern(3 * kPieceSize + 1000, 5);
  ztest::ZipWriter w;
  w.AddFile("a.bin", Pattern(2 * kPieceSize + 7, 1));       // 0: several pieces
  w.AddFile("b.bin", Pattern(kPieceSize + 5, 2), 0);        // 1: stored, skipped by the command
  w.AddDir("dir/");                                          // 2: not decoded ahead
  ztest::ZipEntrySpec secret;
  secret.name = "c.txt";
  secret.data = "secret";
  secret.password = "pw";
  w.Add(secret);                                             // 3: encrypted, not decoded ahead
  w.AddFile("d.txt", "small");                               // 4
  w.AddFile("e.bin", big);                                   // 5: stopped after its first piece
  ztest::ZipEntrySpec bad;
  bad.name = "f.bin";
  bad.data = Pattern(5000, 6);
  bad.corruptCrc = true;
  w.Add(bad);                                                // 6
  w.AddFile("g.txt", "last");                                // 7
  const std::string bytes = w.Build();
  MemorySource src(bytes);
  ZArchive ar = MustRead(src);
  ASSERT_EQ(ar.entries.size(), 8u);
  std::vector<size_t> jobs;
  for (size_t i = 0; i < ar.entries.size(); ++i)
    if (Prefetcher::Suits(ar.entries[i])) jobs.push_back(i);
  ASSERT_EQ(jobs, (std::vector<size_t>{0, 1, 4, 5, 6, 7}));

  // Takes entry i, stopping after `pieces` pieces; false when the prefetcher does not have it.
  auto take = [](Prefetcher& p, size_t i, DecodeOutcome& o, std::string& got, size_t pieces = SIZE_MAX) {
    got.clear();
    size_t n = 0;
    return p.Deliver(i, [&](const unsigned char* d, size_t size) {
      EXPECT_LE(size, kPieceSize);
      got.append(reinterpret_cast<const char*>(d), size);
      return ++n < pieces;
    }, o);
  };
  // Several rounds, so that the thread is sometimes ahead of the command and sometimes behind.
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Prefetcher p(std::make_unique<MemorySource>(bytes), ar, jobs);
    ASSERT_TRUE(p.Started());
    DecodeOutcome o;
    std::string got;
    ASSERT_TRUE(take(p, 0, o, got));
    EXPECT_EQ(o.result, DecodeResult::Ok);
    EXPECT_TRUE(got == Pattern(2 * kPieceSize + 7, 1));
    p.Release(0);
    p.Release(1);  // skipped: never taken
    EXPECT_FALSE(take(p, 3, o, got));
    ASSERT_TRUE(take(p, 4, o, got));
    EXPECT_EQ(o.result, DecodeResult::Ok);
    EXPECT_EQ(got, "small");
    ASSERT_TRUE(take(p, 5, o, got, 1));
    EXPECT_EQ(o.result, DecodeResult::Stopped);
    EXPECT_EQ(got, big.substr(0, got.size()));
    p.Release(5);
    ASSERT_TRUE(take(p, 6, o, got));
    EXPECT_EQ(o.result, DecodeResult::CrcMismatch);
    EXPECT_FALSE(take(p, 1, o, got));  // passed
    ASSERT_TRUE(take(p, 7, o, got));   // without releasing the one before
    EXPECT_EQ(o.result, DecodeResult::Ok);
    EXPECT_EQ(got, "last");
  }
  // Ended with work in hand, or with an entry half taken: it stops and lets go.
  for (int taken : {0, 1}) {
    Prefetcher p(std::make_unique<MemorySource>(bytes), ar, jobs);
    DecodeOutcome o;
    std::string got;
    if (taken) take(p, 5, o, got, 1);
  }
}
