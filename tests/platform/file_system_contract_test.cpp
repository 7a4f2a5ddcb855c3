// What platform/file_system.h promises, asked of every implementation in
// the same words: the fake, the Linux layer, and the Linux layer through the
// fault-injecting wrapper with no fault set. A difference between them is a
// fault of one of them, never of a case.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "disks.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar::test {
namespace {

constexpr FileTime kSecond = 10000000ULL;
constexpr FileTime kT = kFileTimeUnixEpoch + 1600000000ULL * kSecond;  // an even second

template <class Disk>
class FileSystemContract : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(disk.root().empty()); }

  // A path below the test folder; `relative` uses '\', the stored form.
  std::string at(std::string_view relative) const {
    return disk.root() + "\\" + std::string(relative);
  }

  void put(std::string_view relative, std::string_view data) {
    ASSERT_EQ(fs().write_file(at(relative), data), 0) << relative;
  }
  std::string read(std::string_view relative) {
    std::string data;
    int rc = fs().read_file(at(relative), data);
    return rc == 0 ? data : "<" + std::to_string(rc) + ">";
  }
  // The names in `relative` that match `pattern`, sorted: the order of a
  // search is the platform's.
  std::vector<std::string> names(std::string_view relative, std::string_view pattern = "*") {
    std::vector<DirItem> items;
    EXPECT_EQ(fs().search(at(relative), pattern, items), 0) << relative;
    std::vector<std::string> out;
    for (const DirItem& item : items) out.push_back(item.name);
    std::sort(out.begin(), out.end());
    return out;
  }
  FileTime last_write(std::string_view relative) {
    FileTimes times;
    EXPECT_EQ(fs().get_times(at(relative), times), 0) << relative;
    return times.last_write;
  }
  void set_last_write(std::string_view relative, FileTime t) {
    ASSERT_EQ(fs().set_times(at(relative), {0, 0, t}), 0) << relative;
  }

  FileSystem& fs() { return disk.fs(); }
  Disk disk;
};

struct DiskNames {
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};
using Disks = ::testing::Types<FakeDisk, NativeDisk, Wrapped<NativeDisk>>;
TYPED_TEST_SUITE(FileSystemContract, Disks, DiskNames);

using Names = std::vector<std::string>;

// 2 for a missing item in a folder that exists, 3 for a missing folder or a
// file on the way, from every operation that names an item.
TYPED_TEST(FileSystemContract, MissingItemsGive2AndMissingFoldersGive3) {
  this->put("file", "x");
  FileSystem& fs = this->fs();
  std::string data;
  ItemKind kind;
  DirItem item;
  FileTimes times;
  FolderIdentity identity;
  VolumeInfo info;
  FreeSpace space;
  std::vector<DirItem> items;
  std::unique_ptr<AppendFile> file;
  for (const char* missing : {"none", "nofolder\\none", "file\\none"}) {
    SCOPED_TRACE(missing);
    const std::string p = this->at(missing);
    const int code = std::string_view(missing) == "none" ? err::kFileNotFound : err::kPathNotFound;
    EXPECT_EQ(fs.read_file(p, data), code);
    EXPECT_EQ(fs.item_kind(p, kind), code);
    EXPECT_EQ(fs.item_info(p, item), code);
    EXPECT_EQ(fs.get_times(p, times), code);
    EXPECT_EQ(fs.set_times(p, {0, 0, kT}), code);
    EXPECT_EQ(fs.set_times(p, FileTimes{}), code);
    EXPECT_EQ(fs.delete_file(p), code);
    EXPECT_EQ(fs.remove_folder(p), code);
    EXPECT_EQ(fs.set_normal_attributes(p), code);
    EXPECT_EQ(fs.folder_identity(p, identity), code);
    EXPECT_EQ(fs.copy_file(p, this->at("copy")), code);
    EXPECT_EQ(fs.move_file(p, this->at("moved")), code);
    // Only a folder can be searched, and asked for its volume.
    EXPECT_EQ(fs.search(p, "*", items), err::kPathNotFound);
    EXPECT_EQ(fs.volume(p, info), err::kPathNotFound);
    EXPECT_EQ(fs.free_space(p, space), err::kPathNotFound);
  }
  for (const char* missing_folder : {"nofolder\\new", "file\\new"}) {
    SCOPED_TRACE(missing_folder);
    const std::string p = this->at(missing_folder);
    EXPECT_EQ(fs.create_folder(p), err::kPathNotFound);
    EXPECT_EQ(fs.write_file(p, "x"), err::kPathNotFound);
    EXPECT_EQ(fs.copy_file(this->at("file"), p), err::kPathNotFound);
    EXPECT_EQ(fs.move_file(this->at("file"), p), err::kPathNotFound);
    EXPECT_EQ(fs.open_append(p, false, file), err::kPathNotFound);
  }
  EXPECT_EQ(this->read("file"), "x") << "nothing above changed it";
  EXPECT_EQ(this->names(""), Names{"file"}) << "nothing above made anything";
}

// Folders: 183 for one that exists, 145 for removing one that holds
// something, 267 for a file where a folder must be, 5 for a folder where a
// file must be.
TYPED_TEST(FileSystemContract, FoldersAndFilesInTheWrongPlace) {
  FileSystem& fs = this->fs();
  ASSERT_EQ(fs.create_folder(this->at("dir")), 0);
  EXPECT_EQ(fs.create_folder(this->at("DIR")), err::kAlreadyExists);
  this->put("dir\\file", "x");
  EXPECT_EQ(fs.create_folder(this->at("dir\\file")), err::kAlreadyExists);
  EXPECT_EQ(fs.remove_folder(this->at("dir")), err::kDirNotEmpty);
  std::vector<DirItem> items;
  FolderIdentity identity;
  EXPECT_EQ(fs.remove_folder(this->at("dir\\file")), err::kDirectory);
  EXPECT_EQ(fs.search(this->at("dir\\file"), "*", items), err::kDirectory);
  EXPECT_EQ(fs.folder_identity(this->at("dir\\file"), identity), err::kDirectory);

  std::string data;
  std::unique_ptr<AppendFile> file;
  EXPECT_EQ(fs.delete_file(this->at("dir")), err::kAccessDenied);
  EXPECT_EQ(fs.read_file(this->at("dir"), data), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file(this->at("dir"), this->at("copy")), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file(this->at("dir\\file"), this->at("dir")), err::kAccessDenied);
  EXPECT_EQ(fs.write_file(this->at("dir"), "x"), err::kAccessDenied);
  EXPECT_EQ(fs.open_append(this->at("dir"), false, file), err::kAccessDenied);
  EXPECT_EQ(this->names(""), Names{"dir"});
  EXPECT_EQ(this->names("dir"), Names{"file"});

  ASSERT_EQ(fs.delete_file(this->at("DIR\\FILE")), 0);
  ASSERT_EQ(fs.remove_folder(this->at("dir\\")), 0);
  EXPECT_EQ(this->names(""), Names{});
}

// Names match by the Windows rules, ASCII case ignored; "." and ".." are
// never reported; a search replaces what `items` held.
TYPED_TEST(FileSystemContract, SearchFollowsTheWindowsRules) {
  const Names all = {"README", "a.b.c",       "notes.txt", "notes.txt.bak", "doc",
                     "NAME",   "name.tar.gz", "names",     "A.doc",         "ab.doc",
                     ".doc",   "AB",          "aXbYbZc",   "aXbYbZ",        "Файл"};
  for (const std::string& name : all) this->put(cp1251(name), "");
  ASSERT_EQ(this->fs().create_folder(this->at("Sub")), 0);

  struct Case {
    const char* pattern;
    Names matches;  // sorted
  };
  const Case cases[] = {
      {"*.TXT", {"notes.txt"}},
      {"*.doc", {".doc", "A.doc", "ab.doc"}},
      {"name.*", {"NAME", "name.tar.gz"}},
      {"?.doc", {"A.doc"}},
      {"a*b*c", {"a.b.c", "aXbYbZc", "ab.doc"}},
      {"A?", {"AB"}},
      {"a*b", {"AB"}},
      {"", {}},
      {"sub", {"Sub"}},
      {"*.zip", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(this->names("", c.pattern), c.matches) << c.pattern;
  }
  Names every = all;
  every.back() = cp1251(every.back());
  every.push_back("Sub");
  std::sort(every.begin(), every.end());
  EXPECT_EQ(this->names("", "*"), every);
  EXPECT_EQ(this->names("", "*.*"), every) << "names without a dot too";
  // Only ASCII letters are folded, but where the system folds every letter.
  EXPECT_EQ(this->names("", cp1251("ф*")),
            TypeParam::kFoldsEveryLetter ? Names{cp1251("Файл")} : Names{});
  EXPECT_EQ(this->names("", cp1251("Ф*")), Names{cp1251("Файл")});

  this->put("notes.txt", "12345");
  this->set_last_write("notes.txt", kT + 1);
  std::vector<DirItem> items(3);  // replaced, not appended to
  ASSERT_EQ(this->fs().search(this->at("") /* with its separator */, "NOTES.T?T", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "notes.txt");
  EXPECT_EQ(items[0].kind, ItemKind::kFile);
  EXPECT_EQ(items[0].size, 5u);
  EXPECT_EQ(items[0].last_write, kT + 1);
  EXPECT_TRUE(items[0].carriable);
  DirItem info;
  ASSERT_EQ(this->fs().item_info(this->at("NOTES.TXT"), info), 0);
  EXPECT_EQ(info.kind, ItemKind::kFile);
  EXPECT_EQ(info.size, 5u);
  EXPECT_EQ(info.last_write, kT + 1);
  ItemKind kind;
  ASSERT_EQ(this->fs().item_kind(this->at("sub"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kFolder);
}

// A listing shown one item at a time is the search, in its order; the
// visitor may stop it, and may list another folder meanwhile.
TYPED_TEST(FileSystemContract, ListingShowsWhatSearchFinds) {
  for (const char* name : {"a.txt", "B.doc", "c", "d.txt"}) this->put(name, "xy");
  ASSERT_EQ(this->fs().create_folder(this->at("Sub")), 0);
  this->put("Sub\\inner", "");
  struct Visitor final : ItemVisitor {
    bool visit(const DirItem& item) override {
      seen.push_back(item.name + (item.kind == ItemKind::kFolder ? "\\" : "") + ":" +
                     std::to_string(item.size));
      if (item.kind == ItemKind::kFolder) {
        std::vector<DirItem> inner;
        EXPECT_EQ(fs->search(folder + item.name, "*", inner), 0);
        EXPECT_EQ(inner.size(), 1u);
      }
      return static_cast<long>(seen.size()) != stop_after;
    }
    FileSystem* fs = nullptr;
    std::string folder;
    long stop_after = -1;
    std::vector<std::string> seen;
  };
  for (const char* pattern : {"*", "*.txt"}) {
    std::vector<DirItem> items;
    ASSERT_EQ(this->fs().search(this->at(""), pattern, items), 0);
    std::vector<std::string> expected;
    for (const DirItem& item : items) {
      expected.push_back(item.name + (item.kind == ItemKind::kFolder ? "\\" : "") + ":" +
                         std::to_string(item.size));
    }
    for (long stop_after : {-1L, 1L}) {
      Visitor visitor;
      visitor.fs = &this->fs();
      visitor.folder = this->at("");
      visitor.stop_after = stop_after;
      EXPECT_EQ(this->fs().list_folder(this->at(""), pattern, visitor), 0);
      if (stop_after > 0) expected.resize(stop_after);
      EXPECT_EQ(visitor.seen, expected) << pattern;
    }
  }
  Visitor visitor;
  EXPECT_EQ(this->fs().list_folder(this->at("missing\\deeper"), "*", visitor), err::kPathNotFound);
  EXPECT_TRUE(visitor.seen.empty());
}

// An existing component is found whatever the case of its ASCII letters and
// keeps its spelling; a new one is made in the spelling given.
TYPED_TEST(FileSystemContract, NamesAreFoundWhateverTheirAsciiCase) {
  FileSystem& fs = this->fs();
  ASSERT_EQ(fs.create_folder(this->at("Docs")), 0);
  this->put("DOCS\\Report.TXT", "one");
  this->put("docs\\REPORT.txt", "two");
  EXPECT_EQ(this->read("Docs\\report.Txt"), "two");
  EXPECT_EQ(this->names(""), Names{"Docs"});
  EXPECT_EQ(this->names("docs"), Names{"Report.TXT"});
  ASSERT_EQ(fs.create_folder(this->at("docs\\New")), 0);
  this->put("DOCS\\NEW\\Fresh.Txt", "three");
  EXPECT_EQ(this->names("Docs"), (Names{"New", "Report.TXT"}));
  EXPECT_EQ(this->names("Docs\\New"), Names{"Fresh.Txt"});

  const std::string upper = cp1251("ФАЙЛ"), lower = cp1251("файл");
  this->put("Docs\\" + upper, "u");
  EXPECT_EQ(this->read("Docs\\" + lower), TypeParam::kFoldsEveryLetter ? "u" : "<2>")
      << "Cyrillic letters are folded only where the system folds them";
  EXPECT_EQ(this->read("Docs\\" + upper), "u");
}

// A copy goes through a temporary that is never left behind; the copy has
// the source's contents and last-write time and replaces the old file at
// once or not at all.
TYPED_TEST(FileSystemContract, CopyThroughATemporaryKeepsTheTime) {
  FileSystem& fs = this->fs();
  const std::string big(300 * 1024 + 7, 'b');
  this->put("big.bin", big);
  this->set_last_write("big.bin", kT + 1234567);
  this->put("old.bin", "old");
  ASSERT_EQ(fs.copy_file(this->at("BIG.BIN"), this->at("old.bin")), 0);
  EXPECT_TRUE(this->read("old.bin") == big);
  EXPECT_EQ(this->last_write("old.bin"), kT + 1234567);
  ASSERT_EQ(fs.copy_file(this->at("big.bin"), this->at("New.bin")), 0);
  EXPECT_EQ(this->last_write("new.bin"), kT + 1234567);
  this->put("empty", "");
  ASSERT_EQ(fs.copy_file(this->at("empty"), this->at("empty copy")), 0);
  EXPECT_EQ(this->read("empty copy"), "");
  // One file under two spellings: nothing is lost.
  ASSERT_EQ(fs.copy_file(this->at("empty copy"), this->at("EMPTY COPY")), 0);
  EXPECT_EQ(this->read("empty copy"), "");
  EXPECT_EQ(fs.flush(), 0);

  EXPECT_EQ(fs.copy_file(this->at("missing"), this->at("old.bin")), err::kFileNotFound);
  EXPECT_TRUE(this->read("old.bin") == big);
  EXPECT_EQ(this->names(""), (Names{"New.bin", "big.bin", "empty", "empty copy", "old.bin"}))
      << "no temporary is left";
  EXPECT_EQ(this->names("", "~kld*"), Names{});
}

// An observer sees the source's bytes in order, whole, and its refusal keeps
// the destination as it was (23, no temporary left); read_through shows a
// file's bytes alone.
TYPED_TEST(FileSystemContract, ObservedCopiesAndReadsShowEveryByte) {
  class Seen final : public CopyObserver {
   public:
    explicit Seen(bool keep) : keep_(keep) {}
    void data(const void* bytes, std::size_t size) override {
      text.append(static_cast<const char*>(bytes), size);
    }
    bool accept() override {
      ++asked;
      return keep_;
    }
    std::string text;
    int asked = 0;

   private:
    bool keep_;
  };
  FileSystem& fs = this->fs();
  std::string big(3 * 1024 * 1024 + 5, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  this->put("big.bin", big);
  this->put("old.bin", "old");
  this->put("empty", "");
  for (const char* source : {"big.bin", "empty"}) {
    const std::string expected = this->read(source);
    Seen refuse(false), keep(true), read(true);
    EXPECT_EQ(fs.copy_file(this->at(source), this->at("old.bin"), &refuse), err::kCrc) << source;
    EXPECT_EQ(refuse.asked, 1);
    EXPECT_TRUE(refuse.text == expected) << source;
    EXPECT_EQ(this->read("old.bin"), "old") << source;
    EXPECT_EQ(fs.copy_file(this->at(source), this->at("new.bin"), &keep), 0) << source;
    EXPECT_TRUE(keep.text == expected && this->read("new.bin") == expected) << source;
    EXPECT_EQ(fs.read_through(this->at(source), read), 0);
    EXPECT_TRUE(read.text == expected) << source;
    EXPECT_EQ(read.asked, 0);
  }
  Seen none(true);
  EXPECT_EQ(fs.read_through(this->at("missing"), none), err::kFileNotFound);
  EXPECT_EQ(fs.flush(), 0);
  EXPECT_EQ(this->names(""), (Names{"big.bin", "empty", "new.bin", "old.bin"}))
      << "no temporary is left";
}

// write_file replaces the whole file through a temporary; open_append makes
// the file when missing, adds to it, or empties it first.
TYPED_TEST(FileSystemContract, WholeFilesAndAppends) {
  FileSystem& fs = this->fs();
  this->put("cfg.dat", "first");
  this->put("CFG.DAT", "second");
  EXPECT_EQ(this->read("cfg.dat"), "second");
  std::unique_ptr<AppendFile> file;
  ASSERT_EQ(fs.open_append(this->at("log.txt"), false, file), 0);
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    std::string line = "line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(file->append(line), 0);
    expected += line;
  }
  ASSERT_EQ(file->close(), 0);
  EXPECT_EQ(this->read("log.txt"), expected);
  ASSERT_EQ(fs.open_append(this->at("LOG.TXT"), false, file), 0);
  ASSERT_EQ(file->append("more"), 0);
  ASSERT_EQ(file->close(), 0);
  EXPECT_EQ(this->read("log.txt"), expected + "more");
  ASSERT_EQ(fs.open_append(this->at("log.txt"), true, file), 0);
  ASSERT_EQ(file->append("fresh"), 0);
  ASSERT_EQ(file->close(), 0);
  EXPECT_EQ(this->read("log.txt"), "fresh");
  EXPECT_EQ(this->names(""), (Names{"cfg.dat", "log.txt"}));
}

// A read-only file is read, copied, moved over, replaced and deleted like
// any other: it keeps nobody from replacing or removing it. Its copy is
// read-only too; set_normal_attributes makes it writable.
TYPED_TEST(FileSystemContract, ReadOnlyFilesAreReplacedAndDeleted) {
  FileSystem& fs = this->fs();
  for (const char* name : {"a", "b", "c", "d", "src"}) this->put(name, name);
  for (const char* name : {"a", "b", "c", "d"}) this->disk.set_read_only(this->at(name));
  EXPECT_EQ(this->read("a"), "a");
  ASSERT_EQ(fs.copy_file(this->at("a"), this->at("a copy")), 0);
  EXPECT_TRUE(this->disk.read_only(this->at("a copy")));
  ASSERT_EQ(fs.set_normal_attributes(this->at("a copy")), 0);
  EXPECT_FALSE(this->disk.read_only(this->at("a copy")));

  EXPECT_EQ(fs.delete_file(this->at("a")), 0);
  EXPECT_EQ(fs.write_file(this->at("b"), "new b"), 0);
  EXPECT_EQ(fs.copy_file(this->at("src"), this->at("c")), 0);
  EXPECT_EQ(fs.move_file(this->at("src"), this->at("d")), 0);
  EXPECT_EQ(this->names(""), (Names{"a copy", "b", "c", "d"}));
  EXPECT_EQ(this->read("b"), "new b");
  EXPECT_EQ(this->read("c"), "src");
  EXPECT_EQ(this->read("d"), "src");
  // Appending writes into the file itself: refused.
  std::unique_ptr<AppendFile> file;
  EXPECT_EQ(fs.open_append(this->at("b"), false, file), err::kAccessDenied);
  EXPECT_EQ(this->read("b"), "new b");
}

// A symbolic link is never followed: it is not read, copied from or
// written through; a copy or a write refuses to take its place; a move
// replaces the link itself; removing it removes the link only.
TYPED_TEST(FileSystemContract, LinksAreNeverFollowed) {
  FileSystem& fs = this->fs();
  this->put("target.txt", "keep");
  this->set_last_write("target.txt", kT);
  this->put("other.txt", "other");
  ASSERT_EQ(fs.create_folder(this->at("dir")), 0);
  if (!this->disk.add_link(this->at("link"), this->at("target.txt")) ||
      !this->disk.add_link(this->at("dirlink"), this->at("dir"))) {
    GTEST_SKIP() << "this system makes no symbolic links here (Wine 8 makes none; Windows "
                    "only with Developer Mode or the right to make them)";
  }

  ItemKind kind;
  ASSERT_EQ(fs.item_kind(this->at("LINK"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kLink);
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search(this->at(""), "*link", items), 0);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].kind, ItemKind::kLink);
  EXPECT_EQ(items[1].kind, ItemKind::kLink);

  std::string data;
  std::unique_ptr<AppendFile> file;
  FolderIdentity identity;
  EXPECT_EQ(fs.read_file(this->at("link"), data), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file(this->at("link"), this->at("copy")), err::kAccessDenied);
  EXPECT_EQ(fs.copy_file(this->at("other.txt"), this->at("link")), err::kAccessDenied);
  EXPECT_EQ(fs.write_file(this->at("link"), "through"), err::kAccessDenied);
  EXPECT_EQ(fs.open_append(this->at("link"), false, file), err::kAccessDenied);
  EXPECT_EQ(fs.open_append(this->at("link"), true, file), err::kAccessDenied);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(fs.folder_identity(this->at("dirlink"), identity), err::kDirectory);
  EXPECT_EQ(fs.folder_identity(this->at("dirlink\\"), identity), err::kDirectory);
  EXPECT_EQ(fs.remove_folder(this->at("dirlink")), err::kDirectory);
  // The link's own times, never its target's.
  ASSERT_EQ(fs.set_times(this->at("link"), {0, 0, kT + 20 * kSecond}), 0);
  EXPECT_EQ(this->last_write("link"), kT + 20 * kSecond);
  ASSERT_EQ(fs.item_kind(this->at("link"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kLink);
  EXPECT_EQ(this->read("target.txt"), "keep");
  EXPECT_EQ(this->last_write("target.txt"), kT);
  EXPECT_EQ(this->names(""), (Names{"dir", "dirlink", "link", "other.txt", "target.txt"}));

  ASSERT_EQ(fs.move_file(this->at("other.txt"), this->at("link")), 0);
  ASSERT_EQ(fs.item_kind(this->at("link"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kFile);
  EXPECT_EQ(this->read("link"), "other");
  ASSERT_EQ(fs.delete_file(this->at("dirlink")), 0);
  EXPECT_EQ(this->names(""), (Names{"dir", "link", "target.txt"}));
  EXPECT_EQ(this->read("target.txt"), "keep");
}

// Times are read back as set, to the 100 ns, before 1970 too; 0 leaves a
// time as it is. A folder's last-write time follows what is added to it or
// removed from it, never a reading.
TYPED_TEST(FileSystemContract, TimesAreKeptExactly) {
  FileSystem& fs = this->fs();
  this->put("file", "x");
  ASSERT_EQ(fs.create_folder(this->at("folder")), 0);
  for (const char* name : {"file", "folder"}) {
    SCOPED_TRACE(name);
    // A creation time is set where the platform can, and ignored elsewhere.
    const FileTimes set = {kT, kT + 1234567, kFileTimeUnixEpoch - 300000000ULL * kSecond + 7};
    ASSERT_EQ(fs.set_times(this->at(name), set), 0);
    FileTimes got;
    ASSERT_EQ(fs.get_times(this->at(name), got), 0);
    EXPECT_EQ(got.last_access, set.last_access);
    EXPECT_EQ(got.last_write, set.last_write);
    EXPECT_NE(got.creation, 0u);
    ASSERT_EQ(fs.set_times(this->at(name), {0, 0, kT + 3}), 0);
    ASSERT_EQ(fs.get_times(this->at(name), got), 0);
    EXPECT_EQ(got.last_access, set.last_access);
    EXPECT_EQ(got.last_write, kT + 3);
  }
  std::string data;
  std::vector<DirItem> items;
  ASSERT_EQ(fs.read_file(this->at("file"), data), 0);
  ASSERT_EQ(fs.search(this->at("folder"), "*", items), 0);
  EXPECT_EQ(this->last_write("folder"), kT + 3) << "reading changes no time";
  this->put("folder\\new", "n");
  EXPECT_NE(this->last_write("folder"), kT + 3);
  this->set_last_write("folder", kT);
  ASSERT_EQ(fs.delete_file(this->at("folder\\new")), 0);
  EXPECT_NE(this->last_write("folder"), kT);
}

// A volume of exact times that tells its size: the same answer for every
// folder on it; free space in whole clusters of 512-byte sectors.
TYPED_TEST(FileSystemContract, VolumesAndFreeSpace) {
  FileSystem& fs = this->fs();
  ASSERT_EQ(fs.create_folder(this->at("sub")), 0);
  VolumeInfo top, sub;
  ASSERT_EQ(fs.volume(this->at(""), top), 0);
  ASSERT_EQ(fs.volume(this->at("sub"), sub), 0);
  EXPECT_TRUE(top.exact_times);
  EXPECT_EQ(top.fs_name, "NTFS");
  EXPECT_EQ(sub.serial, top.serial);
  FreeSpace space;
  ASSERT_EQ(fs.free_space(this->at("sub"), space), 0);
  EXPECT_EQ(space.bytes_per_sector, 512u);
  EXPECT_GE(space.sectors_per_cluster, 1u);
  EXPECT_GT(space.total_clusters, 0u);
  EXPECT_GT(space.free_clusters, 0u);
  EXPECT_LE(space.free_clusters, space.total_clusters);
}

// A folder keeps its identity whatever is done inside it and however its
// path is spelled; another folder has another.
TYPED_TEST(FileSystemContract, FolderIdentityTellsFoldersApart) {
  FileSystem& fs = this->fs();
  ASSERT_EQ(fs.create_folder(this->at("Carrier")), 0);
  ASSERT_EQ(fs.create_folder(this->at("Other")), 0);
  FolderIdentity id, again, other;
  ASSERT_EQ(fs.folder_identity(this->at("Carrier"), id), 0);
  this->put("Carrier\\f", "f");
  ASSERT_EQ(fs.folder_identity(this->at("CARRIER\\"), again), 0);
  EXPECT_EQ(again, id);
  ASSERT_EQ(fs.folder_identity(this->at("other"), other), 0);
  EXPECT_NE(other, id);
  ASSERT_EQ(fs.folder_identity(this->at(""), other), 0);
  EXPECT_NE(other, id);
}

// A move replaces its destination at once, keeps the file's times and
// removes the source; one that fails changes nothing.
TYPED_TEST(FileSystemContract, MoveReplacesAndKeepsTheTimes) {
  FileSystem& fs = this->fs();
  this->put("a.txt", "moved");
  this->set_last_write("a.txt", kT + 5);
  this->put("b.txt", "replaced");
  ASSERT_EQ(fs.move_file(this->at("A.TXT"), this->at("B.txt")), 0);
  EXPECT_EQ(this->names(""), Names{"b.txt"});
  EXPECT_EQ(this->read("b.txt"), "moved");
  EXPECT_EQ(this->last_write("b.txt"), kT + 5);
  ASSERT_EQ(fs.move_file(this->at("b.txt"), this->at("New.txt")), 0);
  EXPECT_EQ(this->names(""), Names{"New.txt"});
  // One file under two spellings: nothing to move, nothing lost.
  ASSERT_EQ(fs.move_file(this->at("new.txt"), this->at("NEW.TXT")), 0);
  EXPECT_EQ(this->read("New.txt"), "moved");
  EXPECT_EQ(this->names(""), Names{"New.txt"});
}

}  // namespace
}  // namespace keldar::test
